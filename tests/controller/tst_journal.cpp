#include "journal.h"
#include "testfolder.h"

#include <QDateTime>
#include <QDirIterator>
#include <QLocale>
#include <QRegularExpression>
#include <QUrl>
#include <QtTest>

#include <clocale>
#include <limits>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sched.h>
#include <sys/mount.h>
#endif

namespace {

// "Пикет;Расстояние, м;Вертикаль, мм;Горизонталь, мм;" and LF, in Windows-1251,
// spelt out so that the test does not lean on the codec it checks.
const QByteArray header = QByteArray::fromHex(
        "cfe8eae5f23bd0e0f1f1f2eeffede8e52c20ec3bc2e5f0f2e8eae0ebfc2c20ecec3b"
        "c3eef0e8e7eeedf2e0ebfc2c20ecec3b0a");

QString fileUrl(const QString &path)
{
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

// Every file and folder below dir but the run log, with each file's bytes, so
// that a failed save can be shown to have left nothing behind and changed nothing.
QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> result;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName() != QLatin1String("tervalo.log"))
            result.insert(path, it.fileInfo().isDir() ? QByteArray("<dir>") : fileBytes(path));
    }
    return result;
}

QStringList recoveryFiles()
{
    return QDir().entryList({ QStringLiteral("tervalo-unsaved-*.csv") }, QDir::Files, QDir::Name);
}

void fill(Journal &j, int count)
{
    for (int i = 0; i < count; ++i)
        j.keep(i / 100, i % 2 == 0, i * 0.25f, i * 0.01f, -i * 0.5f);
}

QByteArray expectedFile(const Journal &j)
{
    QByteArray bytes = header;
    for (const JournalEntry &e : j.entries())
        bytes += formatJournalRow(e).toLatin1() + '\n';
    return bytes;
}

const QString journalName = QStringLiteral("tervalo-journal.csv");

// The user's data folder as the journal finds it in tests (see TestFolder).
QString userFolder()
{
    return Journal::fallbackFolder();
}

// Qt's default locale and, where one is installed, the C library's switched to
// ones with a decimal comma while this object lives.
class CommaLocale
{
public:
    CommaLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        for (const char *name : { "de_DE.UTF-8", "de_DE.utf8", "de_DE", "ru_RU.UTF-8", "German_Germany.1252" })
            if (std::setlocale(LC_ALL, name))
                return;
        qInfo("no C library locale with a decimal comma installed; only the Qt locale was changed");
    }
    ~CommaLocale()
    {
        std::setlocale(LC_ALL, m_oldC.constData());
        QLocale::setDefault(m_oldQt);
    }

private:
    const QByteArray m_oldC = std::setlocale(LC_ALL, nullptr);
    const QLocale m_oldQt;
};

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void eachQuarterMetreIsKeptOnceAndOnDisk_data();
    void eachQuarterMetreIsKeptOnceAndOnDisk();
    void repeatIsTheSamePlaceInTheSameRecording_data();
    void repeatIsTheSamePlaceInTheSameRecording();
    void savedFileIsByteExact_data();
    void savedFileIsByteExact();
    void urlBecomesLocalPath_data();
    void urlBecomesLocalPath();
    void failedSaveKeepsJournal_data();
    void failedSaveKeepsJournal();
    void writeErrorMidFileKeepsJournal_data();
    void writeErrorMidFileKeepsJournal();
    void fullDiskKeepsRowsUntilTheFileCanBeWrittenWhole();
    void fullDiskMovesTheJournalAtOnce_data();
    void fullDiskMovesTheJournalAtOnce();
    void vanishedFileIsWrittenAnew_data();
    void vanishedFileIsWrittenAnew();
    void unwritableWorkingFolderMovesJournalToUserFolder_data();
    void unwritableWorkingFolderMovesJournalToUserFolder();
    void leftJournalIsRecoveredAtStart_data();
    void leftJournalIsRecoveredAtStart();
    void unsavedJournalIsRecoveredAtExit_data();
    void unsavedJournalIsRecoveredAtExit();

private:
    std::unique_ptr<TestFolder> m_folder;
};

void TestJournal::init()
{
    m_folder = std::make_unique<TestFolder>(TestFolder::WithLog);
    QVERIFY(m_folder->isValid());
}

void TestJournal::cleanup()
{
    m_folder.reset();
}

