// What FLAC, Ogg (Vorbis, Opus) and AIFF files say of themselves in their first header:
// the rate, the channels and, where it is there, the length; an M4A's length from its
// movie header.
#include <algorithm>

#include "audio/Formats.h"

namespace audio::detail {
namespace {

constexpr int kOpusRate = 48000;  // Opus always decodes at 48 kHz; its lengths count that

// An 80-bit IEEE extended number, as AIFF gives its rate; 0 when it is no whole rate.
int Extended(std::string_view x) {
    if (x.size() < 10 || (Byte(x, 0) & 0x80)) return 0;
    int shift = 16383 + 63 - static_cast<int>(Be16(x, 0) & 0x7FFF);
    std::uint64_t mantissa = std::uint64_t{Be32(x, 2)} << 32 | Be32(x, 6);
    return shift < 0 || shift > 63 ? 0 : ToInt(mantissa >> shift);
}

// The last page of an Ogg stream within the last 4 KB of the file whose granule
// position is set; `cut` when the file ends inside the stream's last page.
struct OggEnd {
    std::uint64_t granule = 0;
    bool cut = false;
};

OggEnd LastPage(Reader& r, std::uint32_t serial) {
    const std::uint64_t size = r.Size();
    std::string tail = r.Read(size - std::min<std::uint64_t>(size, kHeadBytes), kHeadBytes);
    OggEnd end;
    bool last = true;
    for (std::size_t at = tail.rfind("OggS"); at != std::string::npos;
         at = at == 0 ? std::string::npos : tail.rfind("OggS", at - 1)) {
        std::string_view page = std::string_view(tail).substr(at);
        if (page.size() < 27 || Byte(page, 4) != 0 || Le32(page, 14) != serial) continue;
        std::size_t segments = Byte(page, 26), body = 0;
        for (std::size_t i = 0; i < segments; ++i) body += Byte(page, 27 + i);
        bool whole = page.size() >= 27 + segments + body;
        if (last) end.cut = !whole;
        last = false;
        std::uint64_t granule = Le64(page, 6);
        if (whole && granule != ~std::uint64_t{0}) {
            end.granule = granule;
            break;
        }
    }
    return end;
}

}  // namespace

void ReadFlac(std::string_view head, Finding& f) {
    f.kind = Kind::Flac;
    // STREAMINFO, always the first block: 20 bits of rate, 3 of channels - 1, 5 of bits
    // per sample - 1, 36 of samples (0 unknown).
    std::string_view info = head.substr(std::min<std::size_t>(head.size(), 8));
    if ((Byte(head, 4) & 0x7F) != 0 || info.size() < 18) return;
    f.sampleRate = static_cast<int>(Be32(info, 10) >> 12);
    f.channels = static_cast<int>((Byte(info, 12) >> 1) & 7) + 1;
    f.bits = static_cast<int>(((Byte(info, 12) & 1) << 4 | Byte(info, 13) >> 4) + 1);
    std::uint64_t samples = std::uint64_t{Byte(info, 13) & 0xF} << 32 | Be32(info, 14);
    if (samples > 0) f.durationMs = Milliseconds(samples, static_cast<std::uint32_t>(f.sampleRate));
}

void ReadOgg(Reader& r, std::string_view head, Finding& f) {
    f.kind = Kind::OggOther;
    // The first page's first packet names the codec.
    std::size_t packetAt = 27 + Byte(head, 26);
    std::string_view packet = head.substr(std::min(head.size(), packetAt));
    std::uint64_t preSkip = 0;
    if (Has(packet, 0, "\x01vorbis")) {
        f.kind = Kind::OggVorbis;
        f.channels = static_cast<int>(Byte(packet, 11));
        f.sampleRate = ToInt(Le32(packet, 12));
    } else if (Has(packet, 0, "OpusHead")) {
        f.kind = Kind::Opus;
        f.channels = static_cast<int>(Byte(packet, 9));
        f.sampleRate = kOpusRate;
        preSkip = Le16(packet, 10);
    } else {
        return;
    }
    OggEnd end = LastPage(r, Le32(head, 14));
    f.truncated = end.cut;
    if (end.granule > preSkip)
        f.durationMs =
            Milliseconds(end.granule - preSkip, static_cast<std::uint32_t>(f.sampleRate));
}

void ReadAiff(std::string_view head, Finding& f) {
    f.kind = Kind::Aiff;
    // Big-endian chunks, word-aligned; "COMM" comes early, within the first 4 KB.
    for (std::uint64_t at = 12; at < head.size() && head.size() - at >= 8;) {
        std::uint32_t n = Be32(head, at + 4);
        if (Has(head, at, "COMM")) {
            std::string_view c = head.substr(static_cast<std::size_t>(at + 8));
            if (c.size() < 18) return;
            f.channels = static_cast<int>(Be16(c, 0));
            f.bits = static_cast<int>(Be16(c, 6));
            f.sampleRate = Extended(c.substr(8, 10));
            f.durationMs = Milliseconds(Be32(c, 2), static_cast<std::uint32_t>(f.sampleRate));
            return;
        }
        at += 8 + std::uint64_t{n} + (n & 1);
    }
}

void ReadM4a(Reader& r, Finding& f) {
    f.kind = Kind::M4a;
    // The top-level boxes by their sizes, a few bytes read at each: "moov" comes before or
    // after the media ("mdat"), and its movie header "mvhd" first in it.
    std::uint64_t at = 0;
    bool inMoov = false;
    for (int boxes = 0; boxes < 64 && r.Size() - at >= 8; ++boxes) {
        const std::string box = r.Read(at, 40);
        std::uint64_t size = Be32(box, 0), header = 8;
        if (size == 1) {
            size = Be64(box, 8);
            header = 16;
        } else if (size == 0) {
            size = r.Size() - at;  // to the end of the file
        }
        if (size < header || box.size() < header) return;
        if (inMoov && Has(box, 4, "mvhd")) {
            // Version 1 has 64-bit times and length, version 0 32-bit ones.
            const bool v1 = Byte(box, 8) == 1;
            const std::uint64_t length = v1 ? Be64(box, 32) : Be32(box, 24);
            if (length > 0 && (v1 || length != 0xFFFFFFFF))
                f.durationMs = Milliseconds(length, Be32(box, v1 ? 28 : 20));
            return;
        }
        if (inMoov || !Has(box, 4, "moov")) {
            if (size > r.Size() - at) return;
            at += size;
        } else {
            inMoov = true;
            at += header;
        }
    }
}

}  // namespace audio::detail
