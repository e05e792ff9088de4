#include "apply/Record.h"

#include <algorithm>

#include "originals/DataLock.h"
#include "originals/Index.h"
#include "platform/text/Cp932.h"
#include "slots/Slots.h"

namespace apply {
namespace {

bool Number(const std::string& s, std::uint64_t& out) {
    if (s.empty() || s.size() > 20) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9' || out > (UINT64_MAX - 9) / 10) return false;
        out = out * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

bool Print(const std::string& s, originals::Fingerprint& f) {
    originals::Index probe = originals::ParseIndex("x\t(none)\t" + s + "\t" + s);
    if (probe.entries.size() != 1) return false;
    f = probe.entries[0].original;
    return true;
}

bool SameFolder(const std::string& a, const std::string& b) {
    return originals::FolderKey(a) == originals::FolderKey(b);
}

bool SameSlot(const std::string& a, const std::string& b) {
    return originals::PathKey(a) == originals::PathKey(b);
}

bool Usable(const std::string& s) { return s.find_first_of("\t\r\n") == std::string::npos; }

}  // namespace

Record::Record(sys::System& system, std::string path) : system_(system), path_(std::move(path)) {
    Read();
}

void Record::Read() {
    entries_.clear();
    unreadable_.clear();
    std::string text;
    if (system_.ReadFile(path_, text)) entries_ = Parse(text, &unreadable_);
}

std::vector<Applied> Record::In(const std::string& folder) const {
    std::vector<Applied> out;
    for (const Applied& a : entries_) {
        if (SameFolder(a.folder, folder)) out.push_back(a);
    }
    return out;
}

bool Record::Make(const Change& c) {
    auto same = [&](const Applied& e) {
        return SameFolder(e.folder, c.a.folder) && SameSlot(e.slot, c.a.slot);
    };
    const auto it = std::find_if(entries_.begin(), entries_.end(), same);
    if (c.drop) {
        if (it == entries_.end()) return false;
        entries_.erase(it);
        return true;
    }
    if (it == entries_.end()) {
        entries_.push_back(c.a);
        return true;
    }
    if (*it == c.a) return false;
    *it = c.a;
    return true;
}

void Record::Set(const Applied& a) {
    if (!Usable(a.folder) || !Usable(a.slot) || !Usable(a.source)) return;
    const Change c{false, a};
    if (Make(c)) changes_.push_back(c);
}

void Record::Drop(const std::string& folder, const std::string& slot) {
    const Change c{true, {folder, slot, {}, {}, {}, {}, {}}};
    if (Make(c)) changes_.push_back(c);
}

bool Record::Save(sys::FileError* why) {
    if (changes_.empty()) return true;
    const originals::DataLock lock(system_, path_);
    if (!lock.Held(why)) return false;
    Read();
    for (const Change& c : changes_) Make(c);
    if (!system_.SaveFileAtomic(path_, Format(entries_, unreadable_), why)) return false;
    changes_.clear();
    return true;
}

std::string Record::Format(const std::vector<Applied>& entries,
                           const std::vector<std::string>& unreadable) {
    std::string out =
        "; QUAVERIX が「コピー開始」と「Bat作成」でゲームのフォルダに入れた曲。\r\n"
        "; コピー先フォルダ<TAB>ファイル名<TAB>元の曲<TAB>元の曲の大きさ<TAB>元の曲の時刻<TAB>"
        "元の曲の大きさ:ハッシュ<TAB>コピーしたファイルの大きさ<TAB>その時刻<TAB>その大きさ:"
        "ハッシュ\r\n";
    auto print = [](const originals::Fingerprint& f) {
        return originals::FormatFingerprintText(f);
    };
    for (const Applied& a : entries) {
        out += a.folder + '\t' + a.slot + '\t' + a.source + '\t' +
               std::to_string(a.sourceStamp.size) + '\t' + std::to_string(a.sourceStamp.time) +
               '\t' + print(a.sourcePrint) + '\t' + std::to_string(a.copiedStamp.size) + '\t' +
               std::to_string(a.copiedStamp.time) + '\t' + print(a.copiedPrint) + "\r\n";
    }
    for (const std::string& line : unreadable) out += line + "\r\n";
    return out;
}

std::vector<Applied> Record::Parse(const std::string& text, std::vector<std::string>* unreadable) {
    std::vector<Applied> out;
    for (const std::string_view part : text::SplitLines(text)) {
        const std::string line(part);
        if (line.empty() || line[0] == ';') continue;
        std::vector<std::string> f;
        for (std::string_view part : text::SplitTabs(line)) f.emplace_back(part);
        Applied a;
        const bool ok = f.size() == 9 && !f[0].empty() && !f[1].empty() && !f[2].empty() &&
                        Number(f[3], a.sourceStamp.size) && Number(f[4], a.sourceStamp.time) &&
                        Print(f[5], a.sourcePrint) && Number(f[6], a.copiedStamp.size) &&
                        Number(f[7], a.copiedStamp.time) && Print(f[8], a.copiedPrint);
        if (!ok) {
            if (unreadable) unreadable->push_back(line);
            continue;
        }
        a.folder = f[0];
        a.slot = f[1];
        a.source = f[2];
        out.push_back(a);
    }
    return out;
}

Now Compare(sys::System& system, const Applied& a) {
    const std::string target = slots::DestinationPath(a.folder, a.slot);
    const std::optional<sys::FileStamp> there = system.Stamp(target);
    bool ours = !there && a.copiedStamp == sys::FileStamp{};  // a batch not run yet
    if (there) {
        if (a.copiedStamp.time != 0 && *there == a.copiedStamp) {
            ours = true;
        } else if (there->size == a.copiedPrint.size) {
            originals::Fingerprint now;
            ours = originals::FingerprintFile(system, target, now) && now == a.copiedPrint;
        }
    }
    if (ours) return Now::Same;
    const std::optional<sys::FileStamp> source = system.Stamp(a.source);
    if (!source) return Now::SourceGone;
    if (*source == a.sourceStamp) return Now::Reverted;
    originals::Fingerprint now;
    return source->size == a.sourcePrint.size &&
                   originals::FingerprintFile(system, a.source, now) && now == a.sourcePrint
               ? Now::Reverted
               : Now::SourceGone;
}

bool Describe(sys::System& system, const std::string& folder, const std::string& slot,
              const std::string& source, const std::string& destination, Applied& out) {
    out = {folder, slot, source, {}, {}, {}, {}};
    const std::optional<sys::FileStamp> s = system.Stamp(source);
    const std::optional<sys::FileStamp> d = system.Stamp(destination);
    if (!s || !d) return false;
    out.sourceStamp = *s;
    out.copiedStamp = *d;
    return originals::FingerprintFile(system, source, out.sourcePrint) &&
           originals::FingerprintFile(system, destination, out.copiedPrint);
}

}  // namespace apply
