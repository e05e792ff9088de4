// "コピー開始": copy every assigned slot's file into the destination folder now.
#include "mainform/MainForm.h"

#include "slots/Slots.h"

namespace {

const char* const kConfirmText =
    "ファイルのコピーを開始します。\r\n"
    "同名ファイルは当然の如く上書きします。\r\n"
    "\r\n"
    "尚、コピー中に当ソフトをいじくらないほうが無難です。";

}  // namespace

bool TFormMain::CopyOneFile(const std::string& source, const std::string& destination,
                            bool Overwrite) {
    return System().CopyFileTo(source, destination, !Overwrite);
}

void TFormMain::BtnCopyGoClick(ui::Control*) {
    if (System().ShowBox(sys::BoxKind::Confirm, "確認", kConfirmText) != sys::BoxResult::Ok) {
        return;
    }
    AddExperience(2);
    struct RestoreCaption {
        TFormMain& form;
        ~RestoreCaption() { form.SetCaption(form.SoftName); }
    } restore{*this};

    const std::string& folder = MemoCopysaki.Text();
    for (int i = 0; i < ValListMp3.Count(); ++i) {
        const std::string line = ValListMp3.Line(i);
        if (!slots::IsAssigned(line)) continue;
        std::string value = slots::ValueOf(line);
        std::string destination = slots::DestinationPath(folder, slots::NameOf(line));
        SetCaption(value + "のコピー中.....");
        System().ShowBox(sys::BoxKind::Plain, Application().title, value + "\r\n" + destination);
        CopyOneFile(value, destination, true);  // a failure is passed over in silence
    }
}
