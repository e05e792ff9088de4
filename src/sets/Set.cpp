#include "sets/Set.h"

#include "originals/DataLock.h"
#include "platform/paths/Paths.h"
#include "platform/text/Cp932.h"
#include "settings/Settings.h"
#include "slots/Slots.h"

namespace sets {
namespace {

constexpr std::string_view kHeader = "QUAVERIX set 1";
constexpr std::string_view kColumns = "slot\tsize\thash\tfile";
constexpr std::string_view kUnread = "-";

bool Number(std::string_view s, std::uint64_t& out) {
    if (s.empty() || s.size() > 19) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

bool Hash(std::string_view s, std::uint64_t& out) {
    if (s.size() != 16) return false;
    out = 0;
    for (char c : s) {
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0) return false;
        out = out << 4 | static_cast<std::uint64_t>(d);
    }
    return true;
}

std::string Hex(std::uint64_t v) {
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i, v >>= 4)
        hex[static_cast<std::size_t>(i)] = "0123456789abcdef"[v & 0xF];
    return hex;
}

// A field that a line can hold.
bool Holdable(std::string_view s) { return s.find_first_of("\t\r\n") == std::string_view::npos; }

// Notepad's "UTF-8" keeps a mark at the start: such a file is read as UTF-8.
std::string Decoded(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") return text::FromUtf8(text.substr(3));
    return std::string(text);
}

std::string FileText(const std::string& name) { return "セット「" + name + "」"; }

// A path is set apart from the words after it; a name in 「」 needs no blank.
std::string Subject(const std::string& what) {
    const std::size_t last = text::LastCharOffset(what);
    return last != std::string::npos && what.substr(last) == "」" ? what : what + " ";
}

Outcome Refused(std::string error) { return {Status::Refused, std::move(error)}; }

// A name of a set that is there: any name of a file in the sets folder (one put there by
// hand too), never a path that leads out of it.
std::string Unplain(std::string_view name) {
    bool plain = name.find_first_not_of('.') != std::string_view::npos;
    for (std::size_t i = 0; plain && i < name.size(); i += text::CharLength(name, i)) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        plain = c >= 0x20 && c != '\\' && c != '/' && c != ':';
    }
    return plain ? "" : "「" + std::string(name) + "」はセットの名前ではありません。";
}

Outcome Failed(const std::string& what, const sys::FileError& why) {
    return Refused(what + "\r\n理由: " + settings::FileReason(why));
}

// A set file's text, read whole (it is small), or why not.
bool ReadText(sys::System& system, const std::string& path, const std::string& what,
              std::string& text, std::string& error) {
    const std::optional<std::uint64_t> size = system.SizeOf(path);
    if (!size) {
        error = Subject(what) + "が見つかりません。";
        return false;
    }
    if (*size > kMaxSetFileBytes) {
        error = Subject(what) + "は QUAVERIX のセットのファイルではありません (大きすぎます)。";
        return false;
    }
    sys::FileError why;
    if (!system.ReadFile(path, text, &why)) {
        error = Subject(what) + "を読めません。\r\n理由: " + settings::FileReason(why);
        return false;
    }
    text = Decoded(text);
    return true;
}

}  // namespace

Entry Describe(sys::System& system, const std::string& slot, const std::string& file) {
    Entry e{slot, file, std::nullopt};
    originals::Fingerprint f;
    if (originals::FingerprintFile(system, file, f)) e.print = f;
    return e;
}

std::string NameProblem(std::string_view name) {
    if (name.empty()) return "セットの名前がありません。";
    if (name.size() > kMaxNameBytes) {
        return "セットの名前が長すぎます (全角 50 文字、半角 100 文字まで)。";
    }
    // Only text that CP932 spells (no lone lead byte, no undefined code) names a file.
    if (!slots::IsUsableSlotName(name) || text::FromUtf16(text::ToUtf16(name)) != name) {
        return "「" + std::string(name) +
               "」はセットの名前に使えません。\\ / : * ? \" < > | ~ と、CON や NUL "
               "のような名前、終わりの「.」や空白は使えません。";
    }
    return "";
}

