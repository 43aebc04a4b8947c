// Writes the alarm tone: 5 s of a 1 kHz sine, mono, 16-bit PCM at 44100 Hz,
// starting at phase 0 with a peak of 22670 (about -3.2 dB below full scale).
// Only its first 100 or 500 ms are ever heard; the length leaves room for both.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

void put16(std::vector<unsigned char> &out, uint16_t value)
{
    out.push_back(static_cast<unsigned char>(value & 0xff));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void put32(std::vector<unsigned char> &out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<unsigned char>((value >> shift) & 0xff));
}

void putTag(std::vector<unsigned char> &out, const char *tag)
{
    out.insert(out.end(), tag, tag + 4);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav\n", argv[0]);
        return 2;
    }
    const uint32_t rate = 44100;
    const uint32_t samples = 220500;
    const double peak = 22670.0;
    const double pi = std::acos(-1.0);
    const uint32_t dataBytes = samples * 2;

    std::vector<unsigned char> out;
    out.reserve(44 + dataBytes);
    putTag(out, "RIFF");
    put32(out, 36 + dataBytes);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);
    put16(out, 1);         // PCM
    put16(out, 1);         // mono
    put32(out, rate);
    put32(out, rate * 2);  // bytes per second
    put16(out, 2);         // block alignment
    put16(out, 16);        // bits per sample
    putTag(out, "data");
    put32(out, dataBytes);
    for (uint32_t n = 0; n < samples; ++n) {
        const double x = peak * std::sin(2.0 * pi * 1000.0 * n / rate);
        put16(out, static_cast<uint16_t>(static_cast<int16_t>(std::lround(x))));
    }

    FILE *file = std::fopen(argv[1], "wb");
    if (!file)
        return 1;
    const bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return (std::fclose(file) == 0 && ok) ? 0 : 1;
}
