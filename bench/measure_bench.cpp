// Measuring files as QUAVERIX does (apply::Measure on the Win32 system: the platform's
// MP3 decoder, or our WAVE reader, then the meter) against real time, on whatever core
// the caller pins it to. Prints a Markdown section for bench/results.md.
//   measure_bench [--runs N] FILE...
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchSystem.h"
#include "Clock.h"
#include "apply/Measure.h"
#include "platform/win32/Win32System.h"

int main(int argc, char** argv) {
    int first = 1, runs = 5;
    if (argc > 2 && std::strcmp(argv[1], "--runs") == 0) {
        runs = std::atoi(argv[2]);
        first = 3;
    }
    win32::Win32System system;
    std::printf("## Measuring loudness, decoding included\n\n");
    std::printf(
        "apply::Measure on the Win32 system (the audio compression manager's MP3 decoder, our "
        "WAVE reader), one core, %d runs, medians. Target: at least 50x real time.\n\n",
        runs);
    std::printf("| file | seconds | ms | x real time | LUFS |\n|---|---:|---:|---:|---:|\n");
    int status = 0;
    for (int i = first; i < argc; ++i) {
        const std::string path = argv[i];
        const double seconds = DecodedSeconds(system, path);  // counted once, not timed
        std::vector<double> ms;
        apply::Measurement m;
        for (int r = 0; r < runs; ++r) {
            const double t = Now();
            m = apply::Measure(system, path);
            ms.push_back(Now() - t);
        }
        const double med = Median(ms), x = seconds * 1000 / med;
        const std::string name = path.substr(path.find_last_of("\\/") + 1);
        if (m.status != apply::MeasureStatus::Measured) {
            std::printf("| %s | %.1f | - | not measured | - |\n", name.c_str(), seconds);
            status = 1;
            continue;
        }
        std::printf("| %s | %.1f | %.1f | %.0fx (%s) | %.2f |\n", name.c_str(), seconds, med, x,
                    x >= 50 ? "met" : "MISSED", m.lufs);
    }
    return status;
}
