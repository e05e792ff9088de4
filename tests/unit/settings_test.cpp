// src/settings on its own: where QUAVERIX keeps its files, and where Windows' file
// virtualization kept what legacy programs wrote.
#include <gtest/gtest.h>

#include "fake/FakeSystem.h"
#include "settings/DataFolder.h"
#include "support/FormFixture.h"

using namespace qxtest;

// user.ini and originals stay beside the exe wherever that folder can be written; where
// it cannot (unzipped under Program Files) they go to %APPDATA%\QUAVERIX, taking over the
// user.ini that file virtualization kept for earlier runs, once.
TEST(DataFolder, BesideTheExeOrInAppDataTakingOverTheVirtualStoreCopy) {
    const std::string roaming = "C:\\Users\\Player\\AppData\\Roaming\\QUAVERIX\\";
    const std::string stale = "C:\\Users\\Player\\AppData\\Local\\VirtualStore\\Game\\QUAVERIX\\";
    struct Row {
        bool exeWritable;
        std::string virtualized;  // user.ini left in the VirtualStore ("" none)
        std::string folder;  // where user.ini is read and written
        std::string softName;  // what the first start reads
    };
    const std::vector<Row> rows = {
        {true, "", kExe, "ZorventVer1.2.3"},
        {true, "[muimi]\r\nsoftname=Old\r\n", kExe, "ZorventVer1.2.3"},
        {false, "", roaming, "ZorventVer1.2.3"},
        {false, "[muimi]\r\nsoftname=Old\r\n", roaming, "Old"},
    };
    for (const Row& row : rows) {
        FormEnv env;
        if (!row.exeWritable) env.fs.needsRights = {"C:\\Game\\QUAVERIX"};
        if (!row.virtualized.empty()) env.fs.AddFile(stale + "user.ini", row.virtualized);
        for (int start = 0; start < 2; ++start) {
            TFormMain& f = env.Start();
            EXPECT_TRUE(env.fs.boxes.empty()) << env.fs.boxes.front().text;
            EXPECT_EQ(f.UserIniPath(), row.folder + "user.ini");
            EXPECT_EQ(f.OriginalsFolder(), row.folder + "originals\\");
            EXPECT_EQ(f.Settings.SoftName, start == 0 ? row.softName : "Mine");
            EXPECT_EQ(f.Settings.Experience, start + 1);  // the second start reads the first's
            f.Settings.SoftName = "Mine";
            ASSERT_TRUE(env.Handle([&] { f.Close(); }));
        }
        EXPECT_EQ(env.fs.Exists(kUserIni), row.exeWritable);
        // Taken over once: the second start did not take the old copy again.
        EXPECT_EQ(*ini::FindValue(env.fs.Data(row.folder + "user.ini"), "muimi", "softname"),
                  "Mine");
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
