#ifndef QMLTESTSETUP_H
#define QMLTESTSETUP_H

#include <QObject>

class QQmlEngine;

// Prepares the application and each QML engine of the QML test runner the way
// the program prepares its own: the same controls style, and the place where
// objects the window expects from the native side are published.
class QmlTestSetup : public QObject
{
    Q_OBJECT

public:
    explicit QmlTestSetup(QObject *parent = nullptr);

public slots:
    void applicationAvailable();
    void qmlEngineAvailable(QQmlEngine *engine);
};

#endif // QMLTESTSETUP_H
