// The operating system as Windows gives it: wide-character calls on paths converted
// from CP932.
#pragma once

#include <windows.h>

#include "platform/system/System.h"

namespace win32 {

class Win32System : public sys::System {
public:
    Win32System();

    // The window that owns boxes and prompts.
    HWND owner = nullptr;
    // The application's own window, which owns what the shell starts.
    HWND appWindow = nullptr;
    // How many boxes and prompts are open. While one is, the whole application is modal.
    int modalDepth = 0;

    std::string ExeFolder() override;
    std::string CurrentFolder() override;
    bool ReadFile(const std::string& path, std::string& data,
                  sys::FileError* why = nullptr) override;
    std::optional<std::uint64_t> SizeOf(const std::string& path) override;
    std::optional<sys::FileStamp> Stamp(const std::string& path) override;
    bool ReadPart(const std::string& path, std::uint64_t offset, std::size_t count,
                  std::string& data, sys::FileError* why = nullptr) override;
    // Decoder.cpp: the ACM's MPEG Layer-3 decoder, loaded when first needed.
    bool DecodeAudio(const std::string& path, const sys::PcmSink& sink,
                     sys::FileError* why = nullptr) override;
    bool SaveFileAtomic(const std::string& path, const std::string& data,
                        sys::FileError* why = nullptr) override;
    std::unique_ptr<sys::Lock> LockFile(const std::string& path, unsigned waitMs,
                                        sys::FileError* why = nullptr) override;
    sys::WriteStatus CreateAndWrite(const std::string& path, const std::string& data) override;
    bool CopyFileTo(const std::string& from, const std::string& to, bool failIfExists,
                    sys::FileError* why = nullptr) override;
    bool RemoveFile(const std::string& path, sys::FileError* why = nullptr) override;
    bool CreateFolder(const std::string& path) override;
    bool CanCreateIn(const std::string& folder) override;
    std::string ProfileFolder(sys::UserFolder which) override;
    sys::Elevation RunElevated(sys::Conversation& talk, std::string& answer) override;
    std::unique_ptr<sys::Replacement> BeginReplace(const std::string& path,
                                                   sys::FileError* why = nullptr) override;
    // The program started with administrator rights: this one's own exe.
    virtual std::wstring ProgramPath();
    std::uint32_t Attributes(const std::string& path) override;
    sys::FolderListing ListFolder(const std::string& folder) override;
    std::string ShortName(const std::string& folder, const std::u16string& name) override;
    std::u16string LongPath(const std::string& path) override;
    std::vector<sys::DriveInfo> Drives() override;
    sys::DriveFolder ResolveDrive(char letter) override;
    void ShellOpen(const std::string& file, const std::optional<std::string>& parameters,
                   int showCommand) override;
    sys::BoxResult ShowBox(sys::BoxKind kind, const std::string& caption,
                           const std::string& text) override;
    bool OpenFileDialog(const sys::OpenFileRequest& request, std::string& path) override;
    bool SaveFileDialog(const sys::SaveFileRequest& request, std::string& path) override;
    std::string LocalTimeText(std::uint64_t time) override;
};

// The system's message for an error code, in Japanese where Windows has that language.
std::string SystemMessage(DWORD code);

// A full path from the system as CP932 text that names the same file: every part that
// CP932 cannot hold is replaced by its short (8.3) name. Where a part has none, the
// nearest CP932 spelling ("?" for what it lacks), which will not open.
std::string UsablePath(const std::wstring& path);

// "desc|pattern|desc|pattern" -> the dialog's double-NUL-terminated filter.
std::wstring DialogFilter(const std::string& filter);

}  // namespace win32
