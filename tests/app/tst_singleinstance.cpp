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

    void secondCopyExitsWithOneAndLeavesLogAlone_data();
    void secondCopyExitsWithOneAndLeavesLogAlone();
    void closingTheWindowGivesZeroAndNextCopyRuns();
    void copyAfterKilledCopyRuns();
    void brokenWindowDocumentEndsWithMinusOne();
    void unopenableLogDoesNotStopTheProgram();

private:
    std::unique_ptr<QProcess> start(const QString &exe, const QStringList &prefix = QStringList(),
                                    const QString &folder = QString());
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
    // Ended in order, so that each gives its guard back to the system.
    for (auto &process : m_running) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(10000)) {
                process->kill();
                process->waitForFinished(10000);
            }
        }
    }
    m_running.clear();
    m_dir.reset();
}

// Each test's copies guard under keys of their own, made from its folder, and
// keep their journals there.
std::unique_ptr<QProcess> TestSingleInstance::start(const QString &exe, const QStringList &prefix,
                                                     const QString &folder)
{
    auto process = std::make_unique<QProcess>();
    process->setWorkingDirectory(folder.isEmpty() ? m_dir->path() : folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    env.insert(QStringLiteral("TERVALO_INSTANCE_KEY"), m_dir->path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("user-data")));
    env.remove(QStringLiteral("TERVALO_EXTRA_PORTS"));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (prefix.isEmpty())
        process->start(exe, QStringList());
    else
        process->start(prefix.first(), prefix.mid(1) + QStringList { exe });
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

void TestSingleInstance::secondCopyExitsWithOneAndLeavesLogAlone_data()
{
    QTest::addColumn<bool>("copyEndedElsewhere");
    QTest::newRow("one copy running") << false;
    QTest::newRow("after a copy in another IPC namespace ended") << true;
}

// A copy that starts and ends in another IPC namespace (another user's tests,
// a container) shares the temporary folder but none of the guard.
void TestSingleInstance::secondCopyExitsWithOneAndLeavesLogAlone()
{
    QFETCH(bool, copyEndedElsewhere);
    auto first = start(QStringLiteral(TERVALO_TEST_EXE));
    QVERIFY(first->waitForStarted());
    QVERIFY(waitForStartLine());
    if (copyEndedElsewhere) {
        const QString folder = m_dir->filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(folder));
        auto elsewhere = start(QStringLiteral(TERVALO_AUTOCLOSE_EXE),
                               { QStringLiteral("unshare"), QStringLiteral("--ipc") }, folder);
        QVERIFY(elsewhere->waitForFinished(30000));
        if (elsewhere->exitCode() != 0)
            QSKIP("no IPC namespace of its own to be had here");
    }
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
