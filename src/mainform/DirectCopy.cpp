// "コピー開始" and "元に戻す": the form's questions and counter; the runs themselves are
// src/apply's, with this window behind apply::Window.
#include "apply/Apply.h"
#include "mainform/MainForm.h"
#include "originals/Index.h"
#include "originals/Store.h"
#include "platform/paths/Paths.h"

namespace {

const char* const kConfirmText =
    "ファイルのコピーを開始します。\r\n"
    "同名ファイルは当然の如く上書きします。\r\n"
    "\r\n"
    "尚、コピー中に当ソフトをいじくらないほうが無難です。";

// The window as a run sees it: its caption, its boxes, its copy of one file.
class FormWindow : public apply::Window {
public:
    explicit FormWindow(TFormMain& form) : form_(form) {}
    void Progress(const std::string& caption) override { form_.SetCaption(caption); }
    void EndProgress() override { form_.SetCaption(form_.Settings.SoftName); }
    sys::BoxResult Box(sys::BoxKind kind, const std::string& text) override {
        return form_.System().ShowBox(
            kind, kind == sys::BoxKind::Confirm ? "確認" : form_.Application().title, text);
    }
    bool CopyOne(const std::string& source, const std::string& destination,
                 sys::FileError* why) override {
        return form_.CopyOneFile(source, destination, true, why);
    }

private:
    TFormMain& form_;
};

}  // namespace

bool TFormMain::CopyOneFile(const std::string& source, const std::string& destination,
                            bool Overwrite, sys::FileError* why) {
    return System().CopyFileTo(source, destination, !Overwrite, why);
}

void TFormMain::BtnCopyGoClick(ui::Control*) {
    if (RefusedWhileRunWaits()) return;
    const std::string folder = Destination();
    if (!ConfirmPlayable()) return;
    if (System().ShowBox(sys::BoxKind::Confirm, "確認", kConfirmText) != sys::BoxResult::Ok) {
        return;
    }
    AddExperience(2);
    RunWhenPrepared({false, folder, apply::Assign(ValListMp3.Lines())});
}

void TFormMain::CopyAssignment(const std::string& folder, const apply::Assignment& slots) {
    ++runs_;
    originals::Store store(System(), OriginalsFolder());
    apply::Record record(System(), Data().Record());
    FormWindow window(*this);
    std::optional<apply::LoudnessCache> cache;
    if (Settings.MatchLoudness) cache.emplace(System(), Data().LoudnessCache());
    const apply::Preparing preparing{cache ? &*cache : nullptr, Data().MatchingFolder(),
                                     Data().ConvertedFolder()};
    apply::CopyRun(System(), store, record, window, slots, folder, Settings.KeepOriginals,
                   &preparing);
    NoteApplied(folder, slots);
}

void TFormMain::NoteApplied(const std::string& folder, const apply::Assignment& copied) {
    const std::vector<apply::Applied> now = apply::Record(System(), Data().Record()).In(folder);
    auto recorded = [&](const std::string& slot) -> const apply::Applied* {
        for (const apply::Applied& a : now) {
            if (originals::PathKey(a.slot) == originals::PathKey(slot)) return &a;
        }
        return nullptr;
    };
    for (auto it = applied_.begin(); it != applied_.end();) {
        const bool gone = it->first >= ValListMp3.Count() || !recorded(ValListMp3.Name(it->first));
        it = gone ? applied_.erase(it) : std::next(it);
    }
    for (const apply::Slot& s : copied) {
        if (const apply::Applied* a = recorded(s.name))
            applied_[static_cast<int>(s.order)] = {paths::LastPart(a->source), apply::Now::Same};
    }
}

void TFormMain::BtnRestoreClick(ui::Control*) {
    if (RefusedWhileRunWaits()) return;
    const std::string folder = Destination();
    if (System().ShowBox(sys::BoxKind::Confirm, "確認",
                         "コピー先フォルダのファイルを元に戻します。\r\n" + folder) !=
        sys::BoxResult::Ok) {
        return;
    }
    originals::Store store(System(), OriginalsFolder());
    apply::Record record(System(), Data().Record());
    FormWindow window(*this);
    ++runs_;
    apply::RestoreRun(System(), store, record, window, folder);
    NoteApplied(folder, {});
}
