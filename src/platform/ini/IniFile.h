// INI text files read and written one key at a time, with the rules of the Windows
// profile functions (GetPrivateProfileStringA / WritePrivateProfileStringA).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/system/System.h"

namespace ini {

// Longest value a read returns, in bytes (the profile functions' 2048-byte buffer).
constexpr std::size_t kMaxValueBytes = 2047;

// The value of key in section, as the profile functions would return it (trimmed,
// one pair of outer quotes removed, not yet cut); nullopt when there is none. Outer blanks
// of the names asked for do not count; an empty name matches nothing.
std::optional<std::string> FindValue(std::string_view file, std::string_view section,
                                     std::string_view key);

// The file's bytes after setting key in section to value, keeping every other byte.
// Line breaks in value are dropped; a value that would not read back as written (outer
// blanks or quotes) is put in double quotes. The file is returned unchanged when section or
// key cannot be written as a line that reads back as that name (']' in a section, '=' in a
// key, line breaks, a key starting with '[' or ';', an empty name).
std::string SetValue(std::string_view file, std::string_view section, std::string_view key,
                     std::string_view value);

// True when key in section can be written as lines that read back as those names.
bool CanWriteName(std::string_view section, std::string_view key);

// Decimal, or hexadecimal after "$", "0x" or "0X", optionally signed; within the
// signed 32-bit range. False for anything else, the empty text included.
bool ParseInteger(std::string_view text, std::int32_t& value);

// A write that failed: the text "%s に書き込めません" with the file's full path, and why.
class WriteError : public platform::Error {
public:
    WriteError(const std::string& path, sys::FileError why);
    const sys::FileError& Why() const { return why_; }

private:
    sys::FileError why_;
};

class IniFile {
public:
    IniFile(sys::System& system, std::string path);

    const std::string& FileName() const { return path_; }
    // True when the file was there and could be read.
    bool Found();
    // True when the file is there but could not be read (held by another program, access
    // denied, an I/O error): its reads give the defaults, and no write replaces it.
    // `why`, when given, receives the reason.
    bool Unreadable(sys::FileError* why = nullptr);

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue);
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t defaultValue);
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue);

    // Each write updates the file on disk at once. A failure raises WriteError.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

private:
    const std::string& Content();
    void Write(std::string_view section, std::string_view key, std::string_view value);

    sys::System& system_;
    std::string path_;
    std::optional<std::string> content_;  // the file as last read or written
    bool found_ = false;
    std::optional<sys::FileError> unreadable_;  // set when the file is there but unreadable
};

}  // namespace ini
