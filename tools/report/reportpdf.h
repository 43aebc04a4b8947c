#ifndef REPORTPDF_H
#define REPORTPDF_H

#include "report.h"

class QIODevice;

// Lays a report out on A4 landscape pages and paints it into a PDF: the title
// block, the lists (stretches outside the tolerance by class, one-row spikes,
// the watched margin, differences from a second run), the profile charts, a
// set length of run per page and all on one scale, then the summary per
// picket and the sign-off. Tables flow on from where the previous one ended.
// Needs a QGuiApplication in the process for its fonts; touches nothing of
// it, so it may run on any thread.
class ReportPdf
{
public:
    struct Layout
    {
        int tablePages = 1;  // title block and lists
        int chartPages = 0;
        int summaryPages = 1;  // summary per picket and sign-off
        int total() const { return tablePages + chartPages + summaryPages; }
    };
    // The pages the report will take, worked out without painting.
    static Layout layout(const Report &report, double metresPerPage);

    // false and a reason when painting failed; the device is left to the caller.
    static bool write(const Report &report, double metresPerPage, QIODevice *device, QString *error);
};

#endif // REPORTPDF_H
