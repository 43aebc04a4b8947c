#include "journal.h"
#include "tervalo.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QUrl>
#include <QtTest>

#include <clocale>
#include <memory>

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

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

QStringList logLines()
{
    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    QStringList lines = codec->toUnicode(readAll(QStringLiteral("tervalo.log")))
                                .split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString fileUrl(const QString &path)
{
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

// Every file and folder below dir, with each file's bytes, so that a failed
// save can be shown to have left nothing behind and changed nothing.
QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> result;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        result.insert(path, it.fileInfo().isDir() ? QByteArray("<dir>") : readAll(path));
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

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lengthIsRoundedToQuarterMetre_data();
    void lengthIsRoundedToQuarterMetre();
    void repeatedLengthIsSkipped_data();
    void repeatedLengthIsSkipped();
    void lastLengthHoldsAcrossSaveAndControllers();
    void keptMeasurementLogsTwoLines();
    void savedFileIsByteExact();
    void emptyJournalSavesHeaderOnly();
    void commaLocaleDoesNotChangeFile();
    void urlBecomesLocalPath_data();
    void urlBecomesLocalPath();
    void shortUrlDoesNothing_data();
    void shortUrlDoesNothing();
    void failedSaveKeepsJournal_data();
    void failedSaveKeepsJournal();
    void writeErrorMidFileKeepsJournal_data();
    void writeErrorMidFileKeepsJournal();
    void unsavedJournalIsRecoveredAtExit();
    void noRecoveryFileWithoutEntries();
    void recoveryNeverOverwritesAFile();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldDir;
};

void TestJournal::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    lastKeptLength = -1.0f;
}

void TestJournal::cleanup()
{
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
}

void TestJournal::lengthIsRoundedToQuarterMetre_data()
{
    QTest::addColumn<float>("length");
    QTest::addColumn<float>("kept");
    QTest::addColumn<QString>("printed");
    QTest::newRow("below a half goes down") << 12.37f << 12.25f << "12.25";
    QTest::newRow("a half goes up") << 12.375f << 12.5f << "12.50";
    QTest::newRow("a negative half goes away from zero") << -0.125f << -0.25f << "-0.25";
    QTest::newRow("just under an eighth is zero") << 0.124f << 0.0f << "0.00";
    QTest::newRow("a quarter stays") << 1234.5f << 1234.5f << "1234.50";
    QTest::newRow("fifty kilometres") << 50000.1f << 50000.0f << "50000.00";
}

void TestJournal::lengthIsRoundedToQuarterMetre()
{
    QFETCH(float, length);
    QFETCH(float, kept);
    QFETCH(QString, printed);
    Tervalo c;
    c.saveMeasure(3, true, length, 1.0f, 2.0f);
    QCOMPARE(c.journalEntries().size(), size_t(1));
    QCOMPARE(c.journalEntries().back().length, kept);
    QCOMPARE(lastKeptLength, kept);
    QCOMPARE(formatJournalRow(c.journalEntries().back()),
             QStringLiteral("3+;") + printed + QStringLiteral(";1.000;2.000;"));
}

void TestJournal::repeatedLengthIsSkipped_data()
{
    QTest::addColumn<QVector<float>>("lengths");
    QTest::addColumn<QVector<float>>("kept");
    QTest::newRow("same quarter twice") << QVector<float>{ 10.10f, 10.12f } << QVector<float>{ 10.0f };
    QTest::newRow("next quarter") << QVector<float>{ 10.10f, 10.20f } << QVector<float>{ 10.0f, 10.25f };
    QTest::newRow("first call of the process at zero")
            << QVector<float>{ 0.0f } << QVector<float>{ 0.0f };
    QTest::newRow("first call rounding to minus one")
            << QVector<float>{ -1.1f, -1.0f, -0.75f } << QVector<float>{ -0.75f };
    QTest::newRow("only the previous call counts")
            << QVector<float>{ 5.0f, 5.25f, 5.0f } << QVector<float>{ 5.0f, 5.25f, 5.0f };
}

void TestJournal::repeatedLengthIsSkipped()
{
    QFETCH(QVector<float>, lengths);
    QFETCH(QVector<float>, kept);
    Tervalo c;
    for (float length : lengths)
        c.saveMeasure(1, true, length, 0.0f, 0.0f);
    QVector<float> got;
    for (const JournalEntry &e : c.journalEntries())
        got << e.length;
    QCOMPARE(got, kept);
}

