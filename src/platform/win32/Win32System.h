// The operating system as Windows gives it: wide-character calls on paths converted
// from CP932.
#pragma once

#include <windows.h>

#include "platform/system/System.h"

namespace win32 {

class Win32System : public sys::System {
public:
    Win32System();

    // The window that owns boxes and prompts: the main window.
    HWND owner = nullptr;
    // The window the shell's windows belong to: the application's own (taskbar) window.
    HWND shellOwner = nullptr;

    std::string ExeFolder() override;
    std::string CurrentFolder() override;
    bool ReadFile(const std::string& path, std::string& data) override;
    bool SaveFileAtomic(const std::string& path, const std::string& data) override;
    sys::WriteStatus CreateAndWrite(const std::string& path, const std::string& data) override;
    bool CopyFileTo(const std::string& from, const std::string& to, bool failIfExists) override;
    std::uint32_t Attributes(const std::string& path) override;
    sys::FolderListing ListFolder(const std::string& folder) override;
    std::vector<sys::DriveInfo> Drives() override;
    sys::DriveFolder ResolveDrive(char letter) override;
    void ShellOpen(const std::string& file, const std::optional<std::string>& parameters,
                   int showCommand) override;
    sys::BoxResult ShowBox(sys::BoxKind kind, const std::string& caption,
                              const std::string& text) override;
    bool OpenFileDialog(const sys::OpenFileRequest& request, std::string& path) override;
    bool SaveFileDialog(const sys::SaveFileRequest& request, std::string& path) override;
};

// "desc|pattern|desc|pattern" -> the dialog's double-NUL-terminated filter.
std::wstring DialogFilter(const std::string& filter);

}  // namespace win32
