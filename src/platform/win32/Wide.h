// CP932 <-> UTF-16 at the Windows boundary. The code page is ours, never the system's.
#pragma once

#include <windows.h>

#include <string>

#include "platform/text/Cp932.h"

namespace win32 {

inline std::wstring W(const std::string& cp932) {
    std::u16string u = text::ToUtf16(cp932);
    return std::wstring(u.begin(), u.end());
}

// A name as the system spells it (no code page involved).
inline std::wstring W(const std::u16string& real) { return std::wstring(real.begin(), real.end()); }

inline std::string A(const wchar_t* wide, std::size_t n) {
    return text::FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(wide), n));
}

inline std::string A(const std::wstring& wide) { return A(wide.c_str(), wide.size()); }

// The shell and the common dialogs are loaded when first used: they cost start-up time
// and most runs of the program need neither before the player asks.
template <class Fn>
Fn Late(const wchar_t* dll, const char* name) {
    HMODULE module = LoadLibraryW(dll);
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
}

// The function `name` of a loaded module, as the type of `f`; null when it has none.
template <typename F>
void Take(HMODULE module, const char* name, F& f) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

inline std::wstring WindowTextW(HWND hwnd) {
    int n = GetWindowTextLengthW(hwnd);
    std::wstring buffer(static_cast<std::size_t>(n) + 1, L'\0');
    n = GetWindowTextW(hwnd, buffer.data(), n + 1);
    buffer.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return buffer;
}

}  // namespace win32
