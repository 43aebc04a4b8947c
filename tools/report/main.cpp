// tervalo-report: the report the repair crew takes to the rail, made from one
// protocol file: where the rail left its tolerance and how badly, the profile
// charts and a summary per picket, as a PDF; the list alone as CSV on request.

#include "toolstart.h"
#include "reportmaker.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

#include <cmath>

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

bool parsePair(const QString &text, double *low, double *high)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2)
        return false;
    bool ok1 = false, ok2 = false;
    *low = parts[0].trimmed().toDouble(&ok1);
    *high = parts[1].trimmed().toDouble(&ok2);
    return ok1 && ok2 && std::isfinite(*low) && std::isfinite(*high);
}

bool parseNumber(const QString &text, double min, double max, double *value)
{
    bool ok = false;
    *value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(*value) && *value >= min && *value <= max;
}

} // namespace

int main(int argc, char **argv)
{
    ToolStart::keepHeapForReuse();
#ifndef Q_OS_WIN
    // Fonts need a GUI application, a display does not: the crew's laptop may
    // run this from a console, CI has no display at all.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("tervalo-report"));
    QGuiApplication::setApplicationVersion(QStringLiteral(TERVALO_VERSION));
    ToolStart::loadQtTranslation(&app);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Отчёт PDF по протоколу Tervalo (CSV): участки за допуском по классам, одиночные выбросы, "
        "полоса наблюдения, графики профиля и сводка по пикетам."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("protocol"), QStringLiteral("Файл протокола (.csv), как его записала программа."));
    const QCommandLineOption outputOption({ QStringLiteral("o"), QStringLiteral("output") },
                                          QStringLiteral("Куда писать PDF (по умолчанию имя протокола с .pdf)."),
                                          QStringLiteral("report.pdf"));
    const QCommandLineOption verticalOption(QStringLiteral("vertical"),
                                            QStringLiteral("Допуск по вертикали, мм (по умолчанию -6,6)."),
                                            QStringLiteral("LOW,HIGH"), QStringLiteral("-6,6"));
    const QCommandLineOption horizontalOption(QStringLiteral("horizontal"),
                                              QStringLiteral("Допуск по горизонтали, мм (по умолчанию -8,8)."),
                                              QStringLiteral("LOW,HIGH"), QStringLiteral("-8,8"));
    const QCommandLineOption verticalImmediateOption(
        QStringLiteral("vertical-immediate"),
        QStringLiteral("Пределы класса «срочно» по вертикали, мм, шире допуска; без них класс не используется."),
        QStringLiteral("LOW,HIGH"));
    const QCommandLineOption horizontalImmediateOption(
        QStringLiteral("horizontal-immediate"),
        QStringLiteral("Пределы класса «срочно» по горизонтали, мм, шире допуска."), QStringLiteral("LOW,HIGH"));
    const QCommandLineOption watchOption(QStringLiteral("watch"),
                                         QStringLiteral("Полоса наблюдения внутри допуска у каждого предела, мм "
                                                        "(по умолчанию 1; 0 — без наблюдения)."),
                                         QStringLiteral("MM"), QStringLiteral("1"));
    const QCommandLineOption minRowsOption(QStringLiteral("min-rows"),
                                           QStringLiteral("Участок считается от стольких строк подряд за допуском "
                                                          "(по умолчанию 2); короче — одиночные выбросы."),
                                           QStringLiteral("N"), QStringLiteral("2"));
    const QCommandLineOption sortOption(QStringLiteral("sort"),
                                        QStringLiteral("Порядок списка: class (по классу, затем по положению; по "
                                                       "умолчанию) или position (по ходу проезда)."),
                                        QStringLiteral("class|position"), QStringLiteral("class"));
    const QCommandLineOption metresOption(QStringLiteral("metres-per-page"),
                                          QStringLiteral("Метров проезда на странице графика (по умолчанию 100)."),
                                          QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption csvOption(QStringLiteral("csv"),
                                       QStringLiteral("Ещё и список участков отдельно, CSV в Windows-1251."),
                                       QStringLiteral("exceedances.csv"));
    const QCommandLineOption compareOption(QStringLiteral("compare"),
                                           QStringLiteral("Второй протокол того же участка: на тех же графиках, "
                                                          "совмещённый по положению."),
                                           QStringLiteral("OTHER.csv"));
    const QCommandLineOption toleranceOption(QStringLiteral("compare-tolerance"),
                                             QStringLiteral("Расхождения проездов больше этого попадают в список "
                                                            "(мм, по умолчанию 2)."),
                                             QStringLiteral("MM"), QStringLiteral("2"));
    const QCommandLineOption runOption(QStringLiteral("run"),
                                       QStringLiteral("Файл прогона: линия, путь, оператор, тележка, поверка, "
                                                      "отметки (по умолчанию файл протокола с .json рядом с ним, "
                                                      "если он есть)."),
                                       QStringLiteral("RUN.json"));
    parser.addOptions({ outputOption, verticalOption, horizontalOption, verticalImmediateOption,
                        horizontalImmediateOption, watchOption, minRowsOption, sortOption, metresOption, csvOption,
                        compareOption, toleranceOption, runOption });

    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText() + QStringLiteral(" (см. --help)"), Usage);
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(Done);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return fail(QStringLiteral("нужен ровно один файл протокола (см. --help)"), Usage);
    const QString input = positional.front();

    ReportOptions options;
    const QCommandLineOption *pairs[channelCount][2] = { { &verticalOption, &verticalImmediateOption },
                                                         { &horizontalOption, &horizontalImmediateOption } };
    for (int c = 0; c < channelCount; ++c) {
        Limits &l = options.limits[c];
        const QCommandLineOption &band = *pairs[c][0];
        const QCommandLineOption &immediate = *pairs[c][1];
        if (!parsePair(parser.value(band), &l.low, &l.high))
            return fail(QStringLiteral("--%1: нужно LOW,HIGH в мм, например -6,6; дано \"%2\"")
                            .arg(band.names().constFirst(), parser.value(band)),
                        Usage);
        l.immediate = parser.isSet(immediate);
        if (l.immediate && !parsePair(parser.value(immediate), &l.immediateLow, &l.immediateHigh))
            return fail(QStringLiteral("--%1: нужно LOW,HIGH в мм, например -10,10; дано \"%2\"")
                            .arg(immediate.names().constFirst(), parser.value(immediate)),
                        Usage);
    }
    double watch = 0;
    if (!parseNumber(parser.value(watchOption), 0, 1e6, &watch))
        return fail(QStringLiteral("--watch: нужно число мм, 0 или больше; дано \"%1\"").arg(parser.value(watchOption)), Usage);
    for (Limits &l : options.limits)
        l.watch = watch;
    bool minRowsOk = false;
    options.minRows = parser.value(minRowsOption).toInt(&minRowsOk);
    if (!minRowsOk || options.minRows < 1)
        return fail(QStringLiteral("--min-rows: нужно целое число строк, 1 или больше; дано \"%1\"")
                        .arg(parser.value(minRowsOption)),
                    Usage);
    const QString sort = parser.value(sortOption);
    if (sort != QLatin1String("class") && sort != QLatin1String("position"))
        return fail(QStringLiteral("--sort: нужно class или position; дано \"%1\"").arg(sort), Usage);
    options.sortByPosition = sort == QLatin1String("position");
    if (!parseNumber(parser.value(metresOption), 1, 1e6, &options.metresPerPage))
        return fail(QStringLiteral("--metres-per-page: нужно число метров от 1 до 1000000; дано \"%1\"").arg(parser.value(metresOption)), Usage);
    if (!parseNumber(parser.value(toleranceOption), 0, 1e6, &options.compareTolerance))
        return fail(QStringLiteral("--compare-tolerance: нужно число мм, 0 или больше; дано \"%1\"").arg(parser.value(toleranceOption)), Usage);
    if (parser.isSet(toleranceOption) && !parser.isSet(compareOption))
        return fail(QStringLiteral("--compare-tolerance имеет смысл только с --compare"), Usage);
    options.csv = parser.value(csvOption);
    options.compare = parser.value(compareOption);
    options.runFile = parser.value(runOption);

    QString output = parser.value(outputOption);
    if (output.isEmpty()) {
        const QFileInfo in(input);
        output = in.dir().filePath(in.completeBaseName() + QStringLiteral(".pdf"));
    }
    const QString problem = ReportMaker::usageProblem(input, output, options);
    if (!problem.isEmpty())
        return fail(problem, Usage);

    QString error, summary;
    if (!ReportMaker::make(input, output, options, &error, &summary))
        return fail(error);
    QTextStream(stdout) << summary << '\n';
    return Done;
}
