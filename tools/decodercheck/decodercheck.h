#ifndef DECODERCHECK_H
#define DECODERCHECK_H

#include <QString>

#include <cstddef>
#include <cstdint>

// One fuzz input for the frame decoder: byte 0 gives the number of arrivals
// to cut (its low 4 bits), the next that many bytes give their lengths, and
// the rest is the byte stream, whose remainder after the cut arrivals is the
// last arrival. The check feeds the arrivals to FrameDecoder and to a plain
// reference that removes every frame from the front of an unbounded buffer,
// and demands the same frames in the same order, and after every arrival a
// buffer that is a tail of the reference's and holds at most three bytes
// when no header is left. True when all holds; otherwise why names the fault.
bool checkDecoder(const std::uint8_t *data, std::size_t size, QString *why);

#endif // DECODERCHECK_H
