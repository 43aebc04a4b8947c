#ifndef TOOLRUNSERVICES_H
#define TOOLRUNSERVICES_H

#include "runservices.h"

// The controller's reports and archive imports made by the code of
// tervalo-report and tervalo-archive, so that the window and the tools give
// the same report and fill the same archive. Keeps no state: a report and an
// import may run at once, each on a thread of its own.
class ToolRunServices : public RunServices
{
public:
    // database as ArchiveLocation::parse takes it; "" is TERVALO_ARCHIVE or,
    // without it, the user's own archive file.
    explicit ToolRunServices(const QString &database = QString());

    bool makeReport(const QString &protocol, const QString &pdf, const Limits &limits, QString *error) override;
    bool archiveRun(const QString &protocol, Archived *archived, QString *error) override;
    bool openFile(const QString &path) override;

private:
    const QString m_database;
};

#endif // TOOLRUNSERVICES_H
