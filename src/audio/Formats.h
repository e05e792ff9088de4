// What the content check's format readers share: the bounded reader over the Source,
// byte helpers that read 0 past the end of their bytes, and one entry per format family.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "audio/Content.h"

namespace audio::detail {

// Read at the start of the file, where the audio starts after a tag, and at the end.
constexpr std::size_t kHeadBytes = 4096;

// The check's reads. Each is cut to the file and none is made past its end, so the
// Source only ever sees ranges within the file. A read that gives nothing is a failure:
// it is remembered, later reads give nothing, and the check then answers Unreadable.
class Reader {
public:
    explicit Reader(const Source& source) : source_(source) {}
    std::uint64_t Size() const { return source_.size; }
    bool Failed() const { return failed_; }
    // Up to `count` bytes at `offset`; fewer at the end of the file, none past it.
    std::string Read(std::uint64_t offset, std::size_t count);

private:
    const Source& source_;
    bool failed_ = false;
};

inline unsigned Byte(std::string_view s, std::uint64_t i) {
    return i < s.size() ? static_cast<unsigned char>(s[static_cast<std::size_t>(i)]) : 0u;
}
inline std::uint32_t Le16(std::string_view s, std::uint64_t i) {
    return Byte(s, i) | Byte(s, i + 1) << 8;
}
inline std::uint32_t Le32(std::string_view s, std::uint64_t i) {
    return Le16(s, i) | Le16(s, i + 2) << 16;
}
inline std::uint64_t Le64(std::string_view s, std::uint64_t i) {
    return Le32(s, i) | std::uint64_t{Le32(s, i + 4)} << 32;
}
inline std::uint32_t Be16(std::string_view s, std::uint64_t i) {
    return Byte(s, i) << 8 | Byte(s, i + 1);
}
inline std::uint32_t Be32(std::string_view s, std::uint64_t i) {
    return Be16(s, i) << 16 | Be16(s, i + 2);
}
inline std::uint64_t Be64(std::string_view s, std::uint64_t i) {
    return std::uint64_t{Be32(s, i)} << 32 | Be32(s, i + 4);
}
// True when `what` stands in s at `at`.
inline bool Has(std::string_view s, std::uint64_t at, std::string_view what) {
    return at <= s.size() && s.substr(static_cast<std::size_t>(at)).starts_with(what);
}
inline int ToInt(std::uint64_t v) { return v > INT_MAX ? INT_MAX : static_cast<int>(v); }

// `units` of which `perSecond` make a second, in milliseconds; -1 when perSecond is 0.
std::int64_t Milliseconds(std::uint64_t units, std::uint32_t perSecond);

// The whole size of the ID3v2 tag at the start of `at` (header, body, a 2.4 footer); 0
// when there is none.
std::uint64_t Id3v2Size(std::string_view at);

// The readers, each given the file's first bytes (or those after an ID3v2 tag). Each
// sets the kind and whatever its header tells.
void ReadWave(Reader& r, std::string_view head, Finding& f);
void ReadAiff(std::string_view head, Finding& f);
void ReadFlac(std::string_view head, Finding& f);
void ReadOgg(Reader& r, std::string_view head, Finding& f);
void ReadM4a(Reader& r, Finding& f);
// MPEG audio or ADTS frames within the first few KB from `start` (`bytes`: what was
// already read there); false when no run of agreeing frames is found.
bool ReadFrames(Reader& r, std::uint64_t start, std::string bytes, Finding& f);

}  // namespace audio::detail
