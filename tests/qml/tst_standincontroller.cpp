#include "standincontroller.h"
#include "tervalo.h"

#include <QMetaMethod>
#include <QtTest>

// The window's tests run against the stand-in, so it must offer everything the
// window can call on the real controller, with the same signature: a renamed
// or retyped slot would otherwise leave every window test green.
class TestStandInController : public QObject
{
    Q_OBJECT

private slots:
    void offersEveryPublicMethodOfTheController_data();
    void offersEveryPublicMethodOfTheController();
};

void TestStandInController::offersEveryPublicMethodOfTheController_data()
{
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<QByteArray>("returnType");
    const QMetaObject &controller = Tervalo::staticMetaObject;
    for (int i = controller.methodOffset(); i < controller.methodCount(); ++i) {
        const QMetaMethod method = controller.method(i);
        if (method.access() != QMetaMethod::Public)
            continue;
        QTest::newRow(method.methodSignature().constData())
                << method.methodSignature() << QByteArray(method.typeName());
    }
}

void TestStandInController::offersEveryPublicMethodOfTheController()
{
    QFETCH(QByteArray, signature);
    QFETCH(QByteArray, returnType);
    const QMetaObject &standIn = StandInController::staticMetaObject;
    const int index = standIn.indexOfMethod(signature.constData());
    QVERIFY2(index >= 0, signature.constData());
    const QMetaMethod method = standIn.method(index);
    QCOMPARE(QByteArray(method.typeName()), returnType);
    QCOMPARE(method.access(), QMetaMethod::Public);
    QCOMPARE(method.methodType(), Tervalo::staticMetaObject.method(
                 Tervalo::staticMetaObject.indexOfMethod(signature.constData())).methodType());
}

QTEST_GUILESS_MAIN(TestStandInController)
#include "tst_standincontroller.moc"
