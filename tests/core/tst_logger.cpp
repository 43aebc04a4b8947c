#include "logger.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestLogger : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstLineIsStartWithTime();
    void textIsWindows1251WithBareLineFeeds();
    void hexDump_data();
    void hexDump();
    void prefixAndDumpShareOneLine();
    void secondOwnerGetsFirstLog();
    void newRunTruncatesPreviousLog();
    void noOwnerBeforeCreationGivesNull();
    void unopenableLogIsMuteButHarmless();

private:
    QByteArray logBytes() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldDir;
    std::unique_ptr<QObject> m_owner;
};

void TestLogger::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestLogger::cleanup()
{
    m_owner.reset();
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
}

QByteArray TestLogger::logBytes() const
{
    QFile file(m_dir->filePath(QStringLiteral("tervalo.log")));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void TestLogger::firstLineIsStartWithTime()
{
    m_owner = std::make_unique<QObject>();
    QVERIFY(Logger::instance(m_owner.get()));
    const QByteArray bytes = logBytes();
    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    QVERIFY(codec);
    const QString text = codec->toUnicode(bytes);
    QVERIFY2(QRegularExpression(QStringLiteral("^Начало записи \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\n$"))
                     .match(text).hasMatch(),
             qPrintable(text));
}

void TestLogger::textIsWindows1251WithBareLineFeeds()
{
    m_owner = std::make_unique<QObject>();
    Logger *log = Logger::instance(m_owner.get());
    QVERIFY(log);
    log->writeTime();
    log->write(QStringLiteral("a"));
    log->write(QStringLiteral("b"));
    log->writeLine(QString());
    // Flushed at every call: another reader sees the text before the log is closed.
    const QList<QByteArray> lines = logBytes().split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[1].startsWith(QByteArray::fromHex("c2f0e5ecff20")));  // "Время "
    QCOMPARE(lines[2], QByteArray("ab"));
    QCOMPARE(lines[3], QByteArray());
    QVERIFY(!logBytes().contains('\r'));
}

void TestLogger::hexDump_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("empty array gives an empty line") << QByteArray() << QByteArray();
    QTest::newRow("single digits get a leading zero, letters lower case")
            << QByteArray::fromHex("000fa0ff") << QByteArray(" 00 0f a0 ff");
    QTest::newRow("INIT") << QByteArray("INIT") << QByteArray(" 49 4e 49 54");
}

void TestLogger::hexDump()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, line);
    m_owner = std::make_unique<QObject>();
    Logger *log = Logger::instance(m_owner.get());
    QVERIFY(log);
    const int before = logBytes().size();
    log->writeHex(bytes);
    QCOMPARE(logBytes().mid(before), line + '\n');
}

void TestLogger::prefixAndDumpShareOneLine()
{
    m_owner = std::make_unique<QObject>();
    Logger *log = Logger::instance(m_owner.get());
    QVERIFY(log);
    const int before = logBytes().size();
    log->write(QStringLiteral("Считано: "));
    log->writeHex(QByteArray("RAIL"));
    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    QCOMPARE(logBytes().mid(before), codec->fromUnicode(QStringLiteral("Считано:  52 41 49 4c\n")));
}

void TestLogger::secondOwnerGetsFirstLog()
{
    m_owner = std::make_unique<QObject>();
    Logger *first = Logger::instance(m_owner.get());
    QVERIFY(first);
    first->writeLine(QStringLiteral("kept"));
    QObject other;
    QCOMPARE(Logger::instance(&other), first);
    QCOMPARE(Logger::instance(), first);
    QVERIFY(other.children().isEmpty());
    QVERIFY(logBytes().endsWith("kept\n"));
}

void TestLogger::newRunTruncatesPreviousLog()
{
    m_owner = std::make_unique<QObject>();
    Logger::instance(m_owner.get())->writeLine(QStringLiteral("first run"));
    m_owner.reset();
    // The log went with its owner; nothing may be written through it any more.
    QCOMPARE(Logger::instance(), nullptr);

    m_owner = std::make_unique<QObject>();
    Logger::instance(m_owner.get())->writeLine(QStringLiteral("second run"));
    const QByteArray bytes = logBytes();
    QVERIFY(!bytes.contains("first run"));
    QVERIFY(bytes.endsWith("second run\n"));
    QCOMPARE(bytes.count('\n'), 2);
}

void TestLogger::noOwnerBeforeCreationGivesNull()
{
    QCOMPARE(Logger::instance(nullptr), nullptr);
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("tervalo.log"))));
}

void TestLogger::unopenableLogIsMuteButHarmless()
{
    // A folder in the file's place: the open fails even for root.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("tervalo.log")));
    m_owner = std::make_unique<QObject>();
    Logger *log = Logger::instance(m_owner.get());
    QVERIFY(log);
    log->writeLine(QStringLiteral("lost"));
    log->writeHex(QByteArray("RAIL"));
    log->writeTime();
    QVERIFY(QFileInfo(m_dir->filePath(QStringLiteral("tervalo.log"))).isDir());
}

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
