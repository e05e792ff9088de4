// "コピー開始": copy every assigned slot's file into the destination folder now, keeping
// the game's own files first; "元に戻す": put them back. What the player's rights cannot
// write is done at the end by one run with administrator rights, after one question.
#include <algorithm>

#include "elevated/Job.h"
#include "mainform/MainForm.h"
#include "originals/Store.h"
#include "settings/DataFolder.h"
#include "slots/Slots.h"

namespace {

const char* const kConfirmText =
    "ファイルのコピーを開始します。\r\n"
    "同名ファイルは当然の如く上書きします。\r\n"
    "\r\n"
    "尚、コピー中に当ソフトをいじくらないほうが無難です。";
const char* const kCopyRights =
    "コピー先のフォルダに書き込むには管理者の権限が必要です。\r\n管理者としてコピーしますか？\r\n";
const char* const kRestoreRights =
    "コピー先のフォルダを元に戻すには管理者の権限が必要です。\r\n管理者として元に戻しますか？\r\n";

// Puts the caption back to the software name however the run ends.
struct RestoreCaption {
    TFormMain& form;
    ~RestoreCaption() { form.SetCaption(form.Settings.SoftName); }
};

// A report line and its slot's place in the table.
struct Line {
    std::size_t order;
    std::string text;
};

// "<first line>" then one line each, in table order, joined by CR LF.
std::string Report(const char* first, std::vector<Line> lines) {
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Line& a, const Line& b) { return a.order < b.order; });
    std::string out = first;
    for (const Line& l : lines) out += "\r\n" + l.text;
    return out;
}

}  // namespace

bool TFormMain::CopyOneFile(const std::string& source, const std::string& destination,
                            bool Overwrite, sys::FileError* why) {
    return System().CopyFileTo(source, destination, !Overwrite, why);
}

bool TFormMain::OnNetworkDrive(const std::string& path) {
    if (path.size() < 3 || path[1] != ':') return false;
    // The drives are asked for once a run (labels and all), and only when a slot needs it.
    if (!drives_) drives_ = System().Drives();
    for (const sys::DriveInfo& d : *drives_) {
        if (d.letter == static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))))
            return d.kind == sys::DriveKind::Remote;
    }
    return false;
}

void TFormMain::DropVirtualStoreCopy(const std::string& destination, originals::Store& store) {
    const std::string stale = settings::VirtualStorePath(System(), destination);
    const std::uint32_t a = stale.empty() ? sys::kNoFile : System().Attributes(stale);
    // Only a copy of QUAVERIX's: a file that a virtualized patcher put there is the game's.
    if (a != sys::kNoFile && !(a & sys::kDirectory) && store.HoldsOurs(destination, stale))
        System().RemoveFile(stale);
}

std::vector<sys::FileError> TFormMain::RunWithRights(const char* question,
                                                     const std::vector<elevated::Step>& steps) {
    const std::string folder = Destination();
    return elevated::Ask(System(), folder, steps, [&] {
        return System().ShowBox(sys::BoxKind::Confirm, "確認", question + folder) ==
               sys::BoxResult::Ok;
    });
}

