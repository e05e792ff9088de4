// Music sets: the set files of the data folder, the set zip written and read back, and the
// zips the reader refuses.
#include <gtest/gtest.h>
#include <zlib.h>

#include <deque>
#include <functional>
#include <sstream>

#include "fake/FakeSystem.h"
#include "mainform/SetsForm.h"
#include "sets/Zip.h"
#include "sets/ZipFormat.h"
#include "platform/paths/Paths.h"
#include "platform/text/Cp932.h"
#include "support/FormFixture.h"
#include "support/Scratch.h"

namespace {

using namespace sets;

struct World {
    sys::FakeSystem fs;
    settings::DataFolder data{"C:\\Data\\"};
    World() {
        fs.AddFolder("C:\\Data");
        fs.AddFolder("C:\\m");
        fs.AddFile("C:\\m\\a.mp3", "aaaa");
        fs.AddFile("C:\\m\\b.mp3", "bbbbbb");
    }
    // The set `name` of the slots `which` picks from 01.mp3=a.mp3, 02.mp3=b.mp3 ("ab", "b").
    Set Table(const std::string& name, const std::string& which) {
        Set s{name, {}};
        for (char c : which)
            s.entries.push_back(
                Describe(fs, c == 'a' ? "01.mp3" : "02.mp3", std::string("C:\\m\\") + c + ".mp3"));
        return s;
    }
};

std::string Said(const Outcome& o) {
    const char* how[] = {"done", "exists: ", "refused: "};
    return how[static_cast<int>(o.status)] + (o.status == Status::Done ? "" : o.error);
}

std::string Said(const sets::Loaded& l) {
    if (l.status != Status::Done) return Said(sets::Outcome{l.status, l.error});
    std::string out = "done";
    const char* states[] = {"same", "changed", "missing"};
    for (std::size_t i = 0; i < l.files.size(); ++i) {
        out += " " + l.set.entries[i].slot + "=" + states[static_cast<int>(l.files[i])];
    }
    for (const std::string& note : l.notes) out += " [" + note + "]";
    return out;
}

std::string Listing(World& w) {
    std::string out;
    for (const sets::Listed& l : sets::List(w.fs, w.data)) {
        out += (out.empty() ? "" : "; ") + l.name + " " + std::to_string(l.slots);
        if (!l.problem.empty()) out += " (" + l.problem + ")";
    }
    return out;
}

// A zip as any archiver lays one out, stored or deflated; each entry may lie about itself.
struct Item {
    std::string name, data;
    std::uint32_t flags = 0, method = 0;  // method 8: `data` deflated by zlib, `cut` short
    std::uint64_t claim = ~0ull;  // the size the central directory gives, if not the true one
    std::string after{};  // bytes after its data
    bool badCrc = false;
    std::size_t cut = 0;
};

std::string Deflated(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string Zip(const std::vector<Item>& items) {
    using namespace sets::zip;
    std::string out, central, end;
    for (const Item& i : items) {
        const std::uint32_t crc = sets::Crc32(i.data) ^ i.badCrc;
        std::string packed = i.method == 8 ? Deflated(i.data) : i.data;
        packed.resize(packed.size() - i.cut);
        auto head = [&](bool c, std::uint64_t size) {
            std::string h;
            Put32(h, c ? kCentralSig : kLocalSig);
            if (c) Put16(h, 20);
            for (std::uint32_t v : {20u, i.flags, i.method, 0u, 0u}) Put16(h, v);
            for (std::uint64_t v : {std::uint64_t{crc}, i.method == 8 ? packed.size() : size, size})
                Put32(h, static_cast<std::uint32_t>(v));
            Put16(h, static_cast<std::uint32_t>(i.name.size()));
            for (int k = 0; k < (c ? 6 : 1); ++k) Put16(h, 0);  // extra, comment, disk, attributes
            if (c) Put32(h, static_cast<std::uint32_t>(out.size()));
            return h + i.name;
        };
        central += head(true, i.claim != ~0ull ? i.claim : i.data.size());
        out += head(false, i.data.size()) + packed + i.after;
    }
    Put32(end, kEndSig);
    for (std::uint32_t v : {0u, 0u, std::uint32_t(items.size()), std::uint32_t(items.size())})
        Put16(end, v);
    Put32(end, static_cast<std::uint32_t>(central.size()));
    Put32(end, static_cast<std::uint32_t>(out.size()));
    Put16(end, 0);
    return out + central + end;
}

// The set file of a set "share" whose slots play these entries.
Item SetFile(const std::vector<Item>& music, const std::string& name = "share") {
    sets::Set s{name, {}};
    for (std::size_t i = 0; i < music.size(); ++i) {
        s.entries.push_back({"0" + std::to_string(i + 1) + ".mp3", music[i].name,
                             originals::FingerprintOf(music[i].data)});
    }
    return {sets::kSetEntry, sets::Format(s)};
}

// Python's zipfile reads the zip, checks every CRC and gives each name as a Japanese Windows
// (CP932) and a reader of the Unicode Path field (UTF-8) would: they must agree.
constexpr char kReadBack[] = R"(import struct, sys, zipfile, zlib
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
names = [i.filename.encode("cp437") for i in z.infolist()]
for i, raw in zip(z.infolist(), names):
    utf8, x = None, i.extra
    while x:
        tag, n = struct.unpack("<HH", x[:4])
        if tag == 0x7075:
            assert x[4] == 1 and struct.unpack("<I", x[5:9])[0] == zlib.crc32(raw)
            utf8 = x[9:4 + n].decode("utf-8")
        x = x[4 + n:]
    assert utf8 == (None if raw.isascii() else raw.decode("cp932"))
print("|".join(raw.decode("cp932") for raw in names))
)";

constexpr char kRepack[] = R"(import sys, zipfile
src = zipfile.ZipFile(sys.argv[1])
items = [(i.filename if i.flag_bits & 0x800 else i.orig_filename.encode("cp437").decode("cp932"),
          src.read(i)) for i in src.infolist()]
class Stream:
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): pass
for path, wrap in ((sys.argv[2], lambda f: f), (sys.argv[3], Stream)):
    with open(path, "wb") as f, zipfile.ZipFile(wrap(f), "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in items: z.writestr(name, data)
    assert any(i.flag_bits & 8 for i in zipfile.ZipFile(path).infolist()) == (wrap is Stream)
)";

