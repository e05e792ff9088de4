#include "settings/Settings.h"

#include "platform/text/Cp932.h"

namespace settings {

std::string LoadUserIni(ini::IniFile& f, const std::string& exeFolder, SettingsRecord& s) {
    s.DelReadOnly = f.ReadBool("user", "DelReadOnly", false);
    s.List1Clk = f.ReadInteger("user", "list1clk", 0);
    s.List2Clk = f.ReadInteger("user", "list2clk", 4);
    s.List3Clk = f.ReadInteger("user", "list3clk", 2);
    s.List4Clk = f.ReadInteger("user", "list4clk", 3);
    s.Mp3Play = f.ReadInteger("user", "mp3play", 1);
    s.BatHozonDir = f.ReadString("user", "bathozondir", exeFolder);
    s.Mp3Tool = f.ReadString("user", "mp3tool", kDefaultMp3Tool);
    s.Mp3Line = f.ReadString("user", "mp3line", kDefaultMp3Line);
    s.SeleLst = f.ReadString("user", "selelst", kDefaultSeleLst);
    s.KeepOriginals = f.ReadBool("user", "keeporiginals", true);
    s.MatchLoudness = f.ReadBool("user", "matchloudness", false);
    // The destination folder is remembered per list file, so it needs SeleLst first.
    std::string destination = f.ReadString("copysaki", s.SeleLst, kDefaultCopysaki);
    s.SoftName = f.ReadString("muimi", "softname", kDefaultSoftName);
    s.Experience = f.ReadInteger("muimi", "experience", 0);
    return destination;
}

void SaveUserIni(ini::IniFile& f, const SettingsRecord& s, const std::string& destination) {
    f.WriteBool("user", "DelReadOnly", s.DelReadOnly);
    f.WriteInteger("user", "list1clk", s.List1Clk);
    f.WriteInteger("user", "list2clk", s.List2Clk);
    f.WriteInteger("user", "list3clk", s.List3Clk);
    f.WriteInteger("user", "list4clk", s.List4Clk);
    f.WriteInteger("user", "mp3play", s.Mp3Play);
    f.WriteString("user", "bathozondir", s.BatHozonDir);
    f.WriteString("user", "mp3tool", s.Mp3Tool);
    f.WriteString("user", "mp3line", s.Mp3Line);
    f.WriteString("user", "selelst", s.SeleLst);
    f.WriteBool("user", "keeporiginals", s.KeepOriginals);
    f.WriteBool("user", "matchloudness", s.MatchLoudness);
    // A list-file name that cannot be a key ("a=b.lst") cannot keep its destination folder;
    // failing the whole save for it would leave the window unable to close.
    if (ini::CanWriteName("copysaki", s.SeleLst)) f.WriteString("copysaki", s.SeleLst, destination);
    f.WriteInteger("muimi", "experience", s.Experience);
    f.WriteString("muimi", "softname", s.SoftName);
}

std::string FileReason(const sys::FileError& why) {
    // The copy's reasons speak of its source and destination; these speak of user.ini.
    std::string reason;
    switch (why.fault) {
        case sys::Fault::InUse: reason = "ほかのプログラムがこのファイルを使用中です"; break;
        case sys::Fault::TargetProtected: reason = "ファイルが読み取り専用です"; break;
        case sys::Fault::FolderMissing:
            reason = "フォルダが見つかりません (ドライブが外されていませんか)";
            break;
        case sys::Fault::NeedsRights: reason = "このフォルダに書き込む権限がありません"; break;
        case sys::Fault::SourceMissing: reason = "ファイルを開けません"; break;
        case sys::Fault::None:
        case sys::Fault::Other: reason = sys::ReasonText(why); break;
    }
    const std::string stop = "。";
    if (reason.size() < stop.size() || !text::EndsWithDoubleByte(reason) ||
        reason.compare(reason.size() - stop.size(), stop.size(), stop) != 0) {
        reason += stop;
    }
    return reason;
}

std::string ReadFailedText(const std::string& path, const sys::FileError& why) {
    return "設定ファイルを読み込めませんでした:\r\n" + path + "\r\n理由: " + FileReason(why) +
           "\r\n\r\n今回は初期設定で起動します。元の設定を残すため、今回の終了時には " + kUserIni +
           " に保存しません。";
}

std::string SaveFailedText(const std::string& path, const std::string& reason) {
    return "設定を保存できませんでした:\r\n" + path + "\r\n理由: " + reason +
           "\r\n\r\n「再試行」を押すともう一度保存します。"
           "「キャンセル」を押すと保存せずに終了します。";
}

}  // namespace settings
