#ifndef REPORT_H
#define REPORT_H

#include "exceedancefinder.h"
#include "protocol.h"
#include "runfile.h"

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
    QString runFile;              // the run file; empty: the protocol's own ("night.json") when it is there

    // Why these options cannot make a report, in the user's words; empty when they can.
    QString problem() const;
};

// A mark of the crew placed on the travelled axis of the run.
struct PlacedMark
{
    RunMark mark;
    double x = 0;
    bool placed = false;  // false: the protocol holds no row of its picket and direction
};

// Where the rail is off nominal on purpose: from a ramp start to the next ramp
// end, on the travelled axis.
struct RampZone
{
    double from = 0;
    double to = 0;
    int startMark = 0;  // indices into Report::marks
    int endMark = 0;
    // A stretch lies wholly within when each of its rows does, a row standing
    // for the quarter metre around it.
    bool holds(double first, double last) const { return first >= from - 0.125 && last <= to + 0.125; }
};

// Everything a report shows, worked out from one protocol (and optionally a
// second run to compare with, and the run file written beside it) before
// anything is drawn or written.
struct Report
{
    Protocol protocol;
    Track track;
    Limits limits[channelCount];
    int minRows = 1;
    std::vector<Stretch> exceedances;  // counted, in the order of the list
    std::vector<Stretch> spikes;       // beyond the tolerance on fewer than minRows rows, in run order
    std::vector<Stretch> watched;      // in the watched margin, in run order
    std::vector<Stretch> inRamp;       // beyond the tolerance wholly within a ramp zone: not counted, in run order
    std::vector<PicketSummary> pickets;
    int missing[channelCount] = { 0, 0 };         // rows without a reading
    double lengthOut[channelCount] = { 0, 0 };    // metres within counted stretches
    bool bothDirections = false;                  // the file holds rows of both directions

    bool compared = false;
    Protocol other;
    Track otherTrack;
    Comparison comparison;

    bool hasRun = false;          // a run file was read
    RunInfo run;
    QString runPath;
    QString runProblem;           // why the run file beside the protocol could not be read
    std::vector<PlacedMark> marks;
    std::vector<RampZone> ramps;

    // With a run file its marks are placed on the run and its ramp zones kept
    // out of the counts.
    static Report build(Protocol protocol, const ReportOptions &options, const RunInfo *run = nullptr);
    void compareWith(Protocol other, double tolerance);

    // Counted stretches of the channel with that severity.
    int count(Channel channel, Severity severity) const;
    // Part of build: the marks on the travelled axis and the ramp zones.
    void placeRun(const RunInfo &info);
    bool usesImmediate() const { return limits[Vertical].immediate || limits[Horizontal].immediate; }
    bool usesWatch() const { return limits[Vertical].watch > 0 || limits[Horizontal].watch > 0; }
    // The digest the run file gives is the protocol's own.
    bool checksumMatches() const { return hasRun && !run.sha256.isEmpty() && run.sha256 == protocol.sha256; }
};

// The list alone, as the protocol itself is written: Windows-1251, ";" after
// every field, LF line ends. The counted stretches in the order of the list,
// then those in ramp zones, then the one-row spikes; the first seven columns
// as before, then the class,
// the excess over the tolerance and a note. false when the device took less
// than everything (or the codec is missing).
namespace ExceedanceCsv {
QByteArray header();
QByteArray row(const Report &report, const Stretch &stretch, const QString &note = QString());
bool write(const Report &report, QIODevice *device);
} // namespace ExceedanceCsv

#endif // REPORT_H
