#include "platform/win32/Win32System.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "platform/text/Cp932.h"
#include "platform/win32/Wide.h"

namespace win32 {
namespace {

constexpr DWORD kChunk = 1 << 20;

std::string LastErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string out = n ? A(buffer, n) : std::to_string(code);
    if (buffer) LocalFree(buffer);
    while (!out.empty() && (out.back() == '\r' || out.back() == '\n' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
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

}  // namespace

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
    return A(cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1));
}

std::string Win32System::CurrentFolder() {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring path(n, L'\0');
    n = GetCurrentDirectoryW(n, path.data());
    path.resize(n);
    return A(path);
}

bool Win32System::ReadFile(const std::string& path, std::string& data) {
    HANDLE h = CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(h, &size) && size.QuadPart < (1LL << 30);
    std::string out;
    if (ok) {
        out.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t done = 0;
        while (ok && done < out.size()) {
            DWORD got = 0;
            DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, kChunk));
            ok = ::ReadFile(h, out.data() + done, want, &got, nullptr) && got > 0;
            done += got;
        }
    }
    CloseHandle(h);
    if (ok) data = std::move(out);
    return ok;
}

bool Win32System::SaveFileAtomic(const std::string& path, const std::string& data) {
    // A file that refuses writes on Windows (read-only) must refuse here too, also when
    // the process could replace it anyway (Wine as root).
    std::wstring target = W(path);
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        return false;
    }
    std::wstring temp = target + L".new~";
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = WriteAll(h, data) && FlushFileBuffers(h);
    CloseHandle(h);
    if (ok) {
        ok = MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!ok) DeleteFileW(temp.c_str());
    return ok;
}

sys::WriteStatus Win32System::CreateAndWrite(const std::string& path, const std::string& data) {
    std::wstring target = W(path);
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        return sys::WriteStatus::CannotCreate;
    }
    HANDLE h = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return sys::WriteStatus::CannotCreate;
    bool ok = WriteAll(h, data);
    CloseHandle(h);
    return ok ? sys::WriteStatus::Ok : sys::WriteStatus::WriteFailed;
}

bool Win32System::CopyFileTo(const std::string& from, const std::string& to, bool failIfExists) {
    std::wstring target = W(to);
    // Windows refuses to replace a read-only or hidden file; say no the same way everywhere.
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY))) {
        return false;
    }
    return ::CopyFileW(W(from).c_str(), target.c_str(), failIfExists ? TRUE : FALSE) != 0;
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
    HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) {
            out.ok = true;  // an empty folder (a drive root can have no "." entry)
        } else {
            out.error = LastErrorText(code);
        }
        return out;
    }
    struct Wide {
        std::wstring name;
        DWORD attributes;
        std::string key;  // the locale's sort key: one call per name instead of per comparison
    };
    std::vector<Wide> found;
    do {
        const wchar_t* n = data.cFileName;
        if (n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0))) continue;
        found.push_back({n, data.dwFileAttributes, std::string()});
    } while (FindNextFileW(h, &data));
    FindClose(h);
    // The system's own alphabetical order, as a sorted list box would give.
    for (Wide& w : found) {
        int n = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, w.name.c_str(),
                             static_cast<int>(w.name.size()), nullptr, 0);
        w.key.resize(static_cast<std::size_t>(n > 0 ? n : 0));
        if (n > 0) {
            LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, w.name.c_str(),
                         static_cast<int>(w.name.size()), reinterpret_cast<wchar_t*>(w.key.data()), n);
        }
    }
    std::sort(found.begin(), found.end(), [](const Wide& a, const Wide& b) {
        int c = std::strcmp(a.key.c_str(), b.key.c_str());
        return c != 0 ? c < 0 : a.name < b.name;
    });
    out.ok = true;
    out.entries.reserve(found.size());
    for (const Wide& w : found) out.entries.push_back({A(w.name), w.attributes});
    return out;
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
            if (GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                                      nullptr, 0)) {
                d.label = A(label, wcslen(label));
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
    out.folder = A(full, n);
    // A remembered folder that has gone away falls back to the root.
    DWORD a = GetFileAttributesW(full);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) out.folder = A(root, 3);
    return out;
}

namespace {

// The shell and the common dialogs are loaded when first used: they cost start-up time
// and most runs of the program need neither before the player asks.
template <class Fn>
Fn Late(const wchar_t* dll, const char* name) {
    HMODULE module = LoadLibraryW(dll);
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
}

}  // namespace

void Win32System::ShellOpen(const std::string& file, const std::optional<std::string>& parameters,
                            int showCommand) {
    using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    static const auto shellExecute = Late<ShellExecuteFn>(L"shell32.dll", "ShellExecuteW");
    if (!shellExecute) return;
    std::wstring f = W(file);
    std::wstring p = parameters ? W(*parameters) : std::wstring();
    shellExecute(shellOwner, L"open", f.c_str(), parameters ? p.c_str() : nullptr, nullptr, showCommand);
}

sys::BoxResult Win32System::ShowBox(sys::BoxKind kind, const std::string& caption,
                                       const std::string& text) {
    UINT flags = MB_TASKMODAL;
    switch (kind) {
        case sys::BoxKind::Error: flags |= MB_OK | MB_ICONSTOP; break;
        case sys::BoxKind::Confirm: flags |= MB_OKCANCEL | MB_ICONQUESTION; break;
        case sys::BoxKind::Plain: flags |= MB_OK; break;
    }
    HWND parent = owner && IsWindowEnabled(owner) ? owner : nullptr;
    int r = MessageBoxW(parent, W(text).c_str(), W(caption).c_str(), flags);
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
    path = A(buffer.c_str(), wcslen(buffer.c_str()));
    return true;
}

}  // namespace

bool Win32System::OpenFileDialog(const sys::OpenFileRequest& request, std::string& path) {
    return FileDialog(owner, false, request.filter, request.title, request.initialFolder,
                      request.defaultExt, std::string(), path);
}

bool Win32System::SaveFileDialog(const sys::SaveFileRequest& request, std::string& path) {
    return FileDialog(owner, true, request.filter, request.title, request.initialFolder,
                      request.defaultExt, request.fileName, path);
}

}  // namespace win32
