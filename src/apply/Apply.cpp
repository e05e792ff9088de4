#include "apply/Apply.h"

#include <algorithm>
#include <cctype>
#include <functional>

#include "elevated/Target.h"
#include "platform/paths/Paths.h"
#include "platform/ui/Application.h"
#include "settings/DataFolder.h"
#include "slots/Slots.h"

namespace apply {
namespace {

const char* const kCopyRights =
    "コピー先のフォルダに書き込むには管理者の権限が必要です。\r\n管理者としてコピーしますか？\r\n";
const char* const kRestoreRights =
    "コピー先のフォルダを元に戻すには管理者の権限が必要です。\r\n管理者として元に戻しますか？\r\n";

// A path as cmd.exe must read it from a batch file: a single '%' would start a variable,
// so each is doubled. A line break cannot be part of a path and would split the command
// into two, so it is left out.
std::string BatchPath(const std::string& path) {
    std::string out;
    out.reserve(path.size() + 4);
    for (char c : path) {
        if (c == '%') {
            out += "%%";
        } else if (c != '\r' && c != '\n') {
            out += c;
        }
    }
    return out;
}

// Puts the caption back however the run ends.
struct ProgressScope {
    Window& window;
    ~ProgressScope() { window.EndProgress(); }
};

// The two ends a copy and a restore share: the report's lines, and the steps the player's
// rights could not do, done by one administrator run after one question.
class Ending {
public:
    Ending(sys::System& system, Window& window, const std::string& folder)
        : system_(system), window_(window), folder_(folder) {}

    void Fail(std::size_t order, const std::string& slot, const std::string& reason) {
        failed_.push_back({order, slot + ": " + reason});
    }
    // A slot done otherwise than asked, told after the failures: not converted, or its
    // level not matched.
    void Note(const Prepared& p, std::size_t order, const std::string& slot) {
        if (!p.convertNote.empty()) unconverted_.push_back({order, slot + ": " + p.convertNote});
        if (!p.levelNote.empty()) notes_.push_back({order, slot + ": " + p.levelNote});
    }
    void Keep(std::size_t order, elevated::Step step, std::function<void()> done) {
        kept_.push_back({order, std::move(done)});
        steps_.push_back(std::move(step));
    }
    // The drives are asked for once a run (labels and all), and only when a slot needs it.
    bool OnNetworkDrive(const std::string& path) {
        if (path.size() < 3 || path[1] != ':') return false;
        if (!drives_) drives_ = system_.Drives();
        for (const sys::DriveInfo& d : *drives_) {
            if (d.letter == static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))))
                return d.kind == sys::DriveKind::Remote;
        }
        return false;
    }
    // Runs the kept steps with administrator rights (after `question`), then merges.
    void RunKept(const char* question) {
        if (steps_.empty()) return;
        std::vector<sys::FileError> results = elevated::Ask(system_, folder_, steps_, [&] {
            return window_.Box(sys::BoxKind::Confirm, question + folder_) == sys::BoxResult::Ok;
        });
        for (std::size_t k = 0; k < steps_.size(); ++k) {
            if (results[k].fault == sys::Fault::None) {
                kept_[k].done();
            } else {
                Fail(kept_[k].order, steps_[k].slot, sys::ReasonText(results[k]));
            }
        }
    }
    bool Failed() const { return !failed_.empty(); }
    std::string ReportText(const char* first) const { return Report(first, failed_); }
    // The box at the end of a copy: the failures, then the notes; "" when all went as asked.
    std::string CopyEnding() const {
        std::string text;
        if (Failed()) text = ReportText("コピーできなかったファイルがあります。");
        for (const auto& [first, lines] :
             {std::pair{"変換できないので、そのままコピーしたファイルがあります。", &unconverted_},
              std::pair{"音量を合わせられなかったファイルがあります。", &notes_}}) {
            if (!lines->empty()) text += (text.empty() ? "" : "\r\n\r\n") + Report(first, *lines);
        }
        return text;
    }

private:
    struct Kept {
        std::size_t order;
        std::function<void()> done;
    };
    sys::System& system_;
    Window& window_;
    const std::string& folder_;
    std::vector<Line> failed_;
    std::vector<Line> notes_;
    std::vector<Line> unconverted_;
    std::vector<Kept> kept_;
    std::vector<elevated::Step> steps_;
    std::optional<std::vector<sys::DriveInfo>> drives_;
};

sys::FileError NetworkDriveReason(const std::string& source) {
    return {sys::Fault::Other,
            "管理者の権限が必要ですが、ネットワークドライブ " + source.substr(0, 2) +
                " のファイルは管理者として動くプログラムからは見えないため、コピーできません"};
}

}  // namespace

