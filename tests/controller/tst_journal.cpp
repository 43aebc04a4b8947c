#include "journal.h"
#include "tervalo.h"
#include "testfolder.h"

#include <QDateTime>
#include <QDirIterator>
#include <QLocale>
#include <QRegularExpression>
#include <QUrl>
#include <QtTest>

#include <clocale>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
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
    return QDir().entryList({ QStringLiteral("tervalo-unsaved-*") }, QDir::Files, QDir::Name);
}

void fill(Tervalo &c, int count)
{
    for (int i = 0; i < count; ++i)
        c.saveMeasure(i / 100, i % 2 == 0, i * 0.25f, i * 0.01f, -i * 0.5f);
}

QByteArray expectedFile(const Tervalo &c)
{
    QByteArray bytes = header;
    for (const JournalEntry &e : c.journalEntries())
        bytes += formatJournalRow(e).toLatin1() + '\n';
    return bytes;
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

    void eachQuarterMetreIsKeptOnce_data();
    void eachQuarterMetreIsKeptOnce();
    void lastLengthHoldsAcrossSaveAndControllers();
    void savedFileIsByteExact_data();
    void savedFileIsByteExact();
    void urlBecomesLocalPath_data();
    void urlBecomesLocalPath();
    void failedSaveKeepsJournal_data();
    void failedSaveKeepsJournal();
    void writeErrorMidFileKeepsJournal_data();
    void writeErrorMidFileKeepsJournal();
    void unsavedJournalIsRecoveredAtExit_data();
    void unsavedJournalIsRecoveredAtExit();

private:
    std::unique_ptr<TestFolder> m_folder;
};

void TestJournal::init()
{
    m_folder = std::make_unique<TestFolder>();
    QVERIFY(m_folder->isValid());
    lastKeptLength = -1.0f;
}

void TestJournal::cleanup()
{
    m_folder.reset();
}

void TestJournal::eachQuarterMetreIsKeptOnce_data()
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
            << QVector<float>{ -1.1f, -1.0f, -0.75f } << QVector<float>{ -0.75f };
    QTest::newRow("only the previous call counts")
            << QVector<float>{ 5.0f, 5.25f, 5.0f } << QVector<float>{ 5.0f, 5.25f, 5.0f };
}

// Each kept measurement leaves two lines in the run log, its time and its row;
// a skipped one leaves none.
void TestJournal::eachQuarterMetreIsKeptOnce()
{
    QFETCH(QVector<float>, lengths);
    QFETCH(QVector<float>, kept);
    Tervalo c;
    const int before = runLogLines().size();
    for (float length : lengths)
        c.saveMeasure(-3, false, length, -0.5f, 3.0f);
    QVector<float> got;
    for (const JournalEntry &e : c.journalEntries())
        got << e.length;
    QCOMPARE(got, kept);
    QCOMPARE(lastKeptLength, kept.last());

    const QStringList lines = runLogLines().mid(before);
    QCOMPARE(lines.size(), 2 * kept.size());
    const QRegularExpression time(QStringLiteral("^Время \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$"));
    for (int i = 0; i < kept.size(); ++i) {
        QVERIFY2(time.match(lines[2 * i]).hasMatch(), qPrintable(lines[2 * i]));
        QCOMPARE(lines[2 * i + 1], QStringLiteral("-3-;%1;-0.500;3.000;").arg(double(kept[i]), 0, 'f', 2));
    }
}