void TestJournal::eachQuarterMetreIsKeptOnceAndOnDisk_data()
{
    QTest::addColumn<QVector<float>>("lengths");
    QTest::addColumn<QVector<float>>("kept");
    QTest::newRow("below a half goes down") << QVector<float>{ 12.37f } << QVector<float>{ 12.25f };
    QTest::newRow("a half goes up") << QVector<float>{ 12.375f } << QVector<float>{ 12.5f };
    QTest::newRow("a negative half goes away from zero") << QVector<float>{ -0.125f } << QVector<float>{ -0.25f };
    QTest::newRow("just under an eighth is zero") << QVector<float>{ 0.124f } << QVector<float>{ 0.0f };
    QTest::newRow("fifty kilometres") << QVector<float>{ 50000.1f } << QVector<float>{ 50000.0f };
    QTest::newRow("same quarter twice") << QVector<float>{ 10.10f, 10.12f } << QVector<float>{ 10.0f };
    QTest::newRow("next quarter") << QVector<float>{ 10.10f, 10.20f } << QVector<float>{ 10.0f, 10.25f };
    QTest::newRow("first call of the process at zero") << QVector<float>{ 0.0f } << QVector<float>{ 0.0f };
    QTest::newRow("first call rounding to minus one")
            << QVector<float>{ -1.1f, -1.0f, -0.75f } << QVector<float>{ -1.0f, -0.75f };
    QTest::newRow("only the previous call counts")
            << QVector<float>{ 5.0f, 5.25f, 5.0f } << QVector<float>{ 5.0f, 5.25f, 5.0f };
}

// Each kept measurement leaves two lines in the run log, its time and its row,
// and its row in the journal file before keep() returns; a skipped one leaves
// none.
void TestJournal::eachQuarterMetreIsKeptOnceAndOnDisk()
{
    QFETCH(QVector<float>, lengths);
    QFETCH(QVector<float>, kept);
    Journal j;
    QCOMPARE(fileBytes(journalName), header);
    QCOMPARE(j.filePath(), QDir::toNativeSeparators(m_folder->filePath(journalName)));
    QCOMPARE(j.error(), QString());
    const int before = runLogLines().size();
    QByteArray onDisk = header;
    for (float length : lengths) {
        const size_t count = j.entries().size();
        const bool kept = j.keep(-3, false, length, -0.5f, 3.0f);
        QCOMPARE(kept, j.entries().size() > count);
        if (kept)
            onDisk += formatJournalRow(j.entries().back()).toLatin1() + '\n';
        QCOMPARE(fileBytes(journalName), onDisk);
    }
    QVector<float> got;
    for (const JournalEntry &e : j.entries())
        got << e.length;
    QCOMPARE(got, kept);

    const QStringList lines = runLogLines().mid(before);
    QCOMPARE(lines.size(), 2 * kept.size());
    const QRegularExpression time(QStringLiteral("^Время \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$"));
    for (int i = 0; i < kept.size(); ++i) {
        QVERIFY2(time.match(lines[2 * i]).hasMatch(), qPrintable(lines[2 * i]));
        QCOMPARE(lines[2 * i + 1], QStringLiteral("-3-;%1;-0.500;3.000;").arg(double(kept[i]), 0, 'f', 2));
    }
}

void TestJournal::repeatIsTheSamePlaceInTheSameRecording_data()
{
    // "3+5.0" keeps picket 3, forward, 5.0 m; "start" starts a recording,
    // "save" saves the journal, "new" makes another journal (a new process).
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("kept");   // per row: K kept, S skipped
    QTest::newRow("a true repeat is still skipped") << QStringList { "3+5.0", "3+5.1" } << "KS";
    QTest::newRow("ПИКЕТ at the same distance keeps its row")
            << QStringList { "3+0.0", "4+0.0", "4+0.1" } << "KKS";
    QTest::newRow("a turn at the same spot keeps its row") << QStringList { "3+0.0", "3-0.0" } << "KK";
    QTest::newRow("a new recording keeps its first row")
            << QStringList { "3+5.0", "start", "3+5.0", "3+5.1" } << "KKS";
    QTest::newRow("a save starts no new recording") << QStringList { "3+5.0", "save", "3+5.1" } << "KS";
    QTest::newRow("a new journal starts afresh") << QStringList { "3+5.0", "new", "3+5.0" } << "KK";
}

void TestJournal::repeatIsTheSamePlaceInTheSameRecording()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, kept);
    auto j = std::make_unique<Journal>();
    const QRegularExpression row(QStringLiteral("^(-?\\d+)([+-])(.+)$"));
    QString got;
    for (const QString &step : qAsConst(steps)) {
        if (step == QLatin1String("start")) {
            j->startRecording(RunInfo());
        } else if (step == QLatin1String("save")) {
            QVERIFY(j->save(fileUrl(m_folder->filePath(QStringLiteral("a.csv")))));
        } else if (step == QLatin1String("new")) {
            j.reset();
            j = std::make_unique<Journal>();
        } else {
            const QRegularExpressionMatch m = row.match(step);
            QVERIFY(m.hasMatch());
            got += j->keep(m.captured(1).toInt(), m.captured(2) == QLatin1String("+"), m.captured(3).toFloat(),
                           1.0f, 2.0f) ? QLatin1Char('K') : QLatin1Char('S');
        }
    }
    QCOMPARE(got, kept);
}

