// The Windows side of the system interface on real files, folders and drives, the
// browsing lists on top of it, and our CP932 table against the system's code page 932.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "apply/Measure.h"
#include "audio/Mp3Encoder.h"
#include "platform/text/Cp932.h"
#include "platform/ui/Browse.h"
#include "platform/win32/Wide.h"
#include "contract/FileRules.h"
#include "support/RealForm.h"

using namespace wintest;

namespace {

DWORD AttrOf(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()); }

void SetAttr(const std::string& path, DWORD attributes) {
    ASSERT_TRUE(SetFileAttributesW(Wide(path).c_str(), attributes)) << path;
}

std::vector<std::string> Names(const sys::FolderListing& listing) {
    std::vector<std::string> out;
    for (const sys::FolderEntry& e : listing.entries) out.push_back(Cp(e.name));
    return out;
}

std::uint32_t AttrIn(const sys::FolderListing& listing, const std::string& name) {
    for (const sys::FolderEntry& e : listing.entries) {
        if (text::EqualsNoCase(Cp(e.name), name)) return e.attributes;
    }
    return sys::kNoFile;
}

// Written through the wide API only, so that our own conversion plays no part.
void WriteWide(const std::wstring& path, const std::string& data) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(h);
}

}  // namespace

TEST(Win32Folders, ListingLeavesOutDotsAndCarriesAttributes) {
    TempFolder t("qxlist");
    win32::Win32System system;
    for (const char* name : {"a.mp3", "hid.mp3", "sys.wav", "ro.mp3"}) WriteBytes(t / name, name);
    MakeFolder(t / "sub");
    SetAttr(t / "hid.mp3", FILE_ATTRIBUTE_HIDDEN);
    SetAttr(t / "sys.wav", FILE_ATTRIBUTE_SYSTEM);
    SetAttr(t / "ro.mp3", FILE_ATTRIBUTE_READONLY);

    sys::FolderListing l = system.ListFolder(t.Path());
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(Names(l), (std::vector<std::string>{"a.mp3", "hid.mp3", "ro.mp3", "sub", "sys.wav"}));
    EXPECT_EQ(AttrIn(l, "a.mp3") & (sys::kHidden | sys::kSystem | sys::kReadOnly), 0u);
    EXPECT_TRUE(AttrIn(l, "hid.mp3") & sys::kHidden);
    EXPECT_TRUE(AttrIn(l, "sys.wav") & sys::kSystem);
    EXPECT_TRUE(AttrIn(l, "ro.mp3") & sys::kReadOnly);
    EXPECT_TRUE(AttrIn(l, "sub") & sys::kDirectory);
    EXPECT_EQ(Names(system.ListFolder(t.Path() + "\\")), Names(l));

    MakeFolder(t / "empty");
    sys::FolderListing empty = system.ListFolder(t / "empty");
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(empty.entries.empty());

    sys::FolderListing missing = system.ListFolder(t / "gone");
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(missing.error.empty());
    EXPECT_TRUE(missing.entries.empty());
}

TEST(Win32Folders, FileListShowsVisibleMatchingFilesInTheSystemsOrder) {
    TempFolder t("qxfiles");
    win32::Win32System system;
    for (const char* name :
         {"b.WAV", "a.mp3", "C.mp3", "10.mp3", "9.mp3", "ソ.mp3", "ro.mp3", "-b.mp3", "_x.mp3",
          "~z.mp3", "hid.mp3", "sys.wav", "note.txt", "mp3"}) {
        WriteBytes(t / name, name);
    }
    MakeFolder(t / "dir.mp3");
    SetAttr(t / "ro.mp3", FILE_ATTRIBUTE_READONLY);
    SetAttr(t / "hid.mp3", FILE_ATTRIBUTE_HIDDEN);
    SetAttr(t / "sys.wav", FILE_ATTRIBUTE_SYSTEM);

    ui::FileListBox list(nullptr, "FilList", {}, system);
    list.SetMask("*.mp3;*.wav");
    list.SetDirectory(t.Path());
    // A sorted list box's order: case and hyphens ignored, symbols before digits and
    // letters, digits one by one, kana after Latin.
    EXPECT_EQ(Cp(list.Items()),
              (std::vector<std::string>{"_x.mp3", "~z.mp3", "10.mp3", "9.mp3", "a.mp3", "-b.mp3",
                                        "b.WAV", "C.mp3", "ro.mp3", "ソ.mp3"}));
}

