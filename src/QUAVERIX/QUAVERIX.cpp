// The program entry: the application, its title, the main window and the event loop.
#include <windows.h>

#include <cstdlib>

#include "mainform/MainForm.h"
#include "platform/ui/Application.h"
#include "platform/win32/NativeForm.h"
#include "platform/win32/Win32System.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
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