void TestJournal::lastLengthHoldsAcrossSaveAndControllers()
{
    {
        Tervalo c;
        c.saveMeasure(1, true, 5.0f, 0.0f, 0.0f);
        QVERIFY(c.measKeeped());
        QVERIFY(!c.measKeeped());  // reading clears it
        QVERIFY(c.saveProtocol(fileUrl(m_folder->filePath(QStringLiteral("a.csv")))));
        c.saveMeasure(1, true, 5.1f, 0.0f, 0.0f);
        QVERIFY(c.journalEntries().empty());
        QVERIFY(!c.measKeeped());
    }
    // The standing trolley is the same trolley for a controller made later.
    Tervalo c;
    c.saveMeasure(1, true, 4.9f, 0.0f, 0.0f);
    QVERIFY(c.journalEntries().empty());
    c.saveMeasure(1, true, 5.25f, 0.0f, 0.0f);
    QCOMPARE(c.journalEntries().size(), size_t(1));
    QVERIFY(c.measKeeped());
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
    Tervalo c;
    const QString empty = m_folder->filePath(QStringLiteral("empty.csv"));
    QVERIFY(c.saveProtocol(fileUrl(empty)));
    QCOMPARE(header.size(), 51);
    QCOMPARE(fileBytes(empty), header);

    c.saveMeasure(12, true, 1234.5f, 5.25f, -12.5f);
    c.saveMeasure(0, false, 0.25f, -0.5f, 3.0f);
    c.saveMeasure(-7, true, -0.125f, 1.2346f, -2.0004f);
    c.saveMeasure(-2147483647 - 1, false, 3.74f, 327.675f, -0.0004f);
    c.saveMeasure(4, true, 12.75f, 1000.5f, -1234.567f);
    // An older file of the same name is replaced whole, not overwritten in part.
    const QString path = m_folder->filePath(QStringLiteral("протокол 1.csv"));
    QVERIFY(writeFile(path, QByteArray(4096, 'x')));
    QVERIFY(c.saveProtocol(fileUrl(path)));
    QVERIFY(c.journalEntries().empty());
    QCOMPARE(fileBytes(path),
             header
             + "12+;1234.50;5.250;-12.500;\n"
               "0-;0.25;-0.500;3.000;\n"
               "-7+;-0.25;1.235;-2.000;\n"
               "-2147483648-;3.75;327.675;-0.000;\n"
               "4+;12.75;1000.500;-1234.567;\n");
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

    Tervalo c;
    fill(c, 5);
    const QByteArray journalBefore = expectedFile(c);
    const auto filesBefore = snapshot(m_folder->path());
    const int logBefore = runLogLines().size();

    QVERIFY(!c.saveProtocol(url));

    QCOMPARE(expectedFile(c), journalBefore);
    QCOMPARE(snapshot(m_folder->path()), filesBefore);
    const QStringList lines = runLogLines();
    QCOMPARE(lines.size(), logBefore + (logs ? 1 : 0));
    if (logs) {
        const QString failed = QStringLiteral("Не удалось сохранить журнал: ") + logged + QStringLiteral(" — ");
        QVERIFY2(lines.last().startsWith(failed) && lines.last().size() > failed.size(), qPrintable(lines.last()));
    }

    const QString good = targets + QStringLiteral("/good.csv");
    QVERIFY(c.saveProtocol(fileUrl(good)));
    QVERIFY(c.journalEntries().empty());
    QCOMPARE(fileBytes(good), journalBefore);
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
            Tervalo c;
            fill(c, entries);
            rlimit old {};
            getrlimit(RLIMIT_FSIZE, &old);
            rlimit low = old;
            low.rlim_cur = limit;
            std::signal(SIGXFSZ, SIG_IGN);
            if (setrlimit(RLIMIT_FSIZE, &low) != 0)
                _exit(101);
            failures |= c.saveProtocol(fileUrl(bad)) ? 1 : 0;
            failures |= c.journalEntries().size() != size_t(entries) ? 2 : 0;
            setrlimit(RLIMIT_FSIZE, &old);
            const QByteArray expected = expectedFile(c);
            failures |= !c.saveProtocol(fileUrl(good)) ? 4 : 0;
            failures |= !c.journalEntries().empty() ? 8 : 0;
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
    // Take every name the destructor could pick within the next minute, so that
    // the row holds however slowly it runs up to that point.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList taken;
    for (int s = 0; nameTaken && s < 60; ++s) {
        taken << QStringLiteral("tervalo-unsaved-") + now.addSecs(s).toString(QStringLiteral("yyyyMMdd-HHmmss"))
                        + QStringLiteral(".csv");
        QVERIFY(writeFile(taken.last(), "earlier run\n"));
    }
    QByteArray expected;
    {
        Tervalo c;
        fill(c, entries);
        if (saved)
            QVERIFY(c.saveProtocol(fileUrl(m_folder->filePath(QStringLiteral("j.csv")))));
        expected = expectedFile(c);
    }
    const bool suffixed = nameTaken && QDateTime::currentDateTime() < now.addSecs(59);
    QStringList added = recoveryFiles();
    for (const QString &name : qAsConst(taken)) {
        QCOMPARE(fileBytes(name), QByteArray("earlier run\n"));
        added.removeOne(name);
    }
    if (entries == 0 || saved) {
        QCOMPARE(added, QStringList());
        return;
    }
    QCOMPARE(added.size(), 1);
    const QString name = added.first();
    // A taken name gets "-2"; only a run slower than the taken minute finds the plain name free.
    const QString pattern = QStringLiteral("^tervalo-unsaved-\\d{8}-\\d{6}%1\\.csv$").arg(suffixed ? "-2" : "");
    if (suffixed || !nameTaken)
        QVERIFY2(QRegularExpression(pattern).match(name).hasMatch(), qPrintable(name));
    QCOMPARE(fileBytes(name), expected);
    QCOMPARE(runLogLines().last(), QStringLiteral("Несохранённый журнал записан в файл ") + name);
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
