#include "toolrunservices.h"

#include "archivedatabase.h"
#include "archiveimport.h"
#include "reportmaker.h"
#include "runfile.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

ToolRunServices::ToolRunServices(const QString &database) : m_database(database) {}

bool ToolRunServices::makeReport(const QString &protocol, const QString &pdf, const Limits &limits, QString *error)
{
    ReportOptions options;
    const Band *bands[channelCount] = { &limits.vertical, &limits.horizontal };
    for (int c = 0; c < channelCount; ++c) {
        if (bands[c]->given) {
            options.limits[c].low = bands[c]->low;
            options.limits[c].high = bands[c]->high;
        }
    }
    return ReportMaker::make(protocol, pdf, options, error);
}

bool ToolRunServices::archiveRun(const QString &protocol, Archived *archived, QString *error)
{
    ArchiveLocation location;
    if (!ArchiveLocation::parse(m_database, &location, error))
        return false;
    // The window has no line or track to give besides those of the run file;
    // without them the import would ask for the tool's options.
    const QString runPath = RunFile::pathFor(protocol);
    RunInfo run;
    QString unread;
    if (!QFileInfo::exists(runPath)) {
        *error = QStringLiteral("нет файла прогона %1, линия и путь неизвестны").arg(QDir::toNativeSeparators(runPath));
        return false;
    }
    if (RunFile::read(runPath, &run, &unread) && (run.line.trimmed().isEmpty() || run.track.trimmed().isEmpty())) {
        *error = QStringLiteral("не указаны линия и путь");
        return false;
    }
    ImportResult result;
    if (!ArchiveImport::importRun(m_database, protocol, ImportOptions(), &result, error))
        return false;
    archived->added = result.imported;
    archived->archive = location.kind == ArchiveLocation::SQLite
                        ? QDir::toNativeSeparators(QFileInfo(location.path).absoluteFilePath())
                        : location.text();
    return true;
}

bool ToolRunServices::openFile(const QString &path)
{
    return QFileInfo(path).isFile() && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