class SetZip : public qxtest::Scratch {};

}  // namespace

// One world, one step after another: a file put there (bytes "-": removed) or a lock held
// first, then the call (s save, S save over, l load, n rename to `arg`, d delete), a part of
// what it says, and the saved sets after it.
TEST(Sets, SetFileRules) {
    World w;
    const std::string both = "（前回の割り当て） 2",
                      bad = "QUAVERIX のセットのファイルではありません";
    const struct {
        const char *what, *file, *bytes;
        char call;
        std::string name, arg, said, listed;
    } steps[] = {
        {"save", "", "", 's', "mine", "ab", "done", "mine 2"},
        {"an existing name", "", "", 's', "MINE", "b", "exists: セット「MINE」はもうあります",
         "mine 2"},
        {"replaced", "", "", 'S', "mine", "b", "done", "mine 1"},
        {"a device name", "", "", 's', "CON", "ab", "refused: 「CON」はセットの名前に使えません",
         "mine 1"},
        {"a path", "", "", 's', "..\\x", "ab", "refused: 「..\\x」はセットの名前に使えません",
         "mine 1"},
        {"the last table", "", "", 's', kLastTable, "ab", "done", "mine 1; " + both},
        {"load", "", "", 'l', kLastTable, "", "done 01.mp3=same 02.mp3=same", "mine 1; " + both},
        {"a changed file", "C:\\m\\b.mp3", "bbbbbc", 'l', kLastTable, "",
         "done 01.mp3=same 02.mp3=changed", "mine 1; " + both},
        {"a gone file", "C:\\m\\a.mp3", "-", 'l', kLastTable, "",
         "done 01.mp3=missing 02.mp3=changed", "mine 1; " + both},
        {"rename", "", "", 'n', "mine", "yours", "done", "yours 1; " + both},
        {"rename onto another", "", "", 'n', "yours", kLastTable,
         "exists: セット「（前回の割り当て）」はもうあります", "yours 1; " + both},
        {"rename to a bad name", "", "", 'n', "yours", "a:b",
         "refused: 「a:b」はセットの名前に使えません", "yours 1; " + both},
        {"load the renamed", "", "", 'l', "yours", "", "done 02.mp3=changed", "yours 1; " + both},
        {"delete", "", "", 'd', "yours", "", "done", both},
        {"delete a gone set", "", "", 'd', "yours", "",
         "refused: セット「yours」が見つかりません。", both},
        {"load a gone set", "", "", 'l', "yours", "", "refused: セット「yours」が見つかりません。",
         both},
        {"a file that is no set", "C:\\Data\\sets\\junk.txt", "\x81garbage\r\n\tQUAVERIX", 'l',
         "junk", "", "refused: セット「junk」は " + bad, "junk 0 (" + bad + "。); " + both},
        {"a damaged line", "C:\\Data\\sets\\half.txt",
         "QUAVERIX set 1\thalf\r\n01.mp3\tC:\\m\\a.mp3\r\n02.mp3\t-\t-\tC:\\m\\b.mp3", 'l', "half",
         "", "done 02.mp3=changed [2 行目を読めません: 01.mp3\tC:\\m\\a.mp3]",
         "half 1 (1 行を読めません。); junk 0 (" + bad + "。); " + both},
        {"another QUAVERIX holds the lock", "lock", "", 's', "x", "ab",
         "refused: セット「x」を保存できません。\r\n理由: 別の QUAVERIX",
         "half 1 (1 行を読めません。); junk 0 (" + bad + "。); " + both},
    };
    for (const auto& s : steps) {
        if (std::string(s.file) == "lock")
            w.fs.inUse.push_back("C:\\Data\\quaverix.lock");
        else if (std::string(s.bytes) == "-")
            w.fs.Remove(s.file);
        else if (*s.file)
            w.fs.AddFile(s.file, s.bytes);
        std::string said;
        switch (s.call) {
            case 's':
            case 'S': said = Said(Save(w.fs, w.data, w.Table(s.name, s.arg), s.call == 'S')); break;
            case 'l': said = Said(Load(w.fs, w.data, s.name)); break;
            case 'n': said = Said(Rename(w.fs, w.data, s.name, s.arg)); break;
            case 'd': said = Said(Remove(w.fs, w.data, s.name)); break;
        }
        w.fs.inUse.clear();
        EXPECT_NE(said.find(s.said), std::string::npos) << s.what << ": " << said;
        EXPECT_EQ(Listing(w), s.listed) << s.what;
    }
    // The file as other programs read it; its stamp is when it was saved.
    const std::string last = w.data.Sets() + kLastTable + ".txt";
    EXPECT_EQ(sets::List(w.fs, w.data).back().stamp, w.fs.Stamp(last));
    EXPECT_EQ(w.fs.Data(last),
              "QUAVERIX set 1\t（前回の割り当て）\r\nslot\tsize\thash\tfile\r\n"
              "01.mp3\t4\te123d5825a7b1319\tC:\\m\\a.mp3\r\n02.mp3\t6\t7c93147bdcfa9ceb\tC:\\m\\b."
              "mp3\r\n");
}

