// The originals store on its own: fingerprints, the index's text, the rules over files of
// any size. The runs of copies, batch files and restores through the window are in
// apply_test.cpp.
#include <gtest/gtest.h>

#include "fake/FakeSystem.h"
#include "originals/Store.h"

namespace {

using originals::Fingerprint;

// Bytes that do not repeat within a stripe or a word.
std::string Pattern(std::size_t n) {
    std::string d(n, '\0');
    for (std::size_t i = 0; i < n; ++i) d[i] = static_cast<char>((i * 2654435761u) >> 13);
    return d;
}

}  // namespace

// The index files players have keep their hashes: the values below were made by the first
// version of the fingerprint, whatever way it is computed now.
TEST(Originals, FingerprintsAreStableAndTheSameInAnyPieces) {
    const struct {
        std::size_t size;
        std::uint64_t hash;
    } known[] = {
        {0, 0xef46db3751d8e999ULL},    {1, 0xe934a84adb052768ULL},
        {7, 0xe6addf6944091fc6ULL},    {8, 0x521fd2878ea69d17ULL},
        {31, 0x8fc3c429201ec691ULL},   {32, 0x4e13111ced6f735dULL},
        {33, 0xf7b9faf20b3bce63ULL},   {63, 0x89c9d7900dcf6a0dULL},
        {64, 0xcd91daec2c21766fULL},   {100, 0x54d48a3a213dc1c3ULL},
        {1000, 0xb260521730b6d8d9ULL}, {1048613, 0xf50452ba536066baULL},
    };
    sys::FakeSystem fs;
    fs.AddFolder("C:\\m");
    for (const auto& k : known) {
        const std::string data = Pattern(k.size);
        EXPECT_EQ(originals::FingerprintOf(data), (Fingerprint{k.size, k.hash})) << k.size;
        for (std::size_t piece : {1u, 3u, 8u, 31u, 32u, 33u, 4096u}) {
            originals::Hasher h;
            for (std::size_t at = 0; at < data.size(); at += piece) {
                h.Add(std::string_view(data).substr(at, piece));
            }
            EXPECT_EQ(h.Finish().hash, k.hash) << k.size << " in pieces of " << piece;
        }
        fs.AddFile("C:\\m\\f", data);
        Fingerprint f;
        ASSERT_TRUE(originals::FingerprintFile(fs, "C:\\m\\f", f));
        EXPECT_EQ(f, (Fingerprint{k.size, k.hash}));
    }
}

// A file bigger than a 32-bit process can hold goes through one fixed buffer: kept before a
// copy, compared, put back; never read whole (the fake refuses a whole read of it).
TEST(Originals, FilesOfAnySizeStreamThroughOneBuffer) {
    sys::FakeSystem fs;
    fs.AddFolder("C:\\m");
    fs.AddFolder("C:\\bgm");
    const std::uint64_t big = (std::uint64_t{1} << 32) + 3;  // past what 32 bits count
    fs.AddBigFile("C:\\bgm\\01.wav", big);
    Fingerprint f;
    ASSERT_TRUE(originals::FingerprintFile(fs, "C:\\bgm\\01.wav", f));
    EXPECT_EQ(f, (Fingerprint{big, 0x2e36174fe5a2536cULL}));  // by the first version, whole
    EXPECT_LE(fs.largestPart, originals::kReadChunk);

    // The game's big file is kept (copied, read back), then put back. (A smaller one:
    // the fake refuses a whole read of any such file all the same.)
    const std::uint64_t wave = 20 << 20;
    fs.AddBigFile("C:\\bgm\\01.wav", wave);
    ASSERT_TRUE(originals::FingerprintFile(fs, "C:\\bgm\\01.wav", f));
    fs.AddFile("C:\\m\\a.wav", "tune");
    originals::Store store(fs, "C:\\Game\\QUAVERIX\\originals\\");
    sys::FileError why;
    ASSERT_TRUE(store.BeforeCopy("C:\\m\\a.wav", "C:\\bgm\\01.wav", true, why)) << why.detail;
    ASSERT_TRUE(fs.CopyFileTo("C:\\m\\a.wav", "C:\\bgm\\01.wav", false));
    const std::vector<originals::Entry> entries = store.EntriesIn("C:\\bgm");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].original, f);
    originals::Store::Restoring done;
    ASSERT_TRUE(store.Restore(entries[0].destination, done, why)) << why.detail;
    Fingerprint back;
    ASSERT_TRUE(originals::FingerprintFile(fs, "C:\\bgm\\01.wav", back));
    EXPECT_EQ(back, f);
    EXPECT_EQ(back.size, wave);
}

// The index a person can read: every version and every copy of QUAVERIX's survives a
// write and a read; lines of the first version still read; a damaged line stays as it is.
TEST(Originals, IndexKeepsEveryVersionAndReadsOldLines) {
    originals::Entry e;
    e.destination = "C:\\bgm\\01.mp3";
    e.saved = "3_01.mp3";
    e.original = {3, 0x3};
    e.copied = {9, 0x9};
    e.older = {{"1_01.mp3", {1, 0x1}}, {"", {}}, {"2_01 a.mp3", {2, 0x2}}};
    e.ours = {{7, 0x7}, {8, 0x8}};
    originals::Entry batchOnly;
    batchOnly.destination = "C:\\bgm\\03.mp3";
    batchOnly.known = false;
    batchOnly.copied = {5, 0x5};
    originals::Index index{{e, batchOnly}, {"damaged\tline"}};

    const originals::Index back = originals::ParseIndex(originals::FormatIndex(index));
    ASSERT_EQ(back.entries.size(), 2u);
    EXPECT_EQ(back.entries[0].older, e.older);
    EXPECT_EQ(back.entries[0].ours, e.ours);
    EXPECT_EQ(back.entries[0].saved, e.saved);
    EXPECT_TRUE(back.entries[0].known);
    EXPECT_FALSE(back.entries[1].known);
    EXPECT_TRUE(back.entries[1].Absent());
    EXPECT_EQ(back.unreadable, index.unreadable);

    const struct {
        const char* line;
        bool reads;
    } lines[] = {
        {"C:\\bgm\\05.mp3\t1_05.mp3\t4:0000000000000004\t2:0000000000000002", true},
        {"C:\\bgm\\05.mp3\t(none)\t0:0000000000000000\t2:0000000000000002", true},
        {"C:\\bgm\\05.mp3\t1_05.mp3\t4:0000000000000004\t2:0000000000000002\tours:1:"
         "0000000000000001",
         true},
        {"C:\\bgm\\05.mp3\t1_05.mp3\t4:0000000000000004\t2:0000000000000002\tours:1:00", false},
        {"C:\\bgm\\05.mp3\t1_05.mp3\t4:0000000000000004\t2:0000000000000002\tolder:1:"
         "0000000000000001:..\\x",
         false},
        {"C:\\bgm\\05.mp3\t1_05.mp3\t4:0000000000000004\t2:0000000000000002\tnew field", false},
    };
    for (const auto& l : lines) {
        const originals::Index i = originals::ParseIndex(l.line);
        EXPECT_EQ(i.entries.size(), l.reads ? 1u : 0u) << l.line;
        EXPECT_EQ(i.unreadable.size(), l.reads ? 0u : 1u) << l.line;
    }
}
