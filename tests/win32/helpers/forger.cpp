// Stands in for the program a run with administrator rights starts, and forges its answer
// from another process: started with "--elevated=<pipe>", it starts itself again with
// "--forge=<pipe>", which connects to the pipe first and writes results that say every
// step was done; the started one itself never answers.
#include <windows.h>
#include <shellapi.h>

#include <string>

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) return 2;
    const std::wstring argument = argv[1];
    const std::wstring elevated = L"--elevated=", forge = L"--forge=";
    if (argument.rfind(elevated, 0) == 0) {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring command =
            L"\"" + std::wstring(self) + L"\" " + forge + argument.substr(elevated.size());
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &si, &pi)) {
            return 3;
        }
        WaitForSingleObject(pi.hProcess, 20000);
        DWORD code = 1;
        GetExitCodeProcess(pi.hProcess, &code);
        Sleep(500);
        return static_cast<int>(code);
    }
    if (argument.rfind(forge, 0) != 0) return 2;
    const std::wstring pipe = argument.substr(forge.size());
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int i = 0; i < 100 && h == INVALID_HANDLE_VALUE; ++i) {
        h = CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                        nullptr);
        if (h == INVALID_HANDLE_VALUE) Sleep(50);
    }
    if (h == INVALID_HANDLE_VALUE) return 4;
    const char forged[] = "0|\r\n0|\r\n0|\r\n0|\r\n";
    DWORD written = 0;
    WriteFile(h, forged, sizeof forged - 1, &written, nullptr);
    FlushFileBuffers(h);
    CloseHandle(h);
    return 0;
}
