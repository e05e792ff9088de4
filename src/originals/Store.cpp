#include "originals/Store.h"

#include <algorithm>
#include <cstdlib>

#include "originals/DataLock.h"
#include "platform/paths/Paths.h"

namespace originals {
namespace {

bool Refuse(sys::FileError& why, std::string detail) {
    why = {sys::Fault::Other, std::move(detail)};
    return false;
}

// The kept file is no longer the game's newest: it stays kept, as older, and the record
// knows nothing of the game's file there now.
void Forsake(Entry& e) {
    e.older.push_back({e.saved, e.original});
    e.saved.clear();
    e.original = {};
    e.known = false;
}

}  // namespace

Store::Store(sys::System& system, std::string folder)
    : system_(system), folder_(std::move(folder)) {}

bool Store::Load() {
    index_ = {};
    std::string data;
    sys::FileError why;
    if (system_.ReadFile(folder_ + kIndexName, data, &why)) {
        index_ = ParseIndex(data);
        return true;
    }
    return why.fault == sys::Fault::SourceMissing;  // nothing kept yet
}

std::string Store::Unreadable() const {
    return "元のファイルの記録 " + folder_ + kIndexName + " を読めません";
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
    for (const Entry& e : index_.entries) {
        next = std::max(next, std::strtoul(e.saved.c_str(), nullptr, 10) + 1);
        for (const Version& v : e.older)
            next = std::max(next, std::strtoul(v.saved.c_str(), nullptr, 10) + 1);
    }
    std::string part = paths::LastPart(destination);
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

std::optional<bool> Store::Start(const std::string& source, const std::string& destination,
                                 bool keep, Entry*& e, Fingerprint& in, sys::FileError& why) {
    why = {};
    e = nullptr;
    // A path with a line break or a tab names no file (the copy fails by itself) and
    // would break the index's lines.
    if (destination.find_first_of("\r\n\t") != std::string::npos) return true;
    if (!Load()) return Refuse(why, Unreadable());
    e = Find(destination);
    if (!keep && !e) return true;
    // A missing source cannot replace anything: the copy fails by itself and says so.
    if (!FingerprintFile(system_, source, in, &why)) return why.fault == sys::Fault::SourceMissing;
    return std::nullopt;
}

bool Store::BeforeCopy(const std::string& source, const std::string& destination, bool keep,
                       sys::FileError& why) {
    const DataLock lock(system_, folder_);
    if (!lock.Held(why)) return false;
    Entry* e = nullptr;
    Fingerprint in;
    if (std::optional<bool> done = Start(source, destination, keep, e, in, why)) return *done;
    if (!keep) {
        // Not kept, the game's newer file is replaced as a batch file replaces it.
        const bool stale = Superseded(*e, destination);
        if (stale) Forsake(*e);
        if (e->copied == in && !stale) return true;
        e->NoteCopied(in);
        sys::FileError saveWhy;
        if (Save(saveWhy)) return true;
        return Refuse(why, "元のファイルの記録 " + folder_ + kIndexName + " に書き込めません (" +
                               sys::ReasonText(saveWhy) + ")");
    }

    bool present = false;
    if (!CopyCanWrite(destination, present)) return true;  // nothing will be replaced
    return Note(e, destination, in, present, why);
}

void Store::AfterCopy(const std::string& destination) {
    const DataLock lock(system_, folder_);
    Entry* e = lock.Held() && Load() ? Find(destination) : nullptr;
    Fingerprint now;
    if (!e || !FingerprintFile(system_, destination, now) || now == e->copied) return;
    e->NoteCopied(now);
    sys::FileError why;
    Save(why);  // the copy noted in BeforeCopy stays noted either way
}

bool Store::Superseded(const Entry& e, const std::string& destination) {
    if (!e.known || system_.Attributes(destination) == sys::kNoFile) return false;
    Fingerprint now;
    return FingerprintFile(system_, destination, now) && !e.IsOurs(now) && !e.IsKept(now);
}

bool Store::NoteBatch(const std::string& source, const std::string& destination, bool keep,
                      sys::FileError& why) {
    const DataLock lock(system_, folder_);
    if (!lock.Held(why)) return false;
    Entry* e = nullptr;
    Fingerprint in;
    if (std::optional<bool> done = Start(source, destination, keep, e, in, why)) return *done;
    // The game's own newer file there (a patch since the last copy) is about to be
    // replaced by the batch, which keeps nothing: the kept one is no longer the game's
    // newest, so a restore must not put it back as if it were.
    const bool stale = e && Superseded(*e, destination);
    if (e && e->IsOurs(in) && !stale) return true;
    if (stale) Forsake(*e);
    if (!e) {
        Entry n;
        n.destination = destination;
        n.known = false;
        index_.entries.push_back(n);
        e = &index_.entries.back();
    }
    if (e->copied == Fingerprint{}) {
        e->copied = in;
    } else if (!e->IsOurs(in)) {
        e->ours.push_back(in);
        if (e->ours.size() > kOursKept) e->ours.erase(e->ours.begin());
    }
    sys::FileError saveWhy;
    if (Save(saveWhy)) return true;
    return Refuse(why, "元のファイルの記録 " + folder_ + kIndexName + " に書き込めません (" +
                           sys::ReasonText(saveWhy) + ")");
}

bool Store::HoldsOurs(const std::string& destination, const std::string& file) {
    const DataLock lock(system_, folder_);
    const Entry* e = lock.Held() && Load() ? Find(destination) : nullptr;
    Fingerprint now;
    return e && FingerprintFile(system_, file.empty() ? destination : file, now) && e->IsOurs(now);
}

std::string Store::GameFile(const std::string& destination,
                            const std::optional<Fingerprint>& ours) {
    const DataLock lock(system_, folder_);
    if (!lock.Held() || !Load()) return "";
    const Entry* e = Find(destination);
    Fingerprint now;
    const bool present = system_.Attributes(destination) != sys::kNoFile &&
                         FingerprintFile(system_, destination, now);
    const bool theirs = present && (!e || !e->IsOurs(now)) && (!ours || *ours != now);
    // As 元に戻す sees it: a file there that is not QUAVERIX's is the game's (a patch
    // since the last copy, or a kept version put back by hand).
    if (theirs) return destination;
    if (!e) return "";
    if (e->known) return e->Absent() ? "" : folder_ + e->saved;
    for (auto v = e->older.rbegin(); v != e->older.rend(); ++v) {
        if (!v->saved.empty()) return folder_ + v->saved;
    }
    return "";
}

bool Store::CopyCanWrite(const std::string& destination, bool& present) {
    const std::uint32_t attributes = system_.Attributes(destination);
    present = attributes != sys::kNoFile;
    // The copy refuses such a target by itself, and cannot write into a missing folder.
    if (present) return !sys::CopyRefuses(attributes);
    std::string parent = paths::Parent(destination);
    if (parent.empty()) parent = "\\";  // a bare name
    std::uint32_t folder = system_.Attributes(parent);
    return folder != sys::kNoFile && (folder & sys::kDirectory);
}

bool Store::Keep(const std::string& destination, const std::string& name, const Fingerprint& now,
                 sys::FileError& why) {
    Fingerprint back;
    return MakeFolder(why) && system_.CopyFileTo(destination, folder_ + name, false, &why) &&
           FingerprintFile(system_, folder_ + name, back, &why) &&
           (back == now || !Refuse(why, "保存したファイルが元のファイルと一致しません"));
}

bool Store::Note(Entry* e, const std::string& destination, const Fingerprint& in, bool present,
                 sys::FileError& why) {
    Fingerprint now;
    if (present && !FingerprintFile(system_, destination, now, &why)) return false;

    std::string added;
    if (!e) {
        Entry n;
        n.destination = destination;
        if (present) {
            n.saved = added = NewSavedName(destination);
            n.original = now;
        }
        index_.entries.push_back(n);
        e = &index_.entries.back();
    } else if (!e->known) {
        // Only a batch file's copy was noted: the file there is the game's unless it is
        // that copy; a missing one leaves nothing to put back but the removal of ours.
        if (!present || !e->IsOurs(now)) {
            e->known = true;
            if (present) {
                e->saved = added = NewSavedName(destination);
                e->original = now;
            }
        }
    } else if (present && !e->IsOurs(now) && !e->IsKept(now)) {
        // Neither QUAVERIX's nor a kept file: the game's own newer file, kept as the
        // newest version beside the ones before it.
        e->older.push_back({e->saved, e->original});
        e->saved = added = NewSavedName(destination);
        e->original = now;
    } else if (e->copied == in) {
        return true;  // nothing to note
    }
    e->NoteCopied(in);

    sys::FileError saveWhy;
    bool ok = added.empty() || Keep(destination, added, now, saveWhy);
    if (ok) ok = Save(saveWhy);
    if (!ok) {
        if (!added.empty()) system_.RemoveFile(folder_ + added);
        return Refuse(why, "元のファイルを保存できません (" + sys::ReasonText(saveWhy) + ")");
    }
    return true;
}

std::vector<Entry> Store::EntriesIn(const std::string& folder, sys::FileError* why) {
    const DataLock lock(system_, folder_);
    sys::FileError refused;
    if (!lock.Held(refused) || (!Load() && !Refuse(refused, Unreadable()))) {
        if (why) *why = refused;
        return {};
    }
    const std::string key = FolderKey(folder);
    std::vector<Entry> out;
    for (const Entry& e : index_.entries) {
        if (IsIn(e, key)) out.push_back(e);
    }
    return out;
}

bool Store::Restore(const std::string& destination, Restoring& done, sys::FileError& why) {
    const DataLock lock(system_, folder_);
    if (!lock.Held(why)) return false;
    if (!Load()) return Refuse(why, Unreadable());
    done = {};
    const Entry* found = Find(destination);
    if (!found) return true;  // put back meanwhile (another window's 元に戻す)
    done.entry = *found;
    const Entry& entry = done.entry;
    Fingerprint now;
    const bool present = system_.Attributes(destination) != sys::kNoFile;
    if (present && !FingerprintFile(system_, destination, now, &why)) return false;
    const char* changed = "QUAVERIX がコピーした後に変更されているので、そのままにしました";
    // A file that is not QUAVERIX's is the game's (kept, or newer than anything kept).
    if (present && !entry.IsOurs(now)) {
        return !entry.known || entry.IsKept(now) || Refuse(why, changed);
    }
    if (!entry.known) {
        return !present ||
               Refuse(why,
                      "ゲームの元のファイルは保存されていません "
                      "(バッチファイルか、元のファイルを残さずにコピーしたファイルです)");
    }
    if (entry.Absent()) {
        if (!present) return true;
        done.changed = true;
        return system_.RemoveFile(destination, &why);
    }
    Fingerprint saved;
    if (!FingerprintFile(system_, folder_ + entry.saved, saved) || saved != entry.original) {
        return Refuse(why, "保存しておいた元のファイル " + folder_ + entry.saved +
                               " が見つからないか、壊れています");
    }
    done.changed = true;
    done.putBack = folder_ + entry.saved;
    return system_.CopyFileTo(folder_ + entry.saved, destination, false, &why);
}

bool Store::Forget(const std::vector<Entry>& restored, sys::FileError& why) {
    if (restored.empty()) return true;
    const DataLock lock(system_, folder_);
    if (!lock.Held(why)) return false;
    if (!Load()) return Refuse(why, Unreadable());
    // A record with older versions stays whole (see Store.h); one changed since it was
    // put back (another window copied there meanwhile) is that window's now.
    auto isRestored = [&](const Entry& e) {
        return e.older.empty() && std::find(restored.begin(), restored.end(), e) != restored.end();
    };
    std::vector<Entry> dropped;
    for (const Entry& e : index_.entries) {
        if (isRestored(e)) dropped.push_back(e);
    }
    if (dropped.empty()) return true;
    std::erase_if(index_.entries, isRestored);
    if (!Save(why)) return false;
    for (const Entry& e : dropped) {
        if (!e.Absent()) system_.RemoveFile(folder_ + e.saved);
    }
    return true;
}

bool Store::TakeVersion(const std::string& from, const std::string& destination, Version& v,
                        sys::FileError& why) {
    if (v.saved.empty()) return true;  // "there was no file" needs no file
    const std::string name = NewSavedName(destination);
    Fingerprint back;
    if (!MakeFolder(why) || !system_.CopyFileTo(from + v.saved, folder_ + name, false, &why) ||
        !FingerprintFile(system_, folder_ + name, back, &why)) {
        return false;
    }
    if (back != v.fingerprint) {
        system_.RemoveFile(folder_ + name);
        return Refuse(why, "保存しておいた元のファイル " + from + v.saved + " が壊れています");
    }
    v.saved = name;
    return true;
}

std::uint64_t Store::WrittenAt(const std::string& saved) {
    if (saved.empty()) return 0;
    const std::optional<sys::FileStamp> stamp = system_.Stamp(folder_ + saved);
    return stamp ? stamp->time : 0;
}

bool Store::TakeEntry(const std::string& from, const Entry& theirs, std::vector<std::string>& added,
                      sys::FileError& why) {
    Entry* mine = Find(theirs.destination);
    // Their versions, oldest first, then their newest. Not taken: those this store keeps
    // already, "no file" where this store knows the destination, and QUAVERIX's own
    // copies that the other place took for the game's (it had not seen them copied).
    std::vector<Version> versions = theirs.older;
    if (theirs.known) versions.push_back({theirs.saved, theirs.original});
    std::vector<Version> taken;
    for (Version& v : versions) {
        if (mine && (v.saved.empty() || mine->IsKept(v.fingerprint) || mine->IsOurs(v.fingerprint)))
            continue;
        if (!TakeVersion(from, theirs.destination, v, why)) return false;
        if (!v.saved.empty()) added.push_back(v.saved);
        taken.push_back(v);
    }
    if (!mine) {
        index_.entries.push_back(theirs);
        mine = &index_.entries.back();
        mine->older.clear();
        mine->saved.clear();
        mine->original = {};
        mine->known = false;
        mine->copied = {};
        mine->ours.clear();
    }
    // Every version by when the game wrote it, whichever store kept it: the newest is the
    // one 元に戻す puts back.
    std::vector<Version> all = mine->older;
    if (mine->known) all.push_back({mine->saved, mine->original});
    all.insert(all.end(), taken.begin(), taken.end());
    std::stable_sort(all.begin(), all.end(), [&](const Version& a, const Version& b) {
        return WrittenAt(a.saved) < WrittenAt(b.saved);
    });
    if (mine->known || theirs.known) {
        mine->known = true;
        mine->saved = all.back().saved;
        mine->original = all.back().fingerprint;
        all.pop_back();
    }
    mine->older = all;
    if (mine->copied == Fingerprint{}) mine->copied = theirs.copied;
    for (const Fingerprint& f : theirs.ours) {
        if (!mine->IsOurs(f)) mine->ours.push_back(f);
    }
    if (!mine->IsOurs(theirs.copied) && theirs.copied != Fingerprint{})
        mine->ours.push_back(theirs.copied);
    return true;
}

bool Store::TakeOver(const std::string& from, sys::FileError& why) {
    std::string text;
    if (!system_.ReadFile(from + kIndexName, text, &why)) {
        return why.fault == sys::Fault::SourceMissing;  // nothing kept there
    }
    const DataLock lock(system_, folder_);
    if (!lock.Held(why)) return false;
    if (!Load()) return Refuse(why, Unreadable());
    std::string done;
    system_.ReadFile(folder_ + kTakenOverName, done);
    const std::string line = FormatFingerprintText(FingerprintOf(text)) + "\t" + from;
    if (done.find(line + "\r\n") != std::string::npos) return true;

    std::vector<std::string> added;
    bool ok = true;
    for (const Entry& theirs : ParseIndex(text).entries) {
        ok = TakeEntry(from, theirs, added, why);
        if (!ok) break;
    }
    sys::FileError saveWhy;
    if (ok && Save(saveWhy) &&
        system_.SaveFileAtomic(folder_ + kTakenOverName, done + line + "\r\n", &saveWhy)) {
        return true;
    }
    if (ok) why = saveWhy;
    for (const std::string& name : added) system_.RemoveFile(folder_ + name);
    return false;
}

}  // namespace originals
