#ifndef REPORTMAKER_H
#define REPORTMAKER_H

#include "report.h"

#include <QString>

// Makes the report of one protocol from end to end: reads it (with its run
// file, and a second run to compare with), works the report out, and writes the CSV list when
// asked and the PDF, each whole or not at all. It keeps no state and changes
// nothing of the application, so the window may run it on a worker thread
// while its QGuiApplication (needed for fonts) lives on the GUI thread; the
// command-line tool runs the same code.
class ReportMaker
{
public:
    // Why the request cannot be served before any file is read: options that
    // make no report, a target that is an input protocol, the PDF and the CSV
    // on one path. Empty when there is none.
    static QString usageProblem(const QString &protocol, const QString &pdf, const ReportOptions &options);

    // The run file the report reads: the one named, or the protocol's own
    // ("night.json" beside "night.csv"), used when it is there.
    static QString runFileOf(const QString &protocol, const ReportOptions &options);

    // false and the reason in *error ("file:line: reason" for a bad protocol),
    // with no target touched. On success *summary (when given) says in one
    // line what was written and found.
    static bool make(const QString &protocol, const QString &pdf, const ReportOptions &options, QString *error,
                     QString *summary = nullptr);
};

#endif // REPORTMAKER_H
