// Test support under Wine: a temporary folder on the real file system, the real
// Win32 system with the exe folder moved there and boxes answered by script, and the
// main window built from real Win32 controls.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mainform/MainForm.h"
#include "platform/win32/NativeForm.h"
#include "platform/win32/Win32System.h"

namespace wintest {

// A fresh folder under %TEMP%, removed with everything in it at the end.
class TempFolder {
public:
    explicit TempFolder(const std::string& hint = "qx");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }  // CP932, no trailing backslash
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Names as shown (UTF-16) in CP932, "?" where it has no character.
std::string Cp(const std::u16string& name);
std::vector<std::string> Cp(const std::vector<std::u16string>& names);

// Whole-file helpers on CP932 paths (the test's own, independent of the program's).
bool WriteBytes(const std::string& path, const std::string& data);
std::string ReadBytes(const std::string& path);  // "" when missing
// The same on a path as the system spells it, for names CP932 cannot hold.
bool WriteBytes(const std::wstring& path, const std::string& data);
std::string ReadBytes(const std::wstring& path);
bool Exists(const std::string& path);
void MakeFolder(const std::string& path);
void RemoveTree(const std::string& path);
std::wstring Wide(const std::string& cp932);

// The real system, but user.ini and the list file live in a folder of the test's, and
// message boxes and prompts are answered by script unless realBoxes is set.
class TestSystem : public win32::Win32System {
public:
    std::string exeFolder;  // with trailing backslash
    bool realBoxes = false;
    DWORD boxDelay = 0;  // milliseconds each scripted box stays open
    struct Box {
        sys::BoxKind kind;
        std::string caption, text;
        bool ownerShown = false;  // the main window was visible when the box came up
    };
    std::vector<Box> boxes;
    std::deque<sys::BoxResult> boxAnswers;  // empty: Ok
    std::deque<std::optional<std::string>> saveAnswers;  // empty or nullopt: cancelled
    std::deque<std::optional<std::string>> openAnswers;

    std::function<void()> onDrives;  // runs before every reading of the drives
    std::function<void(const Box&)> onBox;  // runs when a box opens, before it is answered
    std::function<void()> onDecode;  // runs before every decoding through this system

    // The program a run with administrator rights starts: `program`, or the built
    // QUAVERIX.exe when it is empty.
    std::wstring program;
    std::wstring ProgramPath() override;

    std::string ExeFolder() override { return exeFolder; }
    std::vector<sys::DriveInfo> Drives() override {
        if (onDrives) onDrives();
        return Win32System::Drives();
    }
    bool DecodeAudio(const std::string& path, const sys::PcmSink& sink,
                     sys::FileError* why = nullptr) override {
        if (onDecode) onDecode();
        return Win32System::DecodeAudio(path, sink, why);
    }
    sys::BoxResult ShowBox(sys::BoxKind kind, const std::string& caption,
                           const std::string& text) override;
    bool SaveFileDialog(const sys::SaveFileRequest& request, std::string& path) override;
    bool OpenFileDialog(const sys::OpenFileRequest& request, std::string& path) override;
};

// A small MP3 the content check takes as one: six MPEG-1 Layer III frames (128 kbit/s,
// 44.1 kHz, stereo) whose bodies carry `tag` between bytes a text-mode copy would not carry
// over whole (NUL, CR LF, ^Z, a CP932 lead byte before 0x5C).
std::string Mp3Bytes(const std::string& tag);
// A small WAVE (PCM, 8 kHz, 16-bit, mono) whose samples carry `tag`.
std::string WaveBytes(const std::string& tag);

// A path's Unix name (Wine's), "" when it has none.
std::wstring UnixPath(const std::string& path);
// Runs a Linux shell command (Wine starts Unix programs) and waits until it has
// succeeded; false when it failed or took over 15 s.
bool RunLinux(const std::wstring& command);

// Makes a folder immutable (chattr +i, through the Linux shell; Wine reaches it by the
// Unix file name) or not: the stand-in for a folder under Program Files, which refuses
// writes even to root. Waits until the change has taken effect.
bool SetImmutable(const std::string& folder, bool on);

// The folder of this test program, where the helper programs are built.
std::wstring HelperPath(const wchar_t* name);

// Starts `command` (in `folder`, when given); its process handle (the caller closes it),
// or null when it did not start.
HANDLE StartProcess(std::wstring command, const std::string& folder = "");

// Runs a batch file as the player does, `cmd.exe /c "<bat>"` in `folder`, and waits for it
// (at most a minute); its output goes to `log`. cmd.exe's exit code.
DWORD RunBatch(const std::string& bat, const std::string& folder, const std::string& log);

class RealForm;
// Runs `command` to its end (at most 30 s), serving the window's messages meanwhile, as a
// program that talks to the window needs. False when it could not start.
bool RunServing(RealForm& f, std::wstring command);

// The main window on real controls. The process's current folder is set to `start`
// before the window is built, so the browsing lists start there.
class RealForm {
public:
    explicit RealForm(const std::string& exeFolder, const std::string& start = "");
    ~RealForm();

    TestSystem system;
    ui::Application app{system};
    std::unique_ptr<TFormMain> form;
    std::unique_ptr<win32::NativeForm> window;

    HWND Handle() const { return window->Handle(); }
    HWND H(const ui::Control& c) const { return window->HandleOf(c); }
    // Dispatches every waiting message through the window's own key handling.
    void Pump();
    // True once the window has closed (the event loop would end).
    bool QuitPosted() const { return quit_; }
    // The player's click on a tab of the strip, as the mouse delivers it.
    void ClickTab(int index);
    // A real press and release of the left mouse button at a point of a window's client
    // area, through the system's input queue; the window's messages are served until
    // `done` holds (or 5 s have passed).
    void MouseClick(HWND h, POINT at, const std::function<bool()>& done);
    // Sends a key press to the focused window as the keyboard would.
    void Key(WORD vk, bool alt = false, bool ctrl = false, bool shift = false);

private:
    bool quit_ = false;
};

}  // namespace wintest
