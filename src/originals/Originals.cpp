#include "originals/Originals.h"

#include <algorithm>
#include <cstring>

#include "platform/text/Cp932.h"

namespace originals {
namespace {

constexpr std::uint64_t kP1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t kP2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t kP3 = 0x165667B19E3779F9ULL;
constexpr std::uint64_t kP4 = 0x85EBCA77C2B2AE63ULL;
constexpr std::uint64_t kP5 = 0x27D4EB2F165667C5ULL;

constexpr std::uint64_t Rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

// Little-endian, as every machine this program runs on.
std::uint64_t Word(const unsigned char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

std::uint64_t Round(std::uint64_t acc, std::uint64_t input) {
    return Rotl(acc + input * kP2, 31) * kP1;
}

std::uint64_t Merge(std::uint64_t acc, std::uint64_t lane) {
    return (acc ^ Round(0, lane)) * kP1 + kP4;
}

// Four independent lanes over 32-byte stripes, then the tail: quick enough that hashing a
// few megabytes of music adds little to a copy.
std::uint64_t Hash64(std::string_view data) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const std::size_t n = data.size();
    std::size_t i = 0;
    std::uint64_t h;
    if (n >= 32) {
        std::uint64_t v[4] = {kP1 + kP2, kP2, 0, 0 - kP1};
        for (; i + 32 <= n; i += 32) {
            for (int k = 0; k < 4; ++k) v[k] = Round(v[k], Word(p + i + 8 * k));
        }
        h = Rotl(v[0], 1) + Rotl(v[1], 7) + Rotl(v[2], 12) + Rotl(v[3], 18);
        for (std::uint64_t lane : v) h = Merge(h, lane);
    } else {
        h = kP5;
    }
    h += n;
    for (; i + 8 <= n; i += 8) h = Rotl(h ^ Round(0, Word(p + i)), 27) * kP1 + kP4;
    for (; i < n; ++i) h = Rotl(h ^ (p[i] * kP5), 11) * kP1;
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    return h ^ (h >> 32);
}

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

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == '\t') {
            out.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    return out;
}

// The last part of a path, at character boundaries (a trail byte 0x5C is no separator).
std::string LastPart(std::string_view path) {
    std::size_t cut = 0;
    for (std::size_t i = 0; i < path.size(); i += text::CharLength(path, i)) {
        if (path[i] == '\\' || path[i] == '/') cut = i + 1;
    }
    return std::string(path.substr(cut));
}

// The folder part of a path key, without its last backslash.
std::string ParentKey(const std::string& key) {
    std::size_t cut = std::string::npos;
    for (std::size_t i = 0; i < key.size(); i += text::CharLength(key, i)) {
        if (key[i] == '\\') cut = i;
    }
    return cut == std::string::npos ? std::string() : key.substr(0, cut);
}

bool Refuse(sys::FileError& why, std::string detail) {
    why = {sys::Fault::Other, std::move(detail)};
    return false;
}

}  // namespace

Fingerprint FingerprintOf(std::string_view data) { return {data.size(), Hash64(data)}; }

std::string SlotName(const Entry& entry) { return LastPart(entry.destination); }

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
        "が最後にコピーしたファイルの大きさ:ハッシュ\r\n";
    for (const Entry& e : index.entries) {
        out += e.destination + '\t' + (e.Absent() ? kAbsent : e.saved) + '\t' +
               FormatFingerprint(e.original) + '\t' + FormatFingerprint(e.copied) + "\r\n";
    }
    for (const std::string& line : index.unreadable) out += line + "\r\n";
    return out;
}

Index ParseIndex(std::string_view text) {
    Index out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
        if (line.empty()) continue;
        std::vector<std::string_view> f = SplitTabs(line);
        if (line[0] == ';' && f.size() == 1) continue;  // a comment
        Entry e;
        bool ok = f.size() == 4 && !f[0].empty() && !f[1].empty() &&
                  ParseFingerprint(f[2], e.original) && ParseFingerprint(f[3], e.copied) &&
                  LastPart(f[1]) == f[1];
        if (!ok) {
            out.unreadable.emplace_back(line);
            continue;
        }
        e.destination = std::string(f[0]);
        e.saved = f[1] == kAbsent ? std::string() : std::string(f[1]);
        out.entries.push_back(std::move(e));
    }
    return out;
}

