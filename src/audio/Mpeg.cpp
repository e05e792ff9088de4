// MPEG audio (Layers I to III; MPEG-1, 2 and 2.5; free format too) and ADTS AAC, told by
// runs of frame headers that follow one another and agree; the Xing/Info and VBRI headers
// that give a VBR file's frame and byte counts; the ID3v1 and APEv2 tags at the end.
#include <algorithm>
#include <array>
#include <optional>

#include "audio/Formats.h"

namespace audio::detail {
namespace {

// Frames that must follow one another, each where the one before ends, and agree
// (version, layer, sample rate) before a file is taken for MPEG audio: a stray sync word
// in other data is no MP3. A shorter run is enough when it reaches the end of the file.
constexpr int kRunFrames = 4;
// The longest free-format frame looked for, less its padding: 640 kbit/s (lame's highest
// free bitrate) at 32 kHz, MPEG-1 Layer III. A free-format frame's length is the distance
// to the next header of its stream, looked for this far.
constexpr std::size_t kMaxFreeFrameBytes = 2880;
// The longest MPEG audio frame: a free-format one, padded. (With a bitrate in the header:
// Layer II at 384 kbit/s, 32 kHz, padded, 1729 bytes.)
constexpr std::size_t kMaxFrameBytes = kMaxFreeFrameBytes + 1;
// What the frame search may read past the 4 KB it searches: the rest of a run.
constexpr std::size_t kRunBytes = (kRunFrames - 1) * kMaxFrameBytes + 16;
// Zeros at the end of the audio, longer than any frame with a bitrate in its header (a
// free-format stream's frames set their own bound) so that no frame header can be among
// them: space a download reserved and never filled.
constexpr std::size_t kZeroTail = 2048;

// One frame header, of MPEG audio or ADTS.
struct Frame {
    Kind kind = Kind::Unknown;  // Mp3, MpegLayer1, MpegLayer2 or Aac
    std::uint32_t key = 0;  // what the frames of one stream share
    int version = 0;  // MPEG: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int rate = 0;
    int channels = 0;
    int bitrate = 0;  // kbit/s (MPEG)
    int samples = 0;  // per frame
    std::size_t length = 0;  // 0 for free format until the stream's length is known
    std::size_t longest = 0;  // the longest frame of this stream's kind (MPEG)
    bool free = false;  // MPEG free format: bitrate index 0
    std::size_t padding = 0;  // bytes the padding bit adds (MPEG)
};

// kBitrates[MPEG-1 / MPEG-2 and 2.5][layer - 1][index], kbit/s.
constexpr short kBitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};

std::size_t FrameLength(int layer, int samples, int kbps, int rate, int padding) {
    if (layer == 1) return static_cast<std::size_t>((12 * kbps * 1000 / rate + padding) * 4);
    return static_cast<std::size_t>(samples / 8 * kbps * 1000 / rate + padding);
}

// An MPEG audio frame header. Reserved values and Layers I and II in MPEG-2.5 (which has
// only Layer III) are no header. A free-format one leaves its length to the stream.
std::optional<Frame> MpegFrame(std::string_view h) {
    if (h.size() < 4 || Byte(h, 0) != 0xFF || (Byte(h, 1) & 0xE0) != 0xE0) return {};
    int version = (Byte(h, 1) >> 3) & 3, layer = 4 - ((Byte(h, 1) >> 1) & 3);
    int index = Byte(h, 2) >> 4, rateIndex = (Byte(h, 2) >> 2) & 3;
    if (version == 1 || layer == 4 || index == 15 || rateIndex == 3 || (Byte(h, 3) & 3) == 2 ||
        (version == 0 && layer != 3))
        return {};
    static constexpr int kRates[3] = {44100, 48000, 32000};
    const short* rates = kBitrates[version == 3 ? 0 : 1][layer - 1];
    Frame f;
    f.kind = layer == 1 ? Kind::MpegLayer1 : layer == 2 ? Kind::MpegLayer2 : Kind::Mp3;
    f.key = (Byte(h, 1) & 0x1E) | (Byte(h, 2) & 0x0C) << 8;
    f.version = version;
    f.rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    f.channels = (Byte(h, 3) >> 6) == 3 ? 1 : 2;
    f.bitrate = rates[index];
    f.samples = layer == 1 ? 384 : (layer == 3 && version != 3) ? 576 : 1152;
    f.free = index == 0;
    f.padding = static_cast<std::size_t>((Byte(h, 2) >> 1) & 1) * (layer == 1 ? 4 : 1);
    if (!f.free) {
        f.length = FrameLength(layer, f.samples, f.bitrate, f.rate, (Byte(h, 2) >> 1) & 1);
        f.longest = FrameLength(layer, f.samples, rates[14], f.rate, 1);
    }
    return f;
}

// A free-format frame of a stream whose frames are `base` bytes less their padding: its
// length, and the bitrate that length stands for.
void SetFreeLength(Frame& f, std::size_t base) {
    f.length = base + f.padding;
    f.longest = base + (f.kind == Kind::MpegLayer1 ? 4 : 1);
    std::uint64_t bps = std::uint64_t{base} * static_cast<std::uint64_t>(f.rate) * 8 /
                        static_cast<std::uint64_t>(f.samples);
    f.bitrate = ToInt((bps + 500) / 1000);
}

// The length of the side information that follows a Layer III header (and its CRC):
// longer for MPEG-1 and for two channels; 0 for Layers I and II.
std::size_t SideInfo(const Frame& h) {
    if (h.kind != Kind::Mp3) return 0;
    return h.version == 3 ? (h.channels == 1 ? 17 : 32) : (h.channels == 1 ? 9 : 17);
}

// An ADTS header: sync, layer 0, a known sample rate and a length past the header.
std::optional<Frame> AdtsFrame(std::string_view h) {
    if (h.size() < 7 || Byte(h, 0) != 0xFF || (Byte(h, 1) & 0xF6) != 0xF0) return {};
    static constexpr int kRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                       22050, 16000, 12000, 11025, 8000,  7350};
    unsigned rateIndex = (Byte(h, 2) >> 2) & 0xF;
    std::size_t length = (Byte(h, 3) & 3) << 11 | Byte(h, 4) << 3 | Byte(h, 5) >> 5;
    if (rateIndex >= 13 || length <= ((Byte(h, 1) & 1) ? 7u : 9u)) return {};
    int config = (Byte(h, 2) & 1) << 2 | Byte(h, 3) >> 6;  // 0: told inside the stream
    Frame f;
    f.kind = Kind::Aac;
    f.key = (Byte(h, 1) & 0x08) << 16 | (Byte(h, 2) & 0xFD) << 8 | (Byte(h, 3) >> 6);
    f.rate = kRates[rateIndex];
    f.channels = config == 7 ? 8 : config;
    f.samples = 1024 * (1 + (Byte(h, 6) & 3));
    f.length = length;
    return f;
}