TEST(Win32Folders, JapaneseNamesWithBackslashTrailBytesRoundTrip) {
    TempFolder t("qxjp");
    win32::Win32System system;
    // "ソ表" and "ソース.mp3" made with the wide API; in CP932 ソ and 表 both end in 0x5C.
    const std::wstring wideFolder = Wide(t.Path()) + L"\\\u30BD\u8868";
    ASSERT_TRUE(CreateDirectoryW(wideFolder.c_str(), nullptr));
    const std::string data("ID3\0\x83\x5C\r\n\x1A", 9);
    WriteWide(wideFolder + L"\\\u30BD\u30FC\u30B9.mp3", data);

    const std::string folder = t / "ソ表";
    ASSERT_EQ(folder.substr(folder.size() - 4), "\x83\x5C\x95\x5C");
    EXPECT_EQ(Names(system.ListFolder(t.Path())), std::vector<std::string>{"ソ表"});
    EXPECT_EQ(Names(system.ListFolder(folder)), std::vector<std::string>{"ソース.mp3"});

    std::string read;
    ASSERT_TRUE(system.ReadFile(folder + "\\ソース.mp3", read));
    EXPECT_EQ(read, data);
    ASSERT_TRUE(system.CopyFileTo(folder + "\\ソース.mp3", folder + "\\表示.mp3", false));
    EXPECT_NE(GetFileAttributesW((wideFolder + L"\\\u8868\u793A.mp3").c_str()),
              INVALID_FILE_ATTRIBUTES);

    // A folder whose last byte is 0x5C is no folder with a trailing backslash.
    ui::FileListBox list(nullptr, "FilList", {}, system);
    list.SetMask("*.mp3");
    list.SetDirectory(folder + "\\");
    EXPECT_EQ(list.Directory(), folder);
    ASSERT_EQ(Cp(list.Items()), (std::vector<std::string>{"ソース.mp3", "表示.mp3"}));
    list.SetItemIndex(1);
    EXPECT_EQ(list.FileName(), folder + "\\表示.mp3");
    read.clear();
    ASSERT_TRUE(system.ReadFile(list.FileName(), read));
    EXPECT_EQ(read, data);

    ui::DirectoryListBox dirs(nullptr, "DirList", {}, system);
    dirs.SetDirectory(folder);
    EXPECT_EQ(dirs.Directory(), folder);
    ASSERT_FALSE(dirs.Items().empty());
    EXPECT_EQ(Cp(dirs.Items()[static_cast<std::size_t>(dirs.ItemIndex())].name), "ソ表");
}

