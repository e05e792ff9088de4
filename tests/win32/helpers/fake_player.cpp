// A stand-in for a music player: appends what it was started with to the file named by
// QX_PLAYER_OUT, as UTF-8 lines, and exits at once.
//   cmd=<the whole command line>
//   argc=<n>
//   arg=<each argument as CommandLineToArgvW splits it>   (n lines)
//   end
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "HelperText.h"

int main() {
    wchar_t target[MAX_PATH * 2];
    DWORD len = GetEnvironmentVariableW(L"QX_PLAYER_OUT", target, MAX_PATH * 2);
    if (len == 0 || len >= MAX_PATH * 2) return 2;

    const wchar_t* line = GetCommandLineW();
    std::string record = "cmd=" + helper::Utf8(line) + "\n";
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(line, &argc);
    record += "argc=" + std::to_string(argc) + "\n";
    for (int i = 0; argv && i < argc; ++i) record += "arg=" + helper::Utf8(argv[i]) + "\n";
    if (argv) LocalFree(argv);
    record += "end\n";

    // Another start may be writing at the same moment: wait for it, then append whole.
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE h = CreateFileW(target, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            BOOL ok =
                WriteFile(h, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
            CloseHandle(h);
            return ok && written == record.size() ? 0 : 3;
        }
        Sleep(25);
    }
    return 4;
}