std::string Format(const Set& set) {
    std::string out =
        std::string(kHeader) + '\t' + set.name + "\r\n" + std::string(kColumns) + "\r\n";
    for (const Entry& e : set.entries) {
        if (!Holdable(e.slot) || !Holdable(e.file)) continue;  // see WriteProblem
        const std::string size = e.print ? std::to_string(e.print->size) : std::string(kUnread);
        const std::string hash = e.print ? Hex(e.print->hash) : std::string(kUnread);
        out += e.slot + '\t' + size + '\t' + hash + '\t' + e.file + "\r\n";
    }
    return out;
}

std::optional<Set> Parse(std::string_view text, std::vector<std::string>* notes) {
    const std::vector<std::string_view> lines = text::SplitLines(text);
    if (lines.empty()) return std::nullopt;
    const std::vector<std::string_view> head = text::SplitTabs(lines[0]);
    if (head[0] != kHeader || head.size() > 2) return std::nullopt;
    Set set;
    if (head.size() == 2) set.name = std::string(head[1]);
    for (std::size_t n = 1; n < lines.size(); ++n) {
        const std::string_view line = lines[n];
        if (line.empty() || (n == 1 && line == kColumns)) continue;
        const std::vector<std::string_view> f = text::SplitTabs(line);
        Entry e;
        originals::Fingerprint p;
        const bool unread = f.size() == 4 && f[1] == kUnread && f[2] == kUnread;
        if (f.size() != 4 || f[0].empty() || f[3].empty() ||
            (!unread && !(Number(f[1], p.size) && Hash(f[2], p.hash)))) {
            if (notes) {
                notes->push_back(std::to_string(n + 1) +
                                 " 行目を読めません: " + std::string(text::CutBytes(line, 40)));
            }
            continue;
        }
        e.slot = std::string(f[0]);
        e.file = std::string(f[3]);
        if (!unread) e.print = p;
        set.entries.push_back(std::move(e));
    }
    return set;
}

std::string WriteProblem(const Set& set) {
    for (const Entry& e : set.entries) {
        if (!Holdable(e.slot) || !Holdable(e.file)) {
            return "「" + e.slot + "」の名前か曲のファイルにタブか改行があるため、" +
                   FileText(set.name) + "を書き込めません。";
        }
    }
    return "";
}

bool LooksLikeSetFile(std::string_view start) {
    if (start.substr(0, 3) == "\xEF\xBB\xBF") start.remove_prefix(3);
    return start.substr(0, kHeader.size()) == kHeader;
}

std::string StateText(FileState state) {
    switch (state) {
        case FileState::Same: break;
        case FileState::Changed: return "セットを保存したときから変更されています";
        case FileState::Missing: return "曲のファイルが見つからないか、読めません";
    }
    return "";
}

FileState Check(sys::System& system, const Entry& entry) {
    const std::optional<std::uint64_t> size = system.SizeOf(entry.file);
    if (!size) return FileState::Missing;
    if (!entry.print || *size != entry.print->size) return FileState::Changed;
    originals::Fingerprint now;
    if (!originals::FingerprintFile(system, entry.file, now)) return FileState::Missing;
    return now == *entry.print ? FileState::Same : FileState::Changed;
}

std::string PathOf(const settings::DataFolder& data, const std::string& name) {
    return data.Sets() + name + kSetExtension;
}

Loaded ReadSetFile(sys::System& system, const std::string& path) {
    Loaded out;
    std::string text;
    if (!ReadText(system, path, path, text, out.error)) return out;
    std::optional<Set> set = Parse(text, &out.notes);
    if (!set) {
        out.error = path + " は QUAVERIX のセットのファイルではありません。";
        return out;
    }
    const std::string folder = paths::Parent(path);
    for (Entry& e : set->entries) {
        if (paths::RootLength(e.file) == 0) e.file = paths::Join(folder, e.file);
        out.files.push_back(Check(system, e));
    }
    if (set->name.empty()) {
        const std::string last = paths::LastPart(path);
        set->name = last.substr(0, last.rfind('.'));
    }
    out.set = std::move(*set);
    out.status = Status::Done;
    return out;
}

Loaded Load(sys::System& system, const settings::DataFolder& data, const std::string& name) {
    if (std::string problem = Unplain(name); !problem.empty()) {
        Loaded out;
        out.error = problem;
        return out;
    }
    Loaded out = ReadSetFile(system, PathOf(data, name));
    if (out.status != Status::Done) {
        // Say which set, not which file.
        out.error = text::ReplaceAll(out.error, PathOf(data, name) + " ", FileText(name));
        return out;
    }
    out.set.name = name;  // the file's name wins over what its first line says
    return out;
}

