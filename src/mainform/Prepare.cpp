// Each line's copy prepared on the window: its file converted where the slot needs it,
// measured with the game's track while matching loudness is on, one line at a time off the
// window's thread; the tip's words for both; and the copy or batch file that waits for
// what it needs. Converting and measuring themselves are src/apply's (Convert, Measure,
// Match).
#include <memory>

#include "apply/Convert.h"
#include "apply/Match.h"
#include "mainform/MainForm.h"
#include "originals/Store.h"
#include "slots/Slots.h"

namespace {

// " 3:25" as the content check tells lengths, or "" when the length is unknown.
std::string Length(std::int64_t ms) { return ms < 0 ? "" : " " + audio::Clock(ms); }

}  // namespace

void TFormMain::SetMatchLoudness(bool on) {
    if (Settings.MatchLoudness == on) return;
    Settings.MatchLoudness = on;
    // What is in hand still ends; each line is asked for again as it is wanted now (a
    // conversion made at the song's own level is made again at the game's, or back).
    prepQueue_.clear();
    for (int i = 0; i < ValListMp3.Count(); ++i) QueuePrepare(i);
    if (preparingLine_ < 0) PrepareNext();
}

apply::Target TFormMain::TargetOf(int i, const std::string& value) {
    const std::size_t at = static_cast<std::size_t>(i);
    if (at >= checks_.size() || checks_[at].value != value) CheckSlot(i);
    return at < checks_.size() ? checks_[at].target : apply::Target::AsIs;
}

void TFormMain::QueuePrepare(int i) {
    if (i < 0 || i >= ValListMp3.Count()) return;
    if (preps_.size() < static_cast<std::size_t>(ValListMp3.Count()))
        preps_.resize(static_cast<std::size_t>(ValListMp3.Count()));
    SlotPrep& prep = preps_[static_cast<std::size_t>(i)];
    const std::string line = ValListMp3.Line(i);
    if (!slots::IsAssigned(line)) {
        prep = SlotPrep{};
        return;
    }
    const std::string value = slots::AssignedValue(line);
    const apply::Target target = TargetOf(i, value);
    const bool measure = Settings.MatchLoudness && apply::IsMatchedSlot(slots::NameOf(line));
    if (!measure && target == apply::Target::AsIs) {
        prep = SlotPrep{};
        return;
    }
    const bool queued = std::find(prepQueue_.begin(), prepQueue_.end(), i) != prepQueue_.end();
    const bool same = prep.value == value && prep.target == target && prep.measure == measure;
    if (same && (prep.done || queued || preparingLine_ == i)) return;
    prep = SlotPrep{value, false, measure, target, {}, {}};
    if (!queued) prepQueue_.push_back(i);
    if (preparingLine_ < 0) PrepareNext();
}

void TFormMain::PrepareNext() {
    while (preparingLine_ < 0 && !prepQueue_.empty()) {
        const int i = prepQueue_.front();
        prepQueue_.pop_front();
        if (i >= ValListMp3.Count() || static_cast<std::size_t>(i) >= preps_.size()) continue;
        const SlotPrep asked = preps_[static_cast<std::size_t>(i)];
        const std::string line = ValListMp3.Line(i);
        const std::optional<std::string> folder = slots::DestinationFolder(MemoCopysaki.Text());
        if (!slots::IsAssigned(line) || slots::AssignedValue(line) != asked.value || !folder)
            continue;
        preparingLine_ = i;
        auto result = std::make_shared<SlotPrep>(asked);
        const std::string slot = slots::NameOf(line);
        const std::string originalsFolder = OriginalsFolder(), record = Data().Record(),
                          cache = Data().LoudnessCache(), converted = Data().ConvertedFolder();
        // A file of an hour takes seconds to decode: never on the window's thread.
        Application().Background(
            [=](sys::System& system) {
                originals::Store store(system, originalsFolder);
                const apply::Record applied(system, record);
                apply::LoudnessCache known(system, cache);
                if (result->measure)
                    result->level = apply::MeasureSlot(system, store, applied, known, *folder, slot,
                                                       result->value);
                if (result->target == apply::Target::AsIs) return;
                const apply::Format format =
                    apply::FormatFor(system, store, applied, *folder, slot, result->target);
                std::optional<apply::Level> level;
                const apply::LevelPlan plan = apply::PlanLevel(result->level);
                if (result->measure && plan.match)
                    level = apply::Level{result->level.game.lufs, result->level.source.lufs,
                                         result->level.source.peak};
                result->converted = apply::Convert(system, converted, result->value, format, level);
            },
            [this, i, result] { Prepared(i, *result); });
    }
    if (preparingLine_ >= 0 || !waitingRun_) return;
    // Nothing more to prepare: the run that waited goes on.
    WaitingRun run = std::move(*waitingRun_);
    waitingRun_.reset();
    SetCaption(Settings.SoftName);
    if (run.batch) {
        WriteBatch(run.batchPath, run.folder, run.slots);
    } else {
        CopyAssignment(run.folder, run.slots);
    }
}