std::optional<Frame> FrameAt(std::string_view h) {
    if (auto f = MpegFrame(h)) return f;
    return AdtsFrame(h);
}

// The file's bytes from one offset on, read 4 KB at a time as far as they are asked
// for, never past a cap.
class Span {
public:
    Span(Reader& r, std::uint64_t start, std::string bytes, std::uint64_t cap)
        : r_(r), start_(start), cap_(cap), bytes_(std::move(bytes)) {}

    // Up to n bytes at `at` (not before the start), fewer at the end of the file or the cap.
    std::string_view At(std::uint64_t at, std::size_t n) {
        if (at < start_ || at >= cap_) return {};
        std::uint64_t want = std::min<std::uint64_t>(at + n, cap_);
        while (start_ + bytes_.size() < want) {
            std::string more = r_.Read(start_ + bytes_.size(), kHeadBytes);
            if (more.empty()) break;
            bytes_ += more;
        }
        std::uint64_t from = at - start_;
        if (from >= bytes_.size()) return {};
        return std::string_view(bytes_).substr(static_cast<std::size_t>(from), n);
    }

private:
    Reader& r_;
    std::uint64_t start_, cap_;
    std::string bytes_;
};

struct Run {
    std::uint64_t offset = 0;
    int count = 0;
    std::array<Frame, kRunFrames> frames;
};

