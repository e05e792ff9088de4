// The set zip's careful reader. Everything is decided before anything is written: the
// end record and the central directory (whose sizes are the law), every local header
// against them, the entries lying end to end with nothing between or after, every name,
// the set file and what it names. Then each music file goes into a side file in the set's
// folder with its CRC and fingerprint checked, and only when all are whole are they moved
// into place.
#include <zlib.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "originals/DataLock.h"
#include "platform/text/Cp932.h"
#include "settings/Settings.h"
#include "sets/Zip.h"
#include "sets/ZipFormat.h"
#include "slots/Slots.h"

namespace sets {
namespace {

using namespace zip;

struct ZipEntry {
    std::string raw;  // the name as stored
    std::string name;  // the name in CP932
    std::uint32_t flags = 0, method = 0, crc = 0;
    std::uint64_t packed = 0, size = 0, local = 0, data = 0;
    bool spelled = true;  // false: marked UTF-8, with letters CP932 lacks
};

enum class NameKind { Plain, Leaves, Unusable, InFolder };

// Where a name would put its file. '\\' is looked for at character starts ("ソ" holds a
// 0x5C); '/' and ':' are never second bytes.
NameKind Classify(std::string_view name) {
    if (name.empty()) return NameKind::Unusable;
    if (name[0] == '/') return NameKind::Leaves;
    for (std::size_t i = 0; i < name.size(); i += text::CharLength(name, i)) {
        if (name[i] == '\\' || name[i] == ':') return NameKind::Leaves;
    }
    for (std::string_view part : text::Split(name, '/')) {
        if (part == "..") return NameKind::Leaves;
    }
    if (name.find('/') != std::string_view::npos) return NameKind::InFolder;
    if (!slots::IsUsableSlotName(name) || text::FromUtf16(text::ToUtf16(name)) != name) {
        return NameKind::Unusable;
    }
    return NameKind::Plain;
}

// A raw deflate stream (zlib's inflate without its header) unpacked as it comes, in pieces.
class Inflater {
public:
    enum class Result { Fine, Stopped, Damaged };
    Inflater() { ready_ = inflateInit2(&z_, -MAX_WBITS) == Z_OK; }
    ~Inflater() {
        if (ready_) inflateEnd(&z_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    bool Ready() const { return ready_; }
    bool Ended() const { return ended_; }
    // Unpacks `in`, handing each piece made to `out` (false stops it).
    template <class Out>
    Result Feed(std::string_view in, Out&& out) {
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        z_.avail_in = static_cast<uInt>(in.size());
        do {
            z_.next_out = reinterpret_cast<Bytef*>(buffer_.data());
            z_.avail_out = static_cast<uInt>(buffer_.size());
            const int r = inflate(&z_, Z_NO_FLUSH);
            if (r != Z_OK && r != Z_STREAM_END && r != Z_BUF_ERROR) return Result::Damaged;
            const std::size_t made = buffer_.size() - z_.avail_out;
            if (made > 0 && !out(std::string_view(buffer_.data(), made))) return Result::Stopped;
            if (r == Z_STREAM_END) {
                ended_ = true;
                return z_.avail_in == 0 ? Result::Fine : Result::Damaged;  // bytes after it
            }
            if (r == Z_BUF_ERROR && made == 0) break;  // wants more input
        } while (z_.avail_in > 0 || z_.avail_out == 0);
        return Result::Fine;
    }

private:
    z_stream z_{};
    bool ready_ = false, ended_ = false;
    std::vector<char> buffer_ = std::vector<char>(1 << 16);
};

class Unpack {
public:
    Unpack(sys::System& system, const std::string& path, std::uint64_t size)
        : system_(system), path_(path), size_(size) {}

    // The entries, checked as a whole; false with `error`.
    bool ReadDirectory();
    // The set file and what it names; false with `error`.
    bool ReadSet(Set& set);
    // Into `folder`, over files there only when `replace`; Exists when something would be.
    Status Write(const Set& set, const std::string& folder, const settings::DataFolder& data,
                 bool replace);

    // The entry of that name, whatever its case.
    const ZipEntry* Find(std::string_view name) const {
        auto it = byName_.find(text::UpperAscii(name));
        return it == byName_.end() ? nullptr : &entries_[it->second];
    }

    std::string error;

private:
    bool Fail(std::string e) {
        error = std::move(e);
        return false;
    }
    bool Broken() { return Fail(path_ + " は途中で切れているか、壊れています。"); }
    bool Foreign(const std::string& why) {
        return Fail(path_ + " は QUAVERIX の音楽セットの zip ではありません (" + why + ")。");
    }
    std::string Entry(const ZipEntry& e) const { return "zip のエントリ「" + e.name + "」"; }
    bool Larger(const ZipEntry& e) {
        return Fail(Entry(e) + "は目録に書かれた大きさより大きいため、取り込みません。");
    }
    bool Read(std::uint64_t at, std::size_t count, std::string& out) {
        sys::FileError why;
        return ReadAt(system_, path_, at, count, out, why);
    }
    bool Names();
    bool Layout(std::uint64_t centralAt);
    // The entry's bytes as they were packed, a piece at a time, to `take`; false, with
    // `error` unless `take` said stop: cut short, damaged, or more than the directory says.
    bool Content(const ZipEntry& e, const std::function<bool(std::string_view)>& take,
                 sys::FileError& why);

    sys::System& system_;
    const std::string& path_;
    std::uint64_t size_;
    std::vector<ZipEntry> entries_;
    std::map<std::string, std::size_t> byName_;  // upper-cased name: index
};

bool Unpack::ReadDirectory() {
    // The end record: the last one whose comment runs exactly to the end of the file.
    const std::size_t tailSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(size_, kEndSize + 0xFFFF));
    std::string tail;
    if (size_ < kEndSize || !Read(size_ - tailSize, tailSize, tail)) return Broken();
    std::size_t at = tailSize - kEndSize + 1;
    do {
        if (at-- == 0) return Broken();
    } while (Get32(tail, at) != kEndSig || at + kEndSize + Get16(tail, at + 20) != tailSize);
    const std::uint64_t endAt = size_ - tailSize + at;
    const std::uint32_t count = Get16(tail, at + 10), centralSize = Get32(tail, at + 12);
    const std::uint32_t centralAt = Get32(tail, at + 16);
    if (count == 0xFFFF || centralSize == 0xFFFFFFFF || centralAt == 0xFFFFFFFF) {
        return Fail(path_ + " は 2 GB を超えるため、取り込みません。");  // ZIP64
    }
    if (Get16(tail, at + 4) != 0 || Get16(tail, at + 6) != 0 || Get16(tail, at + 8) != count) {
        return Foreign("分割された zip です");
    }
    if (std::uint64_t{centralAt} + centralSize != endAt) return Broken();
    if (count > kMaxZipEntries || centralSize > (1u << 20)) return Foreign("エントリが多すぎます");
    std::string central;
    if (!Read(centralAt, centralSize, central)) return Broken();
    std::uint64_t total = 0;
    std::size_t p = 0;
    for (std::uint32_t n = 0; n < count; ++n) {
        if (p + kCentralSize > central.size() || Get32(central, p) != kCentralSig) return Broken();
        ZipEntry e;
        e.flags = Get16(central, p + 8);
        e.method = Get16(central, p + 10);
        e.crc = Get32(central, p + 16);
        e.packed = Get32(central, p + 20);
        e.size = Get32(central, p + 24);
        e.local = Get32(central, p + 42);
        const std::size_t nameSize = Get16(central, p + 28);
        const std::size_t more = nameSize + Get16(central, p + 30) + Get16(central, p + 32);
        if (p + kCentralSize + more > central.size() || Get16(central, p + 34) != 0)
            return Broken();
        e.raw = central.substr(p + kCentralSize, nameSize);
        // A name marked UTF-8 is taken when CP932 spells it; anything else is CP932.
        e.name = e.raw;
        if (e.flags & kFlagUtf8) {
            e.name = text::FromUtf8(e.raw);
            e.spelled = text::ToUtf8(e.name) == e.raw;
        }
        total += e.size;
        p += kCentralSize + more;
        entries_.push_back(std::move(e));
    }
    if (p != central.size()) return Broken();
    if (total > kMaxZipBytes) return Fail(path_ + " は 2 GB を超えるため、取り込みません。");
    for (const ZipEntry& e : entries_) {
        if (e.flags & kFlagEncrypted)
            return Fail(Entry(e) + "は暗号化されているため、取り込めません。");
        // Stored, as QUAVERIX writes them, or deflated, as an archiver that packed the set
        // again may have: nothing else.
        if (e.method == kDeflated) continue;
        if (e.method != kStored || e.packed != e.size) {
            return Foreign(Entry(e) + "は QUAVERIX が書いたものではありません");
        }
    }
    return Names() && Layout(centralAt);
}

bool Unpack::Names() {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const ZipEntry& e = entries_[i];
        switch (e.spelled ? Classify(e.name) : NameKind::Unusable) {
            case NameKind::Leaves:
                return Fail(Entry(e) + "はセットのフォルダの外を指しているため、取り込みません。");
            case NameKind::Unusable:
                return Fail(Entry(e) + "はファイル名として使えない名前のため、取り込みません。");
            case NameKind::InFolder: return Foreign(Entry(e) + "はフォルダの中にあります");
            case NameKind::Plain: break;
        }
        if (!byName_.emplace(text::UpperAscii(e.name), i).second) {
            return Foreign(Entry(e) + "が二つあります");
        }
    }
    return true;
}

bool Unpack::Layout(std::uint64_t centralAt) {
    std::vector<ZipEntry*> order;
    for (ZipEntry& e : entries_) order.push_back(&e);
    std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->local < b->local; });
    std::uint64_t expected = 0;  // where the next header must start: right after the last data
    const ZipEntry* last = nullptr;
    for (ZipEntry* e : order) {
        if (e->local != expected) {
            if (e->local > expected && last) return Larger(*last);
            return Broken();
        }
        std::string head;
        if (!Read(e->local, kLocalSize, head) || Get32(head, 0) != kLocalSig) return Broken();
        const std::uint64_t packed = Get32(head, 18), size = Get32(head, 22);
        if (packed > e->packed || size > e->size) return Larger(*e);
        // With a data descriptor the header may give zeros; what it gives must agree.
        const bool after = (e->flags & kFlagDescriptor) != 0;
        const bool zeros = after && Get32(head, 14) == 0 && packed == 0 && size == 0;
        if (Get16(head, 6) != e->flags || Get16(head, 8) != e->method ||
            (!zeros && (Get32(head, 14) != e->crc || packed != e->packed || size != e->size))) {
            return Broken();
        }
        const std::size_t nameSize = Get16(head, 26);
        std::string name;
        if (!Read(e->local + kLocalSize, nameSize, name) || name != e->raw) return Broken();
        e->data = e->local + kLocalSize + nameSize + Get16(head, 28);
        expected = e->data + e->packed;
        if (after) {
            // CRC and both sizes, after the descriptor's optional signature.
            std::string d;
            if (!Read(expected, 16, d)) return Broken();
            const std::size_t at = Get32(d, 0) == kDescriptorSig ? 4 : 0;
            if (Get32(d, at) != e->crc || Get32(d, at + 4) != e->packed ||
                Get32(d, at + 8) != e->size) {
                return Broken();
            }
            expected += at + 12;
        }
        last = e;
    }
    if (expected < centralAt && last) return Larger(*last);
    return expected == centralAt || Broken();
}

