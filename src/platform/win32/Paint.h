// Device contexts and selected GDI objects held for a scope, and the one way a selected or
// plain line of a list is painted.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace win32 {

// A window's DC (or the screen's, for a null window), released at the end of the scope.
class WindowDC {
public:
    explicit WindowDC(HWND h) : hwnd_(h), dc_(GetDC(h)) {}
    ~WindowDC() {
        if (dc_) ReleaseDC(hwnd_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    operator HDC() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// An object selected into a DC for a scope; the one it replaced goes back at the end.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~Selected() {
        if (old_) SelectObject(dc_, old_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A line of a list: `fill` in the highlight colour when selected (else the window's),
// then the text in the matching colour, on one line, centred in the height of `textArea`
// and cut with an ellipsis.
// `textColor`, when given, is the text's colour on a line that is not selected.
void PaintRow(HDC dc, const RECT& fill, bool selected, const std::wstring& text,
              const RECT& textArea, COLORREF textColor = CLR_INVALID);

}  // namespace win32
