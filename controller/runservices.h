#ifndef RUNSERVICES_H
#define RUNSERVICES_H

#include <QString>

// What the controller has done with a saved run by the libraries that know
// reports and the archive. Those libraries build on the controller's own, so
// the controller knows them only through this interface: the program's entry
// gives it the implementation (tools/services), a test may give its own.
// makeReport() and archiveRun() run on worker threads, at most one report and
// one import at a time, but a report and an import may run at once.
class RunServices
{
public:
    // A tolerance band in mm; not given: the report's own default.
    struct Band
    {
        bool given = false;
        double low = 0;
        double high = 0;
    };
    struct Limits
    {
        Band vertical;
        Band horizontal;
    };
    struct Archived
    {
        bool added = false;   // false: a run of the same protocol bytes was in the archive already
        QString archive;      // where, for people: the file (native separators) or the server's address
    };

    virtual ~RunServices() = default;

    // Writes the PDF report of the protocol, with the run file beside it,
    // whole or not at all; false and why, in Russian.
    virtual bool makeReport(const QString &protocol, const QString &pdf, const Limits &limits, QString *error) = 0;
    // Puts the protocol and its run file into the local archive in one
    // transaction; a run that is there already is no failure. Never writes to
    // the protocol. false and why, in Russian.
    virtual bool archiveRun(const QString &protocol, Archived *archived, QString *error) = 0;
    // Opens the file with the system's viewer; on the GUI thread.
    virtual bool openFile(const QString &path) = 0;
};

#endif // RUNSERVICES_H
