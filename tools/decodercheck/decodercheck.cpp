#include "decodercheck.h"

#include "framedecoder.h"

#include <QByteArray>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The straightforward decoder: search from the front, remove what a frame
// consumed, keep everything else. Quadratic, unbounded, obviously right.
class ReferenceDecoder
{
public:
    std::vector<TervaloFrame> feed(const std::string &bytes)
    {
        m_buffer += bytes;
        std::vector<TervaloFrame> frames;
        for (std::size_t d = m_buffer.find("RAIL"); d != std::string::npos && m_buffer.size() >= d + 12;
             d = m_buffer.find("RAIL")) {
            const auto byte = [&](std::size_t i) { return unsigned(static_cast<unsigned char>(m_buffer[d + i])); };
            TervaloFrame frame;
            frame.vertical = static_cast<qint16>(static_cast<std::uint16_t>(byte(4) * 256 + byte(5)));
            frame.horizontal = static_cast<qint16>(static_cast<std::uint16_t>(byte(6) * 256 + byte(7)));
            frame.counter = static_cast<qint32>(
                    (std::uint32_t(byte(8)) << 24) | (byte(9) << 16) | (byte(10) << 8) | byte(11));
            frames.push_back(frame);
            m_buffer.erase(0, d + 12);
        }
        return frames;
    }
    const std::string &buffer() const { return m_buffer; }

private:
    std::string m_buffer;
};

QString describe(const TervaloFrame &f)
{
    return QStringLiteral("%1;%2;%3").arg(f.vertical).arg(f.horizontal).arg(f.counter);
}

} // namespace

bool checkDecoder(const std::uint8_t *data, std::size_t size, QString *why)
{
    if (size == 0)
        return true;
    const std::size_t cuts = data[0] & 0x0f;
    std::size_t at = 1;
    std::vector<std::size_t> lengths;
    for (std::size_t i = 0; i < cuts && at < size; ++i)
        lengths.push_back(data[at++]);
    const std::string stream(reinterpret_cast<const char *>(data) + at, size - at);

    std::vector<std::string> arrivals;
    std::size_t from = 0;
    for (std::size_t length : lengths) {
        const std::size_t n = std::min(length, stream.size() - from);
        arrivals.push_back(stream.substr(from, n));
        from += n;
    }
    arrivals.push_back(stream.substr(from));

    FrameDecoder decoder;
    ReferenceDecoder reference;
    std::size_t frameIndex = 0;
    for (std::size_t a = 0; a < arrivals.size(); ++a) {
        const std::vector<TervaloFrame> expected = reference.feed(arrivals[a]);
        const std::vector<TervaloFrame> got =
                decoder.decode(QByteArray(arrivals[a].data(), int(arrivals[a].size())));
        if (got.size() != expected.size()) {
            *why = QStringLiteral("arrival %1: %2 frames, expected %3").arg(a).arg(got.size()).arg(expected.size());
            return false;
        }
        for (std::size_t i = 0; i < got.size(); ++i, ++frameIndex) {
            if (got[i] != expected[i]) {
                *why = QStringLiteral("frame %1: %2, expected %3")
                               .arg(frameIndex).arg(describe(got[i]), describe(expected[i]));
                return false;
            }
        }
        const QByteArray pending = decoder.pending();
        const std::string &full = reference.buffer();
        const std::string tail(pending.constData(), std::size_t(pending.size()));
        if (tail.size() > full.size() || full.compare(full.size() - tail.size(), tail.size(), tail) != 0) {
            *why = QStringLiteral("arrival %1: kept bytes are not a tail of the stream's remainder").arg(a);
            return false;
        }
        if (full.find("RAIL") == std::string::npos && tail.size() > 3) {
            *why = QStringLiteral("arrival %1: %2 bytes kept without a header").arg(a).arg(tail.size());
            return false;
        }
    }
    return true;
}
