#include "platform/ini/IniFile.h"

#include <string>
#include <utility>

#include "platform/Error.h"
#include "platform/text/Cp932.h"

namespace ini {
namespace {

// The parser runs on CP932 bytes (char) or, for a file with a UTF-16LE mark, on UTF-16 units
// (char16_t): converting such a file to CP932 would turn its other characters into '?'.
template <class C>
using View = std::basic_string_view<C>;
template <class C>
using Text = std::basic_string<C>;

constexpr std::size_t kNone = std::string_view::npos;

template <class C>
bool IsBlank(C c) {
    return c == C(' ') || c == C('\t') || c == C('\v');
}

template <class C>
bool IsBreak(C c) {
    return c == C('\r') || c == C('\n');
}

template <class C>
C Fold(C c) {
    return c >= C('a') && c <= C('z') ? C(c - C('a') + C('A')) : c;
}

// Units in the character at s[i]. A lead byte takes the next byte as its second byte, so
// second bytes such as '[' '\' ']' '=' are never syntax; a line break is never taken, so a
// stray lead byte at the end of a line cannot join the next line to it.
std::size_t Step(std::string_view s, std::size_t i) {
    if (i + 1 < s.size() && text::IsLeadByte(static_cast<unsigned char>(s[i])) &&
        !IsBreak(s[i + 1])) {
        return 2;
    }
    return 1;
}
std::size_t Step(std::u16string_view, std::size_t) { return 1; }

// A run of characters with its blanks trimmed off both ends.
struct Scan {
    std::size_t begin = 0, end = 0;  // trimmed
    std::size_t last = kNone;  // start of the last non-blank character
    std::size_t stop = kNone;  // where `stopAt` was found
};

// Scans s[from, to) character by character up to the first single-unit `stopAt`
// (0: none). `to` is always a line end, so no character crosses it.
template <class C>
Scan ScanTrimmed(View<C> s, std::size_t from, std::size_t to, C stopAt) {
    Scan r;
    r.begin = r.end = from;
    bool any = false;
    for (std::size_t i = from; i < to;) {
        std::size_t n = Step(s, i);
        if (n == 1 && stopAt != C(0) && s[i] == stopAt) {
            r.stop = i;
            break;
        }
        if (n > 1 || !IsBlank(s[i])) {
            if (!any) r.begin = i;
            any = true;
            r.last = i;
            r.end = i + n;
        }
        i += n;
    }
    if (!any) r.begin = r.end = r.stop == kNone ? to : r.stop;
    return r;
}

enum class Kind { Other, Section, Key };

struct Line {
    std::size_t begin = 0, end = 0, next = 0;  // text [begin, end), line break [end, next)
    Kind kind = Kind::Other;
    std::size_t nameBegin = 0, nameEnd = 0;  // section or key name, trimmed
    std::size_t valueBegin = 0, valueEnd = 0;  // key: the value as read (trimmed, unquoted)
    std::size_t equals = 0;  // key: the '='
};

template <class C>
Line ParseLine(View<C> s, std::size_t begin) {
    Line ln;
    ln.begin = begin;
    std::size_t end = begin;
    while (end < s.size() && !IsBreak(s[end])) ++end;
    ln.end = ln.next = end;
    if (end < s.size()) {
        ln.next = end + 1;
        if (s[end] == C('\r') && end + 1 < s.size() && s[end + 1] == C('\n')) ln.next = end + 2;
    }
    std::size_t i = begin;
    while (i < end && IsBlank(s[i])) ++i;
    if (i == end || s[i] == C(';')) return ln;
    if (s[i] == C('[')) {
        // The name ends at the first ']'; without one it runs to the end of the line.
        Scan name = ScanTrimmed<C>(s, i + 1, end, C(']'));
        ln.kind = Kind::Section;
        ln.nameBegin = name.begin;
        ln.nameEnd = name.end;
        return ln;
    }
    Scan name = ScanTrimmed<C>(s, i, end, C('='));
    if (name.stop == kNone) return ln;
    ln.kind = Kind::Key;
    ln.nameBegin = name.begin;
    ln.nameEnd = name.end;
    ln.equals = name.stop;
    Scan value = ScanTrimmed<C>(s, name.stop + 1, end, C(0));
    ln.valueBegin = value.begin;
    ln.valueEnd = value.end;
    if (value.end - value.begin >= 2 && (s[value.begin] == C('"') || s[value.begin] == C('\'')) &&
        value.last == value.end - 1 && s[value.last] == s[value.begin]) {
        ++ln.valueBegin;
        --ln.valueEnd;
    }
    return ln;
}

// ASCII letters match either case; a double-byte character only itself.
template <class C>
bool SameName(View<C> s, const Line& ln, View<C> wanted) {
    View<C> name = s.substr(ln.nameBegin, ln.nameEnd - ln.nameBegin);
    if (name.size() != wanted.size()) return false;
    for (std::size_t i = 0; i < name.size();) {
        std::size_t n = Step(name, i);
        if (n == 1) {
            if (Fold(name[i]) != Fold(wanted[i])) return false;
        } else if (name.substr(i, n) != wanted.substr(i, n)) {
            return false;
        }
        i += n;
    }
    return true;
}

// Where a key is, or would go: only the first section of that name counts.
struct Place {
    std::optional<Line> header;
    std::optional<Line> lastKey;  // last key line of that section
    std::optional<Line> key;  // first line of the key in it
};

template <class C>
Place Locate(View<C> s, View<C> section, View<C> key) {
    Place p;
    for (std::size_t at = 0; at < s.size();) {
        Line ln = ParseLine(s, at);
        at = ln.next;
        if (ln.kind == Kind::Section) {
            if (p.header) break;
            if (SameName(s, ln, section)) p.header = ln;
        } else if (ln.kind == Kind::Key && p.header) {
            p.lastKey = ln;
            if (!p.key && SameName(s, ln, key)) {
                p.key = ln;
                break;
            }
        }
    }
    return p;
}

template <class C>
Text<C> Ascii(const char* a) {
    Text<C> t;
    while (*a) t += C(*a++);
    return t;
}

// True when `line` reads as one line of `kind` whose name is exactly `name`.
template <class C>
bool ReadsBackAs(View<C> line, Kind kind, View<C> name) {
    Line ln = ParseLine(line, 0);
    return ln.next == line.size() && ln.kind == kind &&
           line.substr(ln.nameBegin, ln.nameEnd - ln.nameBegin) == name;
}

// The text to put after '=' so that a read returns `value` (already one line). Outer blanks
// or outer quotes would be lost on reading, so such a value goes inside a pair of quotes.
template <class C>
Text<C> StoredValue(View<C> value) {
    Text<C> plain = Ascii<C>("k=") + Text<C>(value);
    Line ln = ParseLine(View<C>(plain), 0);
    if (View<C>(plain).substr(ln.valueBegin, ln.valueEnd - ln.valueBegin) == value) {
        return Text<C>(value);
    }
    Text<C> quoted = Ascii<C>("\"") + Text<C>(value) + Ascii<C>("\"");
    Text<C> line = Ascii<C>("k=") + quoted;
    ln = ParseLine(View<C>(line), 0);
    if (View<C>(line).substr(ln.valueBegin, ln.valueEnd - ln.valueBegin) == value) return quoted;
    return Text<C>(value);  // ends in half a character: nothing reads back exactly
}

// The file after the write, or nullopt when section or key cannot be a line that reads
// back as itself (a ']' in a section, an '=' in a key, a line break, half a character...).
template <class C>
std::optional<Text<C>> Apply(View<C> s, View<C> section, View<C> key, View<C> value) {
    const Text<C> eol = Ascii<C>("\r\n");
    Text<C> header = Ascii<C>("[") + Text<C>(section) + Ascii<C>("]");
    if (!ReadsBackAs(View<C>(header), Kind::Section, section)) return std::nullopt;
    Text<C> keyLine = Text<C>(key) + Ascii<C>("=") + StoredValue(value);
    if (!ReadsBackAs(View<C>(Text<C>(key) + Ascii<C>("=")), Kind::Key, key)) return std::nullopt;

    Place p = Locate(s, section, key);
    Text<C> out;
    out.reserve(s.size() + keyLine.size() + header.size() + 8);
    if (p.key) {
        // Everything up to and including the '=' stays, the key's spelling with it.
        out.append(s.substr(0, p.key->equals + 1));
        out.append(keyLine.substr(key.size() + 1));
        out.append(s.substr(p.key->end));
    } else if (p.header) {
        const Line& after = p.lastKey ? *p.lastKey : *p.header;
        out.append(s.substr(0, after.next));
        if (after.next == after.end) out += eol;  // the last line of the file had no break
        out += keyLine;
        out += eol;
        out.append(s.substr(after.next));
    } else {
        out.append(s);
        if (!s.empty() && !IsBreak(s.back())) out += eol;
        out += header;
        out += eol;
        out += keyLine;
        out += eol;
    }
    return out;
}

bool IsUtf16(std::string_view file) {
    return file.size() >= 2 && static_cast<unsigned char>(file[0]) == 0xFF &&
           static_cast<unsigned char>(file[1]) == 0xFE;
}

// The units after the mark; an odd last byte is left out.
std::u16string DecodeUtf16(std::string_view file) {
    std::u16string units;
    units.reserve((file.size() - 2) / 2);
    for (std::size_t i = 2; i + 1 < file.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(file[i]) |
                                       (static_cast<unsigned char>(file[i + 1]) << 8));
    }
    return units;
}

std::string EncodeUtf16(std::u16string_view units, std::string_view original) {
    std::string out = "\xFF\xFE";
    out.reserve(2 + units.size() * 2 + 1);
    for (char16_t u : units) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    if (original.size() % 2 != 0) out += original.back();  // keep a stray last byte last
    return out;
}

std::string OneLine(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (!IsBreak(c)) out += c;  // CR and LF are never second bytes
    }
    return out;
}