void TestJournal::savedFileIsByteExact_data()
{
    QTest::addColumn<bool>("decimalComma");
    QTest::newRow("C locale") << false;
    QTest::newRow("locale with a decimal comma") << true;
}

void TestJournal::savedFileIsByteExact()
{
    QFETCH(bool, decimalComma);
    std::unique_ptr<CommaLocale> locale;
    if (decimalComma) {
        locale = std::make_unique<CommaLocale>();
        QCOMPARE(QLocale().toString(1.5), QStringLiteral("1,5"));
    }
    Journal j;
    const QString empty = m_folder->filePath(QStringLiteral("empty.csv"));
    QVERIFY(j.save(fileUrl(empty)));
    QCOMPARE(header.size(), 51);
    QCOMPARE(fileBytes(empty), header);

    const float none = std::numeric_limits<float>::quiet_NaN();
    j.keep(12, true, 1234.5f, 5.25f, -12.5f);
    j.keep(0, false, 0.25f, -0.5f, 3.0f);
    j.keep(-7, true, -0.125f, 1.2346f, -2.0004f);
    j.keep(-2147483647 - 1, false, 3.74f, 327.675f, -0.0004f);
    j.keep(4, true, 12.75f, 1000.5f, -1234.567f);
    j.keep(4, true, 13.0f, none, -1.5f);
    j.keep(4, true, 13.25f, std::numeric_limits<float>::infinity(), none);
    // An older file of the same name is replaced whole, not overwritten in part.
    const QString path = m_folder->filePath(QStringLiteral("протокол 1.csv"));
    QVERIFY(writeFile(path, QByteArray(4096, 'x')));
    QVERIFY(j.save(fileUrl(path)));
    QVERIFY(j.entries().empty());
    QCOMPARE(fileBytes(path),
             header
             + "12+;1234.50;5.250;-12.500;\n"
               "0-;0.25;-0.500;3.000;\n"
               "-7+;-0.25;1.235;-2.000;\n"
               "-2147483648-;3.75;327.675;-0.000;\n"
               "4+;12.75;1000.500;-1234.567;\n"
               "4+;13.00;;-1.500;\n"
               "4+;13.25;;;\n");
}

void TestJournal::urlBecomesLocalPath_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("path");
    QTest::newRow("windows drive") << "file:///C:/x/y.csv" << "C:/x/y.csv";
    QTest::newRow("windows drive in lower case") << "file:///d:/y.csv" << "d:/y.csv";
    QTest::newRow("absolute unix path keeps its slash") << "file:///tmp/y.csv" << "/tmp/y.csv";
    QTest::newRow("percent escapes are decoded")
            << "file:///tmp/%D0%B6%D1%83%D1%80%D0%BD%D0%B0%D0%BB%201.csv"
            << QStringLiteral("/tmp/журнал 1.csv");
    QTest::newRow("network share") << "file://server/share/y.csv" << "//server/share/y.csv";
    QTest::newRow("a folder named like a drive letter is not one")
            << "file:///C:x/y.csv" << "/C:x/y.csv";
    QTest::newRow("other scheme") << "http://server/y.csv" << "";
    QTest::newRow("plain path without scheme") << "/tmp/y.csv" << "";
    QTest::newRow("drive path without scheme") << "C:/x/y.csv" << "";
}

void TestJournal::urlBecomesLocalPath()
{
    QFETCH(QString, url);
    QFETCH(QString, path);
    QCOMPARE(journalPathFromUrl(url), path);
}

void TestJournal::failedSaveKeepsJournal_data()
{
    // "{dir}" stands for the targets folder: as a URL in "url", as a path in
    // "logged". A null "logged": the save does nothing, not even log.
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("logged");
    QTest::newRow("folder missing") << "{dir}/missing/j.csv" << "{dir}/missing/j.csv";
    QTest::newRow("path below a regular file") << "{dir}/plain.txt/j.csv" << "{dir}/plain.txt/j.csv";
    QTest::newRow("path is a folder") << "{dir}/folder" << "{dir}/folder";
    QTest::newRow("not a file URL") << "http://server/j.csv" << "http://server/j.csv";
    QTest::newRow("no scheme") << "{path}/j.csv" << "{path}/j.csv";
    QTest::newRow("empty URL") << "" << QString();
    QTest::newRow("eight characters") << "file:///" << QString();
}

