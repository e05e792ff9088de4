// Where the gains sit: after the 4-byte frame header (and its 2-byte CRC when the
// protection bit is 0) comes the side information, 17 or 32 bytes for MPEG-1 (mono,
// two channels), 9 or 17 for MPEG-2 and 2.5. It starts with main_data_begin (9 bits,
// MPEG-1; 8 bits otherwise), private bits (5 or 3; 1 or 2) and, in MPEG-1, 4 scfsi bits
// per channel; then one entry per granule and channel (two granules in MPEG-1, one
// otherwise), 59 bits (MPEG-1) or 63, each holding global_gain as 8 bits after
// part2_3_length (12) and big_values (9).
#include "audio/Mp3Gain.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string_view>

namespace audio {
namespace {

using Bytes = unsigned char*;

// The longest free-format frame the search for a second header spans (as the content
// check: 640 kbit/s at 32 kHz, padded).
constexpr std::size_t kMaxFreeFrame = 2881;
// Frames that must follow one another before a stream is taken for one: a stray sync
// word in a tag or in junk is no stream. Fewer do when the stream ends.
constexpr int kRunFrames = 4;
constexpr int kMaxTags = 4;  // ID3v2 tags one after another
constexpr int kMaxEndTags = 8;  // tags stacked at the end

struct Header {
    std::uint32_t key = 0;  // what the frames of one stream share: version, layer, rate
    bool mpeg1 = false;
    int channels = 0;
    bool crc = false;
    bool free = false;
    std::size_t length = 0;  // 0 for free format
    std::size_t sideInfo = 0;
};

unsigned At(const std::string& s, std::size_t i) {
    return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u;
}

// A Layer III frame header at `pos`, if there is one (all four bytes within `end`).
std::optional<Header> ReadHeader(const std::string& s, std::size_t pos, std::size_t end) {
    if (pos >= end || end - pos < 4) return {};
    const unsigned b1 = At(s, pos + 1), b2 = At(s, pos + 2), b3 = At(s, pos + 3);
    if (At(s, pos) != 0xFF || (b1 & 0xE0) != 0xE0) return {};
    const int version = (b1 >> 3) & 3, layer = (b1 >> 1) & 3;
    const int index = b2 >> 4, rateIndex = (b2 >> 2) & 3;
    if (version == 1 || layer != 1 || index == 15 || rateIndex == 3 || (b3 & 3) == 2) return {};
    static constexpr short kKbps[2][15] = {
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
    static constexpr int kRates[3] = {44100, 48000, 32000};
    Header h;
    h.key = (b1 & 0xFE) << 8 | (b2 & 0x0C);
    h.mpeg1 = version == 3;
    h.channels = (b3 >> 6) == 3 ? 1 : 2;
    h.crc = (b1 & 1) == 0;
    h.free = index == 0;
    const int rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const int kbps = kKbps[h.mpeg1 ? 0 : 1][index];
    const std::size_t padding = (b2 >> 1) & 1;
    if (!h.free) h.length = (h.mpeg1 ? 144000u : 72000u) * kbps / rate + padding;
    h.sideInfo = h.mpeg1 ? (h.channels == 1 ? 17 : 32) : (h.channels == 1 ? 9 : 17);
    return h;
}

// True when a stream of frames with a fixed length starts at `pos`: kRunFrames frames
// one after another that agree, or fewer that end at `end` (less than a header after the
// last). A frame that would run past `end` is no run: one stray sync word near the end
// of other data (a WAVE's samples) would otherwise pass for a stream.
bool StreamAt(const std::string& s, std::size_t pos, std::size_t end, std::uint32_t key) {
    for (int n = 0; n < kRunFrames; ++n) {
        if (n > 0 && end - pos < 4) return true;
        auto h = ReadHeader(s, pos, end);
        if (!h || h->free || (key && h->key != key) || h->length > end - pos) return false;
        key = h->key;
        pos += h->length;
    }
    return true;
}

// True when a free-format stream starts at `pos`: the next header of its kind within a
// free frame's length, and at that length (less and plus each frame's padding) frames
// that follow one another, kRunFrames of them or fewer up to `end`.
bool FreeStreamAt(const std::string& s, std::size_t pos, std::size_t end) {
    auto h = ReadHeader(s, pos, end);
    if (!h || !h->free) return false;
    auto padding = [&](std::size_t at) -> std::size_t { return (At(s, at + 2) >> 1) & 1; };
    const std::size_t last = std::min(end, pos + kMaxFreeFrame);
    for (std::size_t q = pos + 4 + h->sideInfo; q < last; ++q) {
        auto next = ReadHeader(s, q, end);
        if (!next || !next->free || next->key != h->key) continue;
        const std::size_t base = q - pos - padding(pos);
        std::size_t at = q;
        int n = 2;
        for (; n < kRunFrames; ++n) {
            const std::size_t length = base + padding(at);
            if (length > end - at) break;  // no run (see StreamAt)
            if (end - at - length < 4) return true;
            at += length;
            auto more = ReadHeader(s, at, end);
            if (!more || !more->free || more->key != h->key) break;
        }
        if (n == kRunFrames) return true;
    }
    return false;
}

// The size of an ID3v2 tag at `pos` (header, body, 2.4 footer); 0 when there is none.
std::size_t Id3v2Size(const std::string& s, std::size_t pos) {
    if (s.size() - pos < 10 || s.compare(pos, 3, "ID3") != 0) return 0;
    const unsigned version = At(s, pos + 3);
    if (version < 2 || version > 4 || At(s, pos + 4) == 0xFF) return 0;
    std::size_t body = 0;
    for (std::size_t i = 6; i < 10; ++i) {
        if (At(s, pos + i) & 0x80) return 0;
        body = body << 7 | At(s, pos + i);
    }
    return 10 + body + ((version == 4 && (At(s, pos + 5) & 0x10)) ? 10 : 0);
}

std::uint32_t Le32(const std::string& s, std::size_t at) {
    return At(s, at) | At(s, at + 1) << 8 | At(s, at + 2) << 16 | At(s, at + 3) << 24;
}

// Each of the tags taggers put after the audio, by the size it has when it ends at `end`
// and lies wholly within [start, end); 0 when it is not there. A size read from the tag
// is taken only where the tag's own start marker is found at it, or, for an APE tag
// without a header, where it fits: a size that points elsewhere is no tag of that kind.
using TagAtEnd = std::size_t (*)(const std::string& s, std::size_t start, std::size_t end);

// APEv1/v2: a 32-byte footer whose size counts the items and the footer; a header of 32
// more bytes before them when the flags say so and it is there.
std::size_t ApeTag(const std::string& s, std::size_t start, std::size_t end) {
    const std::size_t room = end - start;
    if (room < 32 || s.compare(end - 32, 8, "APETAGEX") != 0) return 0;
    const std::size_t size = Le32(s, end - 32 + 12);
    if (size < 32 || size > room) return 0;
    const bool header = (Le32(s, end - 32 + 20) & 0x80000000u) && room - size >= 32 &&
                        s.compare(end - size - 32, 8, "APETAGEX") == 0;
    return size + (header ? 32 : 0);
}

// ID3v2.4 appended at the end: a 10-byte footer "3DI" that repeats the header, so the
// tag it closes starts with an ID3v2 header of the same size.
std::size_t Id3v2WithFooter(const std::string& s, std::size_t start, std::size_t end) {
    const std::size_t room = end - start;
    if (room < 20 || s.compare(end - 10, 3, "3DI") != 0) return 0;
    std::size_t body = 0;
    for (std::size_t i = end - 4; i < end; ++i) {
        if (At(s, i) & 0x80) return 0;
        body = body << 7 | At(s, i);
    }
    const std::size_t size = 20 + body;
    return size <= room && Id3v2Size(s, end - size) == size ? size : 0;
}

// Lyrics3 v2: "LYRICSBEGIN", the fields, six digits giving their size from "LYRICSBEGIN"
// on, "LYRICS200".
std::size_t Lyrics3v2(const std::string& s, std::size_t start, std::size_t end) {
    const std::size_t room = end - start;
    if (room < 26 || s.compare(end - 9, 9, "LYRICS200") != 0) return 0;
    std::size_t fields = 0;
    for (std::size_t i = end - 15; i < end - 9; ++i) {
        if (At(s, i) < '0' || At(s, i) > '9') return 0;
        fields = fields * 10 + (At(s, i) - '0');
    }
    const std::size_t size = fields + 15;
    return size <= room && s.compare(end - size, 11, "LYRICSBEGIN") == 0 ? size : 0;
}

// Lyrics3 v1: "LYRICSBEGIN", at most 5100 bytes of lyrics, "LYRICSEND".
std::size_t Lyrics3v1(const std::string& s, std::size_t start, std::size_t end) {
    constexpr std::size_t kMost = 11 + 5100 + 9;
    const std::size_t room = end - start;
    if (room < 20 || s.compare(end - 9, 9, "LYRICSEND") != 0) return 0;
    const std::size_t from = end - std::min(room, kMost);
    const std::size_t begin = std::string_view(s).substr(from, end - 9 - from).rfind("LYRICSBEGIN");
    return begin == std::string_view::npos ? 0 : end - from - begin;
}

std::size_t Id3v1(const std::string& s, std::size_t start, std::size_t end) {
    return end - start >= 128 && s.compare(end - 128, 3, "TAG") == 0 ? 128 : 0;
}

// Where the audio ends: before the tags at the end, peeled off one by one in whatever
// order they were stacked, never before `start`. ID3v1 is tried last: its only mark,
// "TAG" 128 bytes from the end, may as well lie inside a tag of the others.
std::size_t AudioEnd(const std::string& s, std::size_t start) {
    static constexpr TagAtEnd kTags[] = {ApeTag, Id3v2WithFooter, Lyrics3v2, Lyrics3v1, Id3v1};
    std::size_t end = s.size();
    for (int n = 0; n < kMaxEndTags; ++n) {
        std::size_t size = 0;
        for (TagAtEnd tag : kTags)
            if ((size = tag(s, start, end)) != 0) break;
        if (size == 0) break;
        end -= size;
    }
    return end;
}

// A frame that carries a VBR header (Xing or Info after the side information; VBRI 32
// bytes after the header) and no audio. Looked for with and without the CRC's 2 bytes:
// encoders differ in whether the header frame claims one.
bool IsInfoFrame(const std::string& s, std::size_t pos, const Header& h, std::size_t end) {
    auto has = [&](std::size_t at, const char* tag) {
        return at < end && end - at >= 4 && s.compare(at, 4, tag) == 0;
    };
    for (std::size_t at : {pos + 4 + h.sideInfo, pos + 6 + h.sideInfo})
        if (has(at, "Xing") || has(at, "Info")) return true;
    return has(pos + 36, "VBRI");
}

// CRC-16 as MPEG audio has it: polynomial 0x8005, starting at 0xFFFF, highest bit first.
unsigned Crc16(const unsigned char* p, std::size_t n, unsigned crc) {
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= static_cast<unsigned>(p[i]) << 8;
        for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x8005) : (crc << 1);
        crc &= 0xFFFF;
    }
    return crc;
}

unsigned FrameCrc(const unsigned char* frame, std::size_t sideInfo) {
    return Crc16(frame + 6, sideInfo, Crc16(frame + 2, 2, 0xFFFF));
}

unsigned GetByteAt(const unsigned char* p, std::size_t bit) {
    const unsigned pair = static_cast<unsigned>(p[bit / 8]) << 8 | p[bit / 8 + 1];
    return (pair >> (8 - bit % 8)) & 0xFF;
}

void SetByteAt(unsigned char* p, std::size_t bit, unsigned v) {
    const unsigned shift = 8 - bit % 8;
    unsigned pair = static_cast<unsigned>(p[bit / 8]) << 8 | p[bit / 8 + 1];
    pair = (pair & ~(0xFFu << shift)) | (v << shift);
    p[bit / 8] = static_cast<unsigned char>(pair >> 8);
    p[bit / 8 + 1] = static_cast<unsigned char>(pair & 0xFF);
}

// Moves one frame's gains; its header and side information lie within the bytes.
void ChangeFrame(unsigned char* frame, const Header& h, int steps, Mp3GainReport& r) {
    unsigned char* side = frame + 4 + (h.crc ? 2 : 0);
    const unsigned oldCrc = h.crc ? FrameCrc(frame, h.sideInfo) : 0;
    const std::size_t first =
        h.mpeg1 ? 9 + (h.channels == 1 ? 5 : 3) + 4 * h.channels : 8 + (h.channels == 1 ? 1 : 2);
    const std::size_t entryBits = h.mpeg1 ? 59 : 63;
    const int entries = (h.mpeg1 ? 2 : 1) * h.channels;
    for (int e = 0; e < entries; ++e) {
        const std::size_t bit = first + e * entryBits + 21;
        const int old = static_cast<int>(GetByteAt(side, bit));
        int now = old == 0 ? 0 : old + steps;
        if (old != 0 && (now > 255 || now <= 0)) {
            now = std::clamp(now, 0, 255);
            ++r.clamped;
        }
        SetByteAt(side, bit, static_cast<unsigned>(now));
        ++r.fields;
    }
    if (h.crc) {
        // A CRC that was wrong stays wrong by as much: a decoder that drops such a
        // frame still drops it.
        const unsigned stored = static_cast<unsigned>(frame[4]) << 8 | frame[5];
        const unsigned crc = FrameCrc(frame, h.sideInfo) ^ stored ^ oldCrc;
        frame[4] = static_cast<unsigned char>(crc >> 8);
        frame[5] = static_cast<unsigned char>(crc & 0xFF);
        ++r.crcFrames;
    }
    ++r.frames;
}

}  // namespace

