// Converting files as QUAVERIX does (apply::Convert on the Win32 system: the system's
// decoder, the mix, LAME, the written MP3 decoded again to check its level) against real
// time, on whatever core the caller pins it to. Each run starts from an empty cache.
// Prints a Markdown section for bench/results.md.
//   convert_bench [--runs N] CACHE\ FILE...
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchSystem.h"
#include "Clock.h"
#include "apply/Convert.h"
#include "platform/win32/Win32System.h"

namespace {

// The real system, counting its decodings: one for the song and one for the check of the
// written file per pass.
class CountingSystem : public win32::Win32System {
public:
    int decodings = 0;
    bool DecodeAudio(const std::string& path, const sys::PcmSink& sink,
                     sys::FileError* why = nullptr) override {
        ++decodings;
        return Win32System::DecodeAudio(path, sink, why);
    }
};

}  // namespace

int main(int argc, char** argv) {
    int first = 1, runs = 3;
    if (argc > 2 && std::strcmp(argv[1], "--runs") == 0) {
        runs = std::atoi(argv[2]);
        first = 3;
    }
    if (argc <= first + 1) {
        std::fprintf(stderr, "convert_bench [--runs N] CACHE\\ FILE...\n");
        return 2;
    }
    const std::string cache = argv[first++];
    CountingSystem system;
    const apply::Format mp3{apply::Target::Mp3, 44100, 2, 192};
    std::printf("## Converting to MP3, decoding included\n\n");
    std::printf(
        "apply::Convert to 44.1 kHz stereo MP3 at 192 kbps on the Win32 system (Media "
        "Foundation decodes FLAC and AAC, our reader the WAVE; LAME at -q 2 encodes; the "
        "written MP3 is decoded again by the audio compression manager to check its level), "
        "from an empty cache, one core, %d runs, medians. Target: at least 20x real time.\n\n",
        runs);
    std::printf(
        "| file | seconds | ms | x real time | decodings | MP3 bytes |\n"
        "|---|---:|---:|---:|---:|---:|\n");
    int status = 0;
    for (int i = first; i < argc; ++i) {
        const std::string path = argv[i];
        const double seconds = DecodedSeconds(system, path);  // counted once, not timed
        std::vector<double> ms;
        apply::Converted made;
        int decodings = 0;
        for (int r = 0; r < runs; ++r) {
            system.decodings = 0;
            const double t = Now();
            made = apply::Convert(system, cache, path, mp3, std::nullopt);
            ms.push_back(Now() - t);
            decodings = system.decodings;
            if (made.path.empty()) break;
            if (r + 1 < runs) system.RemoveFile(made.path);
        }
        const std::string name = path.substr(path.find_last_of("\\/") + 1);
        if (made.path.empty()) {
            std::printf("| %s | %.1f | - | not converted: %s | - | - |\n", name.c_str(), seconds,
                        made.reason.c_str());
            status = 1;
            continue;
        }
        const double med = Median(ms), x = seconds * 1000 / med;
        const std::uint64_t bytes = system.SizeOf(made.path).value_or(0);
        system.RemoveFile(made.path);
        std::printf("| %s | %.1f | %.0f | %.0fx (%s) | %d | %llu |\n", name.c_str(), seconds, med,
                    x, x >= 20 ? "met" : "MISSED", decodings,
                    static_cast<unsigned long long>(bytes));
    }
    std::printf(
        "\nDecodings: the song and the check of the MP3 written, once a pass; 3 when the MP3 was "
        "made a second time, the first having come out more than 0.3 LU off the song's own "
        "loudness.\n");
    return status;
}
