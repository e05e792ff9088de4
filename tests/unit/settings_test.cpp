// src/settings on its own: where QUAVERIX keeps its files, and where Windows' file
// virtualization kept what legacy programs wrote.
#include <gtest/gtest.h>

#include "fake/FakeSystem.h"
#include "settings/DataFolder.h"

// user.ini and originals stay beside the exe wherever that folder can be written; where
// it cannot (unzipped under Program Files) they go to %APPDATA%\QUAVERIX, taking over
// user.ini, the record and the loudness cache that earlier runs kept (in the exe folder,
// or where file virtualization redirected them), once each.
TEST(DataFolder, BesideTheExeOrInAppDataTakingOverWhatEarlierRunsKept) {
    const std::string exe = "C:\\Game\\QUAVERIX\\";
    const std::string roaming = "C:\\Users\\Player\\AppData\\Roaming\\QUAVERIX\\";
    const std::string stale = "C:\\Users\\Player\\AppData\\Local\\VirtualStore\\Game\\QUAVERIX\\";
    struct Row {
        bool exeWritable;
        std::string virtualized;  // where the earlier user.ini was left ("" none)
        std::string folder;  // the data folder
        std::string first;  // the user.ini the first start finds there
    };
    const std::vector<Row> rows = {
        {true, "", exe, "exe's"},
        {true, stale, exe, "exe's"},
        {false, "", roaming, "exe's"},
        {false, stale, roaming, "virtualized"},
    };
    for (const Row& row : rows) {
        sys::FakeSystem fs;
        fs.AddFolder("C:\\Game");
        fs.AddFolder(exe.substr(0, exe.size() - 1));
        fs.AddFile(exe + "applied.txt", "exe's");
        fs.AddFile(exe + "user.ini", "exe's");
        if (!row.exeWritable) fs.needsRights = {exe.substr(0, exe.size() - 1)};
        if (!row.virtualized.empty()) fs.AddFile(stale + "user.ini", "virtualized");
        for (int start = 0; start < 2; ++start) {
            const settings::DataFolder d = settings::ChooseDataFolder(fs);
            EXPECT_EQ(d.Folder(), row.folder);
            EXPECT_EQ(d.Originals(), row.folder + "originals\\");
            EXPECT_EQ(d.Record(), row.folder + "applied.txt");
            if (start == 0)
                EXPECT_EQ(fs.Data(d.UserIni()) + fs.Data(d.Record()), row.first + "exe's");
            // Taken over once: what the folder holds after the first start is its own.
            if (!row.exeWritable) fs.AddFile(d.UserIni(), "mine");
            if (!row.exeWritable) fs.AddFile(d.Record(), "mine");
        }
        if (!row.exeWritable)
            EXPECT_EQ(fs.Data(roaming + "user.ini") + fs.Data(roaming + "applied.txt"), "minemine");
        EXPECT_EQ(fs.locksHeld, 0);
    }
}

// The VirtualStore mirrors only the system drive's protected folders, without a drive
// letter: a destination elsewhere has no mirror, and never C:'s.
TEST(DataFolder, VirtualStoreOnlyForTheSystemDrive) {
    const std::string store = "C:\\Users\\Player\\AppData\\Local\\VirtualStore\\";
    const struct {
        const char* windows;
        const char* path;
        std::string mirror;
    } rows[] = {
        {"C:\\Windows", "C:\\Program Files\\P\\bgm\\01.mp3",
         store + "Program Files\\P\\bgm\\01.mp3"},
        {"C:\\Windows", "c:\\Games\\01.mp3", store + "Games\\01.mp3"},
        {"C:\\Windows", "D:\\Program Files\\P\\bgm\\01.mp3", ""},
        {"D:\\WINDOWS", "D:\\Program Files\\01.mp3", store + "Program Files\\01.mp3"},
        {"C:\\Windows", "\\\\server\\share\\01.mp3", ""},
        {"C:\\Windows", "C:01.mp3", ""},
        {"", "C:\\Program Files\\01.mp3", ""},
    };
    for (const auto& row : rows) {
        sys::FakeSystem fs;
        fs.windowsFolder = row.windows;
        EXPECT_EQ(settings::VirtualStorePath(fs, row.path), row.mirror) << row.path;
    }
}
