#include "originals/Index.h"

#include <algorithm>

#include "platform/paths/Paths.h"
#include "platform/text/Cp932.h"

namespace originals {
namespace {

std::string FormatFingerprint(const Fingerprint& f) {
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i)
        hex[static_cast<std::size_t>(i)] = "0123456789abcdef"[(f.hash >> (4 * (15 - i))) & 0xF];
    return std::to_string(f.size) + ":" + hex;
}

bool ParseFingerprint(std::string_view s, Fingerprint& f) {
    std::size_t colon = s.find(':');
    if (colon == std::string_view::npos || colon == 0 || s.size() - colon - 1 != 16) return false;
    std::uint64_t size = 0, hash = 0;
    for (char c : s.substr(0, colon)) {
        if (c < '0' || c > '9' || size > (UINT64_MAX - 9) / 10) return false;
        size = size * 10 + static_cast<std::uint64_t>(c - '0');
    }
    for (char c : s.substr(colon + 1)) {
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0) return false;
        hash = (hash << 4) | static_cast<std::uint64_t>(d);
    }
    f = {size, hash};
    return true;
}

constexpr const char* kAbsent = "(none)";
constexpr const char* kUnknown = "(unknown)";
constexpr std::string_view kOlder = "older:";
constexpr std::string_view kOurs = "ours:";
constexpr std::size_t kFingerprintText = 16;  // the hash's hex digits

// "<size>:<hash>" at the start of `s`; its length in `used`.
bool ParseLeadingFingerprint(std::string_view s, Fingerprint& f, std::size_t& used) {
    std::size_t colon = s.find(':');
    if (colon == std::string_view::npos) return false;
    used = colon + 1 + kFingerprintText;
    return used <= s.size() && ParseFingerprint(s.substr(0, used), f);
}

// The fields after the first four: "older:<size>:<hash>:<saved or (none)>" and
// "ours:<size>:<hash>".
bool ParseExtra(std::string_view field, Entry& e) {
    Fingerprint f;
    std::size_t used = 0;
    if (field.substr(0, kOurs.size()) == kOurs) {
        field.remove_prefix(kOurs.size());
        if (!ParseLeadingFingerprint(field, f, used) || used != field.size()) return false;
        e.ours.push_back(f);
        return true;
    }
    if (field.substr(0, kOlder.size()) != kOlder) return false;
    field.remove_prefix(kOlder.size());
    if (!ParseLeadingFingerprint(field, f, used) || used + 1 >= field.size() ||
        field[used] != ':') {
        return false;
    }
    std::string_view saved = field.substr(used + 1);
    if (saved != kAbsent && paths::LastPart(saved) != saved) return false;
    e.older.push_back({saved == kAbsent ? std::string() : std::string(saved), f});
    return true;
}

}  // namespace

std::string FormatFingerprintText(const Fingerprint& f) { return FormatFingerprint(f); }

std::string SlotName(const Entry& entry) { return paths::LastPart(entry.destination); }

bool Entry::IsOurs(const Fingerprint& f) const {
    return f == copied || std::find(ours.begin(), ours.end(), f) != ours.end();
}

bool Entry::IsKept(const Fingerprint& f) const {
    if (known && !Absent() && f == original) return true;
    return std::any_of(older.begin(), older.end(),
                       [&](const Version& v) { return !v.saved.empty() && v.fingerprint == f; });
}

void Entry::NoteCopied(const Fingerprint& f) {
    if (f == copied) return;
    ours.erase(std::remove(ours.begin(), ours.end(), f), ours.end());
    if (copied != Fingerprint{}) ours.push_back(copied);
    if (ours.size() > kOursKept) ours.erase(ours.begin());
    copied = f;
}

std::string PathKey(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        std::size_t n = text::CharLength(path, i);
        char c = n == 1 && path[i] == '/' ? '\\' : path[i];
        // Doubled separators name the same file; a leading "\\" (a network path) stays.
        bool doubled = n == 1 && c == '\\' && i > 1 && !out.empty() && out.back() == '\\' &&
                       !text::EndsWithDoubleByte(out);
        if (!doubled) out.append(n == 1 ? std::string(1, c) : std::string(path.substr(i, n)));
        i += n;
    }
    return text::UpperAscii(out);
}

std::string FormatIndex(const Index& index) {
    std::string out =
        "; QUAVERIX "
        "が「コピー開始」で置き換える前のファイル。保存したファイルはこのフォルダにあります。\r\n"
        "; コピー先<TAB>保存したファイル (元は無かったときは (none))<TAB>"
        "元のファイルの大きさ:ハッシュ<TAB>QUAVERIX "
        "が最後にコピーしたファイルの大きさ:ハッシュ\r\n"
        "; その後に older:大きさ:ハッシュ:ゲームの更新より前の元のファイル、"
        "ours:大きさ:ハッシュ (QUAVERIX かそのバッチファイルがコピーしたファイル)。"
        "(unknown) はバッチファイルでコピーしただけで、元のファイルを保存していないもの\r\n";
    for (const Entry& e : index.entries) {
        out += e.destination + '\t' +
               (!e.known     ? kUnknown
                : e.Absent() ? kAbsent
                             : e.saved) +
               '\t' + FormatFingerprint(e.original) + '\t' + FormatFingerprint(e.copied);
        for (const Version& v : e.older) {
            out += '\t' + std::string(kOlder) + FormatFingerprint(v.fingerprint) + ':' +
                   (v.saved.empty() ? kAbsent : v.saved);
        }
        for (const Fingerprint& f : e.ours) out += '\t' + std::string(kOurs) + FormatFingerprint(f);
        out += "\r\n";
    }
    for (const std::string& line : index.unreadable) out += line + "\r\n";
    return out;
}

Index ParseIndex(std::string_view text) {
    Index out;
    for (const std::string_view line : text::SplitLines(text)) {
        if (line.empty()) continue;
        std::vector<std::string_view> f = text::SplitTabs(line);
        if (line[0] == ';' && f.size() == 1) continue;  // a comment
        Entry e;
        bool ok = f.size() >= 4 && !f[0].empty() && !f[1].empty() &&
                  ParseFingerprint(f[2], e.original) && ParseFingerprint(f[3], e.copied) &&
                  paths::LastPart(f[1]) == f[1];
        for (std::size_t i = 4; ok && i < f.size(); ++i) ok = ParseExtra(f[i], e);
        if (!ok) {
            out.unreadable.emplace_back(line);
            continue;
        }
        e.destination = std::string(f[0]);
        e.known = f[1] != kUnknown;
        e.saved = f[1] == kAbsent || !e.known ? std::string() : std::string(f[1]);
        out.entries.push_back(std::move(e));
    }
    return out;
}

std::string FolderKey(std::string_view folder) {
    std::string key = PathKey(folder);
    while (key.size() > paths::RootLength(key) && text::EndsWithBackslash(key)) key.pop_back();
    if (paths::RootLength(key) == 2 && key.size() == 2) key += '\\';  // "C:" is its root
    return key;
}

bool IsIn(const Entry& entry, std::string_view folderKey) {
    return paths::Parent(PathKey(entry.destination)) == folderKey;
}

}  // namespace originals
