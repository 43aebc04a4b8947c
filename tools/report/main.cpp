// tervalo-report: the report the repair crew takes to the rail, made from one
// protocol file: where the rail left its tolerance, the profile charts and a
// summary per picket, as a PDF; the exceedance list alone as CSV on request.

#include "protocolreader.h"
#include "report.h"
#include "reportpdf.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextStream>

#include <cmath>
#include <functional>

namespace {

enum Exit { Done = 0, Failed = 1, Usage = 2 };

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int fail(const QString &message, int code = Failed)
{
    err() << "tervalo-report: " << message << '\n' << Qt::flush;
    return code;
}

bool parseLimits(const QString &text, Limits *limits)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2)
        return false;
    bool ok1 = false, ok2 = false;
    limits->low = parts[0].trimmed().toDouble(&ok1);
    limits->high = parts[1].trimmed().toDouble(&ok2);
    return ok1 && ok2 && std::isfinite(limits->low) && std::isfinite(limits->high);
}

bool parseNumber(const QString &text, double min, double max, double *value)
{
    bool ok = false;
    *value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(*value) && *value >= min && *value <= max;
}

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo fa(a), fb(b);
    return fa.exists() && fb.exists() && fa.canonicalFilePath() == fb.canonicalFilePath();
}

// True when nothing is at path, or a regular file (a link is followed).
bool regularOrAbsent(const QString &path)
{
    const QFileInfo info(path);
    return !info.exists() || info.isFile();
}

