// Runs with administrator rights: this program started again by the shell's "runas" for a
// job the player's rights could not do, and that run's side. The job travels on the
// command line (fixed once the player has said yes to the system's prompt); the results
// come back over a named pipe of this process's, which the elevated side opens as a client
// that cannot be impersonated, so neither side can be steered into writing elsewhere.
#include <windows.h>
#include <shellapi.h>

#include "elevated/Job.h"
#include "platform/win32/Modal.h"
#include "platform/win32/Scoped.h"
#include "platform/win32/Wide.h"
#include "platform/win32/Win32System.h"

namespace win32 {
namespace {

constexpr wchar_t kPipePrefix[] = L"\\\\.\\pipe\\QUAVERIX-";
constexpr DWORD kPipeBuffer = 64 * 1024;

std::wstring NewPipeName() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return kPipePrefix + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(now.QuadPart);
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Everything the client writes into `pipe` (overlapped) until it closes, while `process`
// runs; the window is kept drawn meanwhile (it takes no input: the caller is modal).
std::string Collect(HANDLE pipe, HANDLE process) {
    KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov{};
    ov.hEvent = event.Get();
    char buffer[4096];
    std::string out;
    bool connected = ConnectNamedPipe(pipe, &ov) || GetLastError() == ERROR_PIPE_CONNECTED;
    bool pending = !connected && GetLastError() == ERROR_IO_PENDING;
    bool exited = false;
    for (;;) {
        if (connected && !pending) {
            // A read done at once is taken here; one that waits is waited for below.
            DWORD got = 0;
            if (ReadFile(pipe, buffer, sizeof buffer, &got, &ov)) {
                out.append(buffer, got);
                continue;
            }
            if (GetLastError() != ERROR_IO_PENDING) break;  // the writer has closed its end
            pending = true;
        }
        if (!pending) break;  // no connection could be waited for
        HANDLE waits[2] = {ov.hEvent, process};
        const DWORD n = exited ? 1 : 2;
        // Once the process is gone, what it wrote is in the pipe: read on until it says so.
        DWORD r = MsgWaitForMultipleObjects(n, waits, FALSE, exited ? 1000 : INFINITE, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) {
            DWORD got = 0;
            pending = false;
            BOOL ok = GetOverlappedResult(pipe, &ov, &got, FALSE);
            if (!connected) {
                connected = ok || GetLastError() == ERROR_PIPE_CONNECTED;
                if (!connected) break;
            } else if (ok) {
                out.append(buffer, got);
            } else {
                break;  // the writer has closed its end
            }
        } else if (r == WAIT_OBJECT_0 + 1 && !exited) {
            exited = true;
        } else if (r == WAIT_OBJECT_0 + n) {
            PumpMessages();
        } else {
            break;  // gone without a word more
        }
    }
    if (pending) {
        CancelIo(pipe);
        DWORD got = 0;
        GetOverlappedResult(pipe, &ov, &got, TRUE);
    }
    return out;
}

}  // namespace

std::wstring Win32System::ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) return path.substr(0, n);
        path.resize(path.size() * 2);
    }
}

sys::Elevation Win32System::RunElevated(const std::string& job, std::string& results) {
    using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
    static const auto shellExecuteEx = Late<ShellExecuteExFn>(L"shell32.dll", "ShellExecuteExW");
    results.clear();
    if (!shellExecuteEx) return sys::Elevation::Failed;
    const std::wstring pipeName = NewPipeName();
    KernelHandle pipe(CreateNamedPipeW(
        pipeName.c_str(),
        PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
        kPipeBuffer, 0, nullptr));
    if (!pipe) return sys::Elevation::Failed;
    const std::wstring program = ProgramPath();
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
    // One argument; it ends with '|', so no backslash comes before the closing quote.
    const std::wstring parameters =
        L"\"" + W(std::string(elevated::kArgument)) + pipeName + L"|" + W(job) + L"\"";
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.c_str();  // absolute: the other account's current folder differs
    info.nShow = SW_HIDE;
    ModalScope modal(*this, nullptr);
    if (!shellExecuteEx(&info)) {
        return GetLastError() == ERROR_CANCELLED ? sys::Elevation::Declined
                                                 : sys::Elevation::Failed;
    }
    if (!info.hProcess) return sys::Elevation::Failed;
    KernelHandle process(info.hProcess);
    results = Collect(pipe.Get(), process.Get());
    return results.empty() ? sys::Elevation::Failed : sys::Elevation::Done;
}

int RunElevatedJob(const std::wstring& argument) {
    const std::wstring prefix = W(std::string(elevated::kArgument));
    const std::wstring rest = argument.substr(prefix.size());
    const std::size_t bar = rest.find(L'|');
    const std::wstring pipeName = rest.substr(0, bar);
    if (bar == std::wstring::npos || pipeName.rfind(kPipePrefix, 0) != 0 ||
        pipeName.find_first_of(L"\\/", wcslen(kPipePrefix)) != std::wstring::npos) {
        return 2;
    }
    std::optional<elevated::Job> job = elevated::ParseJob(A(rest.substr(bar + 1)));
    if (!job) return 2;
    // The answer goes to the one that asked, or nothing is done. The channel is opened for
    // identification only: its server cannot act with this process's rights.
    WaitNamedPipeW(pipeName.c_str(), 5000);
    KernelHandle channel(CreateFileW(pipeName.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (!channel) return 3;
    Win32System system;
    const std::string answer = elevated::FormatResults(elevated::Run(system, *job));
    DWORD written = 0;
    bool ok = WriteFile(channel.Get(), answer.data(), static_cast<DWORD>(answer.size()), &written,
                        nullptr) &&
              written == answer.size();
    FlushFileBuffers(channel.Get());
    return ok ? 0 : 4;
}

}  // namespace win32