// The journal file is part of what a failed save must leave alone; a good save
// removes it.
void TestJournal::failedSaveKeepsJournal()
{
    QFETCH(QString, url);
    QFETCH(QString, logged);
    const QString targets = m_folder->filePath(QStringLiteral("targets"));
    QVERIFY(QDir().mkpath(targets + QStringLiteral("/folder")));
    QVERIFY(writeFile(targets + QStringLiteral("/plain.txt"), "not a folder\n"));
    const bool logs = !logged.isNull();
    url.replace(QStringLiteral("{dir}"), fileUrl(targets)).replace(QStringLiteral("{path}"), targets);
    logged.replace(QStringLiteral("{dir}"), targets).replace(QStringLiteral("{path}"), targets);

    Journal j;
    fill(j, 5);
    const QByteArray journalBefore = expectedFile(j);
    QCOMPARE(fileBytes(journalName), journalBefore);
    const auto filesBefore = snapshot(m_folder->path());
    const int logBefore = runLogLines().size();

    QVERIFY(!j.save(url));

    QCOMPARE(expectedFile(j), journalBefore);
    QCOMPARE(snapshot(m_folder->path()), filesBefore);
    const QStringList lines = runLogLines();
    QCOMPARE(lines.size(), logBefore + (logs ? 1 : 0));
    if (logs) {
        const QString failed = QStringLiteral("Не удалось сохранить журнал: ") + logged + QStringLiteral(" — ");
        QVERIFY2(lines.last().startsWith(failed) && lines.last().size() > failed.size(), qPrintable(lines.last()));
    }

    const QString good = targets + QStringLiteral("/good.csv");
    QVERIFY(j.save(fileUrl(good)));
    QVERIFY(j.entries().empty());
    QCOMPARE(fileBytes(good), journalBefore);
    QVERIFY(!QFileInfo::exists(journalName));
    QCOMPARE(j.filePath(), QString());
    // The next row starts a journal file of its own.
    QVERIFY(j.keep(7, true, 99.0f, 1.0f, 2.0f));
    QCOMPARE(fileBytes(journalName), header + "7+;99.00;1.000;2.000;\n");
}

void TestJournal::writeErrorMidFileKeepsJournal_data()
{
    QTest::addColumn<int>("entries");
    QTest::newRow("failure while writing rows") << 2000;
    QTest::newRow("failure at the final flush") << 300;
}

// The file-size limit is set in a child process, so that neither this process
// nor its log is cut short; SIGXFSZ is ignored there so that the limit shows
// as a failed write instead of killing the child.
void TestJournal::writeErrorMidFileKeepsJournal()
{
#ifndef Q_OS_UNIX
    QSKIP("needs a file-size limit");
#else
    QFETCH(int, entries);
    const QString targets = m_folder->filePath(QStringLiteral("targets"));
    const QString childDir = m_folder->filePath(QStringLiteral("child"));
    QVERIFY(QDir().mkpath(targets) && QDir().mkpath(childDir));
    const QString bad = targets + QStringLiteral("/bad.csv");
    const QString good = m_folder->filePath(QStringLiteral("good.csv"));
    const QByteArray older("an older protocol\n");
    QVERIFY(writeFile(bad, older));
    const rlim_t limit = 4096;

    const pid_t pid = fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        int failures = 0;
        if (!QDir::setCurrent(childDir))
            _exit(100);
        {
            Journal j;
            fill(j, entries);
            rlimit old {};
            getrlimit(RLIMIT_FSIZE, &old);
            rlimit low = old;
            low.rlim_cur = limit;
            std::signal(SIGXFSZ, SIG_IGN);
            if (setrlimit(RLIMIT_FSIZE, &low) != 0)
                _exit(101);
            failures |= j.save(fileUrl(bad)) ? 1 : 0;
            failures |= j.entries().size() != size_t(entries) ? 2 : 0;
            setrlimit(RLIMIT_FSIZE, &old);
            const QByteArray expected = expectedFile(j);
            failures |= !j.save(fileUrl(good)) ? 4 : 0;
            failures |= !j.entries().empty() ? 8 : 0;
            failures |= fileBytes(good) != expected ? 16 : 0;
        }
        _exit(failures);
    }
    int status = 0;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    QVERIFY2(WIFEXITED(status), "the child did not exit normally");
    // 1: the save reported success, 2: the journal changed, 4/8/16: the later
    // good save failed, did not empty the journal, or wrote the wrong bytes.
    QCOMPARE(WEXITSTATUS(status), 0);

    QCOMPARE(QDir(targets).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{ QStringLiteral("bad.csv") });
    QCOMPARE(fileBytes(bad), older);
    const QByteArray written = fileBytes(good);
    QVERIFY2(written.size() > qint64(limit), "the journal must be larger than the limit");
    QCOMPARE(written.count('\n'), entries + 1);