void TestJournal::lastLengthHoldsAcrossSaveAndControllers()
{
    {
        Tervalo c;
        c.saveMeasure(1, true, 5.0f, 0.0f, 0.0f);
        QVERIFY(c.measKeeped());
        QVERIFY(c.saveProtocol(fileUrl(m_dir->filePath(QStringLiteral("a.csv")))));
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

void TestJournal::keptMeasurementLogsTwoLines()
{
    Tervalo c;
    const int before = logLines().size();
    c.saveMeasure(-3, false, 7.3f, -0.5f, 3.0f);
    QStringList lines = logLines();
    QCOMPARE(lines.size(), before + 2);
    QVERIFY2(QRegularExpression(QStringLiteral(
                     "^Время \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$"))
                     .match(lines[before]).hasMatch(),
             qPrintable(lines[before]));
    QCOMPARE(lines[before + 1], QStringLiteral("-3-;7.25;-0.500;3.000;"));

    c.saveMeasure(-3, false, 7.2f, 9.0f, 9.0f);  // same quarter: no trace
    QCOMPARE(logLines().size(), before + 2);
}

void TestJournal::savedFileIsByteExact()
{
    Tervalo c;
    c.saveMeasure(12, true, 1234.5f, 5.25f, -12.5f);
    c.saveMeasure(0, false, 0.25f, -0.5f, 3.0f);
    c.saveMeasure(-7, true, 0.5f, 1.2346f, -2.0004f);
    c.saveMeasure(-2147483647 - 1, false, 3.74f, 327.675f, -0.0004f);
    // An older file of the same name is replaced whole, not overwritten in part.
    const QString path = m_dir->filePath(QStringLiteral("протокол 1.csv"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(4096, 'x'));
    }
    QVERIFY(c.saveProtocol(fileUrl(path)));
    QVERIFY(c.journalEntries().empty());
    QCOMPARE(readAll(path),
             header
             + "12+;1234.50;5.250;-12.500;\n"
               "0-;0.25;-0.500;3.000;\n"
               "-7+;0.50;1.235;-2.000;\n"
               "-2147483648-;3.75;327.675;-0.000;\n");
}

void TestJournal::emptyJournalSavesHeaderOnly()
{
    Tervalo c;
    const QString path = m_dir->filePath(QStringLiteral("empty.csv"));
    QVERIFY(c.saveProtocol(fileUrl(path)));
    QCOMPARE(header.size(), 51);
    QCOMPARE(readAll(path), header);
}

void TestJournal::commaLocaleDoesNotChangeFile()
{
    Tervalo c;
    c.saveMeasure(4, true, 12.5f, -1.25f, 1000.5f);
    c.saveMeasure(4, true, 12.75f, 0.125f, -1234.567f);
    const QByteArray expected = header + "4+;12.50;-1.250;1000.500;\n4+;12.75;0.125;-1234.567;\n";

    const QByteArray oldCLocale = std::setlocale(LC_ALL, nullptr);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    bool cLocaleSet = false;
    for (const char *name : { "de_DE.UTF-8", "de_DE.utf8", "de_DE", "ru_RU.UTF-8", "German_Germany.1252" }) {
        if (std::setlocale(LC_ALL, name)) {
            cLocaleSet = true;
            break;
        }
    }
    const QString path = m_dir->filePath(QStringLiteral("locale.csv"));
    const bool saved = c.saveProtocol(fileUrl(path));
    const QString germanNumber = QLocale().toString(1.5);
    std::setlocale(LC_ALL, oldCLocale.constData());
    QLocale::setDefault(QLocale::c());

    QCOMPARE(germanNumber, QStringLiteral("1,5"));
    if (!cLocaleSet)
        qInfo("no C library locale with a decimal comma installed; only the Qt locale was changed");
    QVERIFY(saved);
    QCOMPARE(readAll(path), expected);
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

void TestJournal::shortUrlDoesNothing_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("empty") << "";
    QTest::newRow("eight characters") << "file:///";
}

void TestJournal::shortUrlDoesNothing()
{
    QFETCH(QString, url);
    Tervalo c;
    fill(c, 3);
    const QStringList logBefore = logLines();
    const auto filesBefore = snapshot(m_dir->path());
    QVERIFY(!c.saveProtocol(url));
    QCOMPARE(c.journalEntries().size(), size_t(3));
    QCOMPARE(logLines(), logBefore);
    QCOMPARE(snapshot(m_dir->path()), filesBefore);
}

void TestJournal::failedSaveKeepsJournal_data()
{
    // "{dir}" stands for the targets folder: as a URL in "url", as a path in
    // "logged".
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("logged");
    QTest::newRow("folder missing") << "{dir}/missing/j.csv" << "{dir}/missing/j.csv";
    QTest::newRow("path below a regular file") << "{dir}/plain.txt/j.csv" << "{dir}/plain.txt/j.csv";
    QTest::newRow("path is a folder") << "{dir}/folder" << "{dir}/folder";
    QTest::newRow("not a file URL") << "http://server/j.csv" << "http://server/j.csv";
    QTest::newRow("no scheme") << "{path}/j.csv" << "{path}/j.csv";
}

void TestJournal::failedSaveKeepsJournal()
{
    QFETCH(QString, url);
    QFETCH(QString, logged);
    const QString targets = m_dir->filePath(QStringLiteral("targets"));
    QVERIFY(QDir().mkpath(targets + QStringLiteral("/folder")));
    {
        QFile plain(targets + QStringLiteral("/plain.txt"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("not a folder\n");
    }
    url.replace(QStringLiteral("{dir}"), fileUrl(targets));
    url.replace(QStringLiteral("{path}"), targets);
    logged.replace(QStringLiteral("{dir}"), targets);
    logged.replace(QStringLiteral("{path}"), targets);

    Tervalo c;
    fill(c, 5);
    const QStringList journalBefore = [&] {
        QStringList rows;
        for (const JournalEntry &e : c.journalEntries())
            rows << formatJournalRow(e);
        return rows;
    }();
    const auto filesBefore = snapshot(targets);
    const int logBefore = logLines().size();

    QVERIFY(!c.saveProtocol(url));

    QStringList journalAfter;
    for (const JournalEntry &e : c.journalEntries())
        journalAfter << formatJournalRow(e);
    QCOMPARE(journalAfter, journalBefore);
    QCOMPARE(snapshot(targets), filesBefore);
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), logBefore + 1);
    QVERIFY2(lines.last().startsWith(QStringLiteral("Не удалось сохранить журнал: ") + logged
                                     + QStringLiteral(" — ")),
             qPrintable(lines.last()));
    QVERIFY(lines.last().size() > QStringLiteral("Не удалось сохранить журнал:  — ").size()
                                          + logged.size());

    const QString good = targets + QStringLiteral("/good.csv");
    QVERIFY(c.saveProtocol(fileUrl(good)));
    QVERIFY(c.journalEntries().empty());
    QByteArray expected = header;
    for (const QString &row : journalBefore)
        expected += row.toLatin1() + '\n';
    QCOMPARE(readAll(good), expected);
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
    const QString targets = m_dir->filePath(QStringLiteral("targets"));
    const QString childDir = m_dir->filePath(QStringLiteral("child"));
    QVERIFY(QDir().mkpath(targets));
    QVERIFY(QDir().mkpath(childDir));
    const QString bad = targets + QStringLiteral("/bad.csv");
    const QString good = m_dir->filePath(QStringLiteral("good.csv"));
    const QByteArray older("an older protocol\n");
    {
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(older);
    }
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
            if (c.saveProtocol(fileUrl(bad)))
                failures |= 1;
            if (c.journalEntries().size() != size_t(entries))
                failures |= 2;
            setrlimit(RLIMIT_FSIZE, &old);
            const QByteArray expected = expectedFile(c);
            if (!c.saveProtocol(fileUrl(good)))
                failures |= 4;
            if (!c.journalEntries().empty())
                failures |= 8;
            if (readAll(good) != expected)
                failures |= 16;
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
    QCOMPARE(readAll(bad), older);
    const QByteArray written = readAll(good);
    QVERIFY2(written.size() > qint64(limit), "the journal must be larger than the limit");
    QCOMPARE(written.count('\n'), entries + 1);
#endif
}

void TestJournal::unsavedJournalIsRecoveredAtExit()
{
    QByteArray expected;
    {
        Tervalo c;
        fill(c, 4);
        expected = expectedFile(c);
    }
    const QStringList files = recoveryFiles();
    QCOMPARE(files.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^tervalo-unsaved-\\d{8}-\\d{6}\\.csv$"))
                     .match(files.first()).hasMatch(),
             qPrintable(files.first()));
    QCOMPARE(readAll(files.first()), expected);
    QCOMPARE(logLines().last(), QStringLiteral("Несохранённый журнал записан в файл ") + files.first());
}

void TestJournal::noRecoveryFileWithoutEntries()
{
    {
        Tervalo never;
    }
    {
        Tervalo saved;
        fill(saved, 2);
        QVERIFY(saved.saveProtocol(fileUrl(m_dir->filePath(QStringLiteral("j.csv")))));
    }
    QVERIFY(recoveryFiles().isEmpty());
}

void TestJournal::recoveryNeverOverwritesAFile()
{
    // Take every name the destructor could pick within the next minute, so that
    // the test holds however slowly it runs up to that point.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList taken;
    for (int s = 0; s < 60; ++s) {
        const QString name = QStringLiteral("tervalo-unsaved-")
                + now.addSecs(s).toString(QStringLiteral("yyyyMMdd-HHmmss"))
                + QStringLiteral(".csv");
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("earlier run\n");
        taken << name;
    }
    QByteArray expected;
    {
        Tervalo c;
        fill(c, 3);
        expected = expectedFile(c);
    }
    const bool withinTakenMinute = QDateTime::currentDateTime() < now.addSecs(59);
    for (const QString &name : qAsConst(taken))
        QCOMPARE(readAll(name), QByteArray("earlier run\n"));
    QStringList added = recoveryFiles();
    for (const QString &name : qAsConst(taken))
        added.removeOne(name);
    QCOMPARE(added.size(), 1);
    if (withinTakenMinute)
        QVERIFY2(added.first().endsWith(QStringLiteral("-2.csv")), qPrintable(added.first()));
    QCOMPARE(readAll(added.first()), expected);
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