TEST(Win32Folders, DriveRootListsAndJoinsWithOneBackslash) {
    win32::Win32System system;
    sys::FolderListing root = system.ListFolder("C:\\");
    ASSERT_TRUE(root.ok) << root.error;
    EXPECT_TRUE(AttrIn(root, "windows") & sys::kDirectory);
    for (const sys::FolderEntry& e : root.entries) EXPECT_TRUE(e.name != u"." && e.name != u"..");

    ui::DirectoryListBox dirs(nullptr, "DirList", {}, system);
    dirs.SetDirectory("C:");
    EXPECT_EQ(dirs.Directory(), "C:\\");
    ASSERT_FALSE(dirs.Items().empty());
    EXPECT_EQ(Cp(dirs.Items()[0].name), "C:\\");
    EXPECT_EQ(dirs.ItemIndex(), 0);
    auto windows = std::find_if(dirs.Items().begin(), dirs.Items().end(), [](const auto& i) {
        return text::EqualsNoCase(Cp(i.name), "windows");
    });
    ASSERT_NE(windows, dirs.Items().end());
    EXPECT_EQ(windows->level, 1);
    EXPECT_TRUE(text::EqualsNoCase(dirs.PathOf(static_cast<int>(windows - dirs.Items().begin())),
                                   "C:\\windows"));

    const std::string name = "qx-root-" + std::to_string(GetCurrentProcessId()) + ".mp3";
    ASSERT_TRUE(WriteBytes("C:\\" + name, "root"));
    struct Remove {
        std::string path;
        ~Remove() { DeleteFileW(Wide(path).c_str()); }
    } remove{"C:\\" + name};
    ui::FileListBox files(nullptr, "FilList", {}, system);
    files.SetMask("*.mp3");
    files.SetDirectory("C:\\");
    auto at = std::find(files.Items().begin(), files.Items().end(), text::ToUtf16(name));
    ASSERT_NE(at, files.Items().end());
    files.SetItemIndex(static_cast<int>(at - files.Items().begin()));
    EXPECT_EQ(files.FileName(), "C:\\" + name);
    std::string read;
    EXPECT_TRUE(system.ReadFile(files.FileName(), read));
    EXPECT_EQ(read, "root");
}

