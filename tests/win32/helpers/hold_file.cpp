// Holds a file open without sharing, as a running game holds its music: opens the file
// named by its first argument, creates the file named by its second to say so, and waits
// until it is ended (at most a minute).
#include <windows.h>
#include <shellapi.h>

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;
    HANDLE held = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 3;
    HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 4;
    CloseHandle(ready);
    Sleep(60000);
    CloseHandle(held);
    return 0;
}