bool Unpack::Content(const ZipEntry& e, const std::function<bool(std::string_view)>& take,
                     sys::FileError& why) {
    bool stopped = false;  // `take` said stop
    auto give = [&](std::string_view piece) { return (stopped = !take(piece)) == false; };
    if (e.method == kStored)
        return Stream(system_, path_, e.data, e.size, give, why) || (!stopped && Broken());
    Inflater inflater;
    if (!inflater.Ready()) return Fail("zip を展開できません (メモリが足りません)。");
    std::uint64_t made = 0;
    bool larger = false, damaged = false;
    auto unpack = [&](std::string_view piece) {
        if (inflater.Ended()) return !(damaged = true);  // bytes past the stream's end
        Inflater::Result r = inflater.Feed(piece, [&](std::string_view out) {
            made += out.size();
            if (made > e.size) return !(larger = true);
            return give(out);
        });
        if (r == Inflater::Result::Damaged) damaged = true;
        return r == Inflater::Result::Fine;
    };
    if (!Stream(system_, path_, e.data, e.packed, unpack, why) && !larger && !damaged) {
        return !stopped && Broken();
    }
    if (larger) return Larger(e);
    return (!damaged && inflater.Ended() && made == e.size) || Broken();
}

bool Unpack::ReadSet(Set& set) {
    const ZipEntry* file = Find(kSetEntry);
    if (!file) return Foreign(std::string(kSetEntry) + " がありません");
    std::string text;
    if (file->size > kMaxSetFileBytes) return Foreign(std::string(kSetEntry) + " が大きすぎます");
    sys::FileError why;
    if (!Content(
            *file, [&](std::string_view piece) { return text.append(piece), true; }, why))
        return false;
    if (Crc32(text) != file->crc) return Fail(Entry(*file) + "が壊れています (CRC が合いません)。");
    std::vector<std::string> notes;
    std::optional<Set> parsed = Parse(text, &notes);
    if (!parsed || !notes.empty()) return Foreign(std::string(kSetEntry) + " を読めません");
    std::map<const ZipEntry*, originals::Fingerprint> named{{file, {}}};
    for (const sets::Entry& s : parsed->entries) {
        const ZipEntry* e = Find(s.file);
        if (!e || e == file) return Fail("セットの曲「" + s.file + "」が zip にありません。");
        const auto it = named.emplace(e, s.print.value_or(originals::Fingerprint{})).first;
        if (!s.print || s.print->size != e->size || it->second != *s.print) {
            return Fail(Entry(*e) + "は、セットのファイルに書かれた曲と違います。");
        }
    }
    for (const ZipEntry& e : entries_) {
        if (!named.count(&e)) return Foreign(Entry(e) + "はセットにありません");
    }
    set = std::move(*parsed);
    return true;
}