#endif
}

// A disk that fills up during a run: the journal file keeps the rows that fit,
// none of them cut short, every later row stays in memory, and the next
// attempt after room was made writes the file whole again.
void TestJournal::fullDiskKeepsRowsUntilTheFileCanBeWrittenWhole()
{
#ifndef Q_OS_UNIX
    QSKIP("needs a file-size limit");
#else
    const QString childDir = m_folder->filePath(QStringLiteral("child"));
    QVERIFY(QDir().mkpath(childDir));
    const pid_t pid = fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        int failures = 0;
        if (!QDir::setCurrent(childDir))
            _exit(100);
        {
            Journal j;
            rlimit old {};
            getrlimit(RLIMIT_FSIZE, &old);
            rlimit low = old;
            low.rlim_cur = 2048;
            std::signal(SIGXFSZ, SIG_IGN);
            if (setrlimit(RLIMIT_FSIZE, &low) != 0)
                _exit(101);
            int onDisk = -1;
            for (int i = 0; i < 200; ++i) {
                j.keep(3, true, i * 0.25f, 1.0f + i * 0.001f, -2.0f);
                if (onDisk < 0 && j.filePath().isEmpty())
                    onDisk = i;  // rows 0 .. i-1 made it
            }
            failures |= onDisk <= 0 ? 1 : 0;
            failures |= j.entries().size() != 200 ? 2 : 0;
            failures |= j.error().isEmpty() ? 4 : 0;
            std::vector<JournalEntry> first(j.entries().begin(), j.entries().begin() + qMax(onDisk, 0));
            QByteArray part = header;
            for (const JournalEntry &e : first)
                part += formatJournalRow(e).toLatin1() + '\n';
            failures |= fileBytes(journalName) != part ? 8 : 0;
            j.sync();  // still no room
            failures |= !j.filePath().isEmpty() || fileBytes(journalName) != part ? 16 : 0;
            setrlimit(RLIMIT_FSIZE, &old);
            j.sync();
            failures |= j.filePath().isEmpty() || !j.error().isEmpty() ? 32 : 0;
            failures |= fileBytes(journalName) != expectedFile(j) ? 64 : 0;
            j.keep(3, true, 200 * 0.25f, 0.0f, 0.0f);
            failures |= fileBytes(journalName) != expectedFile(j) ? 128 : 0;
            failures |= !runLogLines().join('\n').contains(QStringLiteral("Не удалось записать измерение в файл журнала"))
                    ? 256 : 0;
            j.save(fileUrl(QStringLiteral("saved.csv")));
        }
        _exit(failures);
    }
    int status = 0;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    QVERIFY2(WIFEXITED(status), "the child did not exit normally");
    // 1: no row failed or none fitted, 2: rows were lost from memory, 4: no
    // error shown, 8/16: the file is not the rows that fitted, 32/64/128: the
    // file was not written whole once there was room, 256: nothing logged.
    QCOMPARE(WEXITSTATUS(status), 0);
#endif
}

void TestJournal::fullDiskMovesTheJournalAtOnce_data()
{
    QTest::addColumn<bool>("userFolderTakesIt");
    QTest::newRow("the user's folder takes it") << true;
    QTest::newRow("no folder takes it until room is made") << false;
}

