#ifndef RUNCHUNKS_H
#define RUNCHUNKS_H

#include "protocol.h"

#include <QByteArray>
#include <QString>

#include <limits>
#include <vector>

// How a run's rows are kept in the archive. The rows are cut into chunks of
// consecutive quarter metres in one direction that lie within one block of
// the line (blockQuarters), and each chunk's readings are one binary value:
// per row the vertical and the horizontal offset as little-endian 32-bit
// thousandths of a millimetre, noReading for an empty field. A protocol's
// values carry three decimals, so this is exact, and a row costs 8 bytes
// where a table row each would cost the database several times that. The
// block lets a spot be looked up without reading the rest of a run.
namespace RunChunks {

constexpr qint64 quartersPerPicket = 400;
constexpr qint64 blockQuarters = 200;
constexpr qint32 noReading = std::numeric_limits<qint32>::min();

struct Chunk
{
    int seq = 0;                // order in the file
    qint64 block = 0;
    qint64 firstQuarter = 0;    // line position of the first row, in quarter metres
    int step = 1;               // +1 forward rows, -1 reverse rows
    int count = 0;
    QByteArray data;

    qint64 quarter(int i) const { return firstQuarter + qint64(step) * i; }
    // Thousandths of a millimetre, or noReading.
    qint32 value(int i, int channel) const;
    // Whether the stored fields agree with each other; a chunk that does not
    // comes from a damaged archive.
    bool consistent() const;
};

qint64 floorDiv(qint64 a, qint64 b);
inline qint64 blockOf(qint64 quarter) { return floorDiv(quarter, blockQuarters); }

// false when the value does not fit: more than three decimals, or too large.
bool toThousandths(double mm, qint32 *out);

// The chunks of a protocol's rows, in file order. false when a value cannot be
// kept exactly; *badRow and *badChannel then name it.
bool pack(const std::vector<ProtocolRow> &rows, std::vector<Chunk> *chunks, int *badRow, int *badChannel);

// "ПК 12 + 37.25": the spot with the picket it lies beyond.
QString spotText(qint64 quarter);
// "ПК 12 + 37.25", "ПК 13 - 62.75", "12+37.25": the nearest quarter metre.
bool parseSpot(const QString &text, qint64 *quarter);

} // namespace RunChunks

#endif // RUNCHUNKS_H
