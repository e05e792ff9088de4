// CP932 conversion both ways and the character helpers, on arbitrary bytes.
#include <algorithm>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "platform/text/Cp932.h"

namespace {

bool IsBoundary(std::string_view s, std::size_t at) {
    std::size_t i = 0;
    while (i < at) i += text::CharLength(s, i);
    return i == at;
}

// UTF-8 as ToUtf8 must make it: no surrogates, shortest forms, within the BMP.
bool ValidUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 0;
        if (n == 0 || i + n > s.size()) return false;
        char32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            unsigned char t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((n == 2 && cp < 0x80) || (n == 3 && cp < 0x800) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string s(reinterpret_cast<const char*>(data), size);

    // Decoding: every unit it gives can be encoded again, to text that decodes the same.
    std::u16string u = text::ToUtf16(s);
    QX_FUZZ_CHECK(u.size() <= s.size());
    std::string back = text::FromUtf16(u);
    QX_FUZZ_CHECK(back.find('?') == std::string::npos || s.find('?') != std::string::npos);
    QX_FUZZ_CHECK(text::ToUtf16(back) == u);
    // Encoded text is canonical: decoding and encoding it again gives the same bytes.
    QX_FUZZ_CHECK(text::FromUtf16(text::ToUtf16(back)) == back);

    // The same bytes read as UTF-16 units: encoding gives canonical CP932.
    std::u16string w(size / 2, u'\0');
    for (std::size_t i = 0; i + 1 < size; i += 2)
        w[i / 2] = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    std::string enc = text::FromUtf16(w);
    QX_FUZZ_CHECK(text::FromUtf16(text::ToUtf16(enc)) == enc);
    QX_FUZZ_CHECK(text::ToUtf16(enc).size() <= w.size());

    // UTF-8 both ways: valid output, and the trip through UTF-8 loses nothing CP932 holds.
    std::string u8 = text::ToUtf8(s);
    QX_FUZZ_CHECK(ValidUtf8(u8));
    QX_FUZZ_CHECK(text::FromUtf8(u8) == back);
    std::string fromU8 = text::FromUtf8(s);
    QX_FUZZ_CHECK(text::FromUtf16(text::ToUtf16(fromU8)) == fromU8);

    // Character helpers: cuts keep whole characters, the last character is one.
    std::size_t n = size ? data[0] % (size + 1) : 0;
    std::string_view cut = text::CutBytes(s, n);
    QX_FUZZ_CHECK(cut.size() <= n && s.compare(0, cut.size(), cut) == 0 &&
                  IsBoundary(s, cut.size()));
    QX_FUZZ_CHECK(cut.size() + 1 >= std::min(n, s.size()));
    QX_FUZZ_CHECK(n < s.size() || cut.size() == s.size());
    if (!s.empty()) {
        std::size_t last = text::LastCharOffset(s);
        QX_FUZZ_CHECK(IsBoundary(s, last) && last + text::CharLength(s, last) == s.size());
    }
    QX_FUZZ_CHECK(text::EqualsNoCase(s, text::UpperAscii(s)));
    QX_FUZZ_CHECK(text::UpperAscii(s).size() == s.size());

    // Searches: a hit stands at a character and matches; replacing a needle by itself is
    // no change; removing CR LF pairs takes two bytes each.
    for (const char* needle : {"[FileName]", "\\", "=", "#", "A"}) {
        std::size_t at = text::Find(s, needle);
        if (at != std::string::npos) {
            QX_FUZZ_CHECK(s.compare(at, std::char_traits<char>::length(needle), needle) == 0);
            if (text::IsTrailByte(static_cast<unsigned char>(needle[0])))
                QX_FUZZ_CHECK(IsBoundary(s, at));
        }
        QX_FUZZ_CHECK(text::ReplaceAll(s, needle, needle) == s);
    }
    std::string r = text::RemoveCrLf(s);
    QX_FUZZ_CHECK(r.size() <= s.size() && (s.size() - r.size()) % 2 == 0);
    return 0;
}