// A name as asked for: outer blanks do not count, as in the file. Empty names match nothing
// (the profile functions of Windows crash on them).
std::string_view TrimName(std::string_view name) {
    Scan r = ScanTrimmed<char>(name, 0, name.size(), 0);
    return name.substr(r.begin, r.end - r.begin);
}

std::optional<std::string> Update(std::string_view file, std::string_view section,
                                  std::string_view key, std::string_view value) {
    section = TrimName(section);
    key = TrimName(key);
    if (section.empty() || key.empty()) return std::nullopt;
    std::string flat = OneLine(value);
    if (!IsUtf16(file)) return Apply<char>(file, section, key, flat);
    std::u16string units = DecodeUtf16(file);
    std::optional<std::u16string> out =
        Apply<char16_t>(units, text::ToUtf16(section), text::ToUtf16(key), text::ToUtf16(flat));
    if (!out) return std::nullopt;
    return EncodeUtf16(*out, file);
}

// As the profile functions do with a default: trailing spaces go.
std::string_view TrimDefault(std::string_view s) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = Step(s, i);
        if (n > 1 || s[i] != ' ') end = i + n;
        i += n;
    }
    return s.substr(0, end);
}

int Digit(char c, int base) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    return d < base ? d : -1;
}

}  // namespace

std::optional<std::string> FindValue(std::string_view file, std::string_view section,
                                     std::string_view key) {
    section = TrimName(section);
    key = TrimName(key);
    if (section.empty() || key.empty()) return std::nullopt;
    if (IsUtf16(file)) {
        std::u16string units = DecodeUtf16(file);
        std::u16string_view s = units;
        std::u16string wantSection = text::ToUtf16(section);
        std::u16string wantKey = text::ToUtf16(key);
        Place p = Locate<char16_t>(s, wantSection, wantKey);
        if (!p.key) return std::nullopt;
        return text::FromUtf16(s.substr(p.key->valueBegin, p.key->valueEnd - p.key->valueBegin));
    }
    Place p = Locate<char>(file, section, key);
    if (!p.key) return std::nullopt;
    return std::string(file.substr(p.key->valueBegin, p.key->valueEnd - p.key->valueBegin));
}

