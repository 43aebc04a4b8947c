#include "setup.h"

#include <QQmlEngine>
#include <QQuickStyle>

QmlTestSetup::QmlTestSetup(QObject *parent)
    : QObject(parent)
{
}

void QmlTestSetup::applicationAvailable()
{
    // The program runs its controls in this style; tests see the same sizes and
    // focus behaviour.
    QQuickStyle::setStyle(QStringLiteral("Material"));
}

void QmlTestSetup::qmlEngineAvailable(QQmlEngine *engine)
{
    Q_UNUSED(engine)
}
