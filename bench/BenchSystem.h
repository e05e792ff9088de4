// What the benchmarks that drive the form on real files share: the real system with the
// exe folder moved into the benchmark's folder and every box answered at once, and a
// whole-file write.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/Win32System.h"

class BenchSystem : public win32::Win32System {
public:
    std::string exe;
    int boxes = 0;
    std::string ExeFolder() override { return exe; }
    sys::BoxResult ShowBox(sys::BoxKind, const std::string&, const std::string&) override {
        ++boxes;
        return sys::BoxResult::Ok;
    }
};

inline void Write(const std::wstring& path, const std::string& data) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &n, nullptr);
    CloseHandle(h);
}
