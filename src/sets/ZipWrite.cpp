#include <algorithm>
#include <array>
#include <map>
#include <memory>

#include "originals/Index.h"
#include "platform/paths/Paths.h"
#include "platform/text/Cp932.h"
#include "settings/Settings.h"
#include "sets/Zip.h"
#include "sets/ZipFormat.h"
#include "slots/Slots.h"

namespace sets {

std::uint32_t Crc32(std::string_view data, std::uint32_t crc) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (char ch : data) crc = table[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

namespace zip {

bool Stream(sys::System& system, const std::string& file, std::uint64_t from, std::uint64_t count,
            const std::function<bool(std::string_view)>& take, sys::FileError& why) {
    std::string piece;
    for (std::uint64_t done = 0; done < count; done += piece.size()) {
        const std::uint64_t left = count - done;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, originals::kReadChunk));
        if (!system.ReadPart(file, from + done, want, piece, &why)) return false;
        if (piece.empty()) {
            why = {sys::Fault::Other, "ファイルが途中で終わっています"};
            return false;
        }
        if (!take(piece)) return false;
    }
    return true;
}

bool ReadAt(sys::System& system, const std::string& file, std::uint64_t from, std::size_t count,
            std::string& out, sys::FileError& why) {
    out.clear();
    return Stream(
        system, file, from, count,
        [&](std::string_view piece) {
            out += piece;
            return true;
        },
        why);
}

}  // namespace zip

namespace {

using namespace zip;

struct Music {
    std::string file;
    std::string entry;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    originals::Fingerprint print;
    std::uint64_t time = 0;
};

// A file time (100 ns since 1601, UTC) as the MS-DOS date and time a ZIP entry carries,
// kept within what they can say (1980 to 2107).
std::uint32_t DosTime(std::uint64_t fileTime) {
    const std::int64_t secs = static_cast<std::int64_t>(fileTime / 10000000);
    // Days since 1970 to the civil date (Howard Hinnant's algorithm).
    const std::int64_t z = secs / 86400 - 134774 + 719468;
    const std::int64_t era = z / 146097, doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2);
    if (year < 1980) return 1 << 21 | 1 << 16;  // 1980-01-01 00:00
    if (year > 2107) return 0xFF9FBF7Du;  // 2107-12-31 23:59:58
    const std::int64_t s = secs % 86400;
    return static_cast<std::uint32_t>((year - 1980) << 25 | month << 21 | day << 16 |
                                      (s / 3600) << 11 | (s / 60 % 60) << 5 | (s % 60) / 2);
}

// The music's entry: its own name where that is a plain file name ('~' of a short name
// made '_'), else its slot's; one name once, whatever the case.
std::string EntryName(const Entry& e, std::map<std::string, int>& taken) {
    std::string name;
    for (const std::string& base : {paths::LastPart(e.file), e.slot, std::string("music")}) {
        name = text::ReplaceAll(base, "~", "_");
        if (slots::IsUsableSlotName(name) && name.size() <= 200) break;
    }
    const std::size_t dot = name.rfind('.');
    const std::string stem = name.substr(0, dot),
                      ext = dot == std::string::npos ? "" : name.substr(dot);
    for (int k = 2; taken.count(text::UpperAscii(name)); ++k) {
        name = stem + " (" + std::to_string(k) + ")" + ext;
    }
    taken[text::UpperAscii(name)] = 1;
    return name;
}

// A local (30 bytes) or central (46) header with its name and the UTF-8 copy of a name
// that is not ASCII.
std::string Header(bool central, const std::string& name, std::uint32_t crc, std::uint64_t size,
                   std::uint32_t dos, std::uint64_t offset) {
    std::string extra;
    if (std::any_of(name.begin(), name.end(), [](char c) { return c & 0x80; })) {
        const std::string utf8 = text::ToUtf8(name);
        Put16(extra, kUnicodePathTag);
        Put16(extra, static_cast<std::uint32_t>(5 + utf8.size()));
        extra += '\x01';
        Put32(extra, Crc32(name));
        extra += utf8;
    }
    std::string h;
    Put32(h, central ? kCentralSig : kLocalSig);
    if (central) Put16(h, 20);  // made by: MS-DOS, 2.0
    Put16(h, 20);  // needed to extract
    Put16(h, 0);  // flags: none (the name is CP932)
    Put16(h, 0);  // stored
    Put32(h, dos);  // time, then date
    Put32(h, crc);
    Put32(h, static_cast<std::uint32_t>(size));
    Put32(h, static_cast<std::uint32_t>(size));
    Put16(h, static_cast<std::uint32_t>(name.size()));
    Put16(h, static_cast<std::uint32_t>(extra.size()));
    if (central) {
        Put16(h, 0);  // comment
        Put16(h, 0);  // disk
        Put16(h, 0);  // internal attributes
        Put32(h, 0x20);  // external attributes: archive
        Put32(h, static_cast<std::uint32_t>(offset));
    }
    return h + name + extra;
}

}  // namespace

