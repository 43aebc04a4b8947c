#ifndef WIDGETTHEME_H
#define WIDGETTHEME_H

#include <QObject>
#include <QPalette>

class QApplication;

// Gives the program's widget dialogs (the save dialog where the platform has
// none, and its questions) the colours of the window's theme, day or night, so
// that a white dialog never dazzles in a tunnel. Follows the window's theme
// object, whose bool property "dark" says which; owned by the entry.
class WidgetTheme : public QObject
{
    Q_OBJECT

public:
    explicit WidgetTheme(QApplication *app);

    void follow(QObject *theme);

private slots:
    void apply();

private:
    QApplication *m_app;
    QObject *m_theme = nullptr;
    QPalette m_day;
};

#endif // WIDGETTHEME_H
