// RIFF WAVE: the chunk walk (chunks are word-aligned), "fmt " (WAVE_FORMAT_EXTENSIBLE
// by its sub-format), "fact" and "data". Chunks past the first 4 KB are reached by
// reading their 8-byte headers one by one, never what lies between.
#include <algorithm>

#include "audio/Formats.h"

namespace audio::detail {
namespace {

constexpr int kMaxChunks = 64;  // chunks walked before giving up on "data"
constexpr std::size_t kFmtBytes = 40;  // a WAVEFORMATEXTENSIBLE: all we need of "fmt "
constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kExtensible = 0xFFFE;

struct Wave {
    bool fmt = false;
    std::uint32_t byteRate = 0;  // the format's average bytes per second
    std::uint32_t samples = 0;  // "fact": the length of compressed audio, 0 unknown
    bool data = false;
    std::uint64_t dataBytes = 0;
};

// The bytes [at, at + n): from the head when it holds them, else read.
std::string Bytes(Reader& r, std::string_view head, std::uint64_t at, std::size_t n) {
    if (at <= head.size() && head.size() - at >= n)
        return std::string(head.substr(static_cast<std::size_t>(at), n));
    return r.Read(at, n);
}

void ReadFmt(std::string_view body, Finding& f, Wave& w) {
    if (body.size() < 16) return;
    w.fmt = true;
    f.waveFormat = static_cast<std::uint16_t>(Le16(body, 0));
    f.channels = static_cast<int>(Le16(body, 2));
    f.sampleRate = ToInt(Le32(body, 4));
    w.byteRate = Le32(body, 8);
    f.bits = static_cast<int>(Le16(body, 14));
    f.bitrateKbps = ToInt((std::uint64_t{w.byteRate} * 8 + 500) / 1000);
    // The sub-format GUID begins with the format tag it stands for.
    if (f.waveFormat == kExtensible && body.size() >= 26) {
        f.extensible = true;
        f.waveFormat = static_cast<std::uint16_t>(Le16(body, 24));
    }
}

// "data" at `at` (its header) claiming `n` bytes. Writers that stream leave 0 or
// 0xFFFFFFFF there (in RF64 the size is elsewhere): the data then runs to the end. So it
// does in a file too big for RIFF's 32-bit sizes, where a size short of what the file
// holds has wrapped or been capped. True when the data runs to the end.
bool ReadData(std::uint64_t at, std::uint32_t n, std::uint64_t size, Finding& f, Wave& w) {
    std::uint64_t held = size - at - 8;
    bool beyondRiff = size - 8 > 0xFFFFFFFF;
    bool toEnd = n == 0 || n == 0xFFFFFFFF || (beyondRiff && n < held);
    w.data = true;
    w.dataBytes = toEnd ? held : n;
    if (w.dataBytes > held) f.truncated = true;
    return toEnd;
}

void SetLength(const Wave& w, Finding& f) {
    if (w.samples > 0 && f.waveFormat != kPcm && f.sampleRate > 0)
        f.durationMs = Milliseconds(w.samples, static_cast<std::uint32_t>(f.sampleRate));
    else
        f.durationMs = Milliseconds(w.dataBytes, w.byteRate);
}

}  // namespace

void ReadWave(Reader& r, std::string_view head, Finding& f) {
    f.kind = Kind::Wave;
    Wave w;
    const std::uint64_t size = r.Size();
    std::uint64_t at = 12;
    int chunk = 0;
    for (; chunk < kMaxChunks && at < size && size - at >= 8; ++chunk) {
        std::string h = Bytes(r, head, at, 8);
        if (h.size() < 8) return;  // the read failed
        std::uint32_t n = Le32(h, 4);
        if (Has(h, 0, "fmt ")) {
            ReadFmt(Bytes(r, head, at + 8, std::min<std::size_t>(n, kFmtBytes)), f, w);
        } else if (Has(h, 0, "fact") && n >= 4) {
            w.samples = Le32(Bytes(r, head, at + 8, 4), 0);
        } else if (Has(h, 0, "data")) {
            // "fmt " may rarely follow the audio, but nothing follows audio to the end.
            if (ReadData(at, n, size, f, w) || w.fmt) break;
        }
        at += 8 + std::uint64_t{n} + (n & 1);
    }
    if (w.data) {
        SetLength(w, f);
    } else if (chunk < kMaxChunks && at != size) {
        f.truncated = true;  // the file ends inside its chunks, before any audio
    }
}

}  // namespace audio::detail
