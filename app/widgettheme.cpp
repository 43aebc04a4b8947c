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
    const struct { QPalette::ColorRole role; QRgb colour; } colours[] = {
        { QPalette::Window, 0x2c2c2c },      { QPalette::WindowText, 0xe6e6e6 },
        { QPalette::Base, 0x1f1f1f },        { QPalette::AlternateBase, 0x2c2c2c },
        { QPalette::Text, 0xe6e6e6 },        { QPalette::Button, 0x333333 },
        { QPalette::ButtonText, 0xf2f2f2 },  { QPalette::ToolTipBase, 0x333333 },
        { QPalette::ToolTipText, 0xf2f2f2 }, { QPalette::Highlight, 0x90caf9 },
        { QPalette::HighlightedText, 0x121212 }, { QPalette::Link, 0x90caf9 },
    };
    QPalette night;
    for (const auto &c : colours)
        night.setColor(c.role, QColor(c.colour));
    for (QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        night.setColor(QPalette::Disabled, role, QColor(0xa6a6a6));
    m_app->setPalette(night);
}
