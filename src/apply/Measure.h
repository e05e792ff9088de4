// A file's loudness and sample peak, decoded by the system and measured by our own
// meter (audio::LoudnessMeter); and the cache that keeps each content's result in the
// data folder, so that a file is decoded once.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "originals/Fingerprint.h"
#include "platform/system/System.h"

namespace apply {

enum class MeasureStatus {
    Measured,
    TooQuiet,  // decoded, but nothing passed the gates (silence, under -70 LUFS, < 0.4 s)
    NotAudio,  // no audio DecodeAudio takes, or a WAVE beyond our reader
    Unreadable,
    CannotDecode,  // the decoder is missing or gave up, or the format is beyond the meter
};

struct Measurement {
    MeasureStatus status = MeasureStatus::CannotDecode;
    double lufs = 0;  // integrated loudness when Measured
    double peak = 0;  // the sample peak (1.0 full scale) when Measured or TooQuiet
    std::string reason;  // why not, in words for the player; empty when Measured
};

// Decodes the whole file and measures it; nothing kept.
Measurement Measure(sys::System& system, const std::string& path);

// The cache file: CP932 text, a header line, then one line per content:
// "<size> <hash, 16 hex digits> <LUFS or quiet> <peak>". Lines it cannot read are kept
// as they are; a content measured again replaces its line. Written whole, atomically, with
// this run's new lines made on the file as it is then (under the data folder's lock).
class LoudnessCache {
public:
    // Reads the file; a missing or unreadable one gives an empty cache.
    LoudnessCache(sys::System& system, std::string path);
    std::optional<Measurement> Find(const originals::Fingerprint& content) const;
    // Only what the content itself decides is kept (Measured, TooQuiet): a file that could
    // not be read or decoded today may be tomorrow.
    void Put(const originals::Fingerprint& content, const Measurement& m);
    bool Save(sys::FileError* why = nullptr);

private:
    void Read();
    void Add(const originals::Fingerprint& content, const std::string& line);

    sys::System& system_;
    std::string path_;
    std::vector<std::pair<originals::Fingerprint, std::string>> added_;  // since the save
    std::vector<std::string> lines_;  // the file's lines, the unreadable ones too
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> index_;  // -> line
};

// Measure through the cache: the file's fingerprint first (one read through it, unless
// `content` gives it: the bytes in hand), then its line, else the decoding, whose result
// is added and the cache saved: only when the file's size and time are the same after
// the decoding as before its fingerprint, so that a result is kept under the bytes that
// were decoded.
Measurement MeasureCached(sys::System& system, LoudnessCache& cache, const std::string& path,
                          const std::optional<originals::Fingerprint>& content = std::nullopt);

}  // namespace apply
