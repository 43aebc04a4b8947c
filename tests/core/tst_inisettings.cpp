#include "inisettings.h"
#include "testfolder.h"

#include <QSettings>
#include <QtTest>

namespace {

const QString ini = QStringLiteral("tervalo.ini");

} // namespace

class TestIniSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fileIsReadAndWrittenBackAsLoaded_data();
    void fileIsReadAndWrittenBackAsLoaded();
    void setValueIsSeenAtOnceAndWrittenAtExit();
    void changeByTheWindowOrAnotherProgramStays();

private:
    std::unique_ptr<TestFolder> m_folder;
};

void TestIniSettings::init()
{
    m_folder = std::make_unique<TestFolder>();
    QVERIFY(m_folder->isValid());
}

void TestIniSettings::cleanup()
{
    m_folder.reset();
}

void TestIniSettings::fileIsReadAndWrittenBackAsLoaded_data()
{
    // A null file stands for no file at all.
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("after");
    const QString path = IniSettings::JournalsPath;
    QTest::newRow("missing file gives the default and is not created")
            << QByteArray() << path << QVariant(QStringLiteral("c:/")) << QByteArray();
    QTest::newRow("key without a default is invalid") << QByteArray() << "stepLength" << QVariant() << QByteArray();
    const QByteArray loaded("[General]\nJournalsPath=d:/journals\n");
    QTest::newRow("loaded value beats default") << loaded << path << QVariant("d:/journals") << loaded;
    const QByteArray invalid("[General]\nJournalsPath=@Invalid()\nother=1\n");
    QTest::newRow("invalid value is skipped and left alone") << invalid << path << QVariant("c:/") << invalid;
    const QByteArray empty("[General]\nJournalsPath=\n");
    QTest::newRow("empty value round trips") << empty << path << QVariant(QLatin1String("")) << empty;
    const QByteArray step("[General]\nstepLength=0.001\n");
    QTest::newRow("stepLength round trips unchanged") << step << "stepLength" << QVariant("0.001") << step;
}

void TestIniSettings::fileIsReadAndWrittenBackAsLoaded()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, after);
    QVERIFY(before.isNull() || writeFile(ini, before));
    {
        IniSettings store(nullptr);
        const QVariant got = store.value(key);
        QCOMPARE(got.isValid(), value.isValid());
        QCOMPARE(got.toString(), value.toString());
    }
    if (after.isNull())
        QVERIFY(!QFile::exists(ini));
    else
        QCOMPARE(fileBytes(ini), after);
}

void TestIniSettings::setValueIsSeenAtOnceAndWrittenAtExit()
{
    QVERIFY(writeFile(ini, "[General]\nJournalsPath=d:/old\n"));
    {
        IniSettings store(nullptr);
        store.setValue(IniSettings::JournalsPath, QStringLiteral("e:/new"));
        QCOMPARE(store.value(IniSettings::JournalsPath).toString(), QStringLiteral("e:/new"));
        QVERIFY(fileBytes(ini).contains("d:/old"));
    }
    QCOMPARE(fileBytes(ini), QByteArray("[General]\nJournalsPath=e:/new\n"));
}

void TestIniSettings::changeByTheWindowOrAnotherProgramStays()
{
    QVERIFY(writeFile(ini, "[General]\nJournalsPath=d:/start\n\n[Window]\nwidth=800\n"));
    {
        IniSettings store(nullptr);
        QSettings other(ini, QSettings::IniFormat);
        other.setValue(QStringLiteral("JournalsPath"), QStringLiteral("x:/changed"));
        other.setValue(QStringLiteral("Window/width"), 1024);
        other.setValue(QStringLiteral("added"), QStringLiteral("new"));
        other.sync();
        QCOMPARE(other.status(), QSettings::NoError);
    }
    QSettings check(ini, QSettings::IniFormat);
    // The window writes its own keys while the program runs; loaded values
    // written back at exit would undo what the operator chose.
    QCOMPARE(check.value(QStringLiteral("JournalsPath")).toString(), QStringLiteral("x:/changed"));
    QCOMPARE(check.value(QStringLiteral("Window/width")).toString(), QStringLiteral("1024"));
    QCOMPARE(check.value(QStringLiteral("added")).toString(), QStringLiteral("new"));
}

QTEST_GUILESS_MAIN(TestIniSettings)
#include "tst_inisettings.moc"
