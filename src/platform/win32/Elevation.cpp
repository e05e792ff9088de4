// The carrier between a run of QUAVERIX and the one it starts with administrator rights:
// the start with the shell's "runas", and the named pipe both talk over. It knows nothing
// of what they say (sys::Conversation gives the bytes to send); it only makes sure of who
// is on the other end. The asking side's pipe exists before the run starts, is served to
// the started process only, and the run takes it only from its own parent running the
// same exe.
#include "platform/win32/Elevation.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <vector>

#include "platform/system/Peer.h"
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

// One overlapped operation on the pipe at a time of its kind (connect, read, write).
struct Pending {
    KernelHandle event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED ov{};
    bool busy = false;
    OVERLAPPED* Begin() {
        ov = OVERLAPPED{};
        ov.hEvent = event.Get();
        return &ov;
    }
    // After a call that may go on in the background: true when it is under way or done
    // (its event then tells), false when it failed at once.
    bool Started(BOOL ok) {
        busy = ok || GetLastError() == ERROR_IO_PENDING;
        return busy;
    }
    // Waits for the next client; one already there (ERROR_PIPE_CONNECTED, or ERROR_NO_DATA
    // when it also wrote and closed) is looked at as if it had just come.
    bool Listen(HANDLE pipe) {
        if (Started(ConnectNamedPipe(pipe, Begin()))) return true;
        const DWORD code = GetLastError();
        if (code != ERROR_PIPE_CONNECTED && code != ERROR_NO_DATA) return false;
        SetEvent(event.Get());
        busy = true;
        return true;
    }
    void Cancel(HANDLE pipe) {
        if (!busy) return;
        CancelIoEx(pipe, &ov);
        DWORD got = 0;
        GetOverlappedResult(pipe, &ov, &got, TRUE);
        busy = false;
    }
};

// The conversation with the started process over `pipe`, whose connecting is already
// under way in `connect`. A client from any other process is sent away and the pipe
// waits again, so only the started process gets the bytes and only its answer counts.
class Talking {
public:
    Talking(HANDLE pipe, Pending& connect, HANDLE process, sys::Conversation& talk)
        : pipe_(pipe),
          connect_(connect),
          process_(process),
          started_(GetProcessId(process)),
          talk_(talk) {}
    ~Talking() {
        connect_.Cancel(pipe_);
        read_.Cancel(pipe_);
        write_.Cancel(pipe_);
    }

    // Until the process has answered and closed its end, or is gone. The window is kept
    // drawn meanwhile (it takes no input: the caller is modal).
    std::string Run() {
        for (;;) {
            if (!connect_.busy && !connected_) break;  // no connection can come any more
            const std::vector<HANDLE> waits = Waits();
            if (waits.empty()) break;
            const DWORD n = static_cast<DWORD>(waits.size());
            // Once the process is gone its end is closed: what it wrote is read on until then.
            const DWORD r = MsgWaitForMultipleObjects(n, waits.data(), FALSE,
                                                      exited_ ? 2000 : INFINITE, QS_ALLINPUT);
            if (r == WAIT_OBJECT_0 + n) {
                PumpMessages();
                continue;
            }
            if (r >= WAIT_OBJECT_0 + n) break;  // gone without a word more
            if (!Handle(waits[r - WAIT_OBJECT_0])) break;
            SendMore();
            if (connected_ && !read_.busy) break;
        }
        return answer_;
    }

private:
    std::vector<HANDLE> Waits() {
        std::vector<HANDLE> waits;
        if (connect_.busy) waits.push_back(connect_.event.Get());
        if (read_.busy) waits.push_back(read_.event.Get());
        if (write_.busy) waits.push_back(write_.event.Get());
        if (!exited_) waits.push_back(process_);
        return waits;
    }

    // What one finished wait means; false when the conversation is over.
    bool Handle(HANDLE fired) {
        DWORD got = 0;
        if (fired == process_) {
            exited_ = true;
            if (!connected_) connect_.Cancel(pipe_);
        } else if (fired == connect_.event.Get()) {
            Connected();
        } else if (fired == read_.event.Get()) {
            read_.busy = false;
            if (!GetOverlappedResult(pipe_, &read_.ov, &got, FALSE)) return false;  // end closed
            answer_.append(in_, got);
            ReadMore();
        } else if (fired == write_.event.Get()) {
            write_.busy = false;
            if (!GetOverlappedResult(pipe_, &write_.ov, &got, FALSE)) more_ = false;
            sent_ += got;
        }
        return true;
    }

    // A client came: the started process is talked to, any other sent away.
    void Connected() {
        connect_.busy = false;
        DWORD got = 0;
        const BOOL ok = GetOverlappedResult(pipe_, &connect_.ov, &got, FALSE);
        const DWORD code = ok ? 0 : GetLastError();
        ULONG client = 0;
        // A client that wrote and closed at once leaves ERROR_NO_DATA: it may have
        // written all the same.
        const bool came = ok || code == ERROR_PIPE_CONNECTED || code == ERROR_NO_DATA;
        if (came && GetNamedPipeClientProcessId(pipe_, &client) && client == started_) {
            connected_ = true;
            ReadMore();
        } else if (!exited_) {
            DisconnectNamedPipe(pipe_);  // a stranger's bytes are dropped with it
            connect_.Listen(pipe_);
        }
    }