Store::Store(sys::System& system, std::string folder)
    : system_(system), folder_(std::move(folder)) {}

const Index& Store::Load() {
    if (loaded_) return index_;
    std::string data;
    sys::FileError why;
    if (system_.ReadFile(folder_ + kIndexName, data, &why)) {
        index_ = ParseIndex(data);
        loaded_ = true;
    } else if (why.fault == sys::Fault::SourceMissing) {
        loaded_ = true;  // nothing kept yet
    }
    return index_;
}

Entry* Store::Find(const std::string& destination) {
    const std::string key = PathKey(destination);
    for (Entry& e : index_.entries) {
        if (PathKey(e.destination) == key) return &e;
    }
    return nullptr;
}

std::string Store::NewSavedName(const std::string& destination) {
    unsigned long next = 1;
    for (const Entry& e : index_.entries)
        next = std::max(next, std::strtoul(e.saved.c_str(), nullptr, 10) + 1);
    std::string part = LastPart(destination);
    if (part.empty()) part = "file";
    for (;; ++next) {
        std::string name = std::to_string(next) + "_" + part;
        if (system_.Attributes(folder_ + name) == sys::kNoFile) return name;
    }
}

bool Store::MakeFolder(sys::FileError& why) {
    std::string folder = folder_.substr(0, folder_.size() - 1);
    if (system_.CreateFolder(folder)) return true;
    why = {sys::Fault::Other, "フォルダ " + folder + " を作れません"};
    return false;
}

bool Store::Save(sys::FileError& why) {
    return MakeFolder(why) &&
           system_.SaveFileAtomic(folder_ + kIndexName, FormatIndex(index_), &why);
}

bool Store::BeforeCopy(const std::string& source, const std::string& destination, bool keep,
                       sys::FileError& why) {
    // A path with a line break or a tab names no file (the copy fails by itself) and
    // would break the index's lines.
    if (destination.find_first_of("\r\n\t") != std::string::npos) return true;
    Load();
    if (!loaded_)
        return Refuse(why, "元のファイルの記録 " + folder_ + kIndexName + " を読めません");
    Entry* e = Find(destination);
    if (!keep && !e) return true;

    std::string& incoming = incoming_;
    if (!system_.ReadFile(source, incoming, &why)) {
        // A missing source cannot replace anything: the copy fails by itself and says so.
        return why.fault == sys::Fault::SourceMissing;
    }
    const Fingerprint in = FingerprintOf(incoming);
    if (!keep) {
        if (e->copied == in) return true;
        e->copied = in;
        sys::FileError saveWhy;
        if (Save(saveWhy)) return true;
        return Refuse(why, "元のファイルの記録 " + folder_ + kIndexName + " に書き込めません (" +
                               ReasonText(saveWhy) + ")");
    }

    bool present = false;
    if (!CopyCanWrite(destination, present)) return true;  // nothing will be replaced
    return Note(e, destination, in, present, why);
}

bool Store::CopyCanWrite(const std::string& destination, bool& present) {
    const std::uint32_t attributes = system_.Attributes(destination);
    present = attributes != sys::kNoFile;
    // The copy refuses such a target by itself, and cannot write into a missing folder.
    if (present) return !(attributes & (sys::kReadOnly | sys::kHidden | sys::kDirectory));
    std::string parent = ParentKey(destination);
    if (parent.empty() || parent.back() == ':') parent += '\\';  // a root, "\\x" or "C:x"
    std::uint32_t folder = system_.Attributes(parent);
    return folder != sys::kNoFile && (folder & sys::kDirectory);
}

