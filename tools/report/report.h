#ifndef REPORT_H
#define REPORT_H

#include "exceedancefinder.h"
#include "protocol.h"

#include <QIODevice>
#include <QString>

#include <vector>

// What the engineer asks of a report. The defaults are the window's limits
// and the field rules the crews work by.
struct ReportOptions
{
    Limits limits[channelCount] = { { -6, 6, 1.0 }, { -8, 8, 1.0 } };
    int minRows = 2;              // a stretch counts from this many consecutive rows beyond the tolerance
    bool sortByPosition = false;  // the list in run order instead of by class first
    double metresPerPage = 100;   // of run on one chart page
    QString csv;                  // the list alone as CSV too; empty: none
    QString compare;              // a second protocol of the same stretch; empty: none
    double compareTolerance = 2;

    // Why these options cannot make a report, in the user's words; empty when they can.
    QString problem() const;
};

// Everything a report shows, worked out from one protocol (and optionally a
// second run to compare with) before anything is drawn or written.
struct Report
{
    Protocol protocol;
    Track track;
    Limits limits[channelCount];
    int minRows = 1;
    std::vector<Stretch> exceedances;  // counted, in the order of the list
    std::vector<Stretch> spikes;       // beyond the tolerance on fewer than minRows rows, in run order
    std::vector<Stretch> watched;      // in the watched margin, in run order
    std::vector<PicketSummary> pickets;
    int missing[channelCount] = { 0, 0 };         // rows without a reading
    double lengthOut[channelCount] = { 0, 0 };    // metres within counted stretches
    bool bothDirections = false;                  // the file holds rows of both directions

    bool compared = false;
    Protocol other;
    Track otherTrack;
    Comparison comparison;

    static Report build(Protocol protocol, const ReportOptions &options);
    void compareWith(Protocol other, double tolerance);

    // Counted stretches of the channel with that severity.
    int count(Channel channel, Severity severity) const;
    bool usesImmediate() const { return limits[Vertical].immediate || limits[Horizontal].immediate; }
    bool usesWatch() const { return limits[Vertical].watch > 0 || limits[Horizontal].watch > 0; }
};

// The list alone, as the protocol itself is written: Windows-1251, ";" after
// every field, LF line ends. The counted stretches in the order of the list,
// then the one-row spikes; the first seven columns as before, then the class,
// the excess over the tolerance and a note. false when the device took less
// than everything (or the codec is missing).
namespace ExceedanceCsv {
QByteArray header();
QByteArray row(const Report &report, const Stretch &stretch, const QString &note = QString());
bool write(const Report &report, QIODevice *device);
} // namespace ExceedanceCsv

#endif // REPORT_H