std::string SetValue(std::string_view file, std::string_view section, std::string_view key,
                     std::string_view value) {
    std::optional<std::string> out = Update(file, section, key, value);
    return out ? std::move(*out) : std::string(file);
}

bool CanWriteName(std::string_view section, std::string_view key) {
    return Update(std::string_view(), section, key, std::string_view()).has_value();
}

bool ParseInteger(std::string_view text, std::int32_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) return false;
    const long long limit = negative ? 2147483648LL : 2147483647LL;
    long long n = 0;
    for (; i < text.size(); ++i) {
        int d = Digit(text[i], base);
        if (d < 0) return false;
        n = n * base + d;
        if (n > limit) return false;  // also keeps n far from overflowing
    }
    value = static_cast<std::int32_t>(negative ? -n : n);
    return true;
}

IniFile::IniFile(sys::System& system, std::string path) : system_(system), path_(std::move(path)) {}

WriteError::WriteError(const std::string& path, sys::FileError why)
    : platform::Error(platform::Format("%s に書き込めません", path)), why_(std::move(why)) {}

namespace {

// Reads the whole file. False when it cannot be read; `unreadable` then says why when the
// file is there all the same (what a missing file reports does not count as there).
bool ReadWhole(sys::System& system, const std::string& path, std::string& data,
               std::optional<sys::FileError>& unreadable) {
    sys::FileError why;
    unreadable.reset();
    if (system.ReadFile(path, data, &why)) return true;
    data.clear();
    if (why.fault != sys::Fault::SourceMissing || system.Attributes(path) != sys::kNoFile) {
        if (why.fault == sys::Fault::SourceMissing || why.fault == sys::Fault::None) {
            why = {sys::Fault::Other, ""};
        }
        unreadable = why;
    }
    return false;
}

}  // namespace