// A working folder on a small file system of its own, which fills up during a
// recording. The child process mounts it in a mount namespace of its own, so
// that it vanishes with the child. Every row ends up on disk exactly once.
void TestJournal::fullDiskMovesTheJournalAtOnce()
{
#ifndef Q_OS_LINUX
    QSKIP("needs a file system of its own");
#else
    QFETCH(bool, userFolderTakesIt);
    const QString work = m_folder->filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work));
    if (!userFolderTakesIt)
        QVERIFY(writeFile(m_folder->filePath(QStringLiteral("user-data")), "not a folder\n"));
    const pid_t pid = fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || mount("tervalo-test", QFile::encodeName(work).constData(), "tmpfs", 0, "size=40k") != 0)
            _exit(77);
        // Room for a few hundred rows; removing the filler makes room for all.
        if (!QDir::setCurrent(work) || !writeFile(QStringLiteral("filler"), QByteArray(24576, 'x')))
            _exit(100);
        int failures = 0;
        {
            Journal j;
            for (int i = 0; i < 5000 && j.error().isEmpty(); ++i)
                j.keep(i / 400, true, (i % 400) * 0.25f, 1.0f, -2.0f);
            failures |= j.error().isEmpty() || j.entries().size() < 100 ? 1 : 0;
            const QString moved = QDir(Journal::fallbackFolder()).filePath(journalName);
            if (userFolderTakesIt) {
                failures |= j.filePath() != QDir::toNativeSeparators(moved) ? 2 : 0;
                failures |= fileBytes(moved) != expectedFile(j) ? 4 : 0;
                failures |= QFileInfo::exists(journalName) ? 8 : 0;
                j.keep(99, true, 0.0f, 1.0f, 2.0f);
                failures |= fileBytes(moved) != expectedFile(j) ? 16 : 0;
            } else {
                failures |= !j.filePath().isEmpty() ? 2 : 0;
                j.keep(99, true, 0.0f, 1.0f, 2.0f);
                failures |= j.error().isEmpty() || !j.filePath().isEmpty() ? 4 : 0;
                QFile::remove(QStringLiteral("filler"));
                j.sync();  // as the next try does
                failures |= !j.error().isEmpty() || j.filePath().isEmpty() ? 8 : 0;
                failures |= fileBytes(journalName) != expectedFile(j) ? 16 : 0;
            }
            const QByteArray expected = expectedFile(j);
            const QString recovery = j.finish();
            failures |= fileBytes(recovery) != expected ? 32 : 0;
            failures |= QFileInfo::exists(journalName) || QFileInfo::exists(moved) ? 64 : 0;
        }
        _exit(failures);
    }
    int status = 0;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    QVERIFY2(WIFEXITED(status), "the child did not exit normally");
    if (WEXITSTATUS(status) == 77)
        QSKIP("no file system can be mounted here");
    // 1: the disk never filled, 2/4/16: the journal is not where it belongs
    // whole, 8: a copy stayed behind or room made was not used, 32: the
    // recovery file lacks rows, 64: a journal file stayed.
    QCOMPARE(WEXITSTATUS(status), 0);
#endif
}

void TestJournal::vanishedFileIsWrittenAnew_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("seenWhileRunning");
    QTest::addColumn<QString>("state");   // as the window is told it
    QTest::newRow("the file removed") << "remove" << true << "rewritten";
    QTest::newRow("the file renamed") << "rename" << true << "rewritten";
    QTest::newRow("the file replaced by another") << "replace" << true << "rewritten";
    QTest::newRow("the folder removed") << "folder" << true << "moved";
    QTest::newRow("the file removed just before the end") << "remove" << false << "ok";
}

// Rows appended to a file that is no longer the one at its path would reach
// nobody: within a second the journal is written whole again, in place when
// its folder is there, else in the user's folder, and the window is told. The
// recovery file named at the end holds every row.
void TestJournal::vanishedFileIsWrittenAnew()
{
    QFETCH(QString, what);
    QFETCH(bool, seenWhileRunning);
    QFETCH(QString, state);
    const QString work = m_folder->filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work) && QDir::setCurrent(work));
    const QString path = QDir(work).filePath(journalName);
    Journal j;
    fill(j, 5);
    QCOMPARE(fileBytes(path), expectedFile(j));
    if (what == QLatin1String("remove")) {
        QVERIFY(QFile::remove(path));
    } else if (what == QLatin1String("rename")) {
        QVERIFY(QFile::rename(path, QDir(work).filePath(QStringLiteral("moved.csv"))));
    } else if (what == QLatin1String("replace")) {
        QVERIFY(writeFile(QDir(work).filePath(QStringLiteral("other")), "another file\n"));
        QVERIFY(QFile::remove(path) && QFile::rename(QDir(work).filePath(QStringLiteral("other")), path));
    } else {
        QVERIFY(QDir(work).removeRecursively());
    }
    const QString now = what == QLatin1String("folder") ? QDir(userFolder()).filePath(journalName) : path;
    if (seenWhileRunning) {
        QTRY_COMPARE_WITH_TIMEOUT(j.filePath(), QDir::toNativeSeparators(now), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(fileBytes(now), expectedFile(j), 2000);
        QVERIFY(!j.error().isEmpty());
        j.keep(9, true, 1.0f, 2.0f, 3.0f);
        QCOMPARE(fileBytes(now), expectedFile(j));
    }
    QCOMPARE(j.state(), state);
    const QByteArray expected = expectedFile(j);
    const QString recovery = j.finish();
    QCOMPARE(fileBytes(recovery), expected);
}

void TestJournal::unwritableWorkingFolderMovesJournalToUserFolder_data()
{
    QTest::addColumn<bool>("userFolderWritable");
    QTest::newRow("the user's folder takes it") << true;
    QTest::newRow("no folder takes it") << false;
}

