// What a file picked for a slot holds, told from its bytes: the format (by its frames or
// chunks, never by the file's name), what it says of itself (rate, channels, bitrate,
// length), and whether it ends before its audio does. Then how that fits the slot, in one
// line for the player. Pure code over bytes: no calls to the operating system.
//
// The check reads little: the first 4 KB, a few KB where the audio starts when an ID3v2
// tag comes first (the tag itself, cover art and all, is skipped by its size; zero
// padding after it is read through, up to kMaxTagPadding), small chunk headers when a
// WAVE's "data" lies further on, and the last 4 KB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace audio {

// Zero bytes after an ID3v2 tag that its size does not count (some taggers write them
// there): passed over up to this many. They are read, so the bound is what an odd tag
// may cost; more padding than this is taken for no audio ("不明な形式").
constexpr std::uint64_t kMaxTagPadding = 64 * 1024;

// Where the check reads from: the file's size and a reader of a byte range. Read gets
// only ranges that lie within the file, and gives "" when the file cannot be read.
struct Source {
    std::uint64_t size = 0;
    std::function<std::string(std::uint64_t offset, std::size_t count)> read;
};

enum class Kind {
    Unreadable,
    Empty,
    Mp3,
    Wave,
    MpegLayer1,
    MpegLayer2,
    M4a,  // an MP4 "ftyp" box
    Aac,  // ADTS frames
    OggVorbis,
    Opus,
    OggOther,
    Flac,
    Wma,  // ASF
    Aiff,
    Midi,
    Html,
    Zip,
    Rar,
    Unknown
};

struct Finding {
    Kind kind = Kind::Unknown;
    bool truncated = false;  // the file ends well before its audio claims to
    int sampleRate = 0;  // Hz, 0 unknown
    int channels = 0;  // 0 unknown
    int bitrateKbps = 0;  // the average for VBR where known, 0 unknown
    bool vbr = false;
    bool freeFormat = false;  // MPEG audio at a bitrate of its own (header bitrate index 0)
    int bits = 0;  // bits per sample (WAVE, FLAC, AIFF)
    std::uint16_t waveFormat = 0;  // WAVE format tag: 1 PCM, 3 float, 2 MS ADPCM, 0x11 IMA
        // ADPCM, 0x55 MP3...; for WAVE_FORMAT_EXTENSIBLE the
        // sub-format's tag
    bool extensible = false;  // the WAVE's "fmt " is WAVE_FORMAT_EXTENSIBLE
    std::int64_t durationMs = -1;  // -1 unknown

    friend bool operator==(const Finding&, const Finding&) = default;
};

Finding Inspect(const Source& source);
// The kind's name for the player: "M4A (AAC)", "FLAC", "不明な形式", ...
const char* KindName(Kind k);
Finding Inspect(std::string_view wholeFile);
// A length as the tips show it: "3:25", "1:02:05"; a short sound shows 0:01, not 0:00.
std::string Clock(std::int64_t ms);

// How a finding fits a slot of the game, by the slot's file name: ".mp3" slots need MP3
// (Layer III); ".wav" slots need WAVE, where PCM plays everywhere and other formats may
// not; any other slot takes any audio. A file cut short fits nowhere.
enum class Fit { Fits, MayNotPlay, DoesNotFit };
struct Verdict {
    Fit fit;
    std::string line;  // one short line for the player (CP932)
    // A file that fits: the line without its rate and channels ("MP3 192kbps 3:25"), for
    // the tip when more follows it on the same line; otherwise "".
    std::string brief = {};
};
Verdict Judge(const Finding& f, std::string_view slotName);

}  // namespace audio