TEST(Win32Files, CopyReplacesOnlyPlainTargets) {
    TempFolder t("qxcopy");
    win32::Win32System system;
    WriteBytes(t / "new.mp3", std::string("new\0bytes", 9));
    for (const char* name : {"plain.mp3", "ro.mp3", "hid.mp3"}) WriteBytes(t / name, "old");
    SetAttr(t / "ro.mp3", FILE_ATTRIBUTE_READONLY);
    SetAttr(t / "hid.mp3", FILE_ATTRIBUTE_HIDDEN);

    EXPECT_TRUE(system.CopyFileTo(t / "new.mp3", t / "plain.mp3", false));
    EXPECT_EQ(ReadBytes(t / "plain.mp3"), std::string("new\0bytes", 9));

    EXPECT_FALSE(system.CopyFileTo(t / "new.mp3", t / "ro.mp3", false));
    EXPECT_EQ(ReadBytes(t / "ro.mp3"), "old");
    EXPECT_TRUE(AttrOf(t / "ro.mp3") & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(system.CopyFileTo(t / "new.mp3", t / "hid.mp3", false));
    EXPECT_EQ(ReadBytes(t / "hid.mp3"), "old");
    EXPECT_TRUE(AttrOf(t / "hid.mp3") & FILE_ATTRIBUTE_HIDDEN);

    WriteBytes(t / "plain.mp3", "old");
    EXPECT_FALSE(system.CopyFileTo(t / "missing.mp3", t / "plain.mp3", false));
    EXPECT_EQ(ReadBytes(t / "plain.mp3"), "old");
    EXPECT_FALSE(system.CopyFileTo(t / "missing.mp3", t / "fresh.mp3", false));
    EXPECT_FALSE(Exists(t / "fresh.mp3"));
    EXPECT_FALSE(system.CopyFileTo(t / "new.mp3", t / "plain.mp3", true));
    EXPECT_EQ(ReadBytes(t / "plain.mp3"), "old");
}

// A file the game holds open without delete sharing cannot be replaced or removed: that
// is "in use" (rights would not help), however else the game shares it; the file stays.
TEST(Win32Files, FileHeldWithoutDeleteSharingIsInUseForCopyAndRemove) {
    TempFolder t("qxheld");
    win32::Win32System system;
    WriteBytes(t / "new.mp3", "new");
    const struct {
        const char* name;
        DWORD access, share;
    } holds[] = {
        {"read, no sharing", GENERIC_READ, 0},
        {"read, read sharing", GENERIC_READ, FILE_SHARE_READ},
        {"read, read and write sharing", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE},
        {"write, read and write sharing", GENERIC_READ | GENERIC_WRITE,
         FILE_SHARE_READ | FILE_SHARE_WRITE},
    };
    for (const auto& hold : holds) {
        SCOPED_TRACE(hold.name);
        const std::string target = t / "01.mp3";
        WriteBytes(target, "game");
        HANDLE held = CreateFileW(Wide(target).c_str(), hold.access, hold.share, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        sys::FileError why{sys::Fault::None, ""};
        EXPECT_FALSE(system.CopyFileTo(t / "new.mp3", target, false, &why));
        EXPECT_EQ(why.fault, sys::Fault::InUse) << why.detail;
        why = {sys::Fault::None, ""};
        EXPECT_FALSE(system.RemoveFile(target, &why));
        EXPECT_EQ(why.fault, sys::Fault::InUse) << why.detail;
        CloseHandle(held);
        EXPECT_EQ(ReadBytes(target), "game");
        EXPECT_FALSE(Exists(target + ".quaverix~"));
    }
    EXPECT_EQ(Names(system.ListFolder(t.Path())), (std::vector<std::string>{"01.mp3", "new.mp3"}));
}

TEST(Win32Files, CreateAndWriteCreatesTruncatesOrSaysCannotCreate) {
    TempFolder t("qxwrite");
    win32::Win32System system;
    const std::string bat = t / "go.bat";
    EXPECT_EQ(system.CreateAndWrite(bat, "copy \"a\" \"b\"\r\ncopy \"c\" \"d\"\r\n"),
              sys::WriteStatus::Ok);
    EXPECT_EQ(ReadBytes(bat), "copy \"a\" \"b\"\r\ncopy \"c\" \"d\"\r\n");
    EXPECT_EQ(system.CreateAndWrite(bat, "x\r\n"), sys::WriteStatus::Ok);
    EXPECT_EQ(ReadBytes(bat), "x\r\n");
    EXPECT_EQ(system.CreateAndWrite(bat, ""), sys::WriteStatus::Ok);
    EXPECT_TRUE(Exists(bat));
    EXPECT_EQ(ReadBytes(bat), "");

    WriteBytes(t / "ro.bat", "keep");
    SetAttr(t / "ro.bat", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(system.CreateAndWrite(t / "ro.bat", "new"), sys::WriteStatus::CannotCreate);
    EXPECT_EQ(ReadBytes(t / "ro.bat"), "keep");
    EXPECT_EQ(system.CreateAndWrite(t / "gone\\go.bat", "new"), sys::WriteStatus::CannotCreate);
    EXPECT_FALSE(Exists(t / "gone"));
}

TEST(Win32Files, SaveFileAtomicReplacesWholeAndLeavesNothingBehind) {
    TempFolder t("qxsave");
    win32::Win32System system;
    WriteBytes(t / "user.ini", "[user]\r\nlong=old content that is longer\r\n");
    EXPECT_TRUE(system.SaveFileAtomic(t / "user.ini", "[user]\r\na=1\r\n"));
    EXPECT_EQ(ReadBytes(t / "user.ini"), "[user]\r\na=1\r\n");
    EXPECT_TRUE(system.SaveFileAtomic(t / "設定表.ini", "x"));
    EXPECT_EQ(ReadBytes(t / "設定表.ini"), "x");

    WriteBytes(t / "ro.ini", "keep");
    SetAttr(t / "ro.ini", FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(system.SaveFileAtomic(t / "ro.ini", "new"));
    EXPECT_EQ(ReadBytes(t / "ro.ini"), "keep");
    EXPECT_TRUE(AttrOf(t / "ro.ini") & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(system.SaveFileAtomic(t / "gone\\user.ini", "new"));

    EXPECT_EQ(Names(system.ListFolder(t.Path())),
              (std::vector<std::string>{"ro.ini", "user.ini", "設定表.ini"}));
}

// One taker at a time: another thread's take waits its time and is refused as in use, or
// gets the lock once it is dropped. A missing folder is no "in use".
TEST(Win32Files, LockFileIsOneTakersAtATime) {
    TempFolder t("qxlock");
    win32::Win32System system;
    auto first = system.LockFile(t / "lock", 0);
    sys::FileError why{sys::Fault::None, ""};
    const DWORD start = GetTickCount();
    std::thread([&] { EXPECT_FALSE(system.LockFile(t / "lock", 300, &why)); }).join();
    EXPECT_GE(GetTickCount() - start, 290u);
    EXPECT_EQ(why.fault, sys::Fault::InUse);
    std::thread later([&] { EXPECT_TRUE(system.LockFile(t / "lock", 10000)); });
    Sleep(200);
    first.reset();
    later.join();
    EXPECT_FALSE(system.LockFile(t / "gone\\lock", 0, &why));
    EXPECT_NE(why.fault, sys::Fault::InUse);
}

// ---- Our CP932 table against the system's ------------------------------------------

namespace {

std::u16string SystemDecode(const std::string& s) {
    wchar_t out[8];
    int n = MultiByteToWideChar(932, 0, s.data(), static_cast<int>(s.size()), out, 8);
    return std::u16string(out, out + std::max(n, 0));
}

std::string SystemEncode(char16_t u) {
    wchar_t w = u;
    char out[8];
    int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &w, 1, out, 8, "?", nullptr);
    return std::string(out, static_cast<std::size_t>(std::max(n, 0)));
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) out += (std::snprintf(b, sizeof b, "%02X", c), b);
    return out;
}

std::string Hex(const std::u16string& units) {
    std::string out;
    char b[8];
    for (char16_t u : units) out += (std::snprintf(b, sizeof b, "U+%04X ", unsigned(u)), b);
    return out;
}

bool CanTrail(unsigned c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// The differences we know of and keep (see docs/cp932.md). On Wine 8 there is one kind:
// a lead byte followed by a byte that cannot trail (other than NUL). The system takes
// both bytes as one undefined character (U+30FB); we give U+30FB for the lead byte alone
// and read the next byte as the character it is, so a path's ASCII is never swallowed.
bool KnownDecodeDifference(const std::string& in, const std::u16string& ours,
                           const std::u16string& theirs) {
    return in.size() == 2 && text::IsLeadByte(in[0]) && in[1] != 0 && !CanTrail(in[1] & 0xFF) &&
           theirs == u"\u30FB" && ours == u"\u30FB" + text::ToUtf16(in.substr(1));
}

}  // namespace

TEST(Cp932Table, AgreesWithTheSystemsCodePage932) {
    std::vector<std::string> inputs;
    for (int b = 0; b < 0x100; ++b) inputs.push_back(std::string(1, static_cast<char>(b)));
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!text::IsLeadByte(static_cast<unsigned char>(lead))) continue;
        for (int next = 0x01; next <= 0xFF; ++next) {
            inputs.push_back({static_cast<char>(lead), static_cast<char>(next)});
        }
    }
    std::vector<std::string> unexpected;
    int known = 0;
    for (const std::string& in : inputs) {
        std::u16string ours = text::ToUtf16(in), theirs = SystemDecode(in);
        if (ours == theirs) continue;
        if (KnownDecodeDifference(in, ours, theirs)) {
            ++known;
        } else {
            unexpected.push_back("decode " + Hex(in) + ": ours " + Hex(ours) + "system " +
                                 Hex(theirs));
        }
    }
    for (char32_t u = 0; u <= 0xFFFF; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF) continue;
        std::string ours = text::FromUtf16(std::u16string(1, static_cast<char16_t>(u)));
        std::string theirs = SystemEncode(static_cast<char16_t>(u));
        if (ours != theirs) {
            unexpected.push_back("encode " + Hex(std::u16string(1, static_cast<char16_t>(u))) +
                                 ": ours " + Hex(ours) + ", system " + Hex(theirs));
        }
    }
    std::string shown;
    for (std::size_t i = 0; i < unexpected.size() && i < 40; ++i) shown += unexpected[i] + "\n";
    EXPECT_TRUE(unexpected.empty()) << unexpected.size() << " unexpected differences:\n" << shown;
    // 60 lead bytes x (0x01-0x3F, 0x7F, 0xFD-0xFF) on Wine; none on a system that agrees.
    EXPECT_TRUE(known == 0 || known == 60 * 67) << known;

    // Spot checks that the comparison itself sees the table.
    EXPECT_EQ(SystemDecode("\x83\x5C"), u"\u30BD");
    EXPECT_EQ(SystemEncode(u'\u8868'), "\x95\x5C");
    CPINFOEXW info{};
    ASSERT_TRUE(GetCPInfoExW(932, 0, &info));
    EXPECT_EQ(info.UnicodeDefaultChar, L'\u30FB');
}

namespace {

// Real files in a folder of the test's; "in use" is a handle opened without sharing.
struct RealWorld {
    TempFolder root{"qxrules"};
    win32::Win32System system;
    int cases = 0;
    std::string folder;
    HANDLE held = INVALID_HANDLE_VALUE;
    sys::System& System() { return system; }
    void Fresh() {
        folder = root / std::to_string(++cases);
        MakeFolder(folder);
    }
    std::string Folder() const { return folder; }
    void MakeFile(const std::string& path, const std::string& data, std::uint32_t attributes) {
        ASSERT_TRUE(WriteBytes(path, data));
        SetAttr(path, attributes);
    }
    void MakeFolder(const std::string& path) { wintest::MakeFolder(path); }
    void Hold(const std::string& path) {
        held = CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
    }
    void Release() {
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
    }
};

}  // namespace

TEST(FileRules, TheRealSystemFollowsWindows) {
    RealWorld w;
    contract::RunFileRules(w);
    contract::RunCopyAttributes(w);
}

// The platform's decoders (the audio compression manager's for MP3, Media Foundation's for
// the other kinds, both loaded at run time) and our WAVE reader on files lame and ffmpeg make
// now: each measures as the WAVE that ffmpeg decoded from it, within 0.1 LU, and lasts its
// 6 s at the rate its decoder gives (Opus: 48 kHz). Under Wine, Media Foundation decodes
// through GStreamer (WMA with the "ugly" plugins' ASF demuxer). Run once more with mfplat.dll
// switched off (system_test_no_mf): only the other kinds then fail, saying so.
TEST(Win32Decode, MeasuresAsFfmpegDecodesIt) {
    const bool mf = LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    TempFolder t("qxdecode");
    const std::wstring dir = UnixPath(t.Path());
    ASSERT_FALSE(dir.empty());
    struct Case {
        const char* name;
        const wchar_t* rate;
        const wchar_t* layout;
        const wchar_t* encode;  // in.wav to the file named next
        int decodedRate;
        const char* reason;  // nullptr: it decodes
    };
#define QX_FFMPEG L"ffmpeg -nostdin -v error -y -i in.wav "
    const Case cases[] = {
        {"cbr.mp3", L"44100", L"stereo", L"lame --quiet -b 128 in.wav", 44100, nullptr},
        {"vbr.mp3", L"44100", L"stereo", L"lame --quiet -V 2 --add-id3v2 --tt Vbr in.wav", 44100,
         nullptr},
        {"mono22.mp3", L"22050", L"mono", L"lame --quiet -m m -b 48 in.wav", 22050, nullptr},
        {"vbrmono22.mp3", L"22050", L"mono", L"lame --quiet -m m -V 5 in.wav", 22050, nullptr},
        {"a.flac", L"44100", L"stereo", QX_FFMPEG L"-c:a flac", 44100, nullptr},
        {"aac.m4a", L"44100", L"stereo", QX_FFMPEG L"-c:a aac -b:a 160k", 44100, nullptr},
        {"alac.m4a", L"44100", L"stereo", QX_FFMPEG L"-c:a alac", 44100, nullptr},
        {"a.ogg", L"44100", L"stereo", QX_FFMPEG L"-c:a libvorbis", 44100, nullptr},
        {"a.opus", L"44100", L"stereo", QX_FFMPEG L"-c:a libopus", 48000, nullptr},
        {"mono.aiff", L"22050", L"mono", QX_FFMPEG L"-c:a pcm_s16be", 22050, nullptr},
        {"a.wma", L"44100", L"stereo", QX_FFMPEG L"-c:a wmav2", 44100, nullptr},
    };
#undef QX_FFMPEG
    win32::Win32System system;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring name = Wide(c.name);
        ASSERT_TRUE(RunLinux(L"cd '" + dir +
                             L"' && ffmpeg -nostdin -v error -y -f lavfi -i anoisesrc=color=pink:"
                             L"amplitude=0.08:duration=6:sample_rate=" +
                             c.rate +
                             L" -f lavfi -i sine=frequency=440:"
                             L"duration=6:sample_rate=" +
                             c.rate +
                             L" -filter_complex "
                             L"'[1]volume=0.05[s];[0][s]amix=normalize=0,aformat=channel_layouts=" +
                             c.layout + L"' in.wav && " + c.encode + L" " + name +
                             L" && ffmpeg -nostdin -v error -y -i " + name + L" -c:a pcm_f32le " +
                             name + L".wav"));
        std::size_t frames = 0;
        int rate = 0;
        sys::FileError why;
        // The ACM's pieces are as large as its buffer; Media Foundation's are cut smaller.
        const bool mp3 = std::string(c.name).ends_with(".mp3");
        const std::size_t most = mp3 ? 1u << 20 : 16384;
        const char* reason = mf || mp3 ? c.reason : sys::kDecodeNoSystemDecoder;
        const bool decoded = system.DecodeAudio(
            t / c.name,
            [&](const float*, std::size_t n, int, int r) {
                EXPECT_LE(n, most);
                frames += n;
                rate = r;
                return true;
            },
            &why);
        if (reason) {
            EXPECT_FALSE(decoded);
            EXPECT_EQ(why.detail, reason);
            continue;
        }
        ASSERT_TRUE(decoded) << why.detail;
        EXPECT_EQ(rate, c.decodedRate);
        EXPECT_NEAR(static_cast<double>(frames) / c.decodedRate, 6.0, 0.1);
        const apply::Measurement ref = apply::Measure(system, t / (std::string(c.name) + ".wav"));
        const apply::Measurement m = apply::Measure(system, t / c.name);
        ASSERT_EQ(ref.status, apply::MeasureStatus::Measured) << ref.reason;
        ASSERT_EQ(m.status, apply::MeasureStatus::Measured) << m.reason;
        EXPECT_NEAR(m.lufs, ref.lufs, 0.1);
        EXPECT_NEAR(m.peak, ref.peak, 0.05);
    }
    // A name CP932 cannot spell reaches Media Foundation by its short name.
    const std::wstring foreign = Wide(t.Path()) + L"\\x\U0001F600.flac";
    ASSERT_TRUE(CopyFileW(Wide(t / "a.flac").c_str(), foreign.c_str(), FALSE));
    const std::string shortName = system.ShortName(t.Path(), u"x\U0001F600.flac");
    ASSERT_FALSE(shortName.empty());
    EXPECT_EQ(system.DecodeAudio(t / shortName, [](auto...) { return true; }), mf);
    // The 16-bit PCM WAVE lame started from measures as its float copy by ffmpeg.
    ASSERT_TRUE(RunLinux(L"cd '" + dir +
                         L"' && ffmpeg -nostdin -v error -y -i in.wav -c:a pcm_f32le f.wav"));
    const apply::Measurement a = apply::Measure(system, t / "in.wav");
    const apply::Measurement b = apply::Measure(system, t / "f.wav");
    ASSERT_EQ(a.status, apply::MeasureStatus::Measured) << a.reason;
    EXPECT_NEAR(a.lufs, b.lufs, 0.01);
}

