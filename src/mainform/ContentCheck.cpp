// What each slot's file really is: checked when a file is registered, dropped or typed in
// (after its row is drawn), marked in the slot table and told under it, and checked again
// before the batch file or the copy, which ask first when a file may not play.
#include "apply/Convert.h"
#include "audio/Content.h"
#include "mainform/MainForm.h"
#include "slots/Slots.h"

audio::Finding TFormMain::InspectFile(const std::string& path) {
    std::optional<std::uint64_t> size = System().SizeOf(path);
    if (!size) return audio::Finding{audio::Kind::Unreadable};
    audio::Source source{*size, [&](std::uint64_t offset, std::size_t count) {
                             std::string part;
                             System().ReadPart(path, offset, count, part);
                             return part;
                         }};
    return audio::Inspect(source);
}

void TFormMain::QueueCheck(int line) {
    if (!pendingChecks_.insert(line).second) return;  // already waiting
    Application().Post([this, line] {
        pendingChecks_.erase(line);
        CheckSlot(line);
        QueuePrepare(line);
    });
}

void TFormMain::CheckSlot(int i) {
    if (i < 0 || i >= ValListMp3.Count()) return;
    if (checks_.size() < static_cast<std::size_t>(ValListMp3.Count()))
        checks_.resize(static_cast<std::size_t>(ValListMp3.Count()));
    SlotCheck& check = checks_[static_cast<std::size_t>(i)];
    const std::string line = ValListMp3.Line(i);
    if (slots::IsAssigned(line)) {
        check.value = slots::AssignedValue(line);
        const audio::Finding f = InspectFile(check.value);
        // A file that is converted fits once it is (or until that is known).
        check.target = apply::TargetFor(f, slots::NameOf(line));
        check.verdict = check.target == apply::Target::AsIs ? audio::Judge(f, slots::NameOf(line))
                                                            : PreparedVerdict(i, f, check.target);
    } else {
        check = SlotCheck{};
    }
    ValListMp3.SetWarned(i, !check.value.empty() && check.verdict.fit != audio::Fit::Fits);
    if (i == ValListMp3.Row() - 1) LblMp3Tips.SetCaption(TipText(i));
}

std::string TFormMain::TipText(int i) {
    const std::size_t at = static_cast<std::size_t>(i);
    // A row with no tip (after a too small slot count, or the blank row of an empty
    // table) shows none.
    std::string tip = at < Mp3Tips.size() ? Mp3Tips[at] : std::string();
    if (at < checks_.size() && !checks_[at].value.empty() && i < ValListMp3.Count()) {
        const std::string& line = ValListMp3.Line(i);
        if (slots::IsAssigned(line) && slots::AssignedValue(line) == checks_[at].value) {
            // The difference goes on the same line: the brief form leaves room for it.
            const audio::Verdict& v = checks_[at].verdict;
            const std::string level = LevelText(i);
            tip += "\r\n" + (level.empty() || v.brief.empty() ? v.line : v.brief) + level;
        }
    } else if (auto a = applied_.find(i); a != applied_.end() && i < ValListMp3.Count() &&
                                          !slots::IsAssigned(ValListMp3.Line(i))) {
        // A slot with no music chosen this time: what the game's folder holds of it.
        tip += a->second.now == apply::Now::Same
                   ? "\r\nコピー済み: " + a->second.source
                   : std::string("\r\nゲームの更新で元の曲に戻っています");
    }
    return tip;
}

bool TFormMain::ConfirmPlayable() {
    std::string doubtful;
    for (int i = 0; i < ValListMp3.Count(); ++i) {
        if (!slots::IsAssigned(ValListMp3.Line(i))) continue;
        CheckSlot(i);  // again: the file may have changed since it was registered
        const SlotCheck& c = checks_[static_cast<std::size_t>(i)];
        if (c.verdict.fit != audio::Fit::Fits)
            doubtful += "\r\n" + ValListMp3.Name(i) + ": " + c.verdict.line;
    }
    if (doubtful.empty()) return true;
    return System().ShowBox(sys::BoxKind::Confirm, "確認",
                            "次のファイルはゲームで再生できない形式の可能性があります。" +
                                doubtful + "\r\nこのまま続けますか？") == sys::BoxResult::Ok;
}
