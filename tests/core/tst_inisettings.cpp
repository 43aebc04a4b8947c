#include "inisettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestIniSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void missingFileGivesDefaultsAndIsNotCreated();
    void loadedValueBeatsDefault();
    void invalidValueIsSkippedAndLeftAlone();
    void emptyValueRoundTrips();
    void setValueIsSeenAtOnceAndWrittenAtExit();
    void changeByAnotherProgramIsOverwrittenAddedKeyStays();
    void stepLengthRoundTripsUnchanged();

private:
    QString iniPath() const { return m_dir->filePath(QStringLiteral("tervalo.ini")); }
    void writeIni(const QByteArray &text);
    QByteArray readIni() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldDir;
};

void TestIniSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestIniSettings::cleanup()
{
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
}

void TestIniSettings::writeIni(const QByteArray &text)
{
    QFile file(iniPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(text), qint64(text.size()));
}

QByteArray TestIniSettings::readIni() const
{
    QFile file(iniPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestIniSettings::missingFileGivesDefaultsAndIsNotCreated()
{
    {
        IniSettings store(nullptr);
        QCOMPARE(store.value(IniSettings::JournalsPath), QVariant(QStringLiteral("c:/")));
        QVERIFY(!store.value(QStringLiteral("stepLength")).isValid());
        QVERIFY(!IniSettings::defaultValue(QStringLiteral("nothing")).isValid());
    }
    QVERIFY(!QFile::exists(iniPath()));
}

void TestIniSettings::loadedValueBeatsDefault()
{
    writeIni("[General]\nJournalsPath=d:/journals\n");
    IniSettings store(nullptr);
    QCOMPARE(store.value(IniSettings::JournalsPath).toString(), QStringLiteral("d:/journals"));
}

void TestIniSettings::invalidValueIsSkippedAndLeftAlone()
{
    writeIni("[General]\nJournalsPath=@Invalid()\nother=1\n");
    {
        IniSettings store(nullptr);
        QCOMPARE(store.value(IniSettings::JournalsPath), QVariant(QStringLiteral("c:/")));
        QCOMPARE(store.value(QStringLiteral("other")).toString(), QStringLiteral("1"));
    }
    QVERIFY(readIni().contains("JournalsPath=@Invalid()"));
}

void TestIniSettings::emptyValueRoundTrips()
{
    writeIni("[General]\nJournalsPath=\n");
    {
        IniSettings store(nullptr);
        const QVariant value = store.value(IniSettings::JournalsPath);
        QVERIFY(value.isValid());
        QCOMPARE(value.toString(), QString());
    }
    QSettings check(iniPath(), QSettings::IniFormat);
    QVERIFY(check.contains(QStringLiteral("JournalsPath")));
    QCOMPARE(check.value(QStringLiteral("JournalsPath")).toString(), QString());
}

void TestIniSettings::setValueIsSeenAtOnceAndWrittenAtExit()
{
    writeIni("[General]\nJournalsPath=d:/old\n");
    {
        IniSettings store(nullptr);
        store.setValue(IniSettings::JournalsPath, QStringLiteral("e:/new"));
        QCOMPARE(store.value(IniSettings::JournalsPath).toString(), QStringLiteral("e:/new"));
        QVERIFY(readIni().contains("d:/old"));
    }
    QSettings check(iniPath(), QSettings::IniFormat);
    QCOMPARE(check.value(QStringLiteral("JournalsPath")).toString(), QStringLiteral("e:/new"));
}

void TestIniSettings::changeByAnotherProgramIsOverwrittenAddedKeyStays()
{
    writeIni("[General]\nJournalsPath=d:/start\n\n[Window]\nwidth=800\n");
    {
        IniSettings store(nullptr);
        QSettings other(iniPath(), QSettings::IniFormat);
        other.setValue(QStringLiteral("JournalsPath"), QStringLiteral("x:/changed"));
        other.setValue(QStringLiteral("Window/width"), 1024);
        other.setValue(QStringLiteral("added"), QStringLiteral("new"));
        other.sync();
        QCOMPARE(other.status(), QSettings::NoError);
    }
    QSettings check(iniPath(), QSettings::IniFormat);
    QCOMPARE(check.value(QStringLiteral("JournalsPath")).toString(), QStringLiteral("d:/start"));
    QCOMPARE(check.value(QStringLiteral("Window/width")).toString(), QStringLiteral("800"));
    QCOMPARE(check.value(QStringLiteral("added")).toString(), QStringLiteral("new"));
}

void TestIniSettings::stepLengthRoundTripsUnchanged()
{
    writeIni("[General]\nstepLength=0.001\n");
    {
        IniSettings store(nullptr);
        QCOMPARE(store.value(QStringLiteral("stepLength")).toString(), QStringLiteral("0.001"));
    }
    QCOMPARE(readIni(), QByteArray("[General]\nstepLength=0.001\n"));
}

QTEST_GUILESS_MAIN(TestIniSettings)
#include "tst_inisettings.moc"
