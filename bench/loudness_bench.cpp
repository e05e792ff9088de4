// The loudness meter's speed against real time on one core: three minutes of stereo
// 44.1 kHz music as a decoder hands it out (1152 frames at a time, float and 16-bit), and
// mono 22.05 kHz; and the MP3 gain change over a 10 MB file. Decoding is not in it (the
// platform's decoder comes on top). Portable: built natively and for Windows (run under
// Wine by bench/run.sh). Prints a Markdown section for bench/results.md.
//   loudness_bench [--runs N]
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Clock.h"
#include "audio/Loudness.h"
#include "audio/Mp3Gain.h"

namespace {

constexpr int kSeconds = 180;
constexpr std::size_t kPiece = 1152;  // an MPEG-1 Layer III frame

// Music-like samples: a few tones over noise, about -16 dBFS.
std::vector<float> Signal(int rate, int channels) {
    std::vector<float> s(static_cast<std::size_t>(rate) * kSeconds * channels);
    std::uint32_t seed = 1;
    for (std::size_t i = 0; i < s.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double t = static_cast<double>(i / channels) / rate;
        s[i] = static_cast<float>(0.05 * (static_cast<double>(seed >> 8) / 8388608.0 - 1.0) +
                                  0.1 * std::sin(2 * 3.14159265 * 220 * t) +
                                  0.05 * std::sin(2 * 3.14159265 * 3300 * t));
    }
    return s;
}

template <typename Sample>
double Measure(const std::vector<Sample>& s, int rate, int channels, double& lufs) {
    const double t = Now();
    audio::LoudnessMeter meter;
    const std::size_t frames = s.size() / channels;
    for (std::size_t at = 0; at < frames; at += kPiece)
        meter.Add(s.data() + at * channels, std::min(kPiece, frames - at), channels, rate);
    const audio::LoudnessResult r = meter.Finish();
    lufs = r.lufs ? *r.lufs : -HUGE_VAL;
    return Now() - t;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 2 && std::strcmp(argv[1], "--runs") == 0 ? std::atoi(argv[2]) : 5;
    struct Case {
        const char* what;
        int rate, channels;
        bool int16;
    };
    const Case cases[] = {{"stereo 44.1 kHz, float", 44100, 2, false},
                          {"stereo 44.1 kHz, 16-bit", 44100, 2, true},
                          {"stereo 48 kHz, float", 48000, 2, false},
                          {"mono 22.05 kHz (dual mono), float", 22050, 1, false}};
    std::printf("## Loudness\n\n");
    std::printf(
        "The meter over %d s of music-like samples handed over %zu frames at a time, one "
        "core, %d runs, medians; decoding not included. Target: at least 50x real time.\n\n",
        kSeconds, kPiece, runs);
    std::printf("| samples | ms | x real time | LUFS |\n|---|---:|---:|---:|\n");
    for (const Case& c : cases) {
        const std::vector<float> f = Signal(c.rate, c.channels);
        std::vector<std::int16_t> s16;
        if (c.int16)
            for (float v : f) s16.push_back(static_cast<std::int16_t>(std::lround(v * 32767)));
        std::vector<double> ms;
        double lufs = 0;
        for (int r = 0; r < runs; ++r)
            ms.push_back(c.int16 ? Measure(s16, c.rate, c.channels, lufs)
                                 : Measure(f, c.rate, c.channels, lufs));
        const double m = Median(ms), x = kSeconds * 1000.0 / m;
        std::printf("| %s | %.1f | %.0fx (%s) | %.2f |\n", c.what, m, x, x >= 50 ? "met" : "MISSED",
                    lufs);
    }

    // 10 MB of MPEG-1 Layer III frames, 128 kbit/s stereo: about 10 minutes of music.
    std::string file;
    const std::string frame = std::string("\xFF\xFB\x90\x00", 4) + std::string(413, '\x55');
    while (file.size() + frame.size() <= (10u << 20)) file += frame;
    std::vector<double> ms;
    audio::Mp3GainReport report;
    for (int r = 0; r < runs; ++r) {
        std::string bytes = file;
        const double t = Now();
        report = audio::ChangeMp3Gain(bytes, r % 2 ? 3 : -3);
        ms.push_back(Now() - t);
    }
    std::printf("\nThe gain change over a 10 MB MP3 (%llu frames): %.1f ms.\n",
                static_cast<unsigned long long>(report.frames), Median(ms));
    return 0;
}