// The frames that follow one another from `at`, if they make a run; a free-format
// stream's frames are `freeBase` bytes less their padding.
bool Follow(Span& s, std::uint64_t at, std::uint64_t fileSize, std::size_t freeBase, Run& run) {
    run = Run{};
    run.offset = at;
    for (std::uint64_t next = at; run.count < kRunFrames;) {
        if (next >= fileSize || fileSize - next < 7) return run.count >= 2;
        std::optional<Frame> frame = FrameAt(s.At(next, 7));
        if (!frame || (run.count > 0 &&
                       (frame->kind != run.frames[0].kind || frame->key != run.frames[0].key ||
                        frame->free != run.frames[0].free)))
            return false;
        if (frame->free) {
            if (freeBase == 0) return false;
            SetFreeLength(*frame, freeBase);
        }
        run.frames[run.count++] = *frame;
        next += frame->length;
    }
    return true;
}

// The run from `at`. A free-format frame's length is the distance to a header of the same
// stream: each one within reach is tried, nearest first, as a header may stand in the
// audio data by chance.
bool RunAt(Span& s, std::uint64_t at, std::uint64_t fileSize, Run& run) {
    std::optional<Frame> first = MpegFrame(s.At(at, 4));
    if (!first || !first->free) return Follow(s, at, fileSize, 0, run);
    // A frame holds more than its header and side information.
    const std::size_t shortest = 4 + SideInfo(*first) + 1 + first->padding;
    const std::string reach(s.At(at, kMaxFreeFrameBytes + first->padding + 4));  // a copy
    for (std::size_t d = reach.find('\xFF', shortest); d != std::string::npos;
         d = reach.find('\xFF', d + 1)) {
        std::optional<Frame> next = MpegFrame(std::string_view(reach).substr(d));
        if (!next || !next->free || next->key != first->key) continue;
        if (Follow(s, at, fileSize, d - first->padding, run)) return true;
    }
    return false;
}

// The first run that starts within 4 KB of `from`.
std::optional<Run> FindRun(Span& s, std::uint64_t from, std::uint64_t fileSize) {
    const std::string area(s.At(from, kHeadBytes));  // a copy: the span grows under a run
    Run run;
    for (std::size_t i = area.find('\xFF'); i != std::string::npos; i = area.find('\xFF', i + 1))
        if (RunAt(s, from + i, fileSize, run)) return run;
    return std::nullopt;
}

// A Xing ("Xing" for VBR, "Info" for CBR) or VBRI header in a Layer III frame.
struct VbrHeader {
    bool found = false;
    bool vbr = false;
    std::uint32_t frames = 0;  // 0 unknown
    std::uint32_t bytes = 0;  // the audio's bytes from this frame on, 0 unknown
};

VbrHeader ReadVbrHeader(std::string_view frame, const Frame& h) {
    VbrHeader v;
    if (h.kind != Kind::Mp3) return v;
    // Right after the side information; with a CRC, 2 bytes later.
    std::size_t side = SideInfo(h);
    for (std::size_t at : {4 + side, 6 + side}) {
        if (!Has(frame, at, "Xing") && !Has(frame, at, "Info")) continue;
        v.found = true;
        v.vbr = frame[at] == 'X';
        std::uint32_t flags = Be32(frame, at + 4);
        std::size_t field = at + 8;
        if (flags & 1) {
            v.frames = Be32(frame, field);
            field += 4;
        }
        if (flags & 2) v.bytes = Be32(frame, field);
        return v;
    }
    if (Has(frame, 36, "VBRI")) {
        v.found = v.vbr = true;
        v.bytes = Be32(frame, 46);
        v.frames = Be32(frame, 50);
    }
    return v;
}

