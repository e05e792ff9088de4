// "Bat作成": the slot table as a batch file of copy lines.
#include "mainform/MainForm.h"

#include "originals/Store.h"
#include "platform/Error.h"
#include "platform/paths/Paths.h"
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
    const std::string folder = Destination();
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
    std::string refused;  // the slots whose names cannot be files
    std::vector<std::pair<std::string, std::string>> copies;  // source, destination
    for (int i = 0; i < ValListMp3.Count(); ++i) {
        const std::string& line = ValListMp3.Line(i);
        if (!slots::IsAssigned(line)) continue;
        const std::string name = slots::NameOf(line);
        if (!slots::IsUsableSlotName(name)) {
            refused += "\r\n" + slots::SlotLabel(name, i);
            continue;
        }
        const std::string source = slots::AssignedValue(line);
        const std::string destination = slots::DestinationPath(folder, name);
        copies.emplace_back(source, destination);
        if (Settings.DelReadOnly) script += "del /f \"" + BatchPath(destination) + "\"\r\n";
        script += "copy \"" + BatchPath(source) + "\" \"" + BatchPath(destination) + "\"\r\n";
    }
    MemoBatDate.SetText(script);

    switch (System().CreateAndWrite(path, MemoBatDate.Text())) {
        case sys::WriteStatus::Ok: break;
        case sys::WriteStatus::CannotCreate:
            throw platform::Error(platform::Format("ファイル %s を作成できません", path));
        case sys::WriteStatus::WriteFailed: throw platform::Error("ストリームへの書き込みエラー");
    }
    // What the batch file will copy is QUAVERIX's, not the game's: noted, so a later
    // "コピー開始" does not keep it as the game's own file.
    std::string unnoted;
    originals::Store store(System(), OriginalsFolder());
    for (const auto& [source, destination] : copies) {
        sys::FileError why;
        if (!store.NoteBatch(source, destination, Settings.KeepOriginals, why))
            unnoted += "\r\n" + paths::LastPart(destination) + ": " + sys::ReasonText(why);
    }
    if (!refused.empty()) {
        System().ShowBox(sys::BoxKind::Warning, Application().title,
                         "次の行はファイル名として使えない名前なので、バッチファイルに入れません"
                         "でした。" +
                             refused);
    }
    if (!unnoted.empty()) {
        System().ShowBox(
            sys::BoxKind::Warning, Application().title,
            "バッチファイルでコピーするファイルを、元のファイルの記録に書けませんでした"
            "。このバッチファイルを実行した後の「コピー開始」で、次のファイルがゲーム"
            "の元のファイルとして保存されることがあります。" +
                unnoted);
    }
}
