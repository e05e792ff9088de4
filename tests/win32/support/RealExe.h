// Test support under Wine: QUAVERIX.exe itself started from a test, its windows found,
// read, clicked and its boxes answered from outside, as a player drives it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>

#include "platform/win32/Wide.h"
#include "support/RealForm.h"

namespace wintest {

inline std::string TextOf(HWND h) { return win32::A(win32::WindowTextW(h)); }

inline std::wstring ClassOf(HWND h) {
    wchar_t name[64] = {};
    GetClassNameW(h, name, 64);
    return name;
}

// QUAVERIX.exe itself, copied into a folder of the test's with the list file `list`, and
// started there; ended at the latest when the test ends.
struct RealExe {
    TempFolder root{"exe"};
    std::string ini = root / "user.ini";
    HANDLE process = nullptr;
    DWORD pid = 0;

    explicit RealExe(const std::string& list) {
        EXPECT_TRUE(CopyFileW(HelperPath(L"..\\QUAVERIX.exe").c_str(),
                              Wide(root / "QUAVERIX.exe").c_str(), FALSE));
        WriteBytes(root / "Pellamor.lst", list);
    }
    ~RealExe() {
        if (process) {
            TerminateProcess(process, 9);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
        SetFileAttributesW(Wide(ini).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    // `folder`: where the browsing lists start (the current folder it is started in);
    // `of`: another RealExe whose exe this starts, so that the two share its data folder.
    bool Start(const std::string& folder = "", const RealExe* of = nullptr) {
        const std::string exe = (of ? of : this)->root / "QUAVERIX.exe";
        process = StartProcess(L"\"" + Wide(exe) + L"\"", folder);
        pid = process ? GetProcessId(process) : 0;
        return process != nullptr;
    }
    // A visible window of the program with this class ("#32770": a box), waited for.
    HWND WaitFor(const wchar_t* cls, int tries = 300) const {
        struct Find {
            DWORD pid;
            const wchar_t* cls;
            HWND found = nullptr;
            static BOOL CALLBACK Each(HWND h, LPARAM self) {
                auto* f = reinterpret_cast<Find*>(self);
                DWORD pid = 0;
                GetWindowThreadProcessId(h, &pid);
                if (pid == f->pid && ClassOf(h) == f->cls && IsWindowVisible(h)) {
                    f->found = h;
                    return FALSE;
                }
                return TRUE;
            }
        } find{pid, cls};
        for (int i = 0; i < tries && !find.found; ++i) {
            EnumWindows(Find::Each, reinterpret_cast<LPARAM>(&find));
            if (!find.found && i + 1 < tries) Sleep(50);
        }
        return find.found;
    }
    bool Ended() const { return WaitForSingleObject(process, 15000) == WAIT_OBJECT_0; }
};

// A box's message: the texts of its static controls, one a line.
inline std::string BoxText(HWND box) {
    std::string out;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (ClassOf(c) == L"Static" && !TextOf(c).empty()) out += TextOf(c) + "\n";
    }
    return out;
}

// Answers a box as a click on one of its buttons would, and waits until it has gone.
inline void Answer(HWND box, int button) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    for (int i = 0; i < 200 && IsWindow(box); ++i) Sleep(25);
}

// The first window under `top` (at any depth) of the class whose text starts with `text`.
inline HWND ChildOf(HWND top, const wchar_t* cls, const std::string& text) {
    struct Find {
        const wchar_t* cls;
        const std::string& text;
        HWND found = nullptr;
        static BOOL CALLBACK Each(HWND h, LPARAM self) {
            auto* f = reinterpret_cast<Find*>(self);
            if (ClassOf(h) == f->cls && TextOf(h).rfind(f->text, 0) == 0) {
                f->found = h;
                return FALSE;
            }
            return TRUE;
        }
    } find{cls, text};
    EnumChildWindows(top, Find::Each, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

// The file list: the list box of the window that holds a line `name`; that line's index.
inline HWND FileListWith(HWND window, const std::wstring& name, int& index) {
    struct Find {
        const std::wstring& name;
        int index = -1;
        HWND found = nullptr;
        static BOOL CALLBACK Each(HWND h, LPARAM self) {
            auto* f = reinterpret_cast<Find*>(self);
            if (ClassOf(h) != L"ListBox") return TRUE;
            const LRESULT count = SendMessageW(h, LB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                wchar_t line[MAX_PATH] = {};
                if (SendMessageW(h, LB_GETTEXTLEN, i, 0) >= MAX_PATH) continue;
                SendMessageW(h, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
                if (f->name == line) {
                    f->found = h;
                    f->index = static_cast<int>(i);
                    return FALSE;
                }
            }
            return TRUE;
        }
    } find{name};
    EnumChildWindows(window, Find::Each, reinterpret_cast<LPARAM>(&find));
    index = find.index;
    return find.found;
}

// A press and release of the left button on a window, as the mouse delivers them.
inline void PostClick(HWND h, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(h, WM_LBUTTONUP, 0, at);
}

// Waits until `done` holds (at most 15 s).
inline bool Until(const std::function<bool()>& done) {
    for (int i = 0; i < 600; ++i) {
        if (done()) return true;
        Sleep(25);
    }
    return done();
}

// What ffmpeg makes of an audio file decoded to its end through its ebur128 filter: the
// stream as it names it ("mp3, 44100 Hz, stereo, fltp, 192 kb/s"), the length, the
// integrated loudness; `clean` when it decoded with no warning or error.
struct Heard {
    std::string stream;
    double seconds = std::nan(""), lufs = std::nan("");
    bool clean = false;
};
inline Heard FfmpegHears(const std::string& file, const std::string& log) {
    Heard h;
    h.clean = RunLinux(L"ffmpeg -nostdin -hide_banner -loglevel level+info -xerror -i '" +
                       UnixPath(file) + L"' -af ebur128 -f null - 2> '" + UnixPath(log) + L"'");
    const std::string text = ReadBytes(log);
    h.clean = h.clean && text.find("[warning]") == std::string::npos &&
              text.find("[error]") == std::string::npos;
    if (std::size_t at = text.find("Audio: "); at != std::string::npos)
        h.stream = text.substr(at + 7, text.find_first_of("\r\n", at) - at - 7);
    const std::size_t summary = text.rfind("Summary:");
    if (std::size_t at = text.find("I:", summary);
        summary != std::string::npos && at != std::string::npos)
        h.lufs = std::strtod(text.c_str() + at + 2, nullptr);
    int hours = 0, minutes = 0;
    double seconds = 0;
    if (std::size_t at = text.rfind("time=");
        at != std::string::npos &&
        std::sscanf(text.c_str() + at, "time=%d:%d:%lf", &hours, &minutes, &seconds) == 3)
        h.seconds = hours * 3600 + minutes * 60 + seconds;
    return h;
}

// QUAVERIX.exe as a player drives it: clicks on its file list and buttons, its boxes read
// and answered from outside.
struct Driven {
    RealExe& exe;
    HWND window = nullptr;

    // A click on the file `name` in the file list: the file goes into the current slot.
    void Pick(const std::string& name) {
        int index = -1;
        HWND list = FileListWith(window, Wide(name), index);
        ASSERT_TRUE(list) << name << " is not in the file list";
        const int top = static_cast<int>(SendMessageW(list, LB_GETTOPINDEX, 0, 0));
        const int height = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
        PostClick(list, 8, (index - top) * height + height / 2);
    }
    void Press(const std::string& caption) {
        HWND button = ChildOf(window, L"Button", caption);
        ASSERT_TRUE(button) << "no button " << caption;
        PostMessageW(button, BM_CLICK, 0, 0);
    }
    // The next box: its text; answered with `button`.
    std::string Box(int button = IDOK) {
        HWND box = exe.WaitFor(L"#32770");
        if (!box) return "(no box)";
        std::string text = BoxText(box);
        Answer(box, button);
        return text;
    }
    // Once the program has finished what it was doing (a message sent to its window is
    // answered only then, or inside a box): the text of a box it then shows (answered), or
    // "". Files are read only after this: a reader must not hold a file the program is
    // replacing.
    std::string Settle() {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 15000, &result);
        HWND box = exe.WaitFor(L"#32770", 1);
        if (!box) return "";
        std::string text = BoxText(box);
        Answer(box, IDOK);
        return text;
    }
    // "コピー開始": its question, then one box for each slot's copy (which names the
    // file), and no report.
    void Copy(std::initializer_list<std::string> tunes) {
        Press("コピー開始");
        EXPECT_NE(Box().find("ファイルのコピーを開始します"), std::string::npos);
        for (const std::string& tune : tunes) {
            const std::string shown = Box();
            EXPECT_NE(shown.find(tune), std::string::npos) << shown;
        }
        EXPECT_EQ(Settle(), "");
    }
    // The open or save box that comes next: `path` typed in, and OK; true once it has gone.
    bool FileBox(const std::string& path) {
        HWND box = exe.WaitFor(L"#32770");
        EXPECT_TRUE(box) << "no file box";
        HWND name = GetDlgItem(box, 0x480);  // edt1
        if (!name) name = GetDlgItem(box, 0x47C);  // cmb13
        EXPECT_TRUE(name) << "no file name box";
        if (!name) return false;
        SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(path).c_str()));
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        return Until([&] { return !IsWindow(box); });
    }
    // "Bat作成": the file name typed into the save box.
    void Batch(const std::string& bat) {
        Press("Bat作成");
        ASSERT_TRUE(FileBox(bat));
        EXPECT_TRUE(Until([&] { return Exists(bat); }));
        EXPECT_EQ(Settle(), "");
    }
    // "元に戻す" on the settings tab: confirmed; the text of the box that ends it.
    std::string Restore() {
        HWND strip = ChildOf(window, WC_TABCONTROLW, "");
        if (!strip) return "(no tab strip)";
        PostMessageW(strip, WM_KEYDOWN, VK_RIGHT, 0);
        PostMessageW(strip, WM_KEYUP, VK_RIGHT, 0xC0000001);
        if (!Until([&] { return ChildOf(window, L"Button", "元に戻す") != nullptr; }))
            return "(no 元に戻す)";
        Press("元に戻す");
        const std::string question = Box();
        EXPECT_NE(question.find("コピー先フォルダのファイルを元に戻します"), std::string::npos)
            << question;
        std::string said = Box();
        PostMessageW(strip, WM_KEYDOWN, VK_LEFT, 0);
        PostMessageW(strip, WM_KEYUP, VK_LEFT, 0xC0000001);
        return said;
    }
};

}  // namespace wintest
