// Matching loudness on the window: what is measured when, the tip's difference, and the
// copy that waits for the measurements it needs. The measuring and the copy's level
// change are src/apply's (Measure, Match).
#include <memory>

#include "apply/Match.h"
#include "mainform/MainForm.h"
#include "originals/Store.h"
#include "slots/Slots.h"

void TFormMain::SetMatchLoudness(bool on) {
    const bool was = Settings.MatchLoudness;
    Settings.MatchLoudness = on;
    if (on && !was) {
        for (int i = 0; i < ValListMp3.Count(); ++i) QueueMeasure(i);
    } else if (!on) {
        // What is being measured still ends; a waiting copy then goes on as it is asked now.
        measureQueue_.clear();
    }
}

void TFormMain::QueueMeasure(int i) {
    if (!Settings.MatchLoudness || i < 0 || i >= ValListMp3.Count()) return;
    if (levels_.size() < static_cast<std::size_t>(ValListMp3.Count()))
        levels_.resize(static_cast<std::size_t>(ValListMp3.Count()));
    SlotLevel& level = levels_[static_cast<std::size_t>(i)];
    const std::string line = ValListMp3.Line(i);
    if (!slots::IsAssigned(line) || !apply::IsMatchedSlot(slots::NameOf(line))) {
        level = SlotLevel{};
        return;
    }
    const std::string value = slots::AssignedValue(line);
    const bool queued =
        std::find(measureQueue_.begin(), measureQueue_.end(), i) != measureQueue_.end();
    const bool inHand = measuringLine_ == i;
    if (level.value == value && (level.done || queued || inHand)) return;
    level = SlotLevel{value, false, {}};
    if (!queued) measureQueue_.push_back(i);
    if (measuringLine_ < 0) MeasureNext();
}

void TFormMain::MeasureNext() {
    while (measuringLine_ < 0 && !measureQueue_.empty()) {
        const int i = measureQueue_.front();
        measureQueue_.pop_front();
        if (i >= ValListMp3.Count()) continue;
        const std::string line = ValListMp3.Line(i);
        const std::optional<std::string> folder = slots::DestinationFolder(MemoCopysaki.Text());
        if (!slots::IsAssigned(line) || !folder) continue;
        measuringLine_ = i;
        auto result = std::make_shared<apply::SlotLoudness>();
        const std::string value = slots::AssignedValue(line), slot = slots::NameOf(line);
        const std::string originalsFolder = OriginalsFolder(), record = Data().Record(),
                          cache = Data().LoudnessCache();
        // A file of an hour takes seconds to decode: never on the window's thread.
        Application().Background(
            [=](sys::System& system) {
                originals::Store store(system, originalsFolder);
                apply::LoudnessCache known(system, cache);
                *result = apply::MeasureSlot(system, store, apply::Record(system, record), known,
                                             *folder, slot, value);
            },
            [this, i, value, result] { Measured(i, value, *result); });
    }
    if (measuringLine_ >= 0 || !waitingCopy_) return;
    // Nothing more to measure: the copy that waited goes on.
    WaitingCopy copy = std::move(*waitingCopy_);
    waitingCopy_.reset();
    SetCaption(Settings.SoftName);
    CopyAssignment(copy.folder, copy.slots);
}

void TFormMain::Measured(int i, const std::string& value, const apply::SlotLoudness& result) {
    measuringLine_ = -1;
    if (static_cast<std::size_t>(i) < levels_.size() &&
        levels_[static_cast<std::size_t>(i)].value == value) {
        levels_[static_cast<std::size_t>(i)] = SlotLevel{value, true, result};
        if (i == ValListMp3.Row() - 1) LblMp3Tips.SetCaption(TipText(i));
    }
    if (waitingCopy_ && !measureQueue_.empty()) {
        const std::size_t left = measureQueue_.size();
        waitingCopy_->total = std::max(waitingCopy_->total, left);
        SetCaption("音量を測っています " + std::to_string(waitingCopy_->total - left) + "/" +
                   std::to_string(waitingCopy_->total));
    }
    MeasureNext();
}

void TFormMain::CopyWhenMeasured(const std::string& folder, const apply::Assignment& slots) {
    // A line changed just now may not be queued yet.
    for (const apply::Slot& s : slots) QueueMeasure(static_cast<int>(s.order));
    if (!Settings.MatchLoudness || (measuringLine_ < 0 && measureQueue_.empty())) {
        CopyAssignment(folder, slots);
        return;
    }
    const std::size_t total = measureQueue_.size() + (measuringLine_ >= 0 ? 1 : 0);
    waitingCopy_ = WaitingCopy{folder, slots, total};
    SetCaption("音量を測っています 0/" + std::to_string(total));
}

std::string TFormMain::LevelText(int i) {
    if (!Settings.MatchLoudness || i < 0 || static_cast<std::size_t>(i) >= levels_.size())
        return "";
    const SlotLevel& level = levels_[static_cast<std::size_t>(i)];
    if (!level.done || i >= ValListMp3.Count() ||
        slots::AssignedValue(ValListMp3.Line(i)) != level.value)
        return "";
    const apply::LevelPlan plan = apply::PlanLevel(level.result);
    return plan.match ? "  " + apply::DifferenceText(plan.differenceDb) : "";
}
