// tervalo-archive: every saved run in one database, and what the runs say
// together: the history of a spot of the rail, and where it is drifting to.

#include "archivedatabase.h"
#include "archiveimport.h"
#include "archivequery.h"
#include "toolstart.h"
#include "trendpdf.h"
#include "wholefile.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

#include <cmath>
#include <memory>

namespace {

enum Exit { Done = 0, Failed = 1, Usage = 2 };

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int fail(const QString &message, int code = Failed)
{
    err() << "tervalo-archive: " << message << '\n' << Qt::flush;
    return code;
}

bool parseLimits(const QString &text, Limits *limits)
{
    const QStringList parts = text.split(QLatin1Char(','));
    bool ok1 = false, ok2 = false;
    if (parts.size() == 2) {
        limits->low = parts[0].trimmed().toDouble(&ok1);
        limits->high = parts[1].trimmed().toDouble(&ok2);
    }
    return ok1 && ok2 && std::isfinite(limits->low) && std::isfinite(limits->high);
}

// "2026-12-08" or "08.12.2026"; with dateTime also "2026-12-08T01:30" and an
// offset from UTC. Without an offset the time is this machine's local time.
bool parseDate(const QString &text, QDate *date, QDateTime *dateTime)
{
    *date = QDate::fromString(text, Qt::ISODate);
    if (!date->isValid())
        *date = QDate::fromString(text, QStringLiteral("dd.MM.yyyy"));
    if (date->isValid()) {
        if (dateTime)
            *dateTime = QDateTime(*date, QTime(0, 0));
        return true;
    }
    if (!dateTime)
        return false;
    *dateTime = QDateTime::fromString(text, Qt::ISODate);
    return dateTime->isValid();
}

// Pads every column to its widest cell, for a terminal's fixed-width font.
void printTable(const QVector<QStringList> &rows)
{
    QVector<int> width;
    for (const QStringList &row : rows)
        for (int i = 0; i < row.size(); ++i) {
            if (width.size() <= i)
                width.append(0);
            width[i] = std::max(width[i], int(row[i].size()));
        }
    for (const QStringList &row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(width[i] + 2) : row[i];
        out() << line.trimmed() << '\n';
    }
}

QString readingText(qint32 value)
{
    return value == RunChunks::noReading ? QStringLiteral("нет") : QString::number(value / 1000.0, 'f', 3);
}

struct Command
{
    QString name;
    QStringList options;  // those it takes besides --database
    QStringList required;
};

const QVector<Command> &commands()
{
    static const QVector<Command> list {
        { QStringLiteral("import"), { "line", "track", "date" }, {} },
        { QStringLiteral("list"), { "line", "track" }, {} },
        { QStringLiteral("history"), { "line", "track", "at" }, { "line", "track", "at" } },
        { QStringLiteral("trend"),
          { "line", "track", "from", "to", "output", "csv", "vertical", "horizontal", "worse" },
          { "line", "track", "output" } },
    };
    return list;
}

int importFiles(ArchiveDatabase &archive, const QStringList &files, const ImportOptions &options)
{
    int imported = 0, present = 0, refused = 0;
    for (const QString &file : files) {
        ImportResult r;
        QString error;
        if (!ArchiveImport::importRun(archive, file, options, &r, &error)) {
            ++refused;
            err() << error << '\n' << Qt::flush;
            continue;
        }
        const QString where = QStringLiteral("линия %1, путь %2, %3").arg(r.line, r.track, ArchiveQuery::dateText(r.date));
        if (r.imported) {
            ++imported;
            out() << file << QStringLiteral(": принят в архив: ") << where;
            if (r.dateSource == ImportResult::FileTime)
                out() << QStringLiteral(" (дата по времени изменения файла)");
            out() << QStringLiteral(", строк ") << r.rows << '\n';
        } else {
            ++present;
            out() << file << QStringLiteral(": уже в архиве (") << where << QStringLiteral("), пропущен\n");
        }
        out().flush();
    }
    if (files.size() > 1)
        out() << QStringLiteral("Принято ") << imported << QStringLiteral(", уже были в архиве ") << present << QStringLiteral(", отказано ") << refused << '\n';
    return refused > 0 ? Failed : Done;
}

int list(ArchiveDatabase &archive, const QString &line, const QString &track)
{
    std::vector<ArchivedRun> runs;
    QString error;
    if (!ArchiveQuery::runs(archive, line, track, &runs, &error))
        return fail(error);
    if (runs.empty()) {
        out() << QStringLiteral("В архиве нет проездов") << (line.isEmpty() && track.isEmpty() ? QString() : QStringLiteral(" с этой линией и путём")) << '\n';
        return Done;
    }
    QVector<QStringList> rows { { QStringLiteral("Дата"), QStringLiteral("Линия"), QStringLiteral("Путь"),
                                  QStringLiteral("Пикеты"), QStringLiteral("Строк"), QStringLiteral("Оператор"),
                                  QStringLiteral("Файл") } };
    bool byFileTime = false;
    for (const ArchivedRun &r : runs) {
        const bool fileTime = r.dateSource == ArchiveImport::dateSourceKey(ImportResult::FileTime);
        byFileTime = byFileTime || fileTime;
        rows.append({ ArchiveQuery::dateText(r.date) + (fileTime ? QStringLiteral("*") : QString()), r.line, r.track,
                      ArchiveQuery::coverageText(r), QString::number(r.rows), r.operatorName, r.fileName });
    }
    printTable(rows);
    if (byFileTime)
        out() << QStringLiteral("* дата по времени изменения файла протокола: файла прогона с временем начала не было\n");
    return Done;
}

int history(ArchiveDatabase &archive, const QString &line, const QString &track, qint64 quarter)
{
    std::vector<SpotReading> readings;
    QString error;
    if (!ArchiveQuery::history(archive, line, track, quarter, &readings, &error))
        return fail(error);
    out() << QStringLiteral("Линия ") << line << QStringLiteral(", путь ") << track << ", " << RunChunks::spotText(quarter) << ": ";
    if (readings.empty()) {
        out() << QStringLiteral("ни один проезд здесь не проходил\n");
        return Done;
    }
    out() << QStringLiteral("проездов ") << readings.size() << '\n';
    QVector<QStringList> rows { { QStringLiteral("Дата"), QStringLiteral("Напр."), QStringLiteral("Вертикаль, мм"),
                                  QStringLiteral("Горизонталь, мм"), QStringLiteral("Оператор"), QStringLiteral("Файл"),
                                  QStringLiteral("Отметки рядом") } };
    for (const SpotReading &s : readings)
        rows.append({ ArchiveQuery::dateText(s.run.date), s.forward ? QStringLiteral("+") : QStringLiteral("-"),
                      readingText(s.value[Vertical]), readingText(s.value[Horizontal]), s.run.operatorName,
                      s.run.fileName, s.marks.join(QStringLiteral("; ")) });
    printTable(rows);
    return Done;
}

int trend(ArchiveDatabase &archive, TrendReport &report, const QString &pdf, const QString &csv)
{
    QString error;
    if (!ArchiveQuery::trackReadings(archive, report.line, report.track, report.from, report.to, &report.input, &error))
        return fail(error);
    if (report.input.runs.empty())
        return fail(QStringLiteral("нет проездов по линии %1, путь %2 за этот период; отчёт не составлен")
                        .arg(report.line, report.track));
    report.result = Trend::compute(report.input, report.limits, report.worse);
    if (!csv.isEmpty()
        && !WholeFile::save(csv, [&](QIODevice *d, QString *) { return TrendCsv::write(report, d); }, &error))
        return fail(error);
    if (!WholeFile::save(pdf, [&](QIODevice *d, QString *why) { return TrendPdf::write(report, d, why); }, &error))
        return fail(error);
    int withRate = 0, already = 0, flags[3] = { 0, 0, 0 };
    for (const SpotTrend &s : report.result.spots) {
        withRate += s.hasRate ? 1 : 0;
        already += s.hasRate && s.reach == SpotTrend::Already ? 1 : 0;
        for (int f = 0; f < 3; ++f)
            flags[f] += (s.flags >> f) & 1;
    }
    out() << pdf << QStringLiteral(": стр. ") << TrendPdf::pages(report) << QStringLiteral(", проездов ") << report.input.runs.size()
          << QStringLiteral(", точек с трендом ") << withRate << QStringLiteral(", уже за допуском ") << already << QStringLiteral(", флаги: новое ") << flags[0]
          << QStringLiteral(", хуже ") << flags[1] << QStringLiteral(", исправлено ") << flags[2] << '\n';
    if (report.input.runs.size() < size_t(Trend::minimumRuns))
        out() << QStringLiteral("для скорости и прогноза нужны показания хотя бы ") << Trend::minimumRuns << QStringLiteral(" проездов\n");
    return Done;
}

} // namespace