// Each zip is refused with its reason, and nothing is written: no file anywhere changes.
TEST(Sets, HostileZipsAreRefusedAndWriteNothing) {
    const Item a{"a.mp3", "AAAA"};
    const std::vector<Item> good = {SetFile({a}), a};
    auto with = [&](Item extra) {
        std::vector<Item> items = good;
        items.push_back(extra);
        return Zip(items);
    };
    auto bent = [&](const std::function<void(Item&)>& bend) {
        std::vector<Item> items = good;
        bend(items[1]);
        return Zip(items);
    };
    const std::string outside = "はセットのフォルダの外を指しているため";
    const std::string unusable = "はファイル名として使えない名前のため";
    const std::string larger = "「a.mp3」は目録に書かれた大きさより大きいため";
    const struct {
        const char* what;
        std::string zip;
        std::string said;  // a part of it
    } rows[] = {
        {"the set as written", Zip(good), ""},
        {"no set file", Zip({a}),
         "QUAVERIX の音楽セットの zip ではありません (quaverix-set.txt がありません)"},
        {"no zip at all", "just text", "は QUAVERIX の音楽セットではありません"},
        {"a parent", with({"../x.mp3", "x"}), "「../x.mp3」" + outside},
        {"an absolute path", with({"/x.mp3", "x"}), "「/x.mp3」" + outside},
        {"a drive", with({"C:x.mp3", "x"}), "「C:x.mp3」" + outside},
        {"a backslash", with({"m\\x.mp3", "x"}), "「m\\x.mp3」" + outside},
        {"a stream", with({"a.mp3:x", "x"}), "「a.mp3:x」" + outside},
        {"a device", with({"CON.mp3", "x"}), "「CON.mp3」" + unusable},
        {"a wildcard", with({"a*.mp3", "x"}), "「a*.mp3」" + unusable},
        {"beyond CP932", with({"\xF0\x9F\x98\x80.mp3", "x", 0x800}), "「?.mp3」" + unusable},
        {"a folder", with({"m/x.mp3", "x"}), "「m/x.mp3」はフォルダの中にあります"},
        {"larger than the directory says", bent([](Item& i) { i.claim = 3; }), larger},
        {"more after its data", bent([](Item& i) { i.after = "more"; }), larger},
        {"cut short", Zip(good).substr(0, Zip(good).size() - 9),
         "は途中で切れているか、壊れています"},
        {"over 2 GB", bent([](Item& i) { i.claim = 3000000000u; }), "は 2 GB を超えるため"},
        {"a CRC that does not match", bent([](Item& i) { i.badCrc = true; }),
         "「a.mp3」が壊れています (CRC が合いません)"},
        {"deflated by another archiver", bent([](Item& i) { i.method = 8; }), ""},
        {"deflated, more than the directory says", bent([](Item& i) { i.method = 8, i.claim = 3; }),
         larger},
        {"deflated, cut short", bent([](Item& i) { i.method = 8, i.cut = 1; }),
         "は途中で切れているか、壊れています"},
        {"another method", bent([](Item& i) { i.method = 12; }),
         "「a.mp3」は QUAVERIX が書いたものではありません"},
        {"encrypted", bent([](Item& i) { i.flags = 1; }), "「a.mp3」は暗号化されているため"},
        {"music the set lacks", Zip({SetFile({a}), {"b.mp3", "B"}}),
         "セットの曲「a.mp3」が zip にありません"},
        {"an entry not in the set", with({"readme.txt", "hi"}),
         "「readme.txt」はセットにありません"},
        {"other bytes than the set says", Zip({SetFile({a}), {"a.mp3", "AAAB"}}),
         "「a.mp3」は、セットのファイルに書かれた曲と違います"},
        {"a set name no file can have", Zip({SetFile({a}, "NUL"), a}),
         "「NUL」はセットの名前に使えません"},
    };
    for (const auto& row : rows) {
        World w;
        w.fs.AddFile("C:\\in.zip", row.zip);
        const std::map<std::string, std::string> before = w.fs.Files();
        const sets::Loaded got = sets::Import(w.fs, w.data, "C:\\in.zip");
        if (row.said.empty()) {
            EXPECT_EQ(Said(got), "done 01.mp3=same") << row.what;
            EXPECT_EQ(w.fs.Data("C:\\Data\\sets\\share\\a.mp3"), "AAAA");
            continue;
        }
        EXPECT_NE(Said(got).find(row.said), std::string::npos) << row.what << ": " << Said(got);
        EXPECT_EQ(w.fs.Files(), before) << row.what;
    }
}