bool Store::Note(Entry* e, const std::string& destination, const Fingerprint& in, bool present,
                 sys::FileError& why) {
    std::string& current = current_;
    current.clear();
    if (present && !system_.ReadFile(destination, current, &why)) return false;
    const Fingerprint now = FingerprintOf(current);

    const Index before = index_;
    std::string added, dropped;
    if (!e) {
        Entry n{destination, "", {}, in};
        if (present) {
            n.saved = added = NewSavedName(destination);
            n.original = now;
        }
        index_.entries.push_back(n);
        e = &index_.entries.back();
    } else if (present && now != e->copied && (e->Absent() || now != e->original)) {
        // Not what QUAVERIX put there: the game's own newer file is the original now.
        dropped = e->saved;
        e->saved = added = NewSavedName(destination);
        e->original = now;
    } else if (e->copied == in) {
        return true;  // nothing to note
    }
    e->copied = in;

    sys::FileError saveWhy;
    bool ok = true;
    if (!added.empty()) {
        ok = MakeFolder(saveWhy) && system_.SaveFileAtomic(folder_ + added, current, &saveWhy);
        if (ok) {
            // Read back: a saved original is whole or not kept.
            ok = system_.ReadFile(folder_ + added, incoming_, &saveWhy) &&
                 FingerprintOf(incoming_) == now;
        }
    }
    if (ok) ok = Save(saveWhy);
    if (!ok) {
        index_ = before;
        if (!added.empty()) system_.RemoveFile(folder_ + added);
        return Refuse(why, "元のファイルを保存できません (" + ReasonText(saveWhy) + ")");
    }
    if (!dropped.empty()) system_.RemoveFile(folder_ + dropped);
    return true;
}

std::vector<Entry> Store::EntriesIn(const std::string& folder) {
    Load();
    std::string key = PathKey(folder);
    while (!key.empty() && key.back() == '\\' && !text::EndsWithDoubleByte(key)) key.pop_back();
    std::vector<Entry> out;
    for (const Entry& e : index_.entries) {
        if (ParentKey(PathKey(e.destination)) == key) out.push_back(e);
    }
    return out;
}

bool Store::Restore(const Entry& entry, sys::FileError& why) {
    Load();
    if (!loaded_)
        return Refuse(why, "元のファイルの記録 " + folder_ + kIndexName + " を読めません");
    const std::string& destination = entry.destination;
    std::string current;
    const bool present = system_.Attributes(destination) != sys::kNoFile;
    if (present && !system_.ReadFile(destination, current, &why)) return false;
    const Fingerprint now = FingerprintOf(current);
    const char* changed = "QUAVERIX がコピーした後に変更されているので、そのままにしました";
    if (entry.Absent()) {
        if (!present) return true;
        if (now != entry.copied) return Refuse(why, changed);
        return system_.RemoveFile(destination, &why);
    }
    if (present && now == entry.original) return true;  // already the game's own file
    if (present && now != entry.copied) return Refuse(why, changed);
    std::string saved;
    if (!system_.ReadFile(folder_ + entry.saved, saved) || FingerprintOf(saved) != entry.original) {
        return Refuse(why, "保存しておいた元のファイル " + folder_ + entry.saved +
                               " が見つからないか、壊れています");
    }
    return system_.CopyFileTo(folder_ + entry.saved, destination, false, &why);
}

bool Store::Forget(const std::vector<Entry>& restored, sys::FileError& why) {
    if (restored.empty()) return true;
    std::vector<std::string> keys;
    for (const Entry& e : restored) keys.push_back(PathKey(e.destination));
    auto isRestored = [&](const Entry& e) {
        return std::find(keys.begin(), keys.end(), PathKey(e.destination)) != keys.end();
    };
    const Index before = index_;
    index_.entries.erase(std::remove_if(index_.entries.begin(), index_.entries.end(), isRestored),
                         index_.entries.end());
    if (!Save(why)) {
        index_ = before;
        return false;
    }
    for (const Entry& e : restored) {
        if (!e.Absent()) system_.RemoveFile(folder_ + e.saved);
    }
    return true;
}

std::string ReasonText(const sys::FileError& why) {
    switch (why.fault) {
        case sys::Fault::SourceMissing: return "コピー元のファイルがありません";
        case sys::Fault::FolderMissing: return "コピー先のフォルダがありません";
        case sys::Fault::TargetProtected:
            return "コピー先のファイルが読み取り専用か隠しファイルです";
        case sys::Fault::InUse:
            return "ファイルがほかのプログラムで使用中です (ゲームが起動していませんか)";
        case sys::Fault::None:
        case sys::Fault::Other: break;
    }
    return why.detail.empty() ? "原因のわからないエラーです" : why.detail;
}

}  // namespace originals