// What is no audio, or audio broken off, gives its reason or a figure, never a crash.
TEST(Win32Decode, FilesThatAreNoAudioSayWhy) {
    TempFolder t("qxnoaudio");
    ASSERT_TRUE(RunLinux(L"cd '" + UnixPath(t.Path()) +
                         L"' && ffmpeg -nostdin -v error -y -f lavfi -i sine=duration=3 -c:a "
                         L"libmp3lame -b:a 128k whole.mp3 && ffmpeg -nostdin -v error -y -f lavfi "
                         L"-i sine=duration=3 -c:a aac whole.m4a -c:a flac whole.flac"));
    const std::string whole = ReadBytes(t / "whole.mp3");
    ASSERT_GT(whole.size(), 20000u);
    auto scramble = [](std::string bytes) {
        for (std::size_t i = 2000; i < bytes.size(); i += 7) bytes[i] = static_cast<char>(i * 31);
        return bytes;
    };
    const std::string m4a = ReadBytes(t / "whole.m4a");  // its index (moov) at the end
    struct Case {
        const char* name;
        std::string bytes;
        int measured;  // 1: a figure; 0: a reason; -1: either (the decoder decides)
        const char* reason = nullptr;  // the decoding's, when it is the one
    };
    const Case cases[] = {
        {"text.mp3", "this is no audio at all\r\n", 0, sys::kDecodeNotAudio},
        {"empty.mp3", "", 0},
        {"cut.mp3", whole.substr(0, 15000), 1},  // 0.9 s of it
        {"scrambled.mp3", scramble(whole), -1},
        {"cut.wav", WaveBytes("x").substr(0, 30), 0},
        {"page.ogg", "<!DOCTYPE html><html><body>no audio</body></html>", 0, sys::kDecodeNotAudio},
        {"cut.m4a", m4a.substr(0, m4a.size() / 2), 0, sys::kDecodeDamaged},
        {"scrambled.flac", scramble(ReadBytes(t / "whole.flac")), -1},
    };
    win32::Win32System system;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteBytes(t / c.name, c.bytes));
        const apply::Measurement m = apply::Measure(system, t / c.name);
        const bool figure = m.status == apply::MeasureStatus::Measured ||
                            m.status == apply::MeasureStatus::TooQuiet;
        if (c.measured >= 0) EXPECT_EQ(figure, c.measured == 1) << m.reason;
        if (m.status != apply::MeasureStatus::Measured) EXPECT_FALSE(m.reason.empty());
        sys::FileError why;
        if (c.reason) {
            EXPECT_FALSE(system.DecodeAudio(
                t / c.name, [](auto...) { return true; }, &why));
            EXPECT_EQ(why.detail, c.reason);
        }
    }
    EXPECT_EQ(apply::Measure(system, t / "none.mp3").status, apply::MeasureStatus::Unreadable);
}

// The Windows build's LAME: what it encodes, the system's own MP3 decoder plays at the
// rate and channels asked for, as long as the input give or take LAME's delay and padding
// (which the audio compression manager does not drop).
TEST(Win32Decode, OurEncodersMp3PlaysAsLongAsItsInput) {
    TempFolder t("qxencode");
    std::vector<float> in;  // 2 s of 997 Hz at -6 dBFS, 48 kHz mono
    for (int i = 0; i < 96000; ++i) in.push_back(0.5f * std::sin(i * 6.2832f * 997 / 48000));
    audio::Mp3Encoder enc(48000, 1, {44100, 2, 192});
    ASSERT_TRUE(enc.Add(in.data(), in.size())) << enc.Error();
    ASSERT_TRUE(WriteBytes(t / "enc.mp3", enc.Finish()));
    std::size_t frames = 0;
    ASSERT_TRUE(win32::Win32System().DecodeAudio(
        t / "enc.mp3", [&](const float* pcm, std::size_t n, int channels, int rate) {
            EXPECT_EQ(channels, 2);
            EXPECT_EQ(rate, 44100);
            frames += n;
            return true;
        }));
    EXPECT_GE(frames, 88200u);
    EXPECT_LE(frames, 88200u + 3 * 1152);
}