// A folder where the journal file belongs makes the working folder unusable
// for it, as a read-only folder would (root writes everywhere else).
void TestJournal::unwritableWorkingFolderMovesJournalToUserFolder()
{
    QFETCH(bool, userFolderWritable);
    QVERIFY(QDir().mkpath(journalName));
    if (!userFolderWritable) {
        // The user's folder below a regular file cannot be made.
        QVERIFY(writeFile(m_folder->filePath(QStringLiteral("user-data")), "not a folder\n"));
    }
    const QString fallbackJournal = QDir(userFolder()).filePath(journalName);
    QString recovery;
    {
        Journal j;
        QVERIFY(j.error().contains(QDir::toNativeSeparators(m_folder->filePath(journalName))));
        QCOMPARE(j.filePath(), userFolderWritable ? QDir::toNativeSeparators(fallbackJournal) : QString());
        QCOMPARE(j.state(), userFolderWritable ? QStringLiteral("moved") : QStringLiteral("memory"));
        fill(j, 6);
        QCOMPARE(j.entries().size(), size_t(6));
        if (userFolderWritable)
            QCOMPARE(fileBytes(fallbackJournal), expectedFile(j));
        QVERIFY(QFileInfo(journalName).isDir());
        recovery = j.finish();
        if (!userFolderWritable) {
            QCOMPARE(recovery, QString());
            QVERIFY2(runLogLines().last().startsWith(QStringLiteral("Не удалось записать несохранённый журнал целиком")),
                     qPrintable(runLogLines().last()));
            return;
        }
        QVERIFY(QFileInfo(recovery).absolutePath() == QFileInfo(fallbackJournal).absolutePath());
        QCOMPARE(fileBytes(recovery), expectedFile(j));
        QVERIFY(!QFileInfo::exists(fallbackJournal));
    }
    // A run killed while the journal was in the user's folder is brought back
    // from there, wherever the next start runs.
    QVERIFY(QFile::rename(recovery, fallbackJournal));
    QVERIFY(QDir().rmdir(journalName));
    Journal next;
    QCOMPARE(next.recovered(), QStringList { recovery });
    QCOMPARE(next.filePath(), QDir::toNativeSeparators(m_folder->filePath(journalName)));
    QCOMPARE(next.error(), QString());
    QCOMPARE(next.state(), QStringLiteral("ok"));
    QCOMPARE(runLogLines().last(), QStringLiteral("Несохранённый журнал записан в файл ") + recovery);
}

void TestJournal::leftJournalIsRecoveredAtStart_data()
{
    QTest::addColumn<QByteArray>("left");        // null: no journal file
    QTest::addColumn<QByteArray>("rewrite");     // a whole rewrite a crash left beside it; null: none
    QTest::addColumn<QByteArray>("recovered");   // empty: nothing to recover
    QTest::addColumn<int>("namesTaken");
    QTest::addColumn<bool>("inUserFolder");
    const QByteArray rows = "3+;0.00;1.000;-2.000;\n3+;0.25;;-2.010;\n";
    const QByteArray more = "3+;0.50;1.500;;\n";
    const QByteArray none;
    QTest::newRow("whole rows") << header + rows << none << header + rows << 0 << false;
    QTest::newRow("a torn last line is dropped") << header + rows + "3+;0.5" << none << header + rows << 0 << false;
    QTest::newRow("taken names get -2 and -3") << header + rows << none << header + rows << 2 << false;
    QTest::newRow("in the user's folder") << header + rows + "3" << none << header + rows << 1 << true;
    QTest::newRow("a header alone holds nothing") << header << none << QByteArray() << 0 << false;
    QTest::newRow("a torn header holds nothing") << header.left(20) << none << QByteArray() << 0 << false;
    QTest::newRow("a header and a torn row hold nothing") << header + "3+;0.0" << none << QByteArray() << 0 << false;
    QTest::newRow("a file that is not a journal is kept whole")
            << QByteArray("no journal") << none << QByteArray("no journal") << 0 << false;
    QTest::newRow("a rewrite holding rows the file lacks takes its place")
            << header + rows << header + rows + more + "3+" << header + rows + more << 0 << false;
    QTest::newRow("a rewrite is the journal when the file had vanished")
            << none << header + rows << header + rows << 0 << true;
    QTest::newRow("a rewrite torn before the file's last row is dropped")
            << header + rows << header + "3+;0.00;1.0" << header + rows << 0 << false;
}