Status Unpack::Write(const Set& set, const std::string& folder, const settings::DataFolder& data,
                     bool replace) {
    // Each entry once, with what the set says of it; those already there as they are stay.
    std::map<const ZipEntry*, originals::Fingerprint> wanted;
    for (const sets::Entry& s : set.entries) wanted[Find(s.file)] = *s.print;
    std::vector<const ZipEntry*> toWrite;
    for (const auto& [e, print] : wanted) {
        const std::string target = folder + e->name;
        originals::Fingerprint there;
        if (system_.Attributes(target) == sys::kNoFile) {
            toWrite.push_back(e);
        } else if (!originals::FingerprintFile(system_, target, there) || there != print) {
            if (!replace) return Status::Exists;
            toWrite.push_back(e);
        }
    }
    if (!replace && system_.Attributes(PathOf(data, set.name)) != sys::kNoFile)
        return Status::Exists;
    system_.CreateFolder(data.Sets());
    if (!toWrite.empty() && !system_.CreateFolder(folder)) {
        Fail(folder + " を作れません。");
        return Status::Refused;
    }
    std::vector<std::unique_ptr<sys::Replacement>> sides;
    for (const ZipEntry* e : toWrite) {
        sys::FileError why;
        std::unique_ptr<sys::Replacement> side = system_.BeginReplace(folder + e->name, &why);
        if (!side) {
            Fail(folder + e->name + " を書き込めません。\r\n理由: " + settings::FileReason(why));
            return Status::Refused;
        }
        std::uint32_t crc = 0;
        originals::Hasher hasher;
        bool written = true;
        auto take = [&](std::string_view piece) {
            crc = Crc32(piece, crc);
            hasher.Add(piece);
            return written = side->Write(piece, &why);
        };
        if (!Content(*e, take, why)) {
            if (!written)
                Fail(folder + e->name +
                     " を書き込めません。\r\n理由: " + settings::FileReason(why));
            return Status::Refused;
        }
        if (crc != e->crc) {
            Fail(Entry(*e) + "が壊れています (CRC が合いません)。");
            return Status::Refused;
        }
        if (hasher.Finish() != wanted[e]) {
            Fail(Entry(*e) + "は、セットのファイルに書かれた曲と違います。");
            return Status::Refused;
        }
        sides.push_back(std::move(side));
    }
    // Every file is whole beside its place: now they go in, under the data folder's lock.
    const originals::DataLock lock(system_, data.Sets());
    sys::FileError why;
    if (!lock.Held(why)) {
        Fail(settings::FileReason(why));
        return Status::Refused;
    }
    for (std::size_t i = 0; i < sides.size(); ++i) {
        if (!sides[i]->Commit(&why)) {
            Fail(folder + toWrite[i]->name +
                 " を書き込めません。\r\n理由: " + settings::FileReason(why));
            return Status::Refused;
        }
    }
    return Status::Done;
}

}  // namespace

