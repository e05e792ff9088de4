// The PCM WAVE reader and the start of an MP3's frames, for every system's decoder.
#include "audio/Decode.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/Formats.h"

namespace audio {
namespace {

using namespace detail;

constexpr int kMaxChunks = 64;
constexpr std::uint16_t kPcm = 1, kFloat = 3, kExtensible = 0xFFFE;

}  // namespace

float PcmSample(const unsigned char* p, int bytes, bool isFloat) {
    switch (bytes) {
        case 1: return (static_cast<int>(p[0]) - 128) / 128.0f;
        case 2: return static_cast<std::int16_t>(p[0] | p[1] << 8) / 32768.0f;
        case 3: {
            const std::int32_t v = static_cast<std::int32_t>(
                static_cast<std::uint32_t>(p[0]) << 8 | static_cast<std::uint32_t>(p[1]) << 16 |
                static_cast<std::uint32_t>(p[2]) << 24);
            return static_cast<float>(v / 2147483648.0);
        }
        case 4: {
            const std::uint32_t u =
                p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
            if (!isFloat) return static_cast<float>(static_cast<std::int32_t>(u) / 2147483648.0);
            float f;
            static_assert(sizeof f == 4);
            std::memcpy(&f, &u, 4);
            return f;
        }
        default: {
            std::uint64_t u = 0;
            for (int i = 7; i >= 0; --i) u = u << 8 | p[i];
            double d;
            std::memcpy(&d, &u, 8);
            return static_cast<float>(d);
        }
    }
}

std::optional<WavePcm> FindWavePcm(const Source& source) {
    Reader r(source);
    const std::string head = r.Read(0, 12);
    if (!Has(head, 0, "RIFF") || !Has(head, 8, "WAVE")) return std::nullopt;
    WavePcm w;
    bool fmt = false;
    std::uint64_t at = 12;
    for (int chunk = 0; chunk < kMaxChunks && source.size - at >= 8 && at < source.size; ++chunk) {
        const std::string h = r.Read(at, 8);
        if (h.size() < 8) return std::nullopt;
        const std::uint32_t n = Le32(h, 4);
        if (Has(h, 0, "fmt ")) {
            const std::string body = r.Read(at + 8, std::min<std::uint32_t>(n, 40));
            if (body.size() < 16) return std::nullopt;
            std::uint16_t tag = static_cast<std::uint16_t>(Le16(body, 0));
            if (tag == kExtensible && body.size() >= 26)
                tag = static_cast<std::uint16_t>(Le16(body, 24));
            w.channels = static_cast<int>(Le16(body, 2));
            w.rate = ToInt(Le32(body, 4));
            const int align = static_cast<int>(Le16(body, 12));
            const int bits = static_cast<int>(Le16(body, 14));
            if (w.channels < 1 || w.channels > 8 || w.rate < 8000 || w.rate > 384000 ||
                align % w.channels != 0)
                return std::nullopt;
            w.bytesPerSample = align / w.channels;
            w.isFloat = tag == kFloat;
            const bool pcmOk = tag == kPcm && w.bytesPerSample >= 1 && w.bytesPerSample <= 4 &&
                               bits <= w.bytesPerSample * 8 && bits > (w.bytesPerSample - 1) * 8;
            const bool floatOk = w.isFloat && (w.bytesPerSample == 4 || w.bytesPerSample == 8) &&
                                 bits == w.bytesPerSample * 8;
            if (!pcmOk && !floatOk) return std::nullopt;
            fmt = true;
        } else if (Has(h, 0, "data")) {
            if (!fmt) return std::nullopt;  // audio we could not read the format of
            const std::uint64_t held = source.size - at - 8;
            // A writer that streamed leaves 0 or 0xFFFFFFFF: the data runs to the end.
            w.dataOffset = at + 8;
            w.dataBytes = (n == 0 || n == 0xFFFFFFFF || (source.size - 8 > 0xFFFFFFFF && n < held))
                              ? held
                              : std::min<std::uint64_t>(n, held);
            return w;
        }
        at += 8 + std::uint64_t{n} + (n & 1);
    }
    return std::nullopt;
}

DecodeEnd DecodeWavePcm(const Source& source, const WavePcm& w, const PcmSink& sink) {
    const std::size_t frameBytes = static_cast<std::size_t>(w.bytesPerSample) * w.channels;
    const std::size_t piece = kDecodeChunk / frameBytes * frameBytes;
    std::vector<float> out(piece / w.bytesPerSample);
    const std::uint64_t whole = w.dataBytes / frameBytes * frameBytes;
    for (std::uint64_t done = 0; done < whole;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(piece, whole - done));
        std::string bytes = source.read ? source.read(w.dataOffset + done, want) : std::string();
        if (bytes.size() < frameBytes) return DecodeEnd::ReadFailed;
        const std::size_t frames = std::min(bytes.size(), want) / frameBytes;
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        for (std::size_t i = 0; i < frames * w.channels; ++i)
            out[i] = PcmSample(p + i * w.bytesPerSample, w.bytesPerSample, w.isFloat);
        if (!sink(out.data(), frames, w.channels, w.rate)) return DecodeEnd::Stopped;
        done += frames * frameBytes;
    }
    return DecodeEnd::Done;
}

bool IsOtherAudio(Kind kind) {
    switch (kind) {
        case Kind::Wave:
        case Kind::MpegLayer1:
        case Kind::MpegLayer2:
        case Kind::M4a:
        case Kind::Aac:
        case Kind::OggVorbis:
        case Kind::Opus:
        case Kind::OggOther:
        case Kind::Flac:
        case Kind::Wma:
        case Kind::Aiff: return true;
        default: return false;
    }
}

std::uint64_t Mp3AudioStart(const Source& source) {
    Reader r(source);
    std::uint64_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint64_t tag = Id3v2Size(r.Read(start, 10));
        if (tag == 0 || tag >= source.size - start) break;
        start += tag;
    }
    return start;
}

}  // namespace audio
