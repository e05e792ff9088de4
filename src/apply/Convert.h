// Converting a player's music into what its slot plays: the game plays "01.mp3" as MP3
// and "Msg_NewMsg.wav" as a WAVE sound, so an M4A, FLAC, Ogg, Opus, WMA or AIFF file (and
// an MP3 for the ".wav" slot) is decoded by the system and written as an MP3 (LAME) or a
// 16-bit PCM WAVE in the format of the game's own file there. The result is cached in the
// data folder by the source's content and the target, so the copy finds it made. The
// player's own file is only ever read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "apply/Match.h"
#include "apply/Record.h"
#include "audio/Content.h"
#include "originals/Store.h"
#include "platform/system/System.h"

namespace apply {

// What a slot's file becomes on its way into the game's folder.
enum class Target { AsIs, Mp3, Wave };

// By what the file is (its bytes) and its slot: an ".mp3" slot takes an MP3 as it is and
// any other music converted; the ".wav" slot a PCM WAVE as it is and any other music (an
// MP3 too) converted; other slots, files cut short and what is no music stay as they are.
Target TargetFor(const audio::Finding& f, const std::string& slot);

// The file kinds the file list and drag and drop take beside the list file's mask: those
// QUAVERIX converts.
inline constexpr char kConvertibleMask[] =
    "*.m4a;*.aac;*.flac;*.ogg;*.oga;*.opus;*.wma;*.aif;*.aiff";

// The file list's mask: the list file's, then the kinds it does not name of those.
std::string WithConvertible(const std::string& mask);

// The format a conversion writes.
struct Format {
    Target target = Target::AsIs;
    int rate = 44100;
    int channels = 2;
    int kbps = 192;  // MP3 only: CBR
    friend bool operator==(const Format&, const Format&) = default;
};
// The game's own file's format for the slot (its rate and channels; an MP3 at its bitrate
// or 192 kbps, whichever is higher); 44.1 kHz stereo, 192 kbps when it is not known.
Format FormatFor(sys::System& system, originals::Store& store, const Record& record,
                 const std::string& folder, const std::string& slot, Target target);
// How the tip tells it: "M4A (AAC) → MP3 に変換してコピーします".
std::string ConversionText(audio::Kind from, Target to);

// The level a conversion brings the music to (matching loudness): the game track's
// loudness, and the source's loudness and sample peak as measured.
struct Level {
    double gameLufs = 0;
    double sourceLufs = 0;
    double sourcePeak = 0;
};

struct Converted {
    std::string path;  // the converted file in the cache; "" when it could not be made
    std::string reason;  // why not, in words for the player
};
// The cached conversion of `source` into `format` (with `level`, at the game track's
// loudness, held back so that its decoded peak stays at or below +0.1 dBFS); made now
// when the cache (`cacheFolder`, with its trailing backslash) lacks it, then the cache is
// kept under kMaxCache by dropping its oldest files.
Converted Convert(sys::System& system, const std::string& cacheFolder, const std::string& source,
                  const Format& format, const std::optional<Level>& level);

// What the copy does with each slot's bytes on their way: converted where the slot needs
// it (always), matched to the game track's loudness (with `cache`).
struct Preparing {
    LoudnessCache* cache = nullptr;  // matching loudness through it; null: levels stay
    std::string workFolder;  // the matched copies, removed after the run (trailing '\')
    std::string convertFolder;  // the conversions' cache (trailing '\')
    // This run's part of the work files' names, so that no two runs (two windows, one
    // started while another's work files wait) share one.
    std::string run = NewRunName();
};
struct Prepared {
    std::string from;  // the file the copy takes its bytes from
    bool work = false;  // `from` is a work file of this run's, to be removed after it
    std::string levelNote = {};  // why the level was not matched ("" when it was, or not asked)
    std::string convertNote = {};  // why it was not converted though the slot needs it
};
// The bytes the copy of `source` into `slot` takes: the conversion (cached), or the
// source with its gains moved (the work file `workName`), or the source itself.
Prepared PrepareCopy(sys::System& system, originals::Store& store, const Record& record,
                     const Preparing& preparing, const std::string& folder, const std::string& slot,
                     const std::string& source, const std::string& workName);

// Where Bat作成 puts the converted files of the batch file `batchPath`: the folder beside
// it named after it ("C:\\out\\x.bat" -> "C:\\out\\x").
std::string BatchMusicFolder(const std::string& batchPath);

// The largest file a conversion writes, and what the cache keeps.
inline constexpr std::uint64_t kMaxConverted = 256ull << 20;
inline constexpr std::uint64_t kMaxCache = 1ull << 30;

}  // namespace apply
