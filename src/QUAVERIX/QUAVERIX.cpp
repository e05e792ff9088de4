// The program entry: the application, its title, the main window and the event loop.
#include <windows.h>

#include <cstdlib>

#include "QUAVERIX/ElevatedMode.h"
#include "elevated/Job.h"
#include "mainform/MainForm.h"
#include "platform/ui/Application.h"
#include "platform/win32/NativeForm.h"
#include "platform/win32/Wide.h"
#include "platform/win32/Win32System.h"

namespace {

// The one command-line argument QUAVERIX reads: everything after its own name, without
// the quotes around it.
std::wstring Argument() {
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        for (++p; *p && *p != L'"'; ++p) {
        }
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    std::wstring argument = p;
    if (argument.size() >= 2 && argument.front() == L'"' && argument.back() == L'"')
        argument = argument.substr(1, argument.size() - 2);
    return argument;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Started again with administrator rights for a job of the direct copy: no window.
    const std::wstring argument = Argument();
    if (argument.rfind(win32::W(std::string(elevated::kArgument)), 0) == 0) {
        return RunElevatedMode(argument);
    }
    win32::Win32System system;
    ui::Application application(system);
    application.title = "QUAVERIX";

    TFormMain form(application);
    win32::NativeForm window(application, form, system);
    if (!window.Create()) return 1;
    // FormCreate runs before the window is shown; an error in it is shown first.
    form.Create();
    window.Show();
    return window.Run();
}

// An exception that escapes everything ends the program quietly. Replacing the library's
// verbose handler keeps its symbol demangler (tens of KB) out of the exe.
#ifdef __GLIBCXX__
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif
