#include "settings/Settings.h"

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
    // A list-file name that cannot be a key ("a=b.lst") cannot keep its destination folder;
    // failing the whole save for it would leave the window unable to close.
    if (ini::CanWriteName("copysaki", s.SeleLst)) f.WriteString("copysaki", s.SeleLst, destination);
    f.WriteInteger("muimi", "experience", s.Experience);
    f.WriteString("muimi", "softname", s.SoftName);
}

}  // namespace settings
