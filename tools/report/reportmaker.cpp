#include "reportmaker.h"

#include "protocolreader.h"
#include "reportpdf.h"
#include "runfile.h"
#include "wholefile.h"

#include <QFileInfo>

namespace {

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo fa(a), fb(b);
    return fa.exists() && fb.exists() && fa.canonicalFilePath() == fb.canonicalFilePath();
}

} // namespace

QString ReportMaker::runFileOf(const QString &protocol, const ReportOptions &options)
{
    return options.runFile.isEmpty() ? RunFile::pathFor(protocol) : options.runFile;
}

QString ReportMaker::usageProblem(const QString &protocol, const QString &pdf, const ReportOptions &options)
{
    const QString problem = options.problem();
    if (!problem.isEmpty())
        return problem;
    // A slip on the command line must not put a report where a protocol or
    // its run file was.
    for (const QString &target : { pdf, options.csv }) {
        if (target.isEmpty())
            continue;
        if (sameFile(target, protocol) || (!options.compare.isEmpty() && sameFile(target, options.compare)))
            return QStringLiteral("%1: это протокол, данный на входе; отчёт поверх него не пишется").arg(target);
        if (sameFile(target, runFileOf(protocol, options)))
            return QStringLiteral("%1: это файл прогона; отчёт поверх него не пишется").arg(target);
    }
    if (!options.csv.isEmpty() && QFileInfo(options.csv).absoluteFilePath() == QFileInfo(pdf).absoluteFilePath())
        return QStringLiteral("PDF и CSV были бы одним файлом %1").arg(options.csv);
    return QString();
}

bool ReportMaker::make(const QString &protocolPath, const QString &pdf, const ReportOptions &options, QString *error,
                       QString *summary)
{
    *error = usageProblem(protocolPath, pdf, options);
    if (!error->isEmpty())
        return false;
    for (const QString &target : { pdf, options.csv }) {
        if (!target.isEmpty() && !WholeFile::regularOrAbsent(target)) {
            *error = WholeFile::notRegular(target);
            return false;
        }
    }

    Protocol protocol;
    if (!ProtocolReader::read(protocolPath, &protocol, error))
        return false;
    // A run file named on purpose must be read; the one that merely lies
    // beside the protocol must not stop the report, which then says why it
    // was left out.
    const QString runPath = runFileOf(protocolPath, options);
    RunInfo run;
    QString runProblem;
    bool hasRun = false;
    if (!options.runFile.isEmpty() || (QFileInfo::exists(runPath) && !sameFile(runPath, protocolPath))) {
        hasRun = RunFile::read(runPath, &run, &runProblem);
        if (!hasRun && !options.runFile.isEmpty()) {
            *error = runProblem;
            return false;
        }
    }
    Report report = Report::build(std::move(protocol), options, hasRun ? &run : nullptr);
    report.runPath = runPath;
    report.runProblem = runProblem;
    if (!options.compare.isEmpty()) {
        Protocol other;
        if (!ProtocolReader::read(options.compare, &other, error))
            return false;
        report.compareWith(std::move(other), options.compareTolerance);
    }

    if (!options.csv.isEmpty()
        && !WholeFile::save(options.csv, [&](QIODevice *d, QString *) { return ExceedanceCsv::write(report, d); },
                            error))
        return false;
    if (!WholeFile::save(
            pdf, [&](QIODevice *d, QString *why) { return ReportPdf::write(report, options.metresPerPage, d, why); },
            error))
        return false;

    if (summary) {
        *summary = QStringLiteral("%1: %2 стр., строк %3, участков за допуском %4 (вертикаль %5, горизонталь %6)")
                       .arg(pdf)
                       .arg(ReportPdf::layout(report, options.metresPerPage).total())
                       .arg(report.protocol.rows.size())
                       .arg(report.exceedances.size())
                       .arg(report.count(Vertical, Out) + report.count(Vertical, Immediate))
                       .arg(report.count(Horizontal, Out) + report.count(Horizontal, Immediate));
        if (report.usesImmediate())
            *summary += QStringLiteral(", из них срочно %1")
                            .arg(report.count(Vertical, Immediate) + report.count(Horizontal, Immediate));
        *summary += QStringLiteral(", одиночных выбросов %1").arg(report.spikes.size());
        if (report.usesWatch())
            *summary += QStringLiteral(", наблюдение %1").arg(report.watched.size());
        if (report.compared)
            *summary += QStringLiteral(", расхождений с %1: %2")
                            .arg(QFileInfo(report.other.path).fileName())
                            .arg(report.comparison.differences.size());
        if (report.hasRun) {
            *summary += QStringLiteral(", в зоне отвода %1, отметок %2, контрольная сумма %3")
                            .arg(report.inRamp.size())
                            .arg(report.marks.size())
                            .arg(report.checksumMatches() ? QStringLiteral("совпадает")
                                                          : QStringLiteral("НЕ совпадает"));
        } else if (!report.runProblem.isEmpty()) {
            *summary += QStringLiteral("; файл прогона не прочитан: ") + report.runProblem;
        }
    }
    return true;
}
