#ifndef REPORT_H
#define REPORT_H

#include "exceedancefinder.h"
#include "protocol.h"

#include <QIODevice>

#include <vector>

// Everything a report shows, worked out from one protocol (and optionally a
// second run to compare with) before anything is drawn or written.
struct Report
{
    Protocol protocol;
    Track track;
    Limits limits[channelCount];
    std::vector<Stretch> exceedances;
    std::vector<PicketSummary> pickets;
    int missing[channelCount] = { 0, 0 };  // rows without a reading

    bool compared = false;
    Protocol other;
    Track otherTrack;
    Comparison comparison;

    static Report build(Protocol protocol, const Limits limits[channelCount]);
    void compareWith(Protocol other, double tolerance);
};

// The exceedance list alone, as the protocol itself is written: Windows-1251,
// ";" after every field, LF line ends. false when the device took less than
// everything (or the codec is missing).
namespace ExceedanceCsv {
QByteArray header();
QByteArray row(const Report &report, const Stretch &stretch);
bool write(const Report &report, QIODevice *device);
} // namespace ExceedanceCsv

#endif // REPORT_H
