#include "platform/win32/Paint.h"

namespace win32 {

void PaintRow(HDC dc, const RECT& fill, bool selected, const std::wstring& text,
              const RECT& textArea, COLORREF textColor) {
    FillRect(dc, &fill, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, selected                   ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                     : textColor != CLR_INVALID ? textColor
                                                : GetSysColor(COLOR_WINDOWTEXT));
    RECT r = textArea;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

}  // namespace win32