const std::string& IniFile::Content() {
    if (!content_) {
        std::string data;
        found_ = ReadWhole(system_, path_, data, unreadable_);
        content_ = std::move(data);
    }
    return *content_;
}

bool IniFile::Found() {
    Content();
    return found_;
}

bool IniFile::Unreadable(sys::FileError* why) {
    Content();
    if (unreadable_ && why) *why = *unreadable_;
    return unreadable_.has_value();
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) {
    std::optional<std::string> value = FindValue(Content(), section, key);
    if (!value) return std::string(text::CutBytes(TrimDefault(defaultValue), kMaxValueBytes));
    value->resize(text::CutBytes(*value, kMaxValueBytes).size());
    return std::move(*value);
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t defaultValue) {
    std::optional<std::string> value = FindValue(Content(), section, key);
    std::int32_t n = 0;
    return value && ParseInteger(*value, n) ? n : defaultValue;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    Write(section, key, value);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
    Write(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    Write(section, key, value ? "1" : "0");
}

void IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
    // Every write starts from the file as it is now, so that nothing another program or the
    // player put there since our last read is lost.
    std::string disk;
    std::optional<sys::FileError> unreadable;
    bool exists = ReadWhole(system_, path_, disk, unreadable);
    // There but unreadable: writing would replace it with this one key.
    if (unreadable) throw WriteError(path_, *unreadable);
    std::optional<std::string> updated = Update(disk, section, key, value);
    if (!updated) throw WriteError(path_, {sys::Fault::Other, "キーの名前をファイルに書けません"});
    if (!exists || *updated != disk) {
        sys::FileError why;
        if (!system_.SaveFileAtomic(path_, *updated, &why)) throw WriteError(path_, why);
    }
    content_ = std::move(*updated);
}

}  // namespace ini