// The whole file or nothing: an existing report stays as it was until the new
// one is complete on disk.
bool saveWhole(const QString &path, const std::function<bool(QIODevice *, QString *)> &fill, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("%1: cannot write: %2").arg(path, file.errorString());
        return false;
    }
    QString reason;
    if (!fill(&file, &reason)) {
        file.cancelWriting();
        *error = QStringLiteral("%1: %2").arg(path, reason.isEmpty() ? file.errorString() : reason);
        return false;
    }
    // The target may have been swapped for something else while the report was made.
    if (!regularOrAbsent(path)) {
        file.cancelWriting();
        *error = QStringLiteral("%1: не обычный файл; отчёт не пишется на его место").arg(path);
        return false;
    }
    if (!file.commit()) {
        *error = QStringLiteral("%1: cannot write: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
#ifndef Q_OS_WIN
    // Fonts need a GUI application, a display does not: the crew's laptop may
    // run this from a console, CI has no display at all.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("tervalo-report"));
    QGuiApplication::setApplicationVersion(QStringLiteral(TERVALO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Makes a PDF report from a Tervalo protocol (CSV): the stretches outside the tolerances, "
        "profile charts and a summary per picket."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("protocol"), QStringLiteral("The protocol file (.csv) as the program saved it."));
    const QCommandLineOption outputOption({ QStringLiteral("o"), QStringLiteral("output") },
                                          QStringLiteral("The PDF to write (default: the protocol's name with .pdf)."),
                                          QStringLiteral("report.pdf"));
    const QCommandLineOption verticalOption(QStringLiteral("vertical"),
                                            QStringLiteral("Vertical tolerance in mm (default -6,6)."),
                                            QStringLiteral("LOW,HIGH"), QStringLiteral("-6,6"));
    const QCommandLineOption horizontalOption(QStringLiteral("horizontal"),
                                              QStringLiteral("Horizontal tolerance in mm (default -8,8)."),
                                              QStringLiteral("LOW,HIGH"), QStringLiteral("-8,8"));
    const QCommandLineOption metresOption(QStringLiteral("metres-per-page"),
                                          QStringLiteral("Metres of run per chart page (default 100)."),
                                          QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption csvOption(QStringLiteral("csv"),
                                       QStringLiteral("Also write the exceedance list alone as CSV (Windows-1251)."),
                                       QStringLiteral("exceedances.csv"));
    const QCommandLineOption compareOption(QStringLiteral("compare"),
                                           QStringLiteral("A second protocol of the same stretch, drawn on the same "
                                                          "charts and matched by position."),
                                           QStringLiteral("OTHER.csv"));
    const QCommandLineOption toleranceOption(QStringLiteral("compare-tolerance"),
                                             QStringLiteral("Differences between the runs above this are listed "
                                                            "(mm, default 2)."),
                                             QStringLiteral("MM"), QStringLiteral("2"));
    parser.addOptions({ outputOption, verticalOption, horizontalOption, metresOption, csvOption, compareOption,
                        toleranceOption });

    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText() + QStringLiteral(" (see --help)"), Usage);
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(Done);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return fail(QStringLiteral("give exactly one protocol file (see --help)"), Usage);
    const QString input = positional.front();

    Limits limits[channelCount];
    if (!parseLimits(parser.value(verticalOption), &limits[Vertical]))
        return fail(QStringLiteral("--vertical wants LOW,HIGH in mm, e.g. -6,6; got \"%1\"").arg(parser.value(verticalOption)), Usage);
    if (!parseLimits(parser.value(horizontalOption), &limits[Horizontal]))
        return fail(QStringLiteral("--horizontal wants LOW,HIGH in mm, e.g. -8,8; got \"%1\"").arg(parser.value(horizontalOption)), Usage);
    double metresPerPage = 0;
    if (!parseNumber(parser.value(metresOption), 1, 1e6, &metresPerPage))
        return fail(QStringLiteral("--metres-per-page wants a number of metres from 1 to 1000000; got \"%1\"").arg(parser.value(metresOption)), Usage);
    double tolerance = 0;
    if (!parseNumber(parser.value(toleranceOption), 0, 1e6, &tolerance))
        return fail(QStringLiteral("--compare-tolerance wants a number of mm, 0 or more; got \"%1\"").arg(parser.value(toleranceOption)), Usage);
    if (parser.isSet(toleranceOption) && !parser.isSet(compareOption))
        return fail(QStringLiteral("--compare-tolerance needs --compare"), Usage);

    QString output = parser.value(outputOption);
    if (output.isEmpty()) {
        const QFileInfo in(input);
        output = in.dir().filePath(in.completeBaseName() + QStringLiteral(".pdf"));
    }
    const QString csv = parser.value(csvOption);
    // A slip on the command line must not put a report where a protocol was.
    for (const QString &target : { output, csv }) {
        if (target.isEmpty())
            continue;
        if (sameFile(target, input) || (parser.isSet(compareOption) && sameFile(target, parser.value(compareOption))))
            return fail(QStringLiteral("%1 is a protocol given as input; refusing to write over it").arg(target), Usage);
    }
    if (!csv.isEmpty() && QFileInfo(csv).absoluteFilePath() == QFileInfo(output).absoluteFilePath())
        return fail(QStringLiteral("the PDF and the CSV would be the same file %1").arg(csv), Usage);
    // QSaveFile renames its file over the target: a device node, a FIFO or a
    // socket would be replaced by a regular file (as root, even /dev/null).
    for (const QString &target : { output, csv }) {
        if (!target.isEmpty() && !regularOrAbsent(target))
            return fail(QStringLiteral("%1: не обычный файл (устройство, канал, сокет или папка); отчёт не пишется "
                                       "на его место").arg(target));
    }

    QString error;
    Protocol protocol;
    if (!ProtocolReader::read(input, &protocol, &error))
        return fail(error);
    Report report = Report::build(std::move(protocol), limits);
    if (parser.isSet(compareOption)) {
        Protocol other;
        if (!ProtocolReader::read(parser.value(compareOption), &other, &error))
            return fail(error);
        report.compareWith(std::move(other), tolerance);
    }

    if (!csv.isEmpty()
        && !saveWhole(csv, [&](QIODevice *d, QString *) { return ExceedanceCsv::write(report, d); }, &error))
        return fail(error);
    if (!saveWhole(output, [&](QIODevice *d, QString *why) { return ReportPdf::write(report, metresPerPage, d, why); },
                   &error))
        return fail(error);

    int count[channelCount] = { 0, 0 };
    for (const Stretch &s : report.exceedances)
        ++count[s.channel];
    QTextStream out(stdout);
    out << output << ": " << ReportPdf::layout(report, metresPerPage).total() << " pages, "
        << report.protocol.rows.size() << " rows, " << report.exceedances.size()
        << " stretches outside the limits (vertical " << count[Vertical] << ", horizontal " << count[Horizontal]
        << ")";
    if (report.compared)
        out << ", " << report.comparison.differences.size() << " differences from "
            << QFileInfo(report.other.path).fileName();
    out << '\n';
    for (int c = 0; c < channelCount; ++c)
        if (limits[c].inverted())
            out << "note: the " << (c == Vertical ? "vertical" : "horizontal")
                << " low limit is above the high one, so every reading is outside\n";
    return Done;
}