int main(int argc, char **argv)
{
    ToolStart::keepHeapForReuse();
    bool paints = false;
    for (int i = 1; i < argc; ++i)
        paints = paints || qstrcmp(argv[i], "trend") == 0;
#ifndef Q_OS_WIN
    // Fonts for the PDF need a GUI application, not a display.
    if (paints && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    std::unique_ptr<QCoreApplication> app(paints ? new QGuiApplication(argc, argv) : new QCoreApplication(argc, argv));
    // The program's own names, so that the default archive is the one the
    // window puts its runs into.
    QCoreApplication::setOrganizationName(QStringLiteral("brenvik"));
    QCoreApplication::setApplicationName(QStringLiteral("tervalo"));
    ToolStart::loadQtTranslation(app.get());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Архив проездов Tervalo.\n"
        "  import ПРОТОКОЛ.csv…   принять протоколы (с файлами прогона .json рядом)\n"
        "  list                   список проездов\n"
        "  history                показания всех проездов в одной точке\n"
        "  trend                  скорость изменения и прогноз выхода за допуск, PDF"));
    parser.addHelpOption();
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Версия программы."));
    parser.addPositionalArgument(QStringLiteral("команда"), QStringLiteral("import, list, history или trend"));
    parser.addOptions({
        version,
        { QStringLiteral("database"),
          QStringLiteral("Архив: файл SQLite или postgresql://пользователь@сервер[:порт]/база (по умолчанию "
                         "TERVALO_ARCHIVE, без неё %1). Пароль — из PGPASSWORD или ~/.pgpass.")
              .arg(ArchiveLocation::defaultPath()),
          QStringLiteral("БАЗА") },
        { QStringLiteral("line"), QStringLiteral("Линия."), QStringLiteral("L") },
        { QStringLiteral("track"), QStringLiteral("Путь."), QStringLiteral("T") },
        { QStringLiteral("date"),
          QStringLiteral("import: дата проезда, когда в файле прогона нет времени начала (ГГГГ-ММ-ДД[Тчч:мм]); "
                         "без неё — время изменения файла протокола."),
          QStringLiteral("ДАТА") },
        { QStringLiteral("at"), QStringLiteral("history: точка, \"ПК 12 + 37.25\"."), QStringLiteral("ТОЧКА") },
        { QStringLiteral("from"), QStringLiteral("trend: первый день (ГГГГ-ММ-ДД)."), QStringLiteral("ДАТА") },
        { QStringLiteral("to"), QStringLiteral("trend: последний день (ГГГГ-ММ-ДД)."), QStringLiteral("ДАТА") },
        { { QStringLiteral("o"), QStringLiteral("output") }, QStringLiteral("trend: PDF, который записать."),
          QStringLiteral("trend.pdf") },
        { QStringLiteral("csv"), QStringLiteral("trend: ещё и точки списком, CSV (Windows-1251)."),
          QStringLiteral("trend.csv") },
        { QStringLiteral("vertical"), QStringLiteral("trend: допуск вертикали, мм (по умолчанию -6,6)."),
          QStringLiteral("LOW,HIGH"), QStringLiteral("-6,6") },
        { QStringLiteral("horizontal"), QStringLiteral("trend: допуск горизонтали, мм (по умолчанию -8,8)."),
          QStringLiteral("LOW,HIGH"), QStringLiteral("-8,8") },
        { QStringLiteral("worse"),
          QStringLiteral("trend: «хуже» — ближе к пределу, чем в прошлом проезде, больше чем на MM (по умолчанию 1.0)."),
          QStringLiteral("MM"), QStringLiteral("1.0") },
    });
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText() + QStringLiteral(" (см. --help)"), Usage);
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(Done);
    if (parser.isSet(version)) {
        out() << "tervalo-archive " << TERVALO_VERSION << '\n';
        return Done;
    }

    QStringList positional = parser.positionalArguments();
    const QString name = positional.isEmpty() ? QString() : positional.takeFirst();
    const Command *command = nullptr;
    for (const Command &c : commands())
        command = c.name == name ? &c : command;
    if (!command)
        return fail(QStringLiteral("нужна команда: import, list, history или trend (см. --help)"), Usage);
    for (const QString &option : parser.optionNames()) {
        const QString key = option == QLatin1String("o") ? QStringLiteral("output") : option;
        if (key != QLatin1String("database") && !command->options.contains(key))
            return fail(QStringLiteral("у команды %1 нет параметра --%2").arg(name, key), Usage);
    }
    for (const QString &option : command->required)
        if (parser.value(option).trimmed().isEmpty())
            return fail(QStringLiteral("команде %1 нужен --%2").arg(name, option), Usage);
    if (name == QLatin1String("import") ? positional.isEmpty() : !positional.isEmpty())
        return fail(name == QLatin1String("import") ? QStringLiteral("import: укажите файлы протоколов")
                                                    : QStringLiteral("%1: лишнее: %2").arg(name, positional.join(' ')),
                    Usage);
    const QString line = parser.value(QStringLiteral("line")).trimmed();
    const QString track = parser.value(QStringLiteral("track")).trimmed();

    ArchiveLocation location;
    QString error;
    if (!ArchiveLocation::parse(parser.value(QStringLiteral("database")), &location, &error))
        return fail(error, Usage);

    ImportOptions options;
    qint64 spot = 0;
    TrendReport report;
    QString pdf, csv;
    if (name == QLatin1String("import")) {
        options.line = line;
        options.track = track;
        QDate day;
        const QString date = parser.value(QStringLiteral("date"));
        if (!date.isEmpty() && !parseDate(date, &day, &options.date))
            return fail(QStringLiteral("--date: ожидается ГГГГ-ММ-ДД или ГГГГ-ММ-ДДТчч:мм, а не «%1»").arg(date), Usage);
    } else if (name == QLatin1String("history")) {
        if (!RunChunks::parseSpot(parser.value(QStringLiteral("at")), &spot))
            return fail(QStringLiteral("--at: ожидается точка вида \"ПК 12 + 37.25\", а не «%1»")
                            .arg(parser.value(QStringLiteral("at"))),
                        Usage);
    } else if (name == QLatin1String("trend")) {
        report.line = line;
        report.track = track;
        for (const auto &d : { std::make_pair(QStringLiteral("from"), &report.from),
                               std::make_pair(QStringLiteral("to"), &report.to) }) {
            const QString text = parser.value(d.first);
            if (!text.isEmpty() && !parseDate(text, d.second, nullptr))
                return fail(QStringLiteral("--%1: ожидается дата ГГГГ-ММ-ДД, а не «%2»").arg(d.first, text), Usage);
        }
        if (report.from.isValid() && report.to.isValid() && report.from > report.to)
            return fail(QStringLiteral("--from позже --to"), Usage);
        for (int c = 0; c < channelCount; ++c) {
            const QString key = c == Vertical ? QStringLiteral("vertical") : QStringLiteral("horizontal");
            if (!parseLimits(parser.value(key), &report.limits[c]))
                return fail(QStringLiteral("--%1: ожидается НИЖНИЙ,ВЕРХНИЙ в мм, например -6,6; а не «%2»")
                                .arg(key, parser.value(key)),
                            Usage);
        }
        bool ok = false;
        report.worse = parser.value(QStringLiteral("worse")).toDouble(&ok);
        if (!ok || !std::isfinite(report.worse) || report.worse < 0 || report.worse > 1e6)
            return fail(QStringLiteral("--worse: ожидается число мм, 0 или больше"), Usage);
        pdf = parser.value(QStringLiteral("output"));
        csv = parser.value(QStringLiteral("csv"));
        const auto same = [](const QString &a, const QString &b) {
            return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
        };
        if (!csv.isEmpty() && same(pdf, csv))
            return fail(QStringLiteral("PDF и CSV были бы одним файлом %1").arg(csv), Usage);
        for (const QString &target : { pdf, csv })
            if (!target.isEmpty() && location.kind == ArchiveLocation::SQLite && same(target, location.path))
                return fail(QStringLiteral("%1 — это сам архив; записывать поверх него нельзя").arg(target), Usage);
    }

    ArchiveDatabase archive;
    if (!archive.open(location, name == QLatin1String("import") ? ArchiveDatabase::CreateIfMissing
                                                                : ArchiveDatabase::MustExist,
                      &error))
        return fail(error);
    if (name == QLatin1String("import"))
        return importFiles(archive, positional, options);
    if (name == QLatin1String("list"))
        return list(archive, line, track);
    if (name == QLatin1String("history"))
        return history(archive, line, track, spot);
    return trend(archive, report, pdf, csv);
}
