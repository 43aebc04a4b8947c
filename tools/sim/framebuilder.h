#ifndef FRAMEBUILDER_H
#define FRAMEBUILDER_H

#include <QByteArray>
#include <QtGlobal>

// Builds the trolley's 12-byte frames: "RAIL", vertical and horizontal offsets
// (signed 16 bits, hundredths of a millimetre, high byte first), wheel counter
// (signed 32 bits, high byte first). Written apart from the program's decoder so
// that tests and the simulator check it against an independent encoding.
namespace FrameBuilder {

constexpr int frameSize = 12;
// What the device sends on a channel whose sensor has no reading.
constexpr qint16 noReading = 2748;

QByteArray frame(qint16 vertical, qint16 horizontal, qint32 counter);
// Millimetres as the wire carries them: rounded to the hundredth and clamped
// to the signed 16-bit range.
qint16 hundredths(double mm);
// count frames with counters first, first + 1, ...: bench and test bursts.
QByteArray burst(int count, qint32 firstCounter = 0);

} // namespace FrameBuilder

#endif // FRAMEBUILDER_H