std::vector<Listed> List(sys::System& system, const settings::DataFolder& data) {
    std::vector<Listed> out;
    const sys::FolderListing listing = system.ListFolder(data.Sets());
    const std::string ext = text::UpperAscii(kSetExtension);
    for (const sys::FolderEntry& f : listing.entries) {
        if ((f.attributes & sys::kDirectory) || !text::FitsCp932(f.name)) continue;
        const std::string file = text::FromUtf16(f.name);
        if (file.size() <= ext.size() ||
            text::UpperAscii(file.substr(file.size() - ext.size())) != ext) {
            continue;
        }
        Listed l;
        l.name = file.substr(0, file.size() - ext.size());
        const std::string path = data.Sets() + file;
        l.stamp = system.Stamp(path).value_or(sys::FileStamp{});
        std::string text;
        std::vector<std::string> notes;
        std::optional<Set> set;
        if (!ReadText(system, path, FileText(l.name), text, l.problem)) {
        } else if (!(set = Parse(text, &notes))) {
            l.problem = "QUAVERIX のセットのファイルではありません。";
        } else {
            l.slots = set->entries.size();
            if (!notes.empty()) l.problem = std::to_string(notes.size()) + " 行を読めません。";
        }
        out.push_back(std::move(l));
    }
    return out;
}

Outcome Save(sys::System& system, const settings::DataFolder& data, const Set& set, bool replace) {
    if (std::string problem = NameProblem(set.name); !problem.empty()) return Refused(problem);
    if (std::string problem = WriteProblem(set); !problem.empty()) return Refused(problem);
    const originals::DataLock lock(system, data.Sets());
    sys::FileError why;
    if (!lock.Held(why)) return Failed(FileText(set.name) + "を保存できません。", why);
    const std::string path = PathOf(data, set.name);
    if (!replace && system.Attributes(path) != sys::kNoFile) {
        return {Status::Exists, FileText(set.name) + "はもうあります。置き換えますか？"};
    }
    system.CreateFolder(data.Sets());
    if (!system.SaveFileAtomic(path, Format(set), &why)) {
        return Failed(FileText(set.name) + "を保存できません。", why);
    }
    return {};
}

Outcome Rename(sys::System& system, const settings::DataFolder& data, const std::string& from,
               const std::string& to, bool replace) {
    if (std::string problem = NameProblem(to); !problem.empty()) return Refused(problem);
    if (std::string problem = Unplain(from); !problem.empty()) return Refused(problem);
    if (from == to) return {};
    const originals::DataLock lock(system, data.Sets());
    sys::FileError why;
    const std::string what = FileText(from) + "の名前を変えられません。";
    if (!lock.Held(why)) return Failed(what, why);
    std::string text, error;
    if (!ReadText(system, PathOf(data, from), FileText(from), text, error)) return Refused(error);
    if (!Parse(text))
        return Refused(FileText(from) + "は QUAVERIX のセットのファイルではありません。");
    // The same file on Windows when only the case differs.
    const bool same = text::EqualsNoCase(from, to);
    if (!same && !replace && system.Attributes(PathOf(data, to)) != sys::kNoFile) {
        return {Status::Exists, FileText(to) + "はもうあります。置き換えますか？"};
    }
    // The first line gets the new name; every other line stays as it was.
    const std::size_t end = text.find_first_of("\r\n");
    text = std::string(kHeader) + '\t' + to + (end == std::string::npos ? "" : text.substr(end));
    if (!system.SaveFileAtomic(PathOf(data, to), text, &why)) return Failed(what, why);
    if (!same && !system.RemoveFile(PathOf(data, from), &why)) {
        return Failed(FileText(to) + "を作りましたが、" + FileText(from) + "を消せません。", why);
    }
    return {};
}

Outcome Remove(sys::System& system, const settings::DataFolder& data, const std::string& name) {
    if (std::string problem = Unplain(name); !problem.empty()) return Refused(problem);
    const originals::DataLock lock(system, data.Sets());
    sys::FileError why;
    if (system.Attributes(PathOf(data, name)) == sys::kNoFile) {
        return Refused(FileText(name) + "が見つかりません。");
    }
    if (!lock.Held(why) || !system.RemoveFile(PathOf(data, name), &why)) {
        return Failed(FileText(name) + "を削除できません。", why);
    }
    return {};
}

}  // namespace sets
