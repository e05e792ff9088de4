// The browsing chain: drive picker -> folder list -> file list, and "→".
#include <functional>

#include "support/FormFixture.h"

using namespace qxtest;

namespace {

std::vector<std::string> ItemNames(const ui::DirectoryListBox& d) {
    std::vector<std::string> out;
    for (const auto& item : d.Items()) out.push_back(text::FromUtf16(item.name));
    return out;
}

int IndexOf(const ui::DirectoryListBox& d, const std::string& name) {
    for (std::size_t i = 0; i < d.Items().size(); ++i) {
        if (text::FromUtf16(d.Items()[i].name) == name) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

class Browse : public FormTest {
protected:
    Browse() {
        fs.AddFile(kExe + "b.mp3");
        fs.AddFile(kExe + "A.MP3");
        fs.AddFile(kExe + "c.wav");
        fs.AddFile(kExe + "r.mp3", "", sys::kReadOnly);
        fs.AddFile(kExe + "h.mp3", "", sys::kHidden);
        fs.AddFile(kExe + "s.mp3", "", sys::kSystem | sys::kArchive);
        fs.AddFolder(kExe + "sub.mp3");
        fs.AddFolder(kExe + "Music");
        fs.AddFile(kExe + "Music\\notes.txt");
        fs.AddFolder(kExe + "zz");
    }
};

TEST_F(Browse, AllThreeStartAtTheCurrentFolder) {
    TFormMain& f = Start();

    EXPECT_TRUE(fs.boxes.empty());
    EXPECT_EQ(f.DrvBox.Drive(), 'C');
    EXPECT_EQ(f.DirList.Directory(), "C:\\Game\\QUAVERIX");
    EXPECT_EQ(ItemNames(f.DirList),
              (std::vector<std::string>{"C:\\", "Game", "QUAVERIX", "Music", "sub.mp3", "zz"}));
    EXPECT_EQ(f.DirList.ItemIndex(), 2);
    EXPECT_EQ(f.FilList.Directory(), "C:\\Game\\QUAVERIX");
    // Folders, hidden and system files are left out; read-only ones are listed.
    EXPECT_EQ(Names(f.FilList.Items()), (std::vector<std::string>{"A.MP3", "b.mp3", "r.mp3"}));
    EXPECT_EQ(f.FilList.ItemIndex(), -1);
    EXPECT_EQ(f.FilList.FileName(), "");
}

TEST_F(Browse, MaskOfTwoPatternsListsBothKinds) {
    WriteList("01.mp3=A", "1", "*.mp3;*.wav");
    TFormMain& f = Start();
    EXPECT_EQ(Names(f.FilList.Items()),
              (std::vector<std::string>{"A.MP3", "b.mp3", "c.wav", "r.mp3"}));
}

// The mask works on the names as they are: '?' is one character, also beyond CP932.
TEST(Mask, MatchesRealNames) {
    const struct {
        std::u16string name, mask;
        bool matches;
    } cases[] = {
        {u"x😀.mp3", u"x?.mp3", true},   {u"x😀.mp3", u"x??.mp3", false},
        {u"음악.MP3", u"*.mp3", true},  {u"Céline é.mp3", u"c*é.mp3", true},
        {u"Música", u"*.wav;m*", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ui::MatchesMask(c.name, c.mask), c.matches) << text::FromUtf16(c.name);
}

TEST_F(Browse, SameDriveChangesNothingAndAnotherDriveMovesBothLists) {
    fs.AddDrive('D');
    fs.AddFile("D:\\music\\x.mp3");
    fs.AddFile("D:\\music\\y.txt");
    fs.SetDriveCurrent('D', "D:\\music");
    TFormMain& f = Start();

    // The picker's first report named the drive the lists are on; C: would resolve to
    // its root, so staying put shows it was taken as no change.
    EXPECT_EQ(f.DirList.Directory(), "C:\\Game\\QUAVERIX");
    int reads = fs.listCalls;
    f.DrvBoxChange(&f.DrvBox);
    f.DirList.SetDrive('c');
    EXPECT_EQ(fs.listCalls, reads);
    EXPECT_EQ(f.DirList.Directory(), "C:\\Game\\QUAVERIX");

    ASSERT_TRUE(Handle([&] { f.DrvBox.UserSelect('d'); }));
    EXPECT_EQ(f.DrvBox.Drive(), 'D');
    EXPECT_EQ(f.DirList.Directory(), "D:\\music");
    EXPECT_EQ(f.FilList.Directory(), "D:\\music");
    EXPECT_EQ(Names(f.FilList.Items()), std::vector<std::string>{"x.mp3"});

    ASSERT_TRUE(Handle([&] { f.DrvBox.UserSelect('C'); }));
    EXPECT_EQ(f.DirList.Directory(), "C:\\");
    EXPECT_EQ(f.FilList.Directory(), "C:\\");
    EXPECT_TRUE(fs.boxes.empty());
}

TEST_F(Browse, UnreadyDriveIsReportedAndThePickerGoesBack) {
    fs.AddDrive('E', sys::DriveKind::CdRom, "", false);
    TFormMain& f = Start();
    f.FilList.SetItemIndex(1);

    EXPECT_FALSE(Handle([&] { f.DrvBox.UserSelect('E'); }));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ドライブ E: の準備ができていません."});
    EXPECT_EQ(f.DrvBox.Drive(), 'C');
    EXPECT_EQ(f.DirList.Directory(), "C:\\Game\\QUAVERIX");
    EXPECT_EQ(f.FilList.FileName(), "C:\\Game\\QUAVERIX\\b.mp3");
}

TEST_F(Browse, OpeningFoldersAndTakingOneAsTheDestination) {
    TFormMain& f = Start();
    f.ValListMp3.SetLine(0, "01.mp3=C:\\x\\kept.mp3");

    // "→" replaces what was typed, without a trailing backslash.
    f.MemoCopysaki.UserSetText("typed by hand");
    f.BtnCopySakiCopy.UserClick();
    EXPECT_EQ(f.MemoCopysaki.Text(), "C:\\Game\\QUAVERIX");

    // A folder without matching files empties the file list; the grid stays.
    f.DirList.UserOpen(IndexOf(f.DirList, "Music"));
    EXPECT_EQ(f.DirList.Directory(), "C:\\Game\\QUAVERIX\\Music");
    EXPECT_TRUE(f.FilList.Items().empty());
    EXPECT_EQ(Lines()[0], "01.mp3=C:\\x\\kept.mp3");

    // Up to the root through its line; "→" then gives the drive with its backslash.
    f.DirList.UserOpen(0);
    EXPECT_EQ(f.DirList.Directory(), "C:\\");
    EXPECT_EQ(f.FilList.Directory(), "C:\\");
    f.BtnCopySakiCopy.UserClick();
    EXPECT_EQ(f.MemoCopysaki.Text(), "C:\\");

    // Back down through "Game" and "QUAVERIX".
    f.DirList.UserOpen(IndexOf(f.DirList, "Game"));
    f.DirList.UserOpen(IndexOf(f.DirList, "QUAVERIX"));
    EXPECT_EQ(f.DirList.Directory(), "C:\\Game\\QUAVERIX");
    EXPECT_EQ(f.FilList.Items().size(), 3u);

    // A folder that has gone away is reported; the lists stay where they were.
    int zz = IndexOf(f.DirList, "zz");
    fs.Remove(kExe + "zz");
    EXPECT_FALSE(Handle([&] { f.DirList.UserOpen(zz); }));
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"フォルダ C:\\Game\\QUAVERIX\\zz を開けません."});
    EXPECT_EQ(f.DirList.Directory(), "C:\\Game\\QUAVERIX");
    EXPECT_EQ(f.FilList.Directory(), "C:\\Game\\QUAVERIX");
}

TEST_F(Browse, FileListChangesOnlyOnARealChange) {
    TFormMain& f = Start();
    f.FilList.SetItemIndex(0);
    int reads = fs.listCalls;

    f.FilList.SetDirectory("c:\\game\\quaverix\\");
    f.FilList.SetMask(f.FilList.Mask());
    EXPECT_EQ(fs.listCalls, reads);
    EXPECT_EQ(f.FilList.ItemIndex(), 0);

    // Another mask picks from the files already read.
    f.FilList.SetMask("*.wav");
    EXPECT_EQ(fs.listCalls, reads);
    EXPECT_EQ(Names(f.FilList.Items()), std::vector<std::string>{"c.wav"});
    EXPECT_EQ(f.FilList.ItemIndex(), -1);
}

// Every change of folder reads it once, whoever asks: the folder list's read gives the file
// list its files, and the list file's mask at start picks from them.
TEST_F(Browse, EachFolderChangeReadsTheFolderOnce) {
    fs.AddDrive('D');
    fs.AddFile("D:\\music\\x.mp3");
    fs.SetDriveCurrent('D', "D:\\music");
    TFormMain& f = Start();
    EXPECT_EQ(fs.listCalls, 1);
    EXPECT_EQ(Names(f.FilList.Items()), (std::vector<std::string>{"A.MP3", "b.mp3", "r.mp3"}));

    const struct {
        const char* what;
        std::function<void()> change;
        std::string folder;
        std::vector<std::string> files;
    } steps[] = {
        {"opened", [&] { f.DirList.UserOpen(IndexOf(f.DirList, "Music")); }, kExe + "Music", {}},
        {"parent", [&] { f.DirList.UserOpen(1); }, "C:\\Game", {}},
        {"drive", [&] { f.DrvBox.UserSelect('D'); }, "D:\\music", {"x.mp3"}},
        {"dropped",
         [&] { f.DirList.UserDropFiles({u"C:\\Game\\QUAVERIX"}, 0); },
         "C:\\Game\\QUAVERIX",
         {"A.MP3", "b.mp3", "r.mp3"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        const int reads = fs.listCalls;
        ASSERT_TRUE(Handle(step.change));
        EXPECT_EQ(fs.listCalls, reads + 1);
        EXPECT_EQ(f.DirList.Directory(), step.folder);
        EXPECT_EQ(f.FilList.Directory(), step.folder);
        EXPECT_EQ(Names(f.FilList.Items()), step.files);
    }
}

TEST_F(Browse, UnreadableStartFolderFallsBackToTheDriveRoot) {
    fs.currentFolder = "C:\\Gone";
    fs.AddFile("C:\\top.mp3");
    TFormMain& f = Start();

    EXPECT_TRUE(fs.boxes.empty());
    EXPECT_EQ(f.DrvBox.Drive(), 'C');
    EXPECT_EQ(f.DirList.Directory(), "C:\\");
    EXPECT_EQ(Names(f.FilList.Items()), std::vector<std::string>{"top.mp3"});
}
