#ifndef FRAMEDECODER_H
#define FRAMEDECODER_H

#include <QByteArray>
#include <QtGlobal>

#include <vector>

// One frame of the trolley: the offsets in hundredths of a millimetre as the
// device sends them and the wheel counter in counter steps.
struct TervaloFrame
{
    qint16 vertical = 0;
    qint16 horizontal = 0;
    qint32 counter = 0;

    friend bool operator==(const TervaloFrame &a, const TervaloFrame &b)
    {
        return a.vertical == b.vertical && a.horizontal == b.horizontal && a.counter == b.counter;
    }
    friend bool operator!=(const TervaloFrame &a, const TervaloFrame &b) { return !(a == b); }
};

// Cuts the byte stream of the trolley into frames: "RAIL", vertical and
// horizontal (signed 16 bits, big-endian), counter (signed 32 bits,
// big-endian). Bytes before a header are skipped; a frame that is not whole yet
// waits for the next arrival. Knows nothing of ports, logs or records, so that
// it can be tested, measured and fuzzed on plain bytes; the serial measuring
// system owns one and feeds it every arrival.
//
// Frames are cut by moving an offset, and the consumed bytes are dropped once
// per arrival by compact(): a burst of n frames costs O(n), not O(n^2). When no
// header is left, only the last three bytes are kept, since they may begin a
// header that the next arrival completes; a stream without headers can
// therefore not grow the buffer.
class FrameDecoder
{
public:
    static QByteArray header();
    static constexpr int frameSize = 12;
    static constexpr int headerSize = 4;
    // What the device sends on a channel whose sensor has no reading.
    static constexpr qint16 noReading = 2748;

    // Adds arrived bytes behind those still waiting.
    void append(const QByteArray &bytes);
    // Cuts the next whole frame, skipping whatever stands before its header.
    // False when no whole frame is left; the remainder waits for more bytes.
    bool next(TervaloFrame *frame);
    // Drops what next() consumed; call once after the frames of an arrival.
    void compact();
    // The bytes kept for later arrivals, consumed ones excluded.
    QByteArray pending() const { return m_buffer.mid(m_offset); }
    int pendingSize() const { return m_buffer.size() - m_offset; }

    // append(), then every whole frame, then compact().
    std::vector<TervaloFrame> decode(const QByteArray &bytes);

    static TervaloFrame parse(const char *frameStart);

private:
    QByteArray m_buffer;
    int m_offset = 0;
};

#endif // FRAMEDECODER_H
