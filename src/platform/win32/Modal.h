// The application made modal while a handler waits on something of the system's: a box,
// a prompt, a run with administrator rights.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/win32/Win32System.h"

namespace win32 {

// While a box or prompt is open the whole application is modal, as Windows makes a box's
// owner: every other window of this thread is disabled too (the taskbar window
// included), and the form drops what still reaches it (see NativeForm).
class ModalScope {
public:
    ModalScope(Win32System& system, HWND parent) : system_(system), parent_(parent) {
        ++system_.modalDepth;
        EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(this));
        for (HWND h : disabled_) EnableWindow(h, FALSE);
    }
    ~ModalScope() {
        for (HWND h : disabled_) {
            if (IsWindow(h)) EnableWindow(h, TRUE);
        }
        --system_.modalDepth;
    }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    static BOOL CALLBACK Collect(HWND h, LPARAM self) {
        auto* scope = reinterpret_cast<ModalScope*>(self);
        // The box disables (and enables again) its own owner.
        if (h != scope->parent_ && IsWindowEnabled(h)) scope->disabled_.push_back(h);
        return TRUE;
    }
    Win32System& system_;
    HWND parent_;
    std::vector<HWND> disabled_;
};

}  // namespace win32
