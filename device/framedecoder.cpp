#include "framedecoder.h"

namespace {

const char headerBytes[] = "RAIL";

quint16 bigEndian16(const char *p)
{
    return quint16((quint16(quint8(p[0])) << 8) | quint8(p[1]));
}

quint32 bigEndian32(const char *p)
{
    return (quint32(quint8(p[0])) << 24) | (quint32(quint8(p[1])) << 16)
            | (quint32(quint8(p[2])) << 8) | quint32(quint8(p[3]));
}

} // namespace

QByteArray FrameDecoder::header()
{
    return QByteArray(headerBytes, headerSize);
}

TervaloFrame FrameDecoder::parse(const char *frameStart)
{
    TervaloFrame frame;
    frame.vertical = qint16(bigEndian16(frameStart + 4));
    frame.horizontal = qint16(bigEndian16(frameStart + 6));
    frame.counter = qint32(bigEndian32(frameStart + 8));
    return frame;
}

void FrameDecoder::append(const QByteArray &bytes)
{
    m_buffer.append(bytes);
}

bool FrameDecoder::next(TervaloFrame *frame)
{
    const int d = m_buffer.indexOf(headerBytes, m_offset);
    if (d < 0 || m_buffer.size() - d < frameSize)
        return false;
    *frame = parse(m_buffer.constData() + d);
    m_offset = d + frameSize;
    return true;
}

void FrameDecoder::compact()
{
    // Copies only what stays: removing from the front would first copy the
    // whole arrival when the buffer still shares it with the caller.
    const int d = m_buffer.indexOf(headerBytes, m_offset);
    if (d >= 0) {
        // A header waits for the rest of its frame; the bytes before it are
        // kept as they are, they go with the frame.
        if (m_offset > 0)
            m_buffer = m_buffer.mid(m_offset);
    } else {
        // No header in what is left: any later header can begin at most in
        // the last three bytes.
        const int keep = qMin(headerSize - 1, m_buffer.size() - m_offset);
        m_buffer = keep > 0 ? m_buffer.right(keep) : QByteArray();
    }
    m_offset = 0;
}

std::vector<TervaloFrame> FrameDecoder::decode(const QByteArray &bytes)
{
    append(bytes);
    std::vector<TervaloFrame> frames;
    TervaloFrame frame;
    while (next(&frame))
        frames.push_back(frame);
    compact();
    return frames;
}
