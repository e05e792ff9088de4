// The content check's entry: the signatures at the start of the file, the ID3v2 tags that
// may come before the audio, and the hand-over to the reader of each format.
#include "audio/Content.h"

#include <algorithm>

#include "audio/Formats.h"
#include "platform/text/Cp932.h"

namespace audio {
namespace detail {

std::string Reader::Read(std::uint64_t offset, std::size_t count) {
    if (failed_ || offset >= source_.size || count == 0) return {};
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, source_.size - offset));
    std::string bytes = source_.read ? source_.read(offset, count) : std::string();
    if (bytes.empty()) failed_ = true;
    if (bytes.size() > count) bytes.resize(count);
    return bytes;
}

std::int64_t Milliseconds(std::uint64_t units, std::uint32_t perSecond) {
    if (perSecond == 0) return -1;
    std::uint64_t seconds = units / perSecond, rest = units % perSecond;
    if (seconds > INT64_MAX / 1000 - 1) return INT64_MAX;
    return static_cast<std::int64_t>(seconds * 1000 + rest * 1000 / perSecond);
}

// The whole size of the ID3v2 tag (2.2, 2.3 or 2.4) at the start of `at`: header, body
// (its size synchsafe, 7 bits a byte) and a 2.4 footer; 0 when there is none.
std::uint64_t Id3v2Size(std::string_view at) {
    unsigned version = Byte(at, 3);
    if (!Has(at, 0, "ID3") || version < 2 || version > 4 || Byte(at, 4) == 0xFF) return 0;
    std::uint64_t body = 0;
    for (int i = 6; i < 10; ++i) {
        if (Byte(at, i) & 0x80) return 0;
        body = body << 7 | Byte(at, i);
    }
    bool footer = version == 4 && (Byte(at, 5) & 0x10);
    return 10 + body + (footer ? 10 : 0);
}

}  // namespace detail

namespace {

using namespace detail;
using namespace std::string_view_literals;

constexpr int kMaxTags = 4;  // ID3v2 tags one after another (some taggers leave the old one)

struct Signature {
    std::size_t at;
    std::string_view bytes;
    Kind kind;
};

// Formats told by their first bytes alone.
constexpr Signature kSignatures[] = {
    {0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"sv, Kind::Wma},
    {4, "ftyp"sv, Kind::M4a},
    {0, "MThd"sv, Kind::Midi},
    {0, "PK\x03\x04"sv, Kind::Zip},
    {0, "PK\x05\x06"sv, Kind::Zip},  // an empty archive
    {0, "Rar!\x1A\x07"sv, Kind::Rar},
};

// A web page saved in place of the file: "<!DOCTYPE html" or "<html", in any case,
// after a UTF-8 byte order mark and blanks.
bool IsHtml(std::string_view head) {
    std::size_t at = head.find_first_not_of(" \t\r\n", Has(head, 0, "\xEF\xBB\xBF") ? 3 : 0);
    if (at == std::string_view::npos) return false;
    std::string start = text::UpperAscii(head.substr(at, 14));
    return start.starts_with("<!DOCTYPE HTML") || start.starts_with("<HTML");
}

bool BySignature(Reader& r, std::string_view head, Finding& f) {
    for (const Signature& s : kSignatures) {
        if (!Has(head, s.at, s.bytes)) continue;
        f.kind = s.kind;
        if (s.kind == Kind::M4a) ReadM4a(r, f);
        return true;
    }
    bool riff = Has(head, 0, "RIFF") || Has(head, 0, "RF64");
    if (riff && Has(head, 8, "WAVE")) {
        ReadWave(r, head, f);
    } else if (riff && Has(head, 8, "RMID")) {
        f.kind = Kind::Midi;
    } else if (Has(head, 0, "FORM") && (Has(head, 8, "AIFF") || Has(head, 8, "AIFC"))) {
        ReadAiff(head, f);
    } else if (Has(head, 0, "fLaC")) {
        ReadFlac(head, f);
    } else if (Has(head, 0, "OggS")) {
        ReadOgg(r, head, f);
    } else if (IsHtml(head)) {
        f.kind = Kind::Html;
    } else {
        return false;
    }
    return true;
}

// True when the last 4 KB of the file are zero bytes.
bool EndsInZeros(Reader& r) {
    std::uint64_t size = r.Size();
    std::string end = r.Read(size - std::min<std::uint64_t>(size, kHeadBytes), kHeadBytes);
    return end.find_first_not_of('\0') == std::string::npos;
}

Finding Examine(Reader& r) {
    Finding f;
    std::string at = r.Read(0, kHeadBytes);
    if (at.empty() || BySignature(r, at, f)) return f;
    std::uint64_t start = 0;
    for (int i = 0; i < kMaxTags; ++i) {
        std::uint64_t tag = Id3v2Size(at);
        if (tag == 0) break;
        // A file that ends inside its tag was cut before any audio came.
        if (tag >= r.Size() - start) {
            f.truncated = true;
            return f;
        }
        start += tag;
        at = r.Read(start, kHeadBytes);
    }
    if (start > 0) {
        // Zero padding after the tag, outside its size, read through up to the bound.
        std::uint64_t zeros = 0;
        std::size_t audio = at.find_first_not_of('\0');
        while (audio == std::string::npos && !at.empty() && zeros <= kMaxTagPadding) {
            zeros += at.size();
            at = r.Read(start + zeros, kHeadBytes);
            audio = at.find_first_not_of('\0');
        }
        if (audio == std::string::npos || zeros + audio > kMaxTagPadding) {
            // Zeros up to the end: a download that stopped after the tag, or space it
            // reserved and never filled.
            f.truncated = at.empty() || EndsInZeros(r);
            return f;
        }
        start += zeros + audio;
        at.erase(0, audio);
        if (at.size() < kHeadBytes) at += r.Read(start + at.size(), kHeadBytes - at.size());
        if (Has(at, 0, "fLaC")) {
            ReadFlac(at, f);
            return f;
        }
    }
    ReadFrames(r, start, std::move(at), f);
    return f;
}

}  // namespace

Finding Inspect(const Source& source) {
    if (source.size == 0) return Finding{.kind = Kind::Empty};
    Reader r(source);
    Finding f = Examine(r);
    return r.Failed() ? Finding{.kind = Kind::Unreadable} : f;
}

Finding Inspect(std::string_view wholeFile) {
    Source source;
    source.size = wholeFile.size();
    source.read = [wholeFile](std::uint64_t offset, std::size_t count) {
        if (offset >= wholeFile.size()) return std::string();
        return std::string(wholeFile.substr(static_cast<std::size_t>(offset), count));
    };
    return Inspect(source);
}

}  // namespace audio
