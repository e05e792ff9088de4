// What the benchmarks on real files share: the real system with the exe folder moved into
// the benchmark's folder and every box answered at once, a whole-file write, bytes that
// differ from seed to seed, and a file's length as the system decodes it.
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

// `size` bytes of a xorshift stream: no two seeds alike, nothing a disk could compress.
inline std::string Bytes(int seed, std::size_t size) {
    std::string out(size, '\0');
    unsigned x = 2463534242u + static_cast<unsigned>(seed) * 7919u;
    for (char& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return out;
}

// Seconds of audio in `path` as `system` decodes it (0 when it cannot).
inline double DecodedSeconds(sys::System& system, const std::string& path) {
    double seconds = 0;
    system.DecodeAudio(path, [&](const float*, std::size_t frames, int, int rate) {
        seconds += static_cast<double>(frames) / rate;
        return true;
    });
    return seconds;
}