TEST_F(SetZip, WrittenAndReadBackGivesTheSameBytes) {
    World w;
    std::string big(2600000, '\0');  // three pieces
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7919 >> 5);
    w.fs.AddFile("C:\\m\\big.mp3", big);
    w.fs.AddFile("C:\\m\\曲.mp3", "kyoku");
    w.fs.AddFile("C:\\m\\ソ.mp3", "so");
    w.fs.AddFile("C:\\m\\CLINE~1.MP3", "short");
    Set set{"共有", {}};
    for (const char* file : {"big.mp3", "曲.mp3", "big.mp3", "ソ.mp3", "CLINE~1.MP3", "a.mp3"}) {
        const std::string slot = "0" + std::to_string(set.entries.size() + 1) + ".mp3";
        set.entries.push_back(Describe(w.fs, slot, std::string("C:\\m\\") + file));
    }
    w.fs.AddFolder("C:\\out");
    ASSERT_EQ(Said(sets::WriteZip(w.fs, set, "C:\\out\\s.zip")), "done");
    EXPECT_LE(w.fs.largestPart, originals::kReadChunk);
    EXPECT_EQ(w.fs.wholeReads, 0);
    EXPECT_EQ(sets::Crc32("123456789"), 0xCBF43926u);
    Write("s.zip", w.fs.Data("C:\\out\\s.zip"));
    Write("read.py", kReadBack);
    const std::string read =
        "python3 " + Path("read.py") + " " + Path("s.zip") + " >" + Path("names");
    ASSERT_EQ(std::system(read.c_str()), 0);
    EXPECT_EQ(Bytes("names"),
              text::ToUtf8("big.mp3|曲.mp3|ソ.mp3|CLINE_1.MP3|a.mp3|quaverix-set.txt\n"));

    // Into another data folder, whose sets folder is not there yet.
    w.fs.AddDrive('D');
    w.fs.AddFolder("D:\\Other");
    const settings::DataFolder other("D:\\Other\\");
    const sets::Loaded got = Import(w.fs, other, "C:\\out\\s.zip");
    ASSERT_EQ(Said(got),
              "done 01.mp3=same 02.mp3=same 03.mp3=same 04.mp3=same 05.mp3=same 06.mp3=same");
    EXPECT_EQ(got.set.entries[3].file, "D:\\Other\\sets\\共有\\ソ.mp3");
    for (std::size_t i = 0; i < set.entries.size(); ++i) {
        EXPECT_EQ(w.fs.Data(got.set.entries[i].file), w.fs.Data(set.entries[i].file)) << i;
        EXPECT_EQ(got.set.entries[i].print, set.entries[i].print) << i;
    }
    ASSERT_EQ(Said(Save(w.fs, other, got.set)), "done");
    EXPECT_EQ(Said(Import(w.fs, other, "C:\\out\\s.zip")),
              "exists: セット「共有」はもうあります。置き換えますか？");
    EXPECT_EQ(Said(Import(w.fs, other, "C:\\out\\s.zip", "", true)).substr(0, 4), "done");

    // Packed again by Python's zipfile, deflated with UTF-8 names, into a file and into a
    // stream that cannot seek (each entry's sizes then follow its data): both are taken.
    Write("repack.py", kRepack);
    ASSERT_EQ(std::system(("python3 " + Path("repack.py") + " " + Path("s.zip") + " " +
                           Path("file.zip") + " " + Path("stream.zip"))
                              .c_str()),
              0);
    for (const char* name : {"file.zip", "stream.zip"}) {
        w.fs.AddFile(std::string("C:\\") + name, Bytes(name));
        const settings::DataFolder again(std::string("D:\\") + name + "\\");
        w.fs.AddFolder(again.Folder());
        const sets::Loaded repacked = Import(w.fs, again, std::string("C:\\") + name);
        EXPECT_EQ(Said(repacked), Said(got)) << name;
        for (std::size_t i = 0; i < repacked.set.entries.size(); ++i)
            EXPECT_EQ(w.fs.Data(repacked.set.entries[i].file), w.fs.Data(set.entries[i].file));
    }

    // The set file alone, as a player unpacks the zip by hand: its music is beside it.
    sets::Set inside = got.set;
    w.fs.AddFolder("C:\\hand");
    for (sets::Entry& e : inside.entries) {
        e.file = paths::LastPart(e.file);
        w.fs.AddFile("C:\\hand\\" + e.file,
                     w.fs.Data(got.set.entries[&e - &inside.entries[0]].file));
    }
    w.fs.AddFile("C:\\hand\\quaverix-set.txt", sets::Format(inside));
    const sets::Loaded alone =
        Import(w.fs, settings::DataFolder("E:\\"), "C:\\hand\\quaverix-set.txt");
    EXPECT_EQ(Said(alone), Said(got));
    EXPECT_EQ(alone.set.entries[1].file, "C:\\hand\\曲.mp3");
}

