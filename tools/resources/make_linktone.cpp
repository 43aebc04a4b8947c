// Writes the tone of a lost trolley link: two falling tones, 880 Hz for 250 ms,
// 50 ms of silence and 440 Hz for 300 ms (0.6 s in all), mono, 16-bit PCM at
// 44100 Hz, with the tolerance beep's peak of 22670. It must not be taken for
// that steady 1 kHz beep; each tone rises and falls over 5 ms so that it starts
// and ends without a click.
#include "wavfile.h"

#include <algorithm>
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
    const double peak = 22670.0;
    const double pi = std::acos(-1.0);
    const uint32_t ramp = rate * 5 / 1000;
    struct Part { double hertz; uint32_t samples; };
    const Part parts[] = { { 880.0, rate / 4 }, { 0.0, rate / 20 }, { 440.0, rate * 3 / 10 } };

    std::vector<int16_t> samples;
    for (const Part &part : parts) {
        for (uint32_t n = 0; n < part.samples; ++n) {
            if (part.hertz == 0.0) {
                samples.push_back(0);
                continue;
            }
            const double edge = std::min({ 1.0, double(n) / ramp, double(part.samples - 1 - n) / ramp });
            const double x = peak * edge * std::sin(2.0 * pi * part.hertz * n / rate);
            samples.push_back(static_cast<int16_t>(std::lround(x)));
        }
    }
    return writeMonoWav(argv[1], samples, rate) ? 0 : 1;
}