Mp3GainReport ChangeMp3Gain(std::string& bytes, int steps) {
    Mp3GainReport r;
    const std::string& s = bytes;
    std::size_t start = 0;
    for (int i = 0; i < kMaxTags; ++i) {
        const std::size_t tag = Id3v2Size(s, start);
        if (tag == 0 || tag > s.size() - start) break;
        start += tag;
    }
    const std::size_t end = AudioEnd(s, start);
    steps = std::clamp(steps, -255, 255);

    // The stream's first frame; a free-format stream before any other is left alone.
    std::size_t pos = start;
    while (pos < end && !StreamAt(s, pos, end, 0)) {
        if (FreeStreamAt(s, pos, end)) {
            r.freeFormat = true;
            return r;
        }
        ++pos;
    }
    if (pos >= end) return r;
    const std::uint32_t key = ReadHeader(s, pos, end)->key;

    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    while (pos < end) {
        auto h = ReadHeader(s, pos, end);
        if (!h || h->free || h->key != key) {
            // Junk between frames: on at the next place where the stream goes on.
            do ++pos;
            while (pos < end && !StreamAt(s, pos, end, key));
            continue;
        }
        const std::size_t sideEnd = 4 + (h->crc ? 2 : 0) + h->sideInfo;
        if (end - pos < sideEnd) break;  // cut short inside its side information
        if (IsInfoFrame(s, pos, *h, end))
            r.infoFrame = true;
        else
            ChangeFrame(data + pos, *h, steps, r);
        if (h->length >= end - pos) break;
        pos += h->length;
    }
    return r;
}

int GainStepsForDb(double db) {
    if (!std::isfinite(db)) return 0;
    return static_cast<int>(std::lround(std::clamp(db / kGainStepDb, -255.0, 255.0)));
}

int MaxGainStepsForPeak(double peak) {
    if (std::isnan(peak)) return 0;
    if (peak <= 0) return 255;
    // The small allowance keeps a peak of exactly 2^(-n/4) at n steps.
    const double steps = std::floor(4.0 * std::log2(1.0 / peak) + 1e-9);
    return static_cast<int>(std::clamp(steps, -255.0, 255.0));
}

int GainStepsFor(double wantDb, double peak) {
    const int steps = GainStepsForDb(wantDb);
    if (steps <= 0) return steps;
    return std::min(steps, std::max(0, MaxGainStepsForPeak(peak)));
}

}  // namespace audio
