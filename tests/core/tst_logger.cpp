#include "logger.h"
#include "testfolder.h"

#include <QRegularExpression>
#include <QtTest>

class TestLogger : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void logIsWindows1251WithBareLineFeeds();
    void hexDump_data();
    void hexDump();
    void logLivesWithItsFirstOwnerAndStartsOverWithTheNext();
    void unopenableLogIsMuteButHarmless();

private:
    std::unique_ptr<TestFolder> m_folder;
};

void TestLogger::init()
{
    m_folder = std::make_unique<TestFolder>();
    QVERIFY(m_folder->isValid());
}

void TestLogger::cleanup()
{
    m_folder.reset();
}

void TestLogger::logIsWindows1251WithBareLineFeeds()
{
    Logger *log = m_folder->startLog();
    QVERIFY(log);
    const QString first = runLogLines().value(0);
    QVERIFY2(QRegularExpression(QStringLiteral("^Начало записи \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$"))
                     .match(first).hasMatch(),
             qPrintable(first));
    log->writeTime();
    log->write(QStringLiteral("a"));
    log->write(QStringLiteral("b"));
    log->writeLine(QString());
    // Flushed at every call: another reader sees the text before the log is closed.
    const QByteArray bytes = fileBytes(QStringLiteral("tervalo.log"));
    const QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[1].startsWith(QByteArray::fromHex("c2f0e5ecff20")));  // "Время "
    QCOMPARE(lines[2], QByteArray("ab"));
    QCOMPARE(lines[3], QByteArray());
    QVERIFY(!bytes.contains('\r'));
    // Day before month, and a day above twelve so that a swap cannot pass.
    QCOMPARE(Logger::timeText(QDateTime(QDate(2026, 12, 16), QTime(8, 5, 9))),
             QStringLiteral("16.12.2026 08:05:09"));
}

void TestLogger::hexDump_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("empty array gives an empty line") << QString() << QByteArray() << QByteArray();
    QTest::newRow("single digits get a leading zero, letters lower case")
            << QString() << QByteArray::fromHex("000fa0ff") << QByteArray(" 00 0f a0 ff");
    QTest::newRow("prefix and dump share one line")
            << QStringLiteral("Считано: ") << QByteArray("RAIL") << QByteArray::fromHex("d1f7e8f2e0edee3a2020") + "52 41 49 4c";
}

void TestLogger::hexDump()
{
    QFETCH(QString, prefix);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, line);
    Logger *log = m_folder->startLog();
    QVERIFY(log);
    const int before = fileBytes(QStringLiteral("tervalo.log")).size();
    if (!prefix.isEmpty())
        log->write(prefix);
    log->writeHex(bytes);
    QCOMPARE(fileBytes(QStringLiteral("tervalo.log")).mid(before), line + '\n');
}

void TestLogger::logLivesWithItsFirstOwnerAndStartsOverWithTheNext()
{
    QCOMPARE(Logger::instance(nullptr), nullptr);
    QVERIFY(!QFile::exists(QStringLiteral("tervalo.log")));

    Logger *first = m_folder->startLog();
    QVERIFY(first);
    first->writeLine(QStringLiteral("first run"));
    QObject other;
    QCOMPARE(Logger::instance(&other), first);
    QCOMPARE(Logger::instance(), first);
    QVERIFY(other.children().isEmpty());
    QCOMPARE(runLogLines().value(1), QStringLiteral("first run"));

    m_folder->endLog();
    // The log went with its owner; nothing may be written through it any more.
    QCOMPARE(Logger::instance(), nullptr);
    m_folder->startLog()->writeLine(QStringLiteral("second run"));
    const QStringList lines = runLogLines();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[1], QStringLiteral("second run"));
}

void TestLogger::unopenableLogIsMuteButHarmless()
{
    // A folder in the file's place: the open fails even for root.
    QVERIFY(QDir().mkdir(QStringLiteral("tervalo.log")));
    Logger *log = m_folder->startLog();
    QVERIFY(log);
    log->writeLine(QStringLiteral("lost"));
    log->writeHex(QByteArray("RAIL"));
    log->writeTime();
    QVERIFY(QFileInfo(QStringLiteral("tervalo.log")).isDir());
}

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
