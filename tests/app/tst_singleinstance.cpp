#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "processsignal.h"

// Runs copies of the program itself: the guard lives between processes.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void secondCopyExitsWithOneAndLeavesLogAlone();
    void closingTheWindowGivesZeroAndNextCopyRuns();
    void copyAfterKilledCopyRuns();
    void brokenWindowDocumentEndsWithMinusOne();
    void unopenableLogDoesNotStopTheProgram();

private:
    std::unique_ptr<QProcess> start(const QString &exe);
    QByteArray logBytes() const;
    bool waitForStartLine() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<QProcess>> m_running;
};

void TestSingleInstance::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSingleInstance::cleanup()
{
    for (auto &process : m_running) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(10000);
        }
    }
    m_running.clear();
    m_dir.reset();
}

std::unique_ptr<QProcess> TestSingleInstance::start(const QString &exe)
{
    auto process = std::make_unique<QProcess>();
    process->setWorkingDirectory(m_dir->path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    env.remove(QStringLiteral("TERVALO_EXTRA_PORTS"));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(exe, QStringList());
    return process;
}

QByteArray TestSingleInstance::logBytes() const
{
    QFile file(m_dir->filePath(QStringLiteral("tervalo.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Callers stop on false: the copy never got as far as its start line.
bool TestSingleInstance::waitForStartLine() const
{
    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    if (!codec)
        return false;
    const QByteArray startLine = codec->fromUnicode(QStringLiteral("Запуск программы Tervalo\n"));
    QDeadlineTimer deadline(20000);
    while (!logBytes().contains(startLine)) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

void TestSingleInstance::secondCopyExitsWithOneAndLeavesLogAlone()
{
    auto first = start(QStringLiteral(TERVALO_TEST_EXE));
    QVERIFY(first->waitForStarted());
    QVERIFY(waitForStartLine());
    const QByteArray before = logBytes();

    auto second = start(QStringLiteral(TERVALO_TEST_EXE));
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 1);

    // Not reopened: the first copy's lines are all still there, and only once.
    const QByteArray after = logBytes();
    QVERIFY(after.startsWith(before));
    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    QCOMPARE(after.count(codec->fromUnicode(QStringLiteral("Начало записи"))), 1);
    QCOMPARE(first->state(), QProcess::Running);
    m_running.push_back(std::move(first));
}

void TestSingleInstance::closingTheWindowGivesZeroAndNextCopyRuns()
{
    for (int run = 0; run < 2; ++run) {
        auto process = start(QStringLiteral(TERVALO_AUTOCLOSE_EXE));
        QVERIFY(process->waitForFinished(30000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
    }
}

void TestSingleInstance::copyAfterKilledCopyRuns()
{
#ifdef Q_OS_UNIX
    auto victim = start(QStringLiteral(TERVALO_TEST_EXE));
    QVERIFY(victim->waitForStarted());
    QVERIFY(waitForStartLine());
    QVERIFY(signalChild(*victim, SIGKILL));
    QVERIFY(victim->waitForFinished(10000));
    QCOMPARE(victim->exitStatus(), QProcess::CrashExit);
    QVERIFY(QFile::remove(m_dir->filePath(QStringLiteral("tervalo.log"))));

    // The crashed copy's marker must not keep the program from starting again...
    auto next = start(QStringLiteral(TERVALO_TEST_EXE));
    QVERIFY(next->waitForStarted());
    QVERIFY(waitForStartLine());
    QCOMPARE(next->state(), QProcess::Running);

    // ...while a live copy still turns the next one away.
    auto third = start(QStringLiteral(TERVALO_AUTOCLOSE_EXE));
    QVERIFY(third->waitForFinished(20000));
    QCOMPARE(third->exitCode(), 1);
    m_running.push_back(std::move(next));
#else
    QSKIP("A crashed copy's marker outlives it only on Unix");
#endif
}

void TestSingleInstance::brokenWindowDocumentEndsWithMinusOne()
{
    auto process = start(QStringLiteral(TERVALO_BROKEN_EXE));
    QVERIFY(process->waitForFinished(30000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    // -1 as the system reports it: 255 on Unix (8 bits), -1 on Windows (32 bits).
    QCOMPARE(process->exitCode() & 0xff, 0xff);
}

void TestSingleInstance::unopenableLogDoesNotStopTheProgram()
{
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("tervalo.log")));
    auto process = start(QStringLiteral(TERVALO_AUTOCLOSE_EXE));
    QVERIFY(process->waitForFinished(30000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 0);
    QVERIFY(QFileInfo(m_dir->filePath(QStringLiteral("tervalo.log"))).isDir());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
