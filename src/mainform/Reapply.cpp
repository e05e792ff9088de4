// After a game update: the start compares the game's folder with the record of what
// QUAVERIX put there, off the window's thread, and asks once whether to copy again what
// the game put back.
#include <algorithm>
#include <memory>

#include "apply/Apply.h"
#include "mainform/MainForm.h"
#include "originals/Index.h"
#include "platform/paths/Paths.h"
#include "slots/Slots.h"

namespace {

// The slot table's line of `slot` (names compared as Windows compares file names), or -1.
int LineOf(const ui::ValueListEditor& grid, const std::string& slot) {
    const std::string key = originals::PathKey(slot);
    for (int i = 0; i < grid.Count(); ++i) {
        if (originals::PathKey(grid.Name(i)) == key) return i;
    }
    return -1;
}

}  // namespace

void TFormMain::CheckApplied() {
    const std::optional<std::string> folder = slots::DestinationFolder(MemoCopysaki.Text());
    if (!folder || folder->empty()) return;
    std::vector<apply::Applied> entries = apply::Record(System(), Data().Record()).In(*folder);
    if (entries.empty()) return;  // nothing was ever applied there: a start as always
    auto found = std::make_shared<std::vector<apply::Now>>(entries.size(), apply::Now::Same);
    // A slow or missing drive holds up only this work, never the window.
    Application().Background(
        [entries, found](sys::System& system) {
            for (std::size_t i = 0; i < entries.size(); ++i)
                (*found)[i] = apply::Compare(system, entries[i]);
        },
        [this, entries, found, folder = *folder, runs = runs_] {
            AskReapply(folder, entries, *found, runs);
        });
}

void TFormMain::AskReapply(const std::string& folder, const std::vector<apply::Applied>& entries,
                           const std::vector<apply::Now>& found, int runs) {
    // The destination may have been changed meanwhile: then this is not its answer. Nor
    // is it after a copy or restore since the check began (what it found may have been
    // put back or copied again just now), nor while a copy waits to run: the question
    // comes again at the next start.
    const std::optional<std::string> now = slots::DestinationFolder(MemoCopysaki.Text());
    if (!now || originals::FolderKey(*now) != originals::FolderKey(folder)) return;
    if (runs != runs_ || RunWaiting()) return;
    applied_.clear();
    struct Found {
        int line;
        const apply::Applied* entry;
        apply::Now now;
    };
    std::vector<Found> listed;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int line = LineOf(ValListMp3, entries[i].slot);
        if (line < 0) continue;  // no such slot in this list file
        applied_[line] = {paths::LastPart(entries[i].source), found[i]};
        if (found[i] != apply::Now::Same) listed.push_back({line, &entries[i], found[i]});
    }
    // The tip of the current row may have something to say now.
    if (ValListMp3.Row() >= 1) LblMp3Tips.SetCaption(TipText(ValListMp3.Row() - 1));
    if (listed.empty()) return;
    std::sort(listed.begin(), listed.end(),
              [](const Found& a, const Found& b) { return a.line < b.line; });
    std::string copyable, gone;
    apply::Assignment again;
    for (const Found& f : listed) {
        const std::string text =
            "\r\n" + ValListMp3.Name(f.line) + ": " + paths::LastPart(f.entry->source);
        if (f.now == apply::Now::Reverted) {
            copyable += text;
            again.push_back(
                {static_cast<std::size_t>(f.line), ValListMp3.Name(f.line), f.entry->source});
        } else {
            gone += text;
        }
    }
    std::string message = "ゲームの更新で、次の BGM がゲームの元の曲に戻っています。" + copyable;
    if (!gone.empty()) {
        message += std::string(copyable.empty() ? "" : "\r\n") +
                   "\r\n次の曲は元のファイルが見つからないためコピーできません:" + gone;
    }
    if (again.empty()) {
        // Nothing can be copied: told, not asked.
        System().ShowBox(sys::BoxKind::Warning, Application().title, message);
        return;
    }
    message += "\r\nもう一度コピーしますか？";
    if (System().ShowBox(sys::BoxKind::Confirm, "確認", message) != sys::BoxResult::Ok) return;
    // As if registered: the values shown and checked, then the copy of コピー開始 (the
    // game's new files kept first, the rights box, the one report) without its question.
    for (const apply::Slot& s : again) ValListMp3.SetValue(static_cast<int>(s.order), s.source);
    AddExperience(2);
    RunWhenPrepared({false, folder, again});
}