void TFormMain::BtnCopyGoClick(ui::Control*) {
    const std::string folder = Destination();
    if (!ConfirmPlayable()) return;
    if (System().ShowBox(sys::BoxKind::Confirm, "確認", kConfirmText) != sys::BoxResult::Ok) {
        return;
    }
    AddExperience(2);
    drives_.reset();
    std::vector<Line> failed;
    std::vector<std::size_t> kept;  // the slots left for administrator rights, by order
    std::vector<elevated::Step> steps;
    originals::Store store(System(), OriginalsFolder());
    {
        RestoreCaption restore{*this};
        for (int i = 0; i < ValListMp3.Count(); ++i) {
            const std::string line = ValListMp3.Line(i);
            if (!slots::IsAssigned(line)) continue;
            const std::string name = slots::NameOf(line);
            const std::size_t order = static_cast<std::size_t>(i);
            if (!slots::IsUsableSlotName(name)) {
                failed.push_back(
                    {order, slots::SlotLabel(name, i) + ": " + slots::kUnusableSlotName});
                continue;
            }
            // Whatever goes wrong with one slot (memory, a fault of ours), the others are
            // still copied and the report covers every one.
            try {
                std::string value = slots::AssignedValue(line);
                std::string destination = slots::DestinationPath(folder, name);
                SetCaption(value + "のコピー中.....");
                System().ShowBox(sys::BoxKind::Plain, Application().title,
                                 value + "\r\n" + destination);
                // The original is saved first; a slot whose original cannot be kept is not
                // copied.
                sys::FileError why;
                if (store.BeforeCopy(value, destination, Settings.KeepOriginals, why) &&
                    CopyOneFile(value, destination, true, &why)) {
                    store.AfterCopy(destination);
                    DropVirtualStoreCopy(destination, store);
                } else if (why.fault == sys::Fault::NeedsRights && !OnNetworkDrive(value)) {
                    kept.push_back(order);
                    steps.push_back({elevated::Step::Kind::Copy, name, value});
                } else {
                    if (why.fault == sys::Fault::NeedsRights) why = NetworkDriveReason(value);
                    failed.push_back({order, name + ": " + sys::ReasonText(why)});
                }
            } catch (const std::exception& e) {
                failed.push_back({order, name + ": " + ui::ErrorText(e)});
            }
        }
    }
    if (!steps.empty()) {
        std::vector<sys::FileError> results = RunWithRights(kCopyRights, steps);
        for (std::size_t k = 0; k < steps.size(); ++k) {
            const std::string destination = slots::DestinationPath(folder, steps[k].slot);
            if (results[k].fault == sys::Fault::None) {
                // What the run wrote is ours, also if the source changed while it was asked.
                store.AfterCopy(destination);
                DropVirtualStoreCopy(destination, store);
            } else {
                failed.push_back({kept[k], steps[k].slot + ": " + sys::ReasonText(results[k])});
            }
        }
    }
    if (!failed.empty()) {
        System().ShowBox(sys::BoxKind::Warning, Application().title,
                         Report("コピーできなかったファイルがあります。", failed));
    }
}

sys::FileError TFormMain::NetworkDriveReason(const std::string& source) {
    return {sys::Fault::Other,
            "管理者の権限が必要ですが、ネットワークドライブ " + source.substr(0, 2) +
                " のファイルは管理者として動くプログラムからは見えないため、コピーできません"};
}

void TFormMain::BtnRestoreClick(ui::Control*) {
    const std::string folder = Destination();
    if (System().ShowBox(sys::BoxKind::Confirm, "確認",
                         "コピー先フォルダのファイルを元に戻します。\r\n" + folder) !=
        sys::BoxResult::Ok) {
        return;
    }
    originals::Store store(System(), OriginalsFolder());
    const std::vector<originals::Entry> entries = store.EntriesIn(folder);
    std::vector<originals::Entry> restored;
    std::vector<std::size_t> kept;  // the entries left for administrator rights
    std::vector<elevated::Step> steps;
    std::vector<Line> failed;
    {
        RestoreCaption restore{*this};
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const originals::Entry& e = entries[k];
            SetCaption(e.destination + "を元に戻しています.....");
            sys::FileError why;
            std::string putBack;
            try {
                if (store.Restore(e, why, &putBack)) {
                    restored.push_back(e);
                    DropVirtualStoreCopy(e.destination, store);
                } else if (why.fault == sys::Fault::NeedsRights) {
                    kept.push_back(k);
                    steps.push_back({putBack.empty() ? elevated::Step::Kind::Remove
                                                     : elevated::Step::Kind::Copy,
                                     originals::SlotName(e), putBack});
                } else {
                    failed.push_back({k, originals::SlotName(e) + ": " + sys::ReasonText(why)});
                }
            } catch (const std::exception& x) {
                failed.push_back({k, originals::SlotName(e) + ": " + ui::ErrorText(x)});
            }
        }
    }
    if (!steps.empty()) {
        std::vector<sys::FileError> results = RunWithRights(kRestoreRights, steps);
        for (std::size_t k = 0; k < steps.size(); ++k) {
            if (results[k].fault == sys::Fault::None) {
                restored.push_back(entries[kept[k]]);
                DropVirtualStoreCopy(entries[kept[k]].destination, store);
            } else {
                failed.push_back({kept[k], steps[k].slot + ": " + sys::ReasonText(results[k])});
            }
        }
    }
    // Should the records stay (the index cannot be written), the files are back all the
    // same; the next restore finds the originals in place and drops them then.
    sys::FileError why;
    store.Forget(restored, why);
    const char* text = entries.empty()  ? "元に戻すファイルがありません。"
                       : failed.empty() ? "元に戻しました。"
                                        : nullptr;
    System().ShowBox(sys::BoxKind::Plain, Application().title,
                     text ? std::string(text)
                          : Report("元に戻せなかったファイルがあります。", std::move(failed)));
}
