#ifndef WAVFILE_H
#define WAVFILE_H

#include <cstdint>
#include <cstdio>
#include <vector>

// Writes mono 16-bit PCM samples as a RIFF/WAVE file with one 16-byte "fmt "
// chunk and one "data" chunk, the form the window's tones are kept in.
inline bool writeMonoWav(const char *path, const std::vector<int16_t> &samples, uint32_t rate)
{
    std::vector<unsigned char> out;
    auto put16 = [&out](uint16_t value) {
        out.push_back(static_cast<unsigned char>(value & 0xff));
        out.push_back(static_cast<unsigned char>(value >> 8));
    };
    auto put32 = [&out](uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<unsigned char>((value >> shift) & 0xff));
    };
    auto putTag = [&out](const char *tag) { out.insert(out.end(), tag, tag + 4); };

    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    out.reserve(44 + dataBytes);
    putTag("RIFF");
    put32(36 + dataBytes);
    putTag("WAVE");
    putTag("fmt ");
    put32(16);
    put16(1);         // PCM
    put16(1);         // mono
    put32(rate);
    put32(rate * 2);  // bytes per second
    put16(2);         // block alignment
    put16(16);        // bits per sample
    putTag("data");
    put32(dataBytes);
    for (int16_t sample : samples)
        put16(static_cast<uint16_t>(sample));

    FILE *file = std::fopen(path, "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && ok;
}

#endif // WAVFILE_H
