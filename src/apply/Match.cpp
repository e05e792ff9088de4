#include "apply/Match.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>

#include "audio/Content.h"
#include "audio/Mp3Gain.h"
#include "originals/Index.h"
#include "slots/Slots.h"

namespace apply {

bool IsMatchedSlot(const std::string& slot) {
    if (slot.size() < 4) return false;
    std::string end = slot.substr(slot.size() - 4);
    for (char& c : end) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return end == ".mp3";
}

std::string GameTrack(sys::System& system, originals::Store& store, const Record& record,
                      const std::string& folder, const std::string& slot) {
    std::optional<Applied> ours;
    for (const Applied& a : record.In(folder)) {
        if (originals::PathKey(a.slot) == originals::PathKey(slot)) ours = a;
    }
    const std::string destination = slots::DestinationPath(folder, slot);
    const std::string game =
        store.GameFile(destination, ours ? std::optional(ours->copiedPrint) : std::nullopt);
    // (A copy with its source's bytes says nothing of the game's level.)
    if (!game.empty() || !ours || ours->copiedPrint == ours->sourcePrint) return game;
    originals::Fingerprint now;
    return originals::FingerprintFile(system, destination, now) && now == ours->copiedPrint
               ? destination
               : "";
}

SlotLoudness MeasureSlot(sys::System& system, originals::Store& store, const Record& record,
                         LoudnessCache& cache, const std::string& folder, const std::string& slot,
                         const std::string& source,
                         const std::optional<originals::Fingerprint>& sourceContent) {
    SlotLoudness out;
    out.source = MeasureCached(system, cache, source, sourceContent);
    const std::string game = GameTrack(system, store, record, folder, slot);
    out.hasGame = !game.empty();
    if (out.hasGame) out.game = MeasureCached(system, cache, game);
    return out;
}

LevelPlan PlanLevel(const SlotLoudness& l) {
    LevelPlan plan;
    if (l.source.status != MeasureStatus::Measured) {
        plan.reason = "音量を測れないので、そのままコピーしました (" + l.source.reason + ")";
    } else if (!l.hasGame) {
        plan.reason = "ゲームの元の曲が分からないので、そのままコピーしました";
    } else if (l.game.status != MeasureStatus::Measured) {
        plan.reason =
            "ゲームの元の曲の音量を測れないので、そのままコピーしました (" + l.game.reason + ")";
    } else {
        plan.match = true;
        plan.differenceDb = l.source.lufs - l.game.lufs;
        plan.steps = audio::GainStepsFor(-plan.differenceDb, l.source.peak);
    }
    return plan;
}

std::string DifferenceText(double db) {
    if (!(std::fabs(db) >= 0.05)) return "ゲームの曲と同じ大きさ";
    char number[32];
    std::snprintf(number, sizeof number, "%.1f", std::fabs(db));
    return std::string("ゲームの曲より ") + number + (db > 0 ? "dB 大きい" : "dB 小さい");
}

std::string NewRunName() {
    std::random_device seed;
    std::uint64_t n = (static_cast<std::uint64_t>(seed()) << 32) ^ seed() ^
                      static_cast<std::uint64_t>(std::time(nullptr));
    std::string out(16, '0');
    for (char& c : out) {
        c = "0123456789abcdef"[n & 0xF];
        n >>= 4;
    }
    return out;
}

std::optional<std::string> MatchedBytes(sys::System& system, originals::Store& store,
                                        const Record& record, LoudnessCache& cache,
                                        const std::string& folder, const std::string& slot,
                                        const std::string& source, std::string& note) {
    note.clear();
    if (!IsMatchedSlot(slot)) return std::nullopt;
    // What cannot be read is left to the copy, which tells why.
    const std::optional<std::uint64_t> size = system.SizeOf(source);
    if (!size) return std::nullopt;
    if (*size > kMaxMatchedSize) {
        note = "大きすぎて音量を合わせられないので、そのままコピーしました";
        return std::nullopt;
    }
    std::string bytes;
    if (!system.ReadFile(source, bytes)) return std::nullopt;
    if (audio::Inspect(bytes).kind != audio::Kind::Mp3) {
        note = "MP3 ではないので、音量を合わせずにそのままコピーしました";
        return std::nullopt;
    }
    // The bytes in hand are what is measured: the cache's line for them, else a decoding.
    const SlotLoudness l = MeasureSlot(system, store, record, cache, folder, slot, source,
                                       originals::FingerprintOf(bytes));
    const LevelPlan plan = PlanLevel(l);
    if (!plan.match) {
        note = plan.reason;
        return std::nullopt;
    }
    if (plan.steps == 0) return std::nullopt;  // as loud already: the file as it is
    const audio::Mp3GainReport changed = audio::ChangeMp3Gain(bytes, plan.steps);
    if (changed.freeFormat || changed.frames == 0) {
        note =
            "この MP3 の形式 (フリーフォーマットなど) は音量を変えられないので、そのままコピー"
            "しました";
        return std::nullopt;
    }
    return bytes;
}

}  // namespace apply
