#include "widgettheme.h"

#include <QApplication>
#include <QColor>
#include <QMetaProperty>

WidgetTheme::WidgetTheme(QApplication *app)
    : m_app(app), m_day(app->palette())
{
}

void WidgetTheme::follow(QObject *theme)
{
    m_theme = theme;
    if (!theme)
        return;
    const QMetaObject *meta = theme->metaObject();
    const QMetaProperty dark = meta->property(meta->indexOfProperty("dark"));
    if (dark.hasNotifySignal())
        connect(theme, dark.notifySignal(), this, metaObject()->method(metaObject()->indexOfSlot("apply()")));
    apply();
}

void WidgetTheme::apply()
{
    if (!m_theme || !m_theme->property("dark").toBool()) {
        m_app->setPalette(m_day);
        return;
    }
    // The night colours of the window's theme.
    QPalette night;
    night.setColor(QPalette::Window, QColor(0x2c, 0x2c, 0x2c));
    night.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
    night.setColor(QPalette::Base, QColor(0x1f, 0x1f, 0x1f));
    night.setColor(QPalette::AlternateBase, QColor(0x2c, 0x2c, 0x2c));
    night.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
    night.setColor(QPalette::Button, QColor(0x33, 0x33, 0x33));
    night.setColor(QPalette::ButtonText, QColor(0xf2, 0xf2, 0xf2));
    night.setColor(QPalette::ToolTipBase, QColor(0x33, 0x33, 0x33));
    night.setColor(QPalette::ToolTipText, QColor(0xf2, 0xf2, 0xf2));
    night.setColor(QPalette::Highlight, QColor(0x90, 0xca, 0xf9));
    night.setColor(QPalette::HighlightedText, QColor(0x12, 0x12, 0x12));
    night.setColor(QPalette::Link, QColor(0x90, 0xca, 0xf9));
    for (QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        night.setColor(QPalette::Disabled, role, QColor(0xa6, 0xa6, 0xa6));
    m_app->setPalette(night);
}
