#include "framedecoder.h"

#include <QtEndian>

namespace {

const char headerBytes[] = "RAIL";

} // namespace

QByteArray FrameDecoder::header()
{
    return QByteArray(headerBytes, headerSize);
}

TervaloFrame FrameDecoder::parse(const char *frameStart)
{
    TervaloFrame frame;
    frame.vertical = qFromBigEndian<qint16>(frameStart + 4);
    frame.horizontal = qFromBigEndian<qint16>(frameStart + 6);
    frame.counter = qFromBigEndian<qint32>(frameStart + 8);
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
