#include "platform/text/Cp932.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace text {
namespace {

#include "platform/text/Cp932Table.inc"

constexpr char16_t kUndefined = 0x30FB;  // what Windows gives for a bad CP932 sequence

int LeadIndex(unsigned char lead) {
    return lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + (0x9F - 0x81 + 1);
}

char16_t DecodeSingle(unsigned char c) {
    if (c < 0x80) return c;
    if (c >= 0xA1 && c <= 0xDF) return static_cast<char16_t>(0xFF61 + (c - 0xA1));
    switch (c) {  // Windows maps the unused single bytes into the private use area
        case 0x80: return 0x0080;
        case 0xA0: return 0xF8F0;
        case 0xFD: return 0xF8F1;
        case 0xFE: return 0xF8F2;
        case 0xFF: return 0xF8F3;
        default: return kUndefined;
    }
}

struct EncodePair {
    char16_t unit;
    std::uint16_t code;
};

// The reverse of the decoding table. Where a character has several codes (NEC and IBM
// extensions), Windows picks the lowest one, except that the NEC-selected copies of the
// IBM extensions (0xED40-0xEEFC) give way to the IBM ones.
const std::vector<EncodePair>& EncodeTable() {
    static const std::vector<EncodePair> table = [] {
        std::vector<EncodePair> pairs;
        pairs.reserve(8000);
        for (int lead = 0; lead < 256; ++lead) {
            if (!IsLeadByte(static_cast<unsigned char>(lead))) continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                char16_t u = kDecode[LeadIndex(static_cast<unsigned char>(lead))][trail - 0x40];
                if (u) pairs.push_back({u, static_cast<std::uint16_t>(lead << 8 | trail)});
            }
        }
        auto rank = [](std::uint16_t code) { return (code >= 0xED40 && code <= 0xEEFC) ? 1 : 0; };
        std::sort(pairs.begin(), pairs.end(), [&](const EncodePair& a, const EncodePair& b) {
            if (a.unit != b.unit) return a.unit < b.unit;
            if (rank(a.code) != rank(b.code)) return rank(a.code) < rank(b.code);
            return a.code < b.code;
        });
        pairs.erase(
            std::unique(pairs.begin(), pairs.end(),
                        [](const EncodePair& a, const EncodePair& b) { return a.unit == b.unit; }),
            pairs.end());
        return pairs;
    }();
    return table;
}

// CP932 code for a UTF-16 unit, or -1.
int EncodeUnit(char16_t u) {
    if (u < 0x80) return u;
    if (u >= 0xFF61 && u <= 0xFF9F) return 0xA1 + (u - 0xFF61);
    switch (u) {
        case 0x0080: return 0x80;
        case 0xF8F0: return 0xA0;
        case 0xF8F1: return 0xFD;
        case 0xF8F2: return 0xFE;
        case 0xF8F3: return 0xFF;
        default: break;
    }
    const std::vector<EncodePair>& table = EncodeTable();
    auto it = std::lower_bound(table.begin(), table.end(), u,
                               [](const EncodePair& p, char16_t v) { return p.unit < v; });
    if (it != table.end() && it->unit == u) return it->code;
    return -1;
}

}  // namespace

std::size_t CharLength(std::string_view s, std::size_t i) {
    if (i + 1 < s.size() && IsLeadByte(static_cast<unsigned char>(s[i]))) return 2;
    return 1;
}

std::size_t LastCharOffset(std::string_view s) {
    if (s.empty()) return std::string_view::npos;
    std::size_t i = 0, last = 0;
    while (i < s.size()) {
        last = i;
        i += CharLength(s, i);
    }
    return last;
}

bool EndsWithDoubleByte(std::string_view s) {
    std::size_t at = LastCharOffset(s);
    return at != std::string_view::npos && at + 2 == s.size();
}

bool EndsWithBackslash(std::string_view s) {
    std::size_t at = LastCharOffset(s);
    return at != std::string_view::npos && at + 1 == s.size() && s[at] == '\\';
}

