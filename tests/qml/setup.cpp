#include "setup.h"
#include "itempictures.h"
#include "standincontroller.h"

#include <QCoreApplication>
#include <QQmlContext>
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
    QCoreApplication::setOrganizationName(QStringLiteral("brenvik"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("brenvik"));
    QCoreApplication::setApplicationName(QStringLiteral("tervalo"));
}

void QmlTestSetup::qmlEngineAvailable(QQmlEngine *engine)
{
    // The window reaches the native side only through mcRoutine; a stand-in
    // serves it the values each test scripts.
    engine->rootContext()->setContextProperty(QStringLiteral("mcRoutine"),
                                              new StandInController(engine));
    engine->rootContext()->setContextProperty(QStringLiteral("itemPictures"), new ItemPictures(engine));
}
