// "コピー開始": copy every assigned slot's file into the destination folder now, keeping
// the game's own files first; "元に戻す": put them back.
#include "mainform/MainForm.h"

#include "originals/Store.h"
#include "slots/Slots.h"

namespace {

const char* const kConfirmText =
    "ファイルのコピーを開始します。\r\n"
    "同名ファイルは当然の如く上書きします。\r\n"
    "\r\n"
    "尚、コピー中に当ソフトをいじくらないほうが無難です。";

// Puts the caption back to the software name however the run ends.
struct RestoreCaption {
    TFormMain& form;
    ~RestoreCaption() { form.SetCaption(form.Settings.SoftName); }
};

// "<first line>" then one "<slot>: <reason>" line each, joined by CR LF.
std::string Report(const char* first, const std::vector<std::string>& lines) {
    std::string out = first;
    for (const std::string& l : lines) out += "\r\n" + l;
    return out;
}

}  // namespace

bool TFormMain::CopyOneFile(const std::string& source, const std::string& destination,
                            bool Overwrite, sys::FileError* why) {
    return System().CopyFileTo(source, destination, !Overwrite, why);
}

void TFormMain::BtnCopyGoClick(ui::Control*) {
    if (System().ShowBox(sys::BoxKind::Confirm, "確認", kConfirmText) != sys::BoxResult::Ok) {
        return;
    }
    AddExperience(2);
    std::vector<std::string> failed;
    {
        RestoreCaption restore{*this};
        originals::Store kept(System(), OriginalsFolder());
        const std::string& folder = MemoCopysaki.Text();
        for (int i = 0; i < ValListMp3.Count(); ++i) {
            const std::string line = ValListMp3.Line(i);
            if (!slots::IsAssigned(line)) continue;
            const std::string name = slots::NameOf(line);
            std::string value = slots::AssignedValue(line);
            std::string destination = slots::DestinationPath(folder, name);
            SetCaption(value + "のコピー中.....");
            System().ShowBox(sys::BoxKind::Plain, Application().title,
                             value + "\r\n" + destination);
            // The original is saved first; a slot whose original cannot be kept is not copied.
            sys::FileError why;
            if (!kept.BeforeCopy(value, destination, Settings.KeepOriginals, why) ||
                !CopyOneFile(value, destination, true, &why)) {
                failed.push_back(name + ": " + sys::ReasonText(why));
            }
        }
    }
    if (!failed.empty()) {
        System().ShowBox(sys::BoxKind::Warning, Application().title,
                         Report("コピーできなかったファイルがあります。", failed));
    }
}

void TFormMain::BtnRestoreClick(ui::Control*) {
    const std::string& folder = MemoCopysaki.Text();
    if (System().ShowBox(sys::BoxKind::Confirm, "確認",
                         "コピー先フォルダのファイルを元に戻します。\r\n" + folder) !=
        sys::BoxResult::Ok) {
        return;
    }
    originals::Store kept(System(), OriginalsFolder());
    const std::vector<originals::Entry> entries = kept.EntriesIn(folder);
    std::vector<originals::Entry> restored;
    std::vector<std::string> failed;
    {
        RestoreCaption restore{*this};
        for (const originals::Entry& e : entries) {
            SetCaption(e.destination + "を元に戻しています.....");
            sys::FileError why;
            if (kept.Restore(e, why)) {
                restored.push_back(e);
            } else {
                failed.push_back(originals::SlotName(e) + ": " + sys::ReasonText(why));
            }
        }
        // Should the records stay (the index cannot be written), the files are back all
        // the same; the next restore finds the originals in place and drops them then.
        sys::FileError why;
        kept.Forget(restored, why);
    }
    const char* text = entries.empty()  ? "元に戻すファイルがありません。"
                       : failed.empty() ? "元に戻しました。"
                                        : nullptr;
    System().ShowBox(
        sys::BoxKind::Plain, Application().title,
        text ? std::string(text) : Report("元に戻せなかったファイルがあります。", failed));
}
