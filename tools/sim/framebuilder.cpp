#include "framebuilder.h"

#include <cmath>
#include <limits>

namespace FrameBuilder {

QByteArray frame(qint16 vertical, qint16 horizontal, qint32 counter)
{
    const auto v = quint16(vertical);
    const auto h = quint16(horizontal);
    const auto c = quint32(counter);
    const char bytes[frameSize] = {
        'R', 'A', 'I', 'L',
        char(v >> 8), char(v & 0xff),
        char(h >> 8), char(h & 0xff),
        char(c >> 24), char((c >> 16) & 0xff), char((c >> 8) & 0xff), char(c & 0xff),
    };
    return QByteArray(bytes, frameSize);
}

qint16 hundredths(double mm)
{
    const double scaled = std::round(mm * 100.0);
    if (scaled <= std::numeric_limits<qint16>::min())
        return std::numeric_limits<qint16>::min();
    if (scaled >= std::numeric_limits<qint16>::max())
        return std::numeric_limits<qint16>::max();
    return qint16(scaled);
}

QByteArray burst(int count, qint32 firstCounter)
{
    QByteArray bytes;
    bytes.reserve(count * frameSize);
    for (int i = 0; i < count; ++i)
        bytes += frame(qint16(i % 2000 - 1000), qint16(500 - i % 1000), qint32(firstCounter + i));
    return bytes;
}

} // namespace FrameBuilder
