// Music sets: the set files of the data folder.
#include <gtest/gtest.h>

#include <functional>

#include "fake/FakeSystem.h"
#include "sets/Set.h"

namespace {

using sets::Load;
using sets::Remove;
using sets::Rename;
using sets::Save;
using sets::Status;

struct World {
    sys::FakeSystem fs;
    settings::DataFolder data{"C:\\Data\\"};
    World() {
        fs.AddFolder("C:\\Data");
        fs.AddFolder("C:\\m");
        fs.AddFile("C:\\m\\a.mp3", "aaaa");
        fs.AddFile("C:\\m\\b.mp3", "bbbbbb");
    }
    sets::Set Table(const std::string& name,
                    std::vector<std::pair<std::string, std::string>> slots) {
        sets::Set s{name, {}};
        for (const auto& [slot, file] : slots) s.entries.push_back(sets::Describe(fs, slot, file));
        return s;
    }
};

std::string Said(const sets::Outcome& o) {
    return o.status == Status::Done
               ? "done"
               : (o.status == Status::Exists ? "exists: " : "refused: ") + o.error;
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

const std::string kLast = sets::kLastTable;
const std::vector<std::pair<std::string, std::string>> kAB = {{"01.mp3", "C:\\m\\a.mp3"},
                                                              {"02.mp3", "C:\\m\\b.mp3"}};

}  // namespace

// One world, one step after another: what each says, and the saved sets after it.
TEST(Sets, SetFileRules) {
    World w;
    const struct {
        const char* what;
        std::function<std::string(World&)> step;
        std::string said;  // a part of it
        std::string listed;
    } steps[] = {
        {"save", [](World& w) { return Said(Save(w.fs, w.data, w.Table("mine", kAB))); }, "done",
         "mine 2"},
        {"an existing name",
         [](World& w) { return Said(Save(w.fs, w.data, w.Table("MINE", {kAB[1]}))); },
         "exists: セット「MINE」はもうあります", "mine 2"},
        {"replaced",
         [](World& w) { return Said(Save(w.fs, w.data, w.Table("mine", {kAB[1]}), true)); }, "done",
         "mine 1"},
        {"a device name", [](World& w) { return Said(Save(w.fs, w.data, w.Table("CON", kAB))); },
         "refused: 「CON」はセットの名前に使えません", "mine 1"},
        {"a path", [](World& w) { return Said(Save(w.fs, w.data, w.Table("..\\x", kAB))); },
         "refused: 「..\\x」はセットの名前に使えません", "mine 1"},
        {"the last table", [](World& w) { return Said(Save(w.fs, w.data, w.Table(kLast, kAB))); },
         "done", "mine 1; （前回の割り当て） 2"},
        {"load", [](World& w) { return Said(Load(w.fs, w.data, kLast)); },
         "done 01.mp3=same 02.mp3=same", "mine 1; （前回の割り当て） 2"},
        {"a changed file",
         [](World& w) {
             w.fs.AddFile("C:\\m\\b.mp3", "bbbbbc");
             return Said(Load(w.fs, w.data, kLast));
         },
         "done 01.mp3=same 02.mp3=changed", "mine 1; （前回の割り当て） 2"},
        {"a gone file",
         [](World& w) {
             w.fs.Remove("C:\\m\\a.mp3");
             return Said(Load(w.fs, w.data, kLast));
         },
         "done 01.mp3=missing 02.mp3=changed", "mine 1; （前回の割り当て） 2"},
        {"rename", [](World& w) { return Said(Rename(w.fs, w.data, "mine", "yours")); }, "done",
         "yours 1; （前回の割り当て） 2"},
        {"rename onto another", [](World& w) { return Said(Rename(w.fs, w.data, "yours", kLast)); },
         "exists: セット「（前回の割り当て）」はもうあります", "yours 1; （前回の割り当て） 2"},
        {"rename to a bad name",
         [](World& w) { return Said(Rename(w.fs, w.data, "yours", "a:b")); },
         "refused: 「a:b」はセットの名前に使えません", "yours 1; （前回の割り当て） 2"},
        {"load the renamed", [](World& w) { return Said(Load(w.fs, w.data, "yours")); },
         "done 02.mp3=changed", "yours 1; （前回の割り当て） 2"},
        {"delete", [](World& w) { return Said(Remove(w.fs, w.data, "yours")); }, "done",
         "（前回の割り当て） 2"},
        {"delete a gone set", [](World& w) { return Said(Remove(w.fs, w.data, "yours")); },
         "refused: セット「yours」が見つかりません。", "（前回の割り当て） 2"},
        {"load a gone set", [](World& w) { return Said(Load(w.fs, w.data, "yours")); },
         "refused: セット「yours」が見つかりません", "（前回の割り当て） 2"},
        {"a file that is no set",
         [](World& w) {
             w.fs.AddFile("C:\\Data\\sets\\junk.txt", "\x81\x00garbage\r\n\tQUAVERIX");
             return Said(Load(w.fs, w.data, "junk"));
         },
         "refused: セット「junk」は QUAVERIX のセットのファイルではありません",
         "junk 0 (QUAVERIX のセットのファイルではありません。); （前回の割り当て） 2"},
        {"a damaged line",
         [](World& w) {
             w.fs.AddFile(
                 "C:\\Data\\sets\\half.txt",
                 "QUAVERIX set 1\thalf\r\n01.mp3\tC:\\m\\a.mp3\r\n02.mp3\t-\t-\tC:\\m\\b.mp3");
             return Said(Load(w.fs, w.data, "half"));
         },
         "done 02.mp3=changed [2 行目を読めません: 01.mp3\tC:\\m\\a.mp3]",
         "half 1 (1 行を読めません。); junk 0 (QUAVERIX のセットのファイルではありません。); "
         "（前回の割り当て） 2"},
        {"another QUAVERIX holds the lock",
         [](World& w) {
             w.fs.inUse.push_back("C:\\Data\\quaverix.lock");
             std::string said = Said(Save(w.fs, w.data, w.Table("x", kAB)));
             w.fs.inUse.clear();
             return said;
         },
         "refused: セット「x」を保存できません。\r\n理由: 別の QUAVERIX",
         "half 1 (1 行を読めません。); junk 0 (QUAVERIX のセットのファイルではありません。); "
         "（前回の割り当て） 2"},
    };
    for (const auto& s : steps) {
        const std::string said = s.step(w);
        EXPECT_NE(said.find(s.said), std::string::npos) << s.what << ": " << said;
        EXPECT_EQ(Listing(w), s.listed) << s.what;
    }
    EXPECT_EQ(sets::List(w.fs, w.data).back().stamp, w.fs.Stamp(w.data.Sets() + kLast + ".txt"));
    auto line = [](const char* slot, const std::string& data, const char* file) {
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016llx",
                      static_cast<unsigned long long>(originals::FingerprintOf(data).hash));
        return std::string(slot) + "\t" + std::to_string(data.size()) + "\t" + hash + "\t" + file +
               "\r\n";
    };
    EXPECT_EQ(w.fs.Data(w.data.Sets() + kLast + ".txt"),
              "QUAVERIX set 1\t（前回の割り当て）\r\nslot\tsize\thash\tfile\r\n" +
                  line("01.mp3", "aaaa", "C:\\m\\a.mp3") +
                  line("02.mp3", "bbbbbb", "C:\\m\\b.mp3"));
}