// The dialog as a player uses it, one step after another on one window: music files
// changed first ("a~" other bytes, "b-" gone, "b+" back; "-03": the list file without 03.mp3), the table's files set ("1c"),
// then the step's call (s save as each name in turn, o open, n rename, d delete, e export,
// i import, c close the window and start it again), the boxes' answers; then the table
// (a slot's digit, the file's folder when not the player's, its name), the listed sets,
// and parts of what the boxes said.
TEST(Sets, TheDialogKeepsOpensAndSharesTables) {
    qxtest::FormEnv env;
    auto& fs = env.fs;
    const std::string music = "C:\\m\\", zip = "C:\\out\\夏.zip";
    fs.AddFolder("C:\\out");
    for (const char* m : {"a", "b", "c"}) fs.AddFile(music + m + ".mp3", m);
    TFormMain* f = &env.Start();
    std::deque<std::function<void(ui::Form&)>> acts;
    env.app.modalRunner = [&](ui::Form& form) {
        ASSERT_FALSE(acts.empty()) << "nobody acts on " << form.Caption();
        auto act = std::move(acts.front());
        acts.pop_front();
        act(form);
        if (!form.Closed()) form.Close();
    };
    const sys::BoxResult ok = sys::BoxResult::Ok, no = sys::BoxResult::Cancel;
    const std::string both = "冬\t2 曲|夏\t2 曲", last = "（前回の割り当て）\t1 曲|夏\t2 曲",
                      last2 = "（前回の割り当て）\t2 曲|夏\t2 曲";
    const struct {
        const char *what, *change, *slots;
        char call;
        std::vector<std::string> names;
        std::vector<sys::BoxResult> answers;
        std::string table, listed;
        std::vector<std::string> said;
    } steps[] = {
        // clang-format off
        {"nothing to save", "", "", 's', {}, {}, "", "", {"保存するものがありません"}},
        {"saved", "", "1a 3b", 's', {"夏"}, {}, "1a 3b", "夏\t2 曲", {}},
        {"a bad name, then a good one", "", "", 's', {"CON", "冬"}, {}, "1a 3b", both,
         {"「CON」はセットの名前に使えません"}},
        {"an existing name kept", "", "1c", 's', {"夏"}, {no}, "1c 3b", both,
         {"セット「夏」はもうあります。置き換えますか？"}},
        {"opening asks for a table no set holds", "", "", 'o', {"夏"}, {no}, "1c 3b", both,
         {"今の割り当てはどのセットにも保存されていません"}},
        {"opened after the question", "", "", 'o', {"夏"}, {ok}, "1a 3b", both,
         {"どのセットにも保存されていません"}},
        {"a changed file goes in, a gone one does not", "a~ b-", "", 'o', {"冬"}, {}, "1a", both,
         {"空のままです:\r\n03.mp3: C:\\m\\b.mp3\r\n    曲のファイルが見つからないか",
          "確かめてください:\r\n01.mp3: C:\\m\\a.mp3\r\n    セットを保存したときから変更されています"}},
        {"renamed", "", "", 'n', {"冬", "春"}, {}, "1a", "夏\t2 曲|春\t2 曲", {}},
        {"deleted", "", "", 'd', {"春"}, {ok}, "1a", "夏\t2 曲", {"セット「春」を削除しますか？"}},
        {"the last table kept at close", "", "", 'c', {}, {}, "", last, {}},
        {"exported", "b+", "", 'e', {"夏"}, {}, "", last, {"を書き出しました:\r\n" + zip}},
        {"imported over itself, the music folder gone", "a- b- c-", "", 'i', {}, {ok}, "", last,
         {"セット「夏」はもうあります", "セット「夏」を取り込みました。"}},
        {"opened from the set's own folder", "", "", 'o', {"夏"}, {}, "1夏/a 3夏/b", last, {}},
        {"a start with a list file without 03.mp3", "-03", "", 'c', {}, {}, "", last2, {}},
        {"its slot left empty", "", "", 'o', {"夏"}, {}, "1夏/a", last2,
         {"03.mp3: C:\\Game\\QUAVERIX\\sets\\夏\\b.mp3\r\n    リストファイルにないスロットです"}},
        // clang-format on
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        std::istringstream changes(step.change), slotList(step.slots);
        for (std::string c; changes >> c;) {
            const std::string file = music + c[0] + ".mp3";
            if (c[0] == '-')
                env.WriteList("01.mp3=A#05.mp3=C", "2");
            else if (c[1] == '-')
                fs.Remove(file);
            else
                fs.AddFile(file, c[1] == '~' ? "changed" : std::string(1, c[0]));
        }
        for (std::string c; slotList >> c;)
            f->ValListMp3.SetValue(c[0] == '1' ? 0 : 1, c[1] == '-' ? "" : music + c[1] + ".mp3");
        fs.boxes.clear();
        fs.boxAnswers.assign(step.answers.begin(), step.answers.end());
        if (step.call == 'e') fs.saveAnswers.push_back(zip);
        if (step.call == 'i') fs.openAnswers.push_back(zip);
        if (step.call == 'c') {
            ASSERT_TRUE(env.Handle([&] { f->Close(); }));
            env.form.reset();
            f = &env.Start();
        } else {
            acts.push_back([&](ui::Form& form) {
                auto& d = dynamic_cast<TFormSets&>(form);
                std::string name = step.names.empty() ? "" : step.names.front();
                for (std::size_t i = 0; i < d.Listed().size(); ++i)
                    if (d.Listed()[i].name == name) d.ListSets.UserSelect(static_cast<int>(i));
                ui::Button* b = step.call == 's'   ? &d.BtnSetSave
                                : step.call == 'o' ? &d.BtnSetOpen
                                : step.call == 'n' ? &d.BtnSetRename
                                : step.call == 'd' ? &d.BtnSetDelete
                                : step.call == 'e' ? &d.BtnSetExport
                                                   : &d.BtnSetImport;
                std::vector<std::string> typed;
                if (step.call == 's' || step.call == 'n')
                    typed.assign(step.names.begin() + (step.call == 'n'), step.names.end());
                if (!typed.empty()) {
                    acts.push_back([typed](ui::Form& form) {
                        auto& p = dynamic_cast<TFormSetName&>(form);
                        for (const std::string& n : typed) {
                            if (!p.Closed()) p.EditName.UserSetText(n), p.BtnOk.UserClick();
                        }
                    });
                }
                ASSERT_TRUE(b->Enabled());
                b->UserClick();
            });
            ASSERT_TRUE(env.Handle([&] { f->BtnSets.UserClick(); }));
        }
        EXPECT_TRUE(acts.empty());
        std::string table;
        for (int i = 0; i < f->ValListMp3.Count(); ++i) {
            const std::string v = f->ValListMp3.Value(i);
            if (v.empty()) continue;
            const std::string folder = paths::Parent(v);
            table += (table.empty() ? "" : " ") + f->ValListMp3.Name(i).substr(1, 1) +
                     (folder + "\\" == music ? "" : paths::LastPart(folder) + "/") +
                     paths::LastPart(v).substr(0, 1);
        }
        EXPECT_EQ(table, step.table);
        TFormSets listing(*f);
        std::string listed;
        for (const std::string& line : listing.ListSets.Items())
            listed += (listed.empty() ? "" : "|") + line.substr(0, line.rfind('\t'));
        EXPECT_EQ(listed, step.listed);
        std::string said;
        for (const auto& box : fs.boxes) said += box.text + "\n";
        for (const std::string& part : step.said)
            EXPECT_NE(said.find(part), std::string::npos) << said;
        if (step.said.empty()) EXPECT_EQ(said, "");
    }
}