std::string_view CutBytes(std::string_view s, std::size_t maxBytes) {
    if (s.size() <= maxBytes) return s;
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t n = CharLength(s, i);
        if (i + n > maxBytes) break;
        i += n;
    }
    return s.substr(0, i);
}

std::string RemoveLineBreaks(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c != '\r' && c != '\n') out += c;
    }
    return out;
}

std::string RemoveCrLf(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
            ++i;
            continue;
        }
        out += s[i];
    }
    return out;
}

std::size_t Find(std::string_view s, std::string_view needle, std::size_t from) {
    if (from > s.size()) return std::string_view::npos;
    if (needle.empty()) return from;
    if (!IsTrailByte(static_cast<unsigned char>(needle[0]))) return s.find(needle, from);
    for (std::size_t i = from; i + needle.size() <= s.size(); i += CharLength(s, i)) {
        if (s.compare(i, needle.size(), needle) == 0) return i;
    }
    return std::string_view::npos;
}

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
    std::string out;
    if (from.empty()) return std::string(s);
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = Find(s, from, pos);
        if (hit == std::string_view::npos) break;
        out.append(s.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(s.substr(pos));
    return out;
}

std::u16string ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (!IsLeadByte(c)) {
            out += DecodeSingle(c);
            ++i;
            continue;
        }
        if (i + 1 >= s.size()) {  // lead byte at the end
            out += kUndefined;
            ++i;
            continue;
        }
        unsigned char t = static_cast<unsigned char>(s[i + 1]);
        if (!IsTrailByte(t)) {  // the next byte starts a character of its own
            out += kUndefined;
            ++i;
            continue;
        }
        char16_t u = kDecode[LeadIndex(c)][t - 0x40];
        out += u ? u : kUndefined;
        i += 2;
    }
    return out;
}

std::string FromUtf16(std::u16string_view w) {
    std::string out;
    out.reserve(w.size() * 2);
    for (std::size_t i = 0; i < w.size(); ++i) {
        char16_t u = w[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 &&
            w[i + 1] <= 0xDFFF) {
            ++i;  // a character beyond the BMP: CP932 has none
            out += '?';
            continue;
        }
        int code = EncodeUnit(u);
        if (code < 0) {
            out += '?';
        } else if (code > 0xFF) {
            out += static_cast<char>(code >> 8);
            out += static_cast<char>(code & 0xFF);
        } else {
            out += static_cast<char>(code);
        }
    }
    return out;
}

std::string ToUtf8(std::string_view s) {
    std::u16string w = ToUtf16(s);
    std::string out;
    out.reserve(w.size() * 3);
    for (char16_t u : w) {
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::string FromUtf8(std::string_view s) {
    std::u16string w;
    w.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp = 0xFFFD;
        std::size_t n = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            n = 3;
        } else if ((c & 0xF8) == 0xF0) {
            n = 4;
        }
        if (n > 1) {
            if (i + n > s.size()) {
                n = 1;
            } else {
                cp = c & (0x7F >> n);
                for (std::size_t k = 1; k < n; ++k) {
                    unsigned char t = static_cast<unsigned char>(s[i + k]);
                    if ((t & 0xC0) != 0x80) {
                        cp = 0xFFFD;
                        n = k;
                        break;
                    }
                    cp = (cp << 6) | (t & 0x3F);
                }
            }
        }
        i += n;
        if (cp >= 0x10000) {
            w += u'?';  // CP932 has no such character either way
        } else {
            w += static_cast<char16_t>(cp);
        }
    }
    return FromUtf16(w);
}

std::string UpperAscii(std::string_view s) {
    std::string out(s);
    for (std::size_t i = 0; i < out.size(); i += CharLength(out, i)) {
        char& c = out[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

std::u16string UpperAscii(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return out;
}

bool FitsCp932(std::u16string_view w) {
    // "?" is the only thing an unheld character turns into; a name can hold a real "?"
    // only outside file names, so compare the round trip rather than look for it.
    return ToUtf16(FromUtf16(w)) == w;
}

std::vector<std::string_view> Split(std::string_view line, char separator) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == separator) {
            out.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    return out;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    return out;
}

}  // namespace text