Assignment Assign(const std::vector<std::string>& lines) {
    Assignment out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!slots::IsAssigned(lines[i])) continue;
        out.push_back({i, slots::NameOf(lines[i]), slots::AssignedValue(lines[i])});
    }
    return out;
}

BatchText MakeBatch(const Assignment& slots, const std::string& folder, bool delReadOnly) {
    BatchText out;
    for (const Slot& s : slots) {
        if (!slots::IsUsableSlotName(s.name)) {
            out.refused.push_back(slots::SlotLabel(s.name, static_cast<int>(s.order)));
            continue;
        }
        const std::string destination = slots::DestinationPath(folder, s.name);
        const std::string& from = s.from.empty() ? s.source : s.from;
        out.copies.push_back({from, destination, s.source});
        if (delReadOnly) out.script += "del /f \"" + BatchPath(destination) + "\"\r\n";
        out.script += "copy \"" + BatchPath(from) + "\" \"" + BatchPath(destination) + "\"\r\n";
    }
    return out;
}

std::vector<std::string> AfterBatch(sys::System& system, const BatchText& batch,
                                    originals::Store& store, Record& record,
                                    const std::string& folder, bool keep) {
    // What the batch file will copy is QUAVERIX's, not the game's: noted, so a later
    // "コピー開始" does not keep it as the game's own file.
    std::string unnoted;
    for (const BatchText::Copy& c : batch.copies) {
        sys::FileError why;
        if (!store.NoteBatch(c.from, c.destination, keep, why))
            unnoted += "\r\n" + paths::LastPart(c.destination) + ": " + sys::ReasonText(why);
        // The batch copies the bytes as they are, later: its copy is known by them alone.
        Applied a{folder, paths::LastPart(c.destination), c.source, {}, {}, {}, {}};
        const std::optional<sys::FileStamp> s = system.Stamp(c.source);
        if (s && originals::FingerprintFile(system, c.source, a.sourcePrint) &&
            originals::FingerprintFile(system, c.from, a.copiedPrint)) {
            a.sourceStamp = *s;
            // Until the player runs it, the game's file stays as it is now: that is no
            // update to tell of.
            a.copiedStamp = system.Stamp(c.destination).value_or(sys::FileStamp{});
            record.Set(a);
        }
    }
    record.Save();
    std::vector<std::string> boxes;
    if (!batch.refused.empty()) {
        std::string text =
            "次の行はファイル名として使えない名前なので、バッチファイルに入れませんでした。";
        for (const std::string& r : batch.refused) text += "\r\n" + r;
        boxes.push_back(text);
    }
    if (!unnoted.empty()) {
        boxes.push_back(
            "バッチファイルでコピーするファイルを、元のファイルの記録に書けませんでした。この"
            "バッチファイルを実行した後の「コピー開始」で、次のファイルがゲームの元のファイル"
            "として保存されることがあります。" +
            unnoted);
    }
    return boxes;
}

std::string Report(const char* first, std::vector<Line> lines) {
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Line& a, const Line& b) { return a.order < b.order; });
    std::string out = first;
    for (const Line& l : lines) out += "\r\n" + l.text;
    return out;
}

void DropVirtualStoreCopy(sys::System& system, originals::Store& store,
                          const std::string& destination) {
    const std::string stale = settings::VirtualStorePath(system, destination);
    const std::uint32_t a = stale.empty() ? sys::kNoFile : system.Attributes(stale);
    // Only a copy of QUAVERIX's: a file that a virtualized patcher put there is the game's.
    if (a != sys::kNoFile && !(a & sys::kDirectory) && store.HoldsOurs(destination, stale))
        system.RemoveFile(stale);
}