Loaded Import(sys::System& system, const settings::DataFolder& data, const std::string& path,
              const std::string& name, bool replace) {
    Loaded out;
    const std::optional<std::uint64_t> size = system.SizeOf(path);
    std::string head;
    sys::FileError why;
    if (!size) {
        out.error = path + " が見つかりません。";
        return out;
    }
    if (!system.ReadPart(path, 0, 64, head, &why)) {
        out.error = path + " を読めません。\r\n理由: " + settings::FileReason(why);
        return out;
    }
    if (LooksLikeSetFile(head)) {
        out = ReadSetFile(system, path);
        if (!name.empty()) out.set.name = name;
        return out;
    }
    if (head.substr(0, 4) != "PK\x03\x04" && head.substr(0, 4) != "PK\x05\x06") {
        out.error = path + " は QUAVERIX の音楽セットではありません。";
        return out;
    }
    Unpack unpack(system, path, *size);
    Set set;
    if (!unpack.ReadDirectory() || !unpack.ReadSet(set)) {
        out.error = unpack.error;
        return out;
    }
    if (!name.empty()) set.name = name;
    out.set.name = set.name;  // so that the caller can offer another name
    if (std::string problem = NameProblem(set.name); !problem.empty()) {
        out.error = problem;
        return out;
    }
    const std::string folder = data.Sets() + set.name + "\\";
    out.status = unpack.Write(set, folder, data, replace);
    if (out.status != Status::Done) {
        out.error = out.status == Status::Exists
                        ? "セット「" + set.name + "」はもうあります。置き換えますか？"
                        : unpack.error;
        return out;
    }
    for (sets::Entry& e : set.entries) {
        e.file = folder + unpack.Find(e.file)->name;
        out.files.push_back(FileState::Same);
    }
    out.set = std::move(set);
    return out;
}

}  // namespace sets
