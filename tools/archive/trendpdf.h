#ifndef TRENDPDF_H
#define TRENDPDF_H

#include "trend.h"

#include <QDate>
#include <QIODevice>

// Everything the trend report shows of one track.
struct TrendReport
{
    QString line;
    QString track;
    QDate from;   // as asked; null: open
    QDate to;
    Limits limits[channelCount];
    double worse = 1.0;
    TrendInput input;
    TrendResult result;

    // The first spot of each picket, soonest at its limit first: the charts.
    std::vector<int> worstSpots(size_t count) const;
};

// The trend as the run report looks: A4 landscape, a title block and the
// summary per picket, the runs it rests on, then charts of the spots nearest
// to their limits over time with the tolerance band and the fitted line.
// Needs a QGuiApplication for its fonts.
class TrendPdf
{
public:
    static constexpr int firstPageRows = 17;
    static constexpr int rowsPerPage = 30;
    static constexpr size_t charts = 6;

    static int pages(const TrendReport &report);
    // false and a reason when painting failed; the device is left to the caller.
    static bool write(const TrendReport &report, QIODevice *device, QString *error);
};

// Every spot with a rate or a flag, per channel, as the protocol is written:
// Windows-1251, ";" after every field, LF line ends. false when the device
// took less than everything.
namespace TrendCsv {
bool write(const TrendReport &report, QIODevice *device);
} // namespace TrendCsv

#endif // TRENDPDF_H
