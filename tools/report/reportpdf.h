#ifndef REPORTPDF_H
#define REPORTPDF_H

#include "report.h"

class QIODevice;

// Lays a report out on A4 landscape pages and paints it into a PDF: the title
// block and the exceedance list, the differences from a second run, the
// summary per picket, then the profile charts, a set length of run per page.
// Needs a QGuiApplication for its fonts.
class ReportPdf
{
public:
    // Table rows that fit under the title block, and on a page of their own.
    static constexpr int firstPageRows = 17;
    static constexpr int rowsPerPage = 30;

    struct Layout
    {
        int listPages = 1;
        int differencePages = 0;
        int summaryPages = 1;
        int chartPages = 0;
        int total() const { return listPages + differencePages + summaryPages + chartPages; }
    };
    static Layout layout(const Report &report, double metresPerPage);

    // false and a reason when painting failed; the device is left to the caller.
    static bool write(const Report &report, double metresPerPage, QIODevice *device, QString *error);
};

#endif // REPORTPDF_H