// The file is named after the last time it was written, the night of its rows,
// in ASCII digits; the previous run's log plays no part.
void TestJournal::leftJournalIsRecoveredAtStart()
{
    QFETCH(QByteArray, left);
    QFETCH(QByteArray, rewrite);
    QFETCH(QByteArray, recovered);
    QFETCH(int, namesTaken);
    QFETCH(bool, inUserFolder);
    const QString folder = inUserFolder ? userFolder() : m_folder->path();
    QVERIFY(QDir().mkpath(folder));
    const QString leftPath = QDir(folder).filePath(journalName);
    const QDateTime night(QDate(2026, 3, 4), QTime(5, 6, 7));
    for (const auto &[path, bytes] : { std::pair(leftPath, left), std::pair(leftPath + ".new", rewrite) }) {
        if (bytes.isNull())
            continue;
        QVERIFY(writeFile(path, bytes));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(night, QFileDevice::FileModificationTime));
    }
    const QString stem = QDir(folder).filePath(QStringLiteral("tervalo-unsaved-20260304-050607"));
    QStringList taken;
    for (int n = 1; n <= namesTaken; ++n) {
        taken << stem + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".csv");
        QVERIFY(writeFile(taken.last(), "earlier run\n"));
    }

    Journal j;
    for (const QString &name : qAsConst(taken))
        QCOMPARE(fileBytes(name), QByteArray("earlier run\n"));
    QVERIFY(!QFileInfo::exists(leftPath) || !inUserFolder);
    QVERIFY(!QFileInfo::exists(leftPath + ".new"));
    // This run's own file starts empty in the working folder.
    QCOMPARE(fileBytes(journalName), header);
    if (recovered.isEmpty()) {
        QCOMPARE(j.recovered(), QStringList());
        QCOMPARE(QDir(folder).entryList({ QStringLiteral("tervalo-unsaved-*") }, QDir::Files), QStringList());
        return;
    }
    const QString expected = stem + (namesTaken == 0 ? QString() : QStringLiteral("-%1").arg(namesTaken + 1))
            + QStringLiteral(".csv");
    QCOMPARE(j.recovered(), QStringList { QDir::toNativeSeparators(expected) });
    QCOMPARE(fileBytes(expected), recovered);
    const QString shown = inUserFolder ? QDir::toNativeSeparators(expected) : QFileInfo(expected).fileName();
    QVERIFY(runLogLines().contains(QStringLiteral("Несохранённый журнал записан в файл ") + shown));
}

void TestJournal::unsavedJournalIsRecoveredAtExit_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<bool>("nameTaken");
    QTest::newRow("unsaved entries are written") << 4 << false << false;
    QTest::newRow("an empty journal leaves no file") << 0 << false << false;
    QTest::newRow("a saved journal leaves no file") << 2 << true << false;
    QTest::newRow("a file of the same name is never overwritten") << 3 << false << true;
}

void TestJournal::unsavedJournalIsRecoveredAtExit()
{
    QFETCH(int, entries);
    QFETCH(bool, saved);
    QFETCH(bool, nameTaken);
    const QDateTime night(QDate(2026, 11, 12), QTime(23, 59, 58));
    const QString stem = QStringLiteral("tervalo-unsaved-20261112-235958");
    if (nameTaken)
        QVERIFY(writeFile(stem + QStringLiteral(".csv"), "earlier run\n"));
    QByteArray expected;
    QString recovery;
    {
        Journal j;
        fill(j, entries);
        if (saved)
            QVERIFY(j.save(fileUrl(m_folder->filePath(QStringLiteral("j.csv")))));
        expected = expectedFile(j);
        if (entries > 0 && !saved) {
            QFile file(journalName);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(night, QFileDevice::FileModificationTime));
        }
        recovery = j.finish();
        QCOMPARE(j.finish(), QString());  // once only
    }
    QVERIFY(!QFileInfo::exists(journalName));
    QStringList added = recoveryFiles();
    if (nameTaken) {
        QCOMPARE(fileBytes(stem + QStringLiteral(".csv")), QByteArray("earlier run\n"));
        added.removeOne(stem + QStringLiteral(".csv"));
    }
    if (entries == 0 || saved) {
        QCOMPARE(recovery, QString());
        QCOMPARE(added, QStringList());
        return;
    }
    const QString name = stem + (nameTaken ? QStringLiteral("-2") : QString()) + QStringLiteral(".csv");
    QCOMPARE(added, QStringList { name });
    QCOMPARE(recovery, QDir::toNativeSeparators(m_folder->filePath(name)));
    QCOMPARE(fileBytes(name), expected);
    QCOMPARE(runLogLines().last(), QStringLiteral("Несохранённый журнал записан в файл ") + name);
    // Its run file beside it counts and seals the rows it holds.
    RunInfo run;
    QString error;
    QVERIFY2(RunFile::read(RunFile::pathFor(name), &run, &error), qPrintable(error));
    QCOMPARE(run.rows, entries);
    QCOMPARE(run.sha256, RunFile::sha256Hex(expected));
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