Outcome WriteZip(sys::System& system, const Set& set, const std::string& path) {
    auto refused = [](std::string e) { return Outcome{Status::Refused, std::move(e)}; };
    if (std::string problem = WriteProblem(set); !problem.empty()) return refused(problem);
    // Each music file once, however many slots play it.
    std::vector<Music> music;
    std::map<std::string, std::size_t> byPath;
    std::map<std::string, int> taken{{text::UpperAscii(kSetEntry), 1}};
    Set inside{set.name, {}};
    std::uint64_t total = 0, newest = 0;
    for (const Entry& e : set.entries) {
        const std::string key = originals::PathKey(e.file);
        if (!byPath.count(key)) {
            Music m;
            m.file = e.file;
            const std::optional<sys::FileStamp> stamp = system.Stamp(e.file);
            sys::FileError why{sys::Fault::SourceMissing, ""};
            originals::Hasher hasher;
            auto scan = [&](std::string_view piece) {
                m.crc = Crc32(piece, m.crc);
                hasher.Add(piece);
                return true;
            };
            if (!stamp || !Stream(system, e.file, 0, stamp->size, scan, why)) {
                return refused(
                    "曲のファイル " + e.file +
                    " を読めないため、書き出せません。\r\n理由: " + settings::FileReason(why));
            }
            m.size = stamp->size;
            m.time = stamp->time;
            m.print = hasher.Finish();
            m.entry = EntryName(e, taken);
            total += m.size;
            newest = std::max(newest, m.time);
            byPath[key] = music.size();
            music.push_back(std::move(m));
        }
        const Music& m = music[byPath[key]];
        inside.entries.push_back({e.slot, m.entry, m.print});
    }
    const std::string setText = Format(inside);
    if (total + setText.size() > kMaxZipBytes) {
        return refused("セット「" + set.name + "」は 2 GB を超えるため、書き出せません。");
    }
    if (music.size() + 1 > kMaxZipEntries) {
        return refused("セット「" + set.name + "」は曲が多すぎるため、書き出せません。");
    }

    sys::FileError why;
    const std::string cannot = path + " に書き出せません。\r\n理由: ";
    std::unique_ptr<sys::Replacement> out = system.BeginReplace(path, &why);
    if (!out) return refused(cannot + settings::FileReason(why));
    std::string central;
    std::uint64_t offset = 0;
    auto add = [&](const std::string& bytes) {
        offset += bytes.size();
        return out->Write(bytes, &why);
    };
    for (const Music& m : music) {
        const std::uint32_t dos = DosTime(m.time);
        central += Header(true, m.entry, m.crc, m.size, dos, offset);
        if (!add(Header(false, m.entry, m.crc, m.size, dos, offset))) {
            return refused(cannot + settings::FileReason(why));
        }
        std::uint32_t crc = 0;
        bool written = true;
        auto copy = [&](std::string_view piece) {
            crc = Crc32(piece, crc);
            return written = add(std::string(piece));
        };
        sys::FileError readWhy;
        if (!Stream(system, m.file, 0, m.size, copy, readWhy) || crc != m.crc) {
            if (!written) return refused(cannot + settings::FileReason(why));
            return refused("曲のファイル " + m.file +
                           " が書き出しの間に変わったか、読めなくなったため、書き出せません。");
        }
    }
    const std::uint32_t dos = DosTime(newest);
    const std::uint32_t crc = Crc32(setText);
    central += Header(true, kSetEntry, crc, setText.size(), dos, offset);
    if (!add(Header(false, kSetEntry, crc, setText.size(), dos, offset)) || !add(setText)) {
        return refused(cannot + settings::FileReason(why));
    }
    const std::uint64_t centralAt = offset;
    std::string end;
    Put32(end, kEndSig);
    Put32(end, 0);  // this disk, the central directory's disk
    Put16(end, static_cast<std::uint32_t>(music.size() + 1));
    Put16(end, static_cast<std::uint32_t>(music.size() + 1));
    Put32(end, static_cast<std::uint32_t>(central.size()));
    Put32(end, static_cast<std::uint32_t>(centralAt));
    Put16(end, 0);  // comment
    if (!add(central + end) || !out->Commit(&why))
        return refused(cannot + settings::FileReason(why));
    return {};
}

}  // namespace sets
