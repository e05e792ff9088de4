// "Bat作成": the slot table as a batch file of copy lines.
#include "mainform/MainForm.h"

#include "platform/Error.h"
#include "platform/text/Cp932.h"
#include "slots/Slots.h"

namespace {

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

}  // namespace

void TFormMain::BtnGoClick(ui::Control*) {
    if (!ConfirmPlayable()) return;
    AddExperience(3);
    MemoBatDate.SetText("");

    sys::SaveFileRequest prompt;
    prompt.title = ".batファイル名を指定";
    prompt.filter = "All FIles (*.*)|*.*";
    prompt.defaultExt = "bat";
    prompt.initialFolder = Settings.BatHozonDir;
    std::string path;
    if (!System().SaveFileDialog(prompt, path)) return;

    std::string script;
    const std::string& folder = MemoCopysaki.Text();
    for (int i = 0; i < ValListMp3.Count(); ++i) {
        const std::string& line = ValListMp3.Line(i);
        if (!slots::IsAssigned(line)) continue;
        std::string destination = BatchPath(slots::DestinationPath(folder, slots::NameOf(line)));
        if (Settings.DelReadOnly) script += "del /f \"" + destination + "\"\r\n";
        script +=
            "copy \"" + BatchPath(slots::AssignedValue(line)) + "\" \"" + destination + "\"\r\n";
    }
    MemoBatDate.SetText(script);

    switch (System().CreateAndWrite(path, MemoBatDate.Text())) {
        case sys::WriteStatus::Ok: break;
        case sys::WriteStatus::CannotCreate:
            throw platform::Error(platform::Format("ファイル %s を作成できません", path));
        case sys::WriteStatus::WriteFailed: throw platform::Error("ストリームへの書き込みエラー");
    }
}