// Where the audio ends (before an ID3v1 tag and an APEv2 tag) and how many zero bytes
// come just before that end, as far as the last 4 KB show.
struct Tail {
    std::uint64_t audioEnd = 0;
    std::size_t zeros = 0;
};

Tail ReadTail(Reader& r, std::uint64_t audioStart) {
    const std::uint64_t size = r.Size();
    std::uint64_t from = std::max(audioStart, size - std::min<std::uint64_t>(size, kHeadBytes));
    std::string bytes = r.Read(from, kHeadBytes);
    std::string_view v = bytes;
    std::uint64_t tags = 0;
    if (v.size() >= 128 && Has(v, v.size() - 128, "TAG")) {
        v.remove_suffix(128);
        tags = 128;
    }
    if (v.size() >= 32 && Has(v, v.size() - 32, "APETAGEX")) {
        // The footer's size counts the items and the footer; a header adds 32 bytes.
        std::uint64_t ape = Le32(v, v.size() - 20) + (Le32(v, v.size() - 12) >> 31) * 32;
        tags += ape;
        v.remove_suffix(static_cast<std::size_t>(std::min<std::uint64_t>(ape, v.size())));
    }
    Tail t;
    t.audioEnd = size - std::min(tags, size - audioStart);
    std::size_t last = v.find_last_not_of('\0');
    t.zeros = last == std::string_view::npos ? v.size() : v.size() - 1 - last;
    return t;
}

// Rate, bitrate and length from the run, the VBR header and the audio's bytes.
void Summarise(const Run& run, const VbrHeader& vh, std::uint64_t audioEnd, Finding& f) {
    const Frame& first = run.frames[0];
    // The frame that holds a Xing header carries no audio; its bitrate may be any.
    int from = vh.found && run.count > 1 ? 1 : 0;
    const int bitrate = run.frames[from].bitrate;
    f.vbr = vh.vbr;
    for (int i = from; i < run.count; ++i) f.vbr |= run.frames[i].bitrate != bitrate;
    std::uint64_t held = audioEnd > run.offset ? audioEnd - run.offset : 0;
    // A file cut short: its header counts more than one more frame beyond what it holds.
    if (vh.bytes > 0 && vh.bytes > held + first.longest) f.truncated = true;
    if (vh.frames > 0)
        f.durationMs = Milliseconds(std::uint64_t{vh.frames} * first.samples,
                                    static_cast<std::uint32_t>(first.rate));
    if (!f.vbr) {
        f.bitrateKbps = bitrate;
        if (f.durationMs < 0)
            f.durationMs = Milliseconds(held, static_cast<std::uint32_t>(bitrate) * 125);
    } else if (f.durationMs > 0) {
        std::uint64_t bytes = vh.bytes > 0 ? vh.bytes : held;
        std::uint64_t ms = static_cast<std::uint64_t>(f.durationMs);
        f.bitrateKbps = ToInt((bytes * 8 + ms / 2) / ms);  // bits per millisecond
    }
}

}  // namespace

bool ReadFrames(Reader& r, std::uint64_t start, std::string bytes, Finding& f) {
    Span s(r, start, std::move(bytes), start + 2 * kHeadBytes + kRunBytes);
    // Zero bytes before the audio are passed over (after a tag, they are already).
    std::string_view lead = s.At(start, kHeadBytes);
    std::size_t zeros = lead.find_first_not_of('\0');
    if (zeros == std::string_view::npos) return false;
    std::optional<Run> run = FindRun(s, start + zeros, r.Size());
    if (!run) return false;
    const Frame& first = run->frames[0];
    f.kind = first.kind;
    f.freeFormat = first.free;
    f.sampleRate = first.rate;
    f.channels = first.channels;
    Tail tail = ReadTail(r, run->offset);
    f.truncated = tail.zeros >= std::max(kZeroTail, first.longest + 1);
    if (first.kind != Kind::Aac)
        Summarise(*run, ReadVbrHeader(s.At(run->offset, first.length), first), tail.audioEnd, f);
    return true;
}

}  // namespace audio::detail
