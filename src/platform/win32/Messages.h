// Typed one-line wrappers for the messages the peers send more than twice, so a call says
// what it does and the casts live here once.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace win32 {

inline void SetFont(HWND h, HFONT font, bool redraw = true) {
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
}

inline void SetRedraw(HWND h, bool on) { SendMessageW(h, WM_SETREDRAW, on ? TRUE : FALSE, 0); }

inline void SetChecked(HWND button, bool checked) {
    SendMessageW(button, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// The selected line of a list box, combo box or tab control (-1 for none).
inline int ListSelection(HWND list) {
    return static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
}
inline int ComboSelection(HWND combo) {
    return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
}
inline int TabSelection(HWND tab) {
    return static_cast<int>(SendMessageW(tab, TCM_GETCURSEL, 0, 0));
}
inline void SelectListLine(HWND list, int index) {
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}
inline void SelectComboLine(HWND combo, int index) {
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}
inline void SelectTab(HWND tab, int index) {
    SendMessageW(tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
}

// An edit box's selection, in UTF-16 units.
struct EditRange {
    DWORD start = 0, end = 0;
};
inline EditRange EditSelection(HWND edit) {
    EditRange r;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&r.start),
                 reinterpret_cast<LPARAM>(&r.end));
    return r;
}
inline void SetEditSelection(HWND edit, EditRange r) {
    SendMessageW(edit, EM_SETSEL, r.start, r.end);
}

// True while the key is held down (GetKeyState's high bit).
inline bool KeyHeld(int vk) { return (GetKeyState(vk) & 0x8000) != 0; }

inline void SetTipWidth(HWND tooltip, int pixels) {
    SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, pixels);
}

}  // namespace win32
