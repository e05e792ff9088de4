// The parts of the ZIP layout (PKWARE's APPNOTE) the set zip's writer and reader share.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/system/System.h"

namespace sets::zip {

inline constexpr std::uint32_t kLocalSig = 0x04034b50;
inline constexpr std::uint32_t kCentralSig = 0x02014b50;
inline constexpr std::uint32_t kEndSig = 0x06054b50;
inline constexpr std::size_t kLocalSize = 30;
inline constexpr std::size_t kCentralSize = 46;
inline constexpr std::size_t kEndSize = 22;
inline constexpr std::uint32_t kDescriptorSig = 0x08074b50;
inline constexpr std::uint16_t kStored = 0, kDeflated = 8;
inline constexpr std::uint16_t kUnicodePathTag = 0x7075;
inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagDescriptor = 0x0008;  // sizes after the data
inline constexpr std::uint16_t kFlagUtf8 = 0x0800;

inline void Put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
inline std::uint32_t Get16(std::string_view s, std::size_t at) {
    return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8;
}
inline std::uint32_t Get32(std::string_view s, std::size_t at) {
    return Get16(s, at) | Get16(s, at + 2) << 16;
}

// Reads `count` bytes of `file` from `from`, a piece of at most originals::kReadChunk at a
// time, handing each to `take` (false stops it); false too when the file ends before.
bool Stream(sys::System& system, const std::string& file, std::uint64_t from, std::uint64_t count,
            const std::function<bool(std::string_view)>& take, sys::FileError& why);
// The same into `out`, for the small parts (headers, the set file).
bool ReadAt(sys::System& system, const std::string& file, std::uint64_t from, std::size_t count,
            std::string& out, sys::FileError& why);

}  // namespace sets::zip
