#include "platform/win32/Win32System.h"

#include <cstdio>

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "platform/paths/Paths.h"
#include "platform/text/Cp932.h"
#include "platform/win32/Modal.h"
#include "platform/win32/Scoped.h"
#include "platform/win32/Wide.h"

namespace win32 {
namespace {

constexpr DWORD kChunk = 1 << 20;

std::string MessageIn(DWORD code, DWORD language) {
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string out = n ? A(buffer, n) : std::string();
    if (buffer) LocalFree(buffer);
    while (!out.empty() && (out.back() == '\r' || out.back() == '\n' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

std::string LastErrorText(DWORD code) { return SystemMessage(code); }

// A failed call's error code as the player is told it.
bool Fail(sys::FileError* why, DWORD code) {
    if (why) {
        switch (code) {
            case ERROR_SHARING_VIOLATION:
            case ERROR_LOCK_VIOLATION:
            case ERROR_USER_MAPPED_FILE: *why = {sys::Fault::InUse, ""}; break;
            default: *why = {sys::Fault::Other, SystemMessage(code)}; break;
        }
    }
    return false;
}

bool Fail(sys::FileError* why, sys::Fault fault) {
    if (why) *why = {fault, ""};
    return false;
}

// A write into the destination refused by the system's security (the folder takes writes
// only from an administrator, as Program Files does): kept apart from every other failure
// so the copy can ask for the rights.
bool FailWrite(sys::FileError* why, DWORD code) {
    return code == ERROR_ACCESS_DENIED ? Fail(why, sys::Fault::NeedsRights) : Fail(why, code);
}

// A move over `target`, or its delete, refused with "access denied": Windows says so also
// when another program (the running game) holds the file open without delete sharing,
// where rights would not help. A probe that opens it for deletion tells the two apart.
bool FailReplace(sys::FileError* why, DWORD code, const std::wstring& target) {
    if (code == ERROR_ACCESS_DENIED) {
        KernelHandle probe(CreateFileW(
            target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!probe && GetLastError() == ERROR_SHARING_VIOLATION)
            return Fail(why, sys::Fault::InUse);
    }
    return FailWrite(why, code);
}

bool IsFolder(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// The folder part of a path ("C:\a\b.mp3" -> "C:\a\", "\\srv\s\x" -> "\\srv\s\").
std::wstring FolderOf(const std::wstring& path) {
    std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring(L".\\") : path.substr(0, cut + 1);
}

// Why a file at `target` cannot be written, checked before trying: the folder must exist,
// and a read-only or hidden file is refused as Windows refuses it (also where this
// process could write it anyway, as Wine running as root can). A file another program
// holds open without sharing is found by opening it for writing.
bool Writable(const std::wstring& target, sys::FileError* why) {
    DWORD a = GetFileAttributesW(target.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
        return IsFolder(FolderOf(target)) ? true : Fail(why, sys::Fault::FolderMissing);
    }
    switch (sys::CopyRefusal(a)) {
        case sys::Fault::None: break;
        case sys::Fault::TargetProtected: return Fail(why, sys::Fault::TargetProtected);
        default: return Fail(why, ERROR_ACCESS_DENIED);
    }
    KernelHandle h(CreateFileW(target.c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return h ? true : FailWrite(why, GetLastError());
}

bool WriteAll(HANDLE h, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        DWORD part = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, kChunk));
        DWORD written = 0;
        if (!::WriteFile(h, data.data() + done, part, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

// Pushes a closed file's bytes to the disk; 0, or the error code. Shared every way: a
// scanner that has just opened the new file must not fail the copy.
DWORD FlushToDisk(const std::wstring& path) {
    KernelHandle h(CreateFileW(path.c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (h && FlushFileBuffers(h.Get())) return 0;
    const DWORD code = GetLastError();
    return code ? code : ERROR_WRITE_FAULT;  // never 0: that would read as flushed
}

// The short name of the entry that `path` names, or "" when the system keeps none.
std::wstring ShortNameOf(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    FindHandle h(FindFirstFileExW(path.c_str(), FindExInfoStandard, &data, FindExSearchNameMatch,
                                  nullptr, 0));
    return h ? std::wstring(data.cAlternateFileName) : std::wstring();
}

}  // namespace

std::string SystemMessage(DWORD code) {
    std::string out = MessageIn(code, MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN));
    if (out.empty()) out = MessageIn(code, 0);
    return out.empty() ? "エラー " + std::to_string(code) : out;
}

std::string UsablePath(const std::wstring& path) {
    std::u16string_view wide(reinterpret_cast<const char16_t*>(path.data()), path.size());
    return paths::MakeUsable(wide,
                             [](const std::string& folder, const std::u16string& name) {
                                 std::wstring p = W(folder);
                                 if (!p.empty() && p.back() != L'\\') p += L'\\';
                                 return A(ShortNameOf(p + W(name)));
                             })
        .path;
}

Win32System::Win32System() {
    // A drive without a medium must give an error code, not the system's own dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

std::string Win32System::ExeFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::size_t cut = path.find_last_of(L'\\');
    return UsablePath(cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1));
}

std::string Win32System::CurrentFolder() {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring path(n, L'\0');
    n = GetCurrentDirectoryW(n, path.data());
    path.resize(n);
    return UsablePath(path);
}

bool Win32System::ReadFile(const std::string& path, std::string& data, sys::FileError* why) {
    KernelHandle h(CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
        DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                   ? Fail(why, sys::Fault::SourceMissing)
                   : Fail(why, code);
    }
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(h.Get(), &size) && size.QuadPart < (1LL << 30);
    DWORD code = ok ? 0 : ERROR_NOT_ENOUGH_MEMORY;
    if (ok) {
        // Read into the caller's string: one that is used again keeps its memory.
        data.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t done = 0;
        while (ok && done < data.size()) {
            DWORD got = 0;
            DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, kChunk));
            ok = ::ReadFile(h.Get(), data.data() + done, want, &got, nullptr) && got > 0;
            if (!ok) code = GetLastError() ? GetLastError() : ERROR_HANDLE_EOF;
            done += got;
        }
    }
    if (!ok) {
        data.clear();
        return Fail(why, code);
    }
    return true;
}

std::optional<std::uint64_t> Win32System::SizeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(W(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::optional<sys::FileStamp> Win32System::Stamp(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(W(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    return sys::FileStamp{
        (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
            data.ftLastWriteTime.dwLowDateTime};
}

bool Win32System::ReadPart(const std::string& path, std::uint64_t offset, std::size_t count,
                           std::string& data, sys::FileError* why) {
    data.clear();
    // Shared for deletion too: a file being read off the window's thread (measured, or
    // compared) must not stop a copy or a restore from moving its new version in place.
    KernelHandle h(CreateFileW(W(path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr));
    if (!h) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                   ? Fail(why, sys::Fault::SourceMissing)
                   : Fail(why, code);
    }
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(h.Get(), at, nullptr, FILE_BEGIN)) return Fail(why, GetLastError());
    data.resize(std::min<std::size_t>(count, kChunk));
    DWORD got = 0;
    bool ok = ::ReadFile(h.Get(), data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
    const DWORD code = ok ? 0 : GetLastError();
    data.resize(ok ? got : 0);
    return ok ? true : Fail(why, code);
}

bool Win32System::SaveFileAtomic(const std::string& path, const std::string& data,
                                 sys::FileError* why) {
    // A file that refuses writes on Windows (read-only) must refuse here too, also when
    // the process could replace it anyway (Wine as root).
    std::wstring target = W(path);
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (sys::SaveRefuses(attributes)) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Fail(why, ERROR_ACCESS_DENIED)
                                                       : Fail(why, sys::Fault::TargetProtected);
    }
    std::wstring temp = target + L".new~";
    KernelHandle h(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
        DWORD code = GetLastError();
        return code == ERROR_PATH_NOT_FOUND ? Fail(why, sys::Fault::FolderMissing)
                                            : Fail(why, code);
    }
    bool ok = WriteAll(h.Get(), data) && FlushFileBuffers(h.Get());
    DWORD code = ok ? 0 : GetLastError();
    h.Reset();  // closed before it is moved into place
    if (ok) {
        ok = MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!ok) code = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temp.c_str());
        return Fail(why, code);
    }
    return true;
}

namespace {

// The lock is the open handle itself: opened without sharing, so every other open of
// the file (another process, thread or handle) is refused with a sharing violation until
// it is closed. Windows closes it when the process ends, however it ends.
class HeldFile : public sys::Lock {
public:
    explicit HeldFile(HANDLE h) : h_(h) {}

private:
    KernelHandle h_;
};

}  // namespace

std::unique_ptr<sys::Lock> Win32System::LockFile(const std::string& path, unsigned waitMs,
                                                 sys::FileError* why) {
    const std::wstring file = W(path);
    const ULONGLONG until = GetTickCount64() + waitMs;
    for (;;) {
        HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return std::make_unique<HeldFile>(h);
        const DWORD code = GetLastError();
        if (code != ERROR_SHARING_VIOLATION && code != ERROR_LOCK_VIOLATION) {
            Fail(why, code);
            return nullptr;
        }
        if (GetTickCount64() >= until) {
            Fail(why, sys::Fault::InUse);
            return nullptr;
        }
        Sleep(10);
    }
}

sys::WriteStatus Win32System::CreateAndWrite(const std::string& path, const std::string& data) {
    std::wstring target = W(path);
    if (sys::CreateRefuses(GetFileAttributesW(target.c_str()))) {
        return sys::WriteStatus::CannotCreate;
    }
    KernelHandle h(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return sys::WriteStatus::CannotCreate;
    bool ok = WriteAll(h.Get(), data);
    return ok ? sys::WriteStatus::Ok : sys::WriteStatus::WriteFailed;
}

bool Win32System::CopyFileTo(const std::string& from, const std::string& to, bool failIfExists,
                             sys::FileError* why) {
    std::wstring source = W(from);
    std::wstring target = W(to);
    DWORD a = GetFileAttributesW(source.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY)) {
        return Fail(why, sys::Fault::SourceMissing);
    }
    if (failIfExists && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return Fail(why, ERROR_FILE_EXISTS);
    }
    if (!Writable(target, why)) return false;
    // Copied beside the target, then moved over it: a copy cut short (a full disk, a
    // killed process) never takes the place of the file that was there.
    std::wstring temp = target + L".quaverix~";
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(temp.c_str());
    if (!::CopyFileW(source.c_str(), temp.c_str(), FALSE)) {
        DWORD code = GetLastError();
        SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(temp.c_str());
        if (code == ERROR_FILE_NOT_FOUND) return Fail(why, sys::Fault::SourceMissing);
        // Denied: the side file could not be made, unless it is the source that is closed.
        KernelHandle readable(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
        return readable ? FailWrite(why, code) : Fail(why, code);
    }
    // CopyFile gives the copy the source's attributes: a read-only (or hidden, or system)
    // tune would make the game's file one that every later copy and restore refuses.
    const DWORD copied = GetFileAttributesW(temp.c_str());
    if (copied != INVALID_FILE_ATTRIBUTES &&
        (copied & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
        DWORD plain =
            copied & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        if (!SetFileAttributesW(temp.c_str(), plain ? plain : FILE_ATTRIBUTE_NORMAL)) {
            DWORD code = GetLastError();
            SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(temp.c_str());
            return FailWrite(why, code);
        }
    }
    // CopyFile leaves the bytes in the cache: moved over the target unflushed, a power cut
    // could leave the target a file whose bytes never reached the disk.
    if (const DWORD code = FlushToDisk(temp)) {
        SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(temp.c_str());
        return FailWrite(why, code);
    }
    if (!MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD code = GetLastError();
        SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(temp.c_str());
        return FailReplace(why, code, target);
    }
    return true;
}

namespace {

// The side file "<target>.quaverix~", written through one handle and moved over the
// target by Commit; removed when dropped before that.
class SideFile : public sys::Replacement {
public:
    SideFile(std::wstring target, std::wstring side, HANDLE h)
        : target_(std::move(target)), side_(std::move(side)), h_(h) {}
    ~SideFile() override {
        if (done_) return;
        h_.Reset();
        SetFileAttributesW(side_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(side_.c_str());
    }
    bool Write(std::string_view data, sys::FileError* why) override {
        std::size_t done = 0;
        while (done < data.size()) {
            DWORD part = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, kChunk));
            DWORD written = 0;
            if (!h_ || !::WriteFile(h_.Get(), data.data() + done, part, &written, nullptr) ||
                written == 0) {
                return Fail(why, h_ ? GetLastError() : ERROR_INVALID_HANDLE);
            }
            done += written;
        }
        return true;
    }
    bool Commit(sys::FileError* why) override {
        if (!h_ || !FlushFileBuffers(h_.Get())) return Fail(why, GetLastError());
        h_.Reset();  // closed before it is moved into place
        if (!MoveFileExW(side_.c_str(), target_.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return FailWrite(why, GetLastError());
        }
        done_ = true;
        return true;
    }

private:
    std::wstring target_, side_;
    KernelHandle h_;
    bool done_ = false;
};

}  // namespace

std::unique_ptr<sys::Replacement> Win32System::BeginReplace(const std::string& path,
                                                            sys::FileError* why) {
    std::wstring target = W(path);
    if (!Writable(target, why)) return nullptr;
    std::wstring side = target + L".quaverix~";
    SetFileAttributesW(side.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(side.c_str());
    // A new file, never one that is there (a link put in its place meanwhile included);
    // normal attributes whatever the source had.
    HANDLE h = CreateFileW(side.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        FailWrite(why, GetLastError());
        return nullptr;
    }
    return std::make_unique<SideFile>(std::move(target), std::move(side), h);
}

bool Win32System::RemoveFile(const std::string& path, sys::FileError* why) {
    std::wstring target = W(path);
    if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return Fail(why, sys::Fault::SourceMissing);
    }
    if (!Writable(target, why)) return false;
    if (!DeleteFileW(target.c_str())) return FailReplace(why, GetLastError(), target);
    // Wine reports a delete as done before the folder has allowed it (an immutable folder
    // refuses it afterwards, unseen): the file must really be gone. (On Windows a file still
    // open elsewhere is "delete pending" and no longer found either.)
    if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return FailWrite(why, ERROR_ACCESS_DENIED);
    }
    return true;
}

bool Win32System::CreateFolder(const std::string& path) {
    std::wstring folder = W(path);
    return CreateDirectoryW(folder.c_str(), nullptr) || IsFolder(folder);
}

bool Win32System::CanCreateIn(const std::string& folder) {
    // A file that goes with its handle: nothing is left, even if the process is killed.
    std::wstring probe = W(folder);
    if (!probe.empty() && probe.back() != L'\\') probe += L'\\';
    probe += L"quaverix-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    KernelHandle h(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return static_cast<bool>(h);
}

std::string Win32System::ProfileFolder(sys::UserFolder which) {
    if (which == sys::UserFolder::Windows) {
        wchar_t windows[MAX_PATH];
        UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
        return n == 0 || n >= MAX_PATH ? std::string() : UsablePath(std::wstring(windows, n));
    }
    const wchar_t* name = which == sys::UserFolder::RoamingAppData ? L"APPDATA" : L"LOCALAPPDATA";
    wchar_t value[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return std::string();
    return UsablePath(std::wstring(value, n));
}

std::uint32_t Win32System::Attributes(const std::string& path) {
    DWORD a = GetFileAttributesW(W(path).c_str());
    return a == INVALID_FILE_ATTRIBUTES ? sys::kNoFile : a;
}

sys::FolderListing Win32System::ListFolder(const std::string& folder) {
    sys::FolderListing out;
    std::wstring pattern = W(folder);
    if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW data;
    FindHandle h(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                  nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!h) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) {
            out.ok = true;  // an empty folder (a drive root can have no "." entry)
        } else {
            out.error = LastErrorText(code);
        }
        return out;
    }
    struct Wide {
        std::u16string name;
        DWORD attributes;
        std::string key;  // the locale's sort key: one call per name instead of per comparison
    };
    std::vector<Wide> found;
    do {
        const wchar_t* n = data.cFileName;
        if (n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0))) continue;
        found.push_back(
            {reinterpret_cast<const char16_t*>(n), data.dwFileAttributes, std::string()});
    } while (FindNextFileW(h.Get(), &data));
    h.Reset();
    // The system's own alphabetical order, as a sorted list box would give.
    for (Wide& w : found) {
        const auto* name = reinterpret_cast<const wchar_t*>(w.name.c_str());
        int n = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, name,
                             static_cast<int>(w.name.size()), nullptr, 0);
        w.key.resize(static_cast<std::size_t>(n > 0 ? n : 0));
        if (n > 0) {
            LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, name,
                         static_cast<int>(w.name.size()), reinterpret_cast<wchar_t*>(w.key.data()),
                         n);
        }
    }
    std::sort(found.begin(), found.end(), [](const Wide& a, const Wide& b) {
        int c = std::strcmp(a.key.c_str(), b.key.c_str());
        return c != 0 ? c < 0 : a.name < b.name;
    });
    out.ok = true;
    out.entries.reserve(found.size());
    for (Wide& w : found) out.entries.push_back({std::move(w.name), w.attributes});
    return out;
}

std::string Win32System::ShortName(const std::string& folder, const std::u16string& name) {
    std::wstring path = W(folder);
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    path.append(name.begin(), name.end());
    return A(ShortNameOf(path));
}

std::u16string Win32System::LongPath(const std::string& path) {
    std::wstring shortPath = W(path);
    DWORD n = GetLongPathNameW(shortPath.c_str(), nullptr, 0);
    std::wstring full(n, L'\0');
    if (n == 0 || (n = GetLongPathNameW(shortPath.c_str(), full.data(), n)) == 0 ||
        n >= full.size()) {
        return std::u16string(shortPath.begin(), shortPath.end());
    }
    full.resize(n);
    return std::u16string(full.begin(), full.end());
}

std::vector<sys::DriveInfo> Win32System::Drives() {
    std::vector<sys::DriveInfo> out;
    DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (1u << i))) continue;
        sys::DriveInfo d;
        d.letter = static_cast<char>('A' + i);
        wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
        switch (GetDriveTypeW(root)) {
            case DRIVE_REMOVABLE: d.kind = sys::DriveKind::Removable; break;
            case DRIVE_FIXED: d.kind = sys::DriveKind::Fixed; break;
            case DRIVE_REMOTE: d.kind = sys::DriveKind::Remote; break;
            case DRIVE_CDROM: d.kind = sys::DriveKind::CdRom; break;
            case DRIVE_RAMDISK: d.kind = sys::DriveKind::RamDisk; break;
            default: d.kind = sys::DriveKind::Unknown; break;
        }
        // Labels only where asking cannot spin up a drive or wait on a medium.
        if (d.kind == sys::DriveKind::Fixed || d.kind == sys::DriveKind::RamDisk) {
            wchar_t label[MAX_PATH + 1] = {};
            if (GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr,
                                      0)) {
                d.label.assign(reinterpret_cast<const char16_t*>(label), wcslen(label));
            }
        }
        out.push_back(d);
    }
    return out;
}

sys::DriveFolder Win32System::ResolveDrive(char letter) {
    sys::DriveFolder out;
    wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', 0};
    DWORD serial = 0;
    if (!GetVolumeInformationW(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) {
        out.error = LastErrorText(GetLastError());
        return out;
    }
    wchar_t bare[] = {static_cast<wchar_t>(letter), L':', 0};
    wchar_t full[MAX_PATH * 2];
    DWORD n = GetFullPathNameW(bare, MAX_PATH * 2, full, nullptr);
    if (n == 0 || n >= MAX_PATH * 2) {
        out.ok = true;
        out.folder = A(root, 3);
        return out;
    }
    out.ok = true;
    out.folder = UsablePath(std::wstring(full, n));
    // A remembered folder that has gone away falls back to the root.
    DWORD a = GetFileAttributesW(full);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) out.folder = A(root, 3);
    return out;
}

void Win32System::ShellOpen(const std::string& file, const std::optional<std::string>& parameters,
                            int showCommand) {
    using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    static const auto shellExecute = Late<ShellExecuteFn>(L"shell32.dll", "ShellExecuteW");
    if (!shellExecute) return;
    std::wstring f = W(file);
    std::wstring p = parameters ? W(*parameters) : std::wstring();
    shellExecute(appWindow ? appWindow : owner, L"open", f.c_str(),
                 parameters ? p.c_str() : nullptr, nullptr, showCommand);
}

namespace {

// A box's buttons in the program's language, whatever the language of Windows:
// MessageBoxW labels them in the display language ("Cancel" on an English Windows).
thread_local HHOOK boxHook = nullptr;

LRESULT CALLBACK BoxButtons(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wp);
        wchar_t cls[16] = {};
        GetClassNameW(box, cls, 16);
        if (wcscmp(cls, L"#32770") == 0) {
            SetDlgItemTextW(box, IDOK, L"OK");
            SetDlgItemTextW(box, IDCANCEL, W("キャンセル").c_str());
            SetDlgItemTextW(box, IDRETRY, W("再試行").c_str());
            UnhookWindowsHookEx(boxHook);
            boxHook = nullptr;
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

sys::BoxResult Win32System::ShowBox(sys::BoxKind kind, const std::string& caption,
                                    const std::string& text) {
    UINT flags = MB_TASKMODAL;
    switch (kind) {
        case sys::BoxKind::Error: flags |= MB_OK | MB_ICONSTOP; break;
        case sys::BoxKind::Confirm: flags |= MB_OKCANCEL | MB_ICONQUESTION; break;
        case sys::BoxKind::Plain: flags |= MB_OK; break;
        case sys::BoxKind::Warning: flags |= MB_OK | MB_ICONWARNING; break;
        case sys::BoxKind::RetryCancel: flags |= MB_RETRYCANCEL | MB_ICONSTOP; break;
    }
    HWND parent = owner && IsWindowEnabled(owner) ? owner : nullptr;
    ModalScope modal(*this, parent);
    if (!boxHook) boxHook = SetWindowsHookExW(WH_CBT, BoxButtons, nullptr, GetCurrentThreadId());
    int r = MessageBoxW(parent, W(text).c_str(), W(caption).c_str(), flags);
    if (boxHook) {  // the box never came up
        UnhookWindowsHookEx(boxHook);
        boxHook = nullptr;
    }
    if (r == IDRETRY) return sys::BoxResult::Retry;
    return r == IDOK ? sys::BoxResult::Ok : sys::BoxResult::Cancel;
}

std::wstring DialogFilter(const std::string& filter) {
    std::wstring out = W(filter);
    for (wchar_t& c : out) {
        if (c == L'|') c = L'\0';
    }
    out.push_back(L'\0');
    out.push_back(L'\0');
    return out;
}

namespace {

// The common open/save dialog: "desc|pattern" filter, optional title, folder, extension.
bool FileDialog(HWND owner, bool save, const std::string& filterText, const std::string& titleText,
                const std::string& initialFolder, const std::string& defaultExt,
                const std::string& fileName, std::string& path) {
    std::wstring filter = DialogFilter(filterText);
    std::wstring title = W(titleText);
    std::wstring folder = W(initialFolder);
    std::wstring ext = W(defaultExt);
    std::wstring buffer(32768, L'\0');
    std::wstring initial = W(fileName);
    std::copy(initial.begin(), initial.begin() + std::min<std::size_t>(initial.size(), 32000),
              buffer.begin());
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
    ofn.Flags = OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    // Saving asks the prompt's own question before a file is replaced.
    if (save) ofn.Flags |= OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    using DialogFn = BOOL(WINAPI*)(OPENFILENAMEW*);
    static const auto getSave = Late<DialogFn>(L"comdlg32.dll", "GetSaveFileNameW");
    static const auto getOpen = Late<DialogFn>(L"comdlg32.dll", "GetOpenFileNameW");
    DialogFn run = save ? getSave : getOpen;
    if (!run || !run(&ofn)) return false;
    path = UsablePath(buffer.c_str());
    return true;
}

}  // namespace

bool Win32System::OpenFileDialog(const sys::OpenFileRequest& request, std::string& path) {
    ModalScope modal(*this, owner);
    return FileDialog(owner, false, request.filter, request.title, request.initialFolder,
                      request.defaultExt, std::string(), path);
}

bool Win32System::SaveFileDialog(const sys::SaveFileRequest& request, std::string& path) {
    ModalScope modal(*this, owner);
    return FileDialog(owner, true, request.filter, request.title, request.initialFolder,
                      request.defaultExt, request.fileName, path);
}

std::string Win32System::LocalTimeText(std::uint64_t time) {
    FILETIME ft{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    SYSTEMTIME utc{}, local{};
    if (!FileTimeToSystemTime(&ft, &utc)) return "";
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
    char text[32];
    std::snprintf(text, sizeof text, "%04u/%02u/%02u %02u:%02u", local.wYear, local.wMonth,
                  local.wDay, local.wHour, local.wMinute);
    return text;
}

}  // namespace win32