    void ReadMore() { read_.Started(::ReadFile(pipe_, in_, sizeof in_, nullptr, read_.Begin())); }

    // The next bytes go once the last have; no more once the other end stops taking them.
    void SendMore() {
        if (!connected_ || !more_ || write_.busy) return;
        if (sent_ == out_.size()) {
            sent_ = 0;
            more_ = talk_.Next(out_);
        }
        if (more_ && sent_ < out_.size()) {
            more_ = write_.Started(::WriteFile(pipe_, out_.data() + sent_,
                                               static_cast<DWORD>(out_.size() - sent_), nullptr,
                                               write_.Begin()));
        }
    }

    HANDLE pipe_;
    Pending& connect_;
    HANDLE process_;
    const DWORD started_;
    sys::Conversation& talk_;
    Pending read_, write_;
    char in_[4096];
    std::string out_, answer_;
    std::size_t sent_ = 0;
    bool connected_ = false, exited_ = false, more_ = true;
};

std::string Talk(HANDLE pipe, Pending& connect, HANDLE process, sys::Conversation& talk) {
    return Talking(pipe, connect, process, talk).Run();
}

FILETIME StartOf(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    return created;
}

std::uint64_t Ticks(const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// What the system tells of a process, opened for that alone.
sys::ProcessFacts FactsOf(HANDLE process, DWORD id) {
    sys::ProcessFacts f;
    f.id = id;
    wchar_t image[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(process, 0, image, &size)) return f;
    f.image.assign(reinterpret_cast<const char16_t*>(image), size);
    f.started = Ticks(StartOf(process));
    f.known = f.started != 0;
    return f;
}

DWORD ParentOf(DWORD id) {
    KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == id) return entry.th32ParentProcessID;
    }
    return 0;
}

}  // namespace

sys::Elevation Win32System::RunElevated(sys::Conversation& talk, std::string& answer) {
    using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
    static const auto shellExecuteEx = Late<ShellExecuteExFn>(L"shell32.dll", "ShellExecuteExW");
    answer.clear();
    if (!shellExecuteEx) return sys::Elevation::Failed;
    const std::wstring pipeName = NewPipeName();
    // FILE_FLAG_FIRST_PIPE_INSTANCE: no other program can have made this name first.
    KernelHandle pipe(CreateNamedPipeW(
        pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
        kPipeBuffer, kPipeBuffer, 0, nullptr));
    if (!pipe) return sys::Elevation::Failed;
    // Listening before the run starts: however soon it connects, it is seen.
    Pending connect;
    if (!connect.Listen(pipe.Get())) return sys::Elevation::Failed;
    const std::wstring program = ProgramPath();
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
    // One argument, quoted; the channel's name holds no quote, blank or backslash at its end.
    const std::wstring parameters = L"\"" + W(talk.Argument(A(pipeName))) + L"\"";
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
        const DWORD code = GetLastError();
        connect.Cancel(pipe.Get());
        return code == ERROR_CANCELLED ? sys::Elevation::Declined : sys::Elevation::Failed;
    }
    if (!info.hProcess) {
        connect.Cancel(pipe.Get());
        return sys::Elevation::Failed;
    }
    KernelHandle process(info.hProcess);
    answer = Talk(pipe.Get(), connect, process.Get(), talk);
    return answer.empty() ? sys::Elevation::Failed : sys::Elevation::Done;
}

std::wstring Win32System::ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) return path.substr(0, n);
        path.resize(path.size() * 2);
    }
}

bool ParentChannel::Open(const std::wstring& name) {
    const std::size_t prefix = wcslen(kPipePrefix);
    if (name.size() <= prefix || name.compare(0, prefix, kPipePrefix) != 0 ||
        name.find_first_of(L"\\/", prefix) != std::wstring::npos) {
        return false;
    }
    // Opened for identification only: its server cannot act with this process's rights.
    // Busy while another client holds it: the server sends that one away.
    for (int attempt = 0; attempt < 100 && !pipe_; ++attempt) {
        pipe_.Reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                nullptr));
        if (pipe_) break;
        if (GetLastError() != ERROR_PIPE_BUSY) return false;
        WaitNamedPipeW(name.c_str(), 100);
    }
    ULONG server = 0;
    if (!pipe_ || !GetNamedPipeServerProcessId(pipe_.Get(), &server)) {
        pipe_.Reset();
        return false;
    }
    sys::ProcessFacts self = FactsOf(GetCurrentProcess(), GetCurrentProcessId());
    self.parent = ParentOf(GetCurrentProcessId());
    KernelHandle other(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, server));
    const sys::ProcessFacts facts = other ? FactsOf(other.Get(), server) : sys::ProcessFacts{};
    if (!sys::IsOwnParent(self, facts)) pipe_.Reset();
    return static_cast<bool>(pipe_);
}

std::size_t ParentChannel::Read(char* data, std::size_t count) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 20));
    if (!pipe_ || !::ReadFile(pipe_.Get(), data, want, &got, nullptr)) return 0;
    return got;
}

bool ParentChannel::Write(std::string_view data) {
    while (pipe_ && !data.empty()) {
        DWORD written = 0;
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 20));
        if (!::WriteFile(pipe_.Get(), data.data(), part, &written, nullptr) || written == 0) {
            return false;
        }
        data.remove_prefix(written);
    }
    // Everything is read by the other side before this process ends.
    return pipe_ && FlushFileBuffers(pipe_.Get());
}

}  // namespace win32
