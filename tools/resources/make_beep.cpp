// Writes the alarm tone: 5 s of a 1 kHz sine, mono, 16-bit PCM at 44100 Hz,
// starting at phase 0 with a peak of 22670 (about -3.2 dB below full scale).
// Only its first 100 or 500 ms are ever heard; the length leaves room for both.
#include "wavfile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav\n", argv[0]);
        return 2;
    }
    const uint32_t rate = 44100;
    const uint32_t count = 220500;
    const double peak = 22670.0;
    const double pi = std::acos(-1.0);

    std::vector<int16_t> samples;
    samples.reserve(count);
    for (uint32_t n = 0; n < count; ++n)
        samples.push_back(static_cast<int16_t>(std::lround(peak * std::sin(2.0 * pi * 1000.0 * n / rate))));
    return writeMonoWav(argv[1], samples, rate) ? 0 : 1;
}
