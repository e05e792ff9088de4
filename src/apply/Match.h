// Matching loudness: the copy of an MP3 into the game's folder brought to the loudness of
// the game's own track it replaces, by whole global-gain steps (audio::ChangeMp3Gain),
// never by decoding. What is compared is measured off the window's thread and cached
// (apply::LoudnessCache); the player's own file is only ever read.
#pragma once

#include <optional>
#include <string>

#include "apply/Measure.h"
#include "apply/Record.h"
#include "originals/Store.h"
#include "platform/system/System.h"

namespace apply {

// Slots whose copy is matched: the game's music, ".mp3" (in any case).
bool IsMatchedSlot(const std::string& slot);

// The game's own track for `slot` in `folder`: the file 元に戻す would put back, else
// the file there when it is not QUAVERIX's (by the originals, and by the record for a
// copy made while keeping was off); "" when none is known. A copy of QUAVERIX's that was
// matched while keeping was off stands in for the track it replaced: it is as loud,
// within half a step.
std::string GameTrack(sys::System& system, originals::Store& store, const Record& record,
                      const std::string& folder, const std::string& slot);

// The two measurements a slot's copy needs.
struct SlotLoudness {
    Measurement source;
    Measurement game;
    bool hasGame = false;  // false: no game track is known for the slot
};
// `sourceContent`, when given, is the fingerprint of the source's bytes in hand.
SlotLoudness MeasureSlot(sys::System& system, originals::Store& store, const Record& record,
                         LoudnessCache& cache, const std::string& folder, const std::string& slot,
                         const std::string& source,
                         const std::optional<originals::Fingerprint>& sourceContent = std::nullopt);

// What the copy does with a slot's level: `steps` (0: already as loud), or, when it
// cannot match, why, in words for the report.
struct LevelPlan {
    bool match = false;
    int steps = 0;
    double differenceDb = 0;  // the source's loudness minus the game track's
    std::string reason;
};
LevelPlan PlanLevel(const SlotLoudness& loudness);

// The tip's words for a difference: "ゲームの曲より 7.5dB 大きい" ("小さい";
// "ゲームの曲と同じ大きさ" within 0.05 dB).
std::string DifferenceText(double db);

// A name no other run of any QUAVERIX takes: 16 random hex digits.
std::string NewRunName();

// The copy of an MP3 whose gains are moved to the game track's level: its bytes, or
// nothing with why not in `note` (then it is copied as it is).
std::optional<std::string> MatchedBytes(sys::System& system, originals::Store& store,
                                        const Record& record, LoudnessCache& cache,
                                        const std::string& folder, const std::string& slot,
                                        const std::string& source, std::string& note);

// Above this size a source is copied as it is (its bytes are held whole to be adjusted).
inline constexpr std::uint64_t kMaxMatchedSize = 256ull << 20;

}  // namespace apply