void CopyRun(sys::System& system, originals::Store& store, Record& record, Window& window,
             const Assignment& slots, const std::string& folder, bool keepOriginals,
             const Preparing* preparing) {
    Ending end(system, window, folder);
    std::vector<std::string> work;  // adjusted bytes waiting for their copy
    // What is in the game's folder now is QUAVERIX's: noted in the originals and the record.
    auto copied = [&](const Slot& s, const std::string& destination, const Prepared& p) {
        end.Note(p, s.order, s.name);
        store.AfterCopy(destination);
        DropVirtualStoreCopy(system, store, destination);
        Applied a;
        if (Describe(system, folder, s.name, s.source, destination, a)) record.Set(a);
    };
    {
        ProgressScope progress{window};
        for (const Slot& s : slots) {
            if (!slots::IsUsableSlotName(s.name)) {
                end.Fail(s.order, slots::SlotLabel(s.name, static_cast<int>(s.order)),
                         slots::kUnusableSlotName);
                continue;
            }
            // Whatever goes wrong with one slot (memory, a fault of ours), the others are
            // still copied and the report covers every one.
            try {
                const std::string destination = slots::DestinationPath(folder, s.name);
                window.Progress(s.source + "のコピー中.....");
                window.Box(sys::BoxKind::Plain, s.source + "\r\n" + destination);
                // The bytes to write: the source's, its conversion, or its copy at the game
                // track's level.
                const Prepared p =
                    preparing
                        ? PrepareCopy(system, store, record, *preparing, folder, s.name, s.source,
                                      preparing->run + "-" + std::to_string(s.order) + "-" + s.name)
                        : Prepared{s.source};
                const std::string& from = p.from;
                if (p.work) work.push_back(from);
                // What is there before its original is kept: an administrator run writes
                // only over that, never over a file a patch put there meanwhile.
                elevated::Step step{elevated::Step::Kind::Copy, s.name, from};
                step.seen = elevated::TargetState(system, destination, step.expected, nullptr);
                // The original is saved first; a slot whose original cannot be kept is not
                // copied.
                sys::FileError why;
                if (store.BeforeCopy(from, destination, keepOriginals, why) &&
                    window.CopyOne(from, destination, &why)) {
                    copied(s, destination, p);
                } else if (why.fault == sys::Fault::NeedsRights && !end.OnNetworkDrive(s.source)) {
                    // What the run writes is ours, also if the source changed meanwhile.
                    end.Keep(s.order, step,
                             [&copied, s, destination, p] { copied(s, destination, p); });
                } else {
                    if (why.fault == sys::Fault::NeedsRights) why = NetworkDriveReason(s.source);
                    end.Fail(s.order, s.name, sys::ReasonText(why));
                }
            } catch (const std::exception& e) {
                end.Fail(s.order, s.name, ui::ErrorText(e));
            }
        }
    }
    end.RunKept(kCopyRights);
    for (const std::string& w : work) system.RemoveFile(w);
    record.Save();  // (a record that cannot be written only misses the next start's check)
    const std::string ending = end.CopyEnding();
    if (!ending.empty()) window.Box(sys::BoxKind::Warning, ending);
}

void RestoreRun(sys::System& system, originals::Store& store, Record& record, Window& window,
                const std::string& folder) {
    sys::FileError unread;
    const std::vector<originals::Entry> entries = store.EntriesIn(folder, &unread);
    if (unread.fault != sys::Fault::None) {
        window.Box(sys::BoxKind::Warning, "元に戻せませんでした。\r\n" + sys::ReasonText(unread));
        return;
    }
    std::vector<originals::Entry> restored;
    bool changed = false;  // something was put back (else there was nothing to put back)
    Ending end(system, window, folder);
    {
        ProgressScope progress{window};
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const std::string& destination = entries[k].destination;
            const std::string slot = originals::SlotName(entries[k]);
            window.Progress(destination + "を元に戻しています.....");
            try {
                elevated::Step step;
                step.seen = elevated::TargetState(system, destination, step.expected, nullptr);
                originals::Store::Restoring done;
                sys::FileError why;
                if (store.Restore(destination, done, why)) {
                    if (done.entry.destination.empty()) continue;  // put back meanwhile
                    restored.push_back(done.entry);
                    changed = changed || done.changed;
                    DropVirtualStoreCopy(system, store, destination);
                } else if (why.fault == sys::Fault::NeedsRights) {
                    step.kind = done.putBack.empty() ? elevated::Step::Kind::Remove
                                                     : elevated::Step::Kind::Copy;
                    step.slot = slot;
                    step.source = done.putBack;
                    end.Keep(k, step, [&, entry = done.entry] {
                        restored.push_back(entry);
                        changed = true;
                        DropVirtualStoreCopy(system, store, entry.destination);
                    });
                } else {
                    end.Fail(k, slot, sys::ReasonText(why));
                }
            } catch (const std::exception& x) {
                end.Fail(k, slot, ui::ErrorText(x));
            }
        }
    }
    end.RunKept(kRestoreRights);
    // Should the records stay (the index cannot be written), the files are back all the
    // same; the next restore finds the originals in place and drops them then.
    sys::FileError why;
    store.Forget(restored, why);
    for (const originals::Entry& e : restored) record.Drop(folder, originals::SlotName(e));
    record.Save();
    const char* text = !end.Failed() && !changed ? "元に戻すファイルがありません。"
                       : !end.Failed()           ? "元に戻しました。"
                                                 : nullptr;
    window.Box(sys::BoxKind::Plain,
               text ? std::string(text) : end.ReportText("元に戻せなかったファイルがあります。"));
}

}  // namespace apply