void TFormMain::Prepared(int i, SlotPrep result) {
    preparingLine_ = -1;
    const std::size_t at = static_cast<std::size_t>(i);
    if (at < preps_.size() && preps_[at].value == result.value &&
        preps_[at].target == result.target && preps_[at].measure == result.measure) {
        result.done = true;
        preps_[at] = std::move(result);
        CheckSlot(i);  // the row and the tip tell what came of it
    }
    if (waitingRun_ && !prepQueue_.empty()) {
        const std::size_t left = prepQueue_.size();
        waitingRun_->total = std::max(waitingRun_->total, left);
        SetCaption(WaitingWhat() + " " + std::to_string(waitingRun_->total - left) + "/" +
                   std::to_string(waitingRun_->total));
    }
    PrepareNext();
}

std::string TFormMain::WaitingWhat() const {
    auto converts = [&](int i) {
        return static_cast<std::size_t>(i) < preps_.size() &&
               preps_[static_cast<std::size_t>(i)].target != apply::Target::AsIs;
    };
    const bool converting = (preparingLine_ >= 0 && converts(preparingLine_)) ||
                            std::any_of(prepQueue_.begin(), prepQueue_.end(), converts);
    return converting ? "変換しています" : "音量を測っています";
}

void TFormMain::RunWhenPrepared(WaitingRun run) {
    // A line changed just now may not be queued yet.
    for (const apply::Slot& s : run.slots) QueuePrepare(static_cast<int>(s.order));
    if (preparingLine_ < 0 && prepQueue_.empty()) {
        if (run.batch) {
            WriteBatch(run.batchPath, run.folder, run.slots);
        } else {
            CopyAssignment(run.folder, run.slots);
        }
        return;
    }
    run.total = prepQueue_.size() + (preparingLine_ >= 0 ? 1 : 0);
    const std::string caption = WaitingWhat() + " 0/" + std::to_string(run.total);
    waitingRun_ = std::move(run);
    SetCaption(caption);
}

bool TFormMain::RefusedWhileRunWaits() {
    if (!waitingRun_) return false;
    const bool batch = waitingRun_->batch;
    const bool converting = WaitingWhat() == "変換しています";
    System().ShowBox(sys::BoxKind::Warning, Application().title,
                     std::string(batch ? "「Bat作成」" : "「コピー開始」") + "が" +
                         (converting ? "変換" : "音量の測定") + "を待っています。" +
                         (batch ? "バッチファイルができてから" : "コピーが終わってから") +
                         "、もう一度押してください。");
    return true;
}

audio::Verdict TFormMain::PreparedVerdict(int i, const audio::Finding& f, apply::Target target) {
    const std::size_t at = static_cast<std::size_t>(i);
    const SlotPrep* prep = at < preps_.size() ? &preps_[at] : nullptr;
    const std::string value = slots::AssignedValue(ValListMp3.Line(i));
    const std::string to = target == apply::Target::Mp3 ? "MP3" : "WAVE (PCM)";
    if (!prep || prep->value != value || prep->target != target || !prep->done)
        return {audio::Fit::Fits, std::string(audio::KindName(f.kind)) + " → " + to + " に変換中…" +
                                      Length(f.durationMs)};
    // (The brief form leaves room on the line for the level's difference.)
    if (!prep->converted.path.empty())
        return {audio::Fit::Fits, apply::ConversionText(f.kind, target) + Length(f.durationMs),
                std::string(audio::KindName(f.kind)) + " → " + to + Length(f.durationMs)};
    std::string line = "変換できません: " + prep->converted.reason;
    if (f.kind == audio::Kind::Opus || f.kind == audio::Kind::OggVorbis)
        line +=
            " (Opus と Ogg Vorbis は Microsoft の「Web メディア拡張機能」を入れると変換できます)";
    return {audio::Fit::MayNotPlay, line};
}

std::string TFormMain::LevelText(int i) {
    if (!Settings.MatchLoudness || i < 0 || static_cast<std::size_t>(i) >= preps_.size()) return "";
    const SlotPrep& prep = preps_[static_cast<std::size_t>(i)];
    if (!prep.done || !prep.measure || i >= ValListMp3.Count() ||
        slots::AssignedValue(ValListMp3.Line(i)) != prep.value)
        return "";
    const apply::LevelPlan plan = apply::PlanLevel(prep.level);
    return plan.match ? "  " + apply::DifferenceText(plan.differenceDb) : "";
}
