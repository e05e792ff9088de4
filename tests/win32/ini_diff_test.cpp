// Our INI reader and writer against the system's own GetPrivateProfileStringA and
// WritePrivateProfileStringA, on real files. Every difference must be one we know of: either
// where the system is Wine and Wine is known to differ from Windows, or where we chose to
// differ from both. Each such difference has a tag below; a difference that no tag of the
// case explains fails the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/ini/IniFile.h"
#include "platform/text/Cp932.h"

namespace {

using std::string;

enum Tag : unsigned {
    kLastBracket = 1u << 0,  // Wine ends a section name at the last ']', Windows at the first
    kNoBracket = 1u << 1,  // Wine ignores a header without ']', Windows reads it
    kUtf8Mark = 1u << 2,  // Wine recognises a UTF-8 mark, Windows does not
    kSemicolon = 1u << 3,  // Wine reads a ';' line as a key, Windows as a comment
    kMoreBlanks = 1u << 4,  // Wine also trims form feed and other spaces
    kPreSection = 1u << 5,  // Wine reads lines before the first section as section ""
    kRewrite = 1u << 6,  // Wine writes the whole file anew: "k=v", CR LF, no blank lines
    kKeyAtEnd = 1u << 7,  // Wine adds a key after the section's trailing non-key lines
    kNameBlanks = 1u << 8,  // Wine writes key " b " as "b "
    kOddBytes = 1u << 9,  // undefined CP932 becomes '・' there, and a lead byte takes a line
    // break; we keep the bytes and the line break
    kOneLine = 1u << 10,  // ours: line breaks in a value are dropped
    kQuoted = 1u << 11,  // ours: a value with outer blanks or quotes is put in quotes
    kRefused = 1u << 12,  // ours: a name that cannot be written as itself is not written
    kEmptyName = 1u << 13,  // ours: an empty name matches nothing and is not written
    kTagCount = 14,
};

const char* const kTagNames[kTagCount] = {
    "Wine: last ']'",     "Wine: needs ']'",   "Wine: UTF-8 mark", "Wine: ';' key",
    "Wine: more blanks",  "Wine: pre-section", "Wine: rewrites",   "Wine: key at end",
    "Wine: key blanks",   "undefined CP932",   "ours: one line",   "ours: quoted",
    "ours: refused name", "ours: empty name"};

// Tags that can change what a read returns (the rest only change how a file is written).
constexpr unsigned kReadTags = kLastBracket | kNoBracket | kUtf8Mark | kSemicolon | kMoreBlanks |
                               kPreSection | kOddBytes | kEmptyName;

struct Piece {
    const char* text;
    unsigned tags;
};

// Lines a file is made of. The first group reads alike everywhere and Wine writes it back
// as it is; the others carry what they may change.
const Piece kLines[] = {
    {"[s]", 0},
    {"[t]", 0},
    {"[S]", 0},
    {"[Sec2]", 0},
    {"[ゾ表]", 0},
    {"k=1", 0},
    {"K=2", 0},
    {"a=ソ表", 0},
    {"b=\"q\"", 0},
    {"c='x'", 0},
    {"d=", 0},
    {"e=a=b", 0},
    {"f=\"x'", 0},
    {"能ソ=ゼ", 0},
    {"x=\x80\xA0\xFD", 0},
    {"#k=5", 0},
    {"y= ' y ' ", kRewrite},
    {" k = 3 ", kRewrite},
    {"\tb\t=\t\"4\"\t", kRewrite},
    {"\v[ t ]", kRewrite},
    {"", kRewrite},
    {"junk", kKeyAtEnd},
    {"; c", kKeyAtEnd},
    {";k=6", kSemicolon | kKeyAtEnd},
    {"[s]x]", kLastBracket},
    {"[t", kNoBracket},
    {"x=a\x81", kOddBytes},
    {"[x\x81=]", kOddBytes},
    {"y=\x85\x40", kOddBytes},
    {"k=\x0C"
     "7",
     kMoreBlanks},
};
constexpr std::size_t kPlainLines = 16;  // the first group
const Piece kEnds[] = {{"\r\n", 0}, {"\r\n", 0}, {"\n", kRewrite}, {"\r", kRewrite}};

// Names read in every file: the tags say what may differ because of the name alone.
const Piece kSections[] = {{"s", 0},        {"S", 0},   {"t", 0},    {"Sec2", 0},
                           {"ゾ表", 0},     {"s]x", 0}, {" s\t", 0}, {"x\x81=", kOddBytes},
                           {"", kEmptyName}};
const Piece kKeys[] = {{"k", 0}, {"K", 0},  {"a", 0},  {"b", 0},    {"c", 0},
                       {"d", 0}, {"e", 0},  {"f", 0},  {"能ソ", 0}, {"x", 0},
                       {"y", 0}, {"#k", 0}, {";k", 0}, {" k ", 0},  {"", kEmptyName}};

struct Write {
    Piece section, key, value;
};
const Piece kWriteSections[] = {{"s", 0},          {"S", 0},        {"t", 0},
                                {"new", 0},        {"ゾ表", 0},     {" s ", kNameBlanks},
                                {"s]x", kRefused}, {"", kEmptyName}};
const Piece kWriteKeys[] = {{"k", 0},          {"a", 0},         {"能ソ", 0},
                            {"new", 0},        {"x", 0},         {" b ", kNameBlanks},
                            {"a=b", kRefused}, {";k", kRefused}, {"[k", kRefused},
                            {"", kEmptyName}};
const Piece kValues[] = {{"v", 0},
                         {"ソ表", 0},
                         {"", 0},
                         {"1 2", 0},
                         {" x ", kQuoted},
                         {"\"q\"", kQuoted},
                         {"a\r\nb", kOneLine},
                         {"\x85\x40", kOddBytes}};

string Show(const string& s) {
    string out;
    for (unsigned char c : s) {
        char hex[8];
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

string Utf16File(const string& cp932) {
    string out = "\xFF\xFE";
    for (char16_t u : text::ToUtf16(cp932)) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

// Real files in a folder of our own; each case gets a new name, as Wine keeps recently
// read files cached.
class Disk {
public:
    Disk() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = string(temp) + "qx_ini_diff_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
    }
    ~Disk() {
        for (const string& f : files_) DeleteFileA(f.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    string Put(const string& bytes) {
        string path = folder_ + "\\c" + std::to_string(files_.size()) + ".ini";
        files_.push_back(path);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return path;
    }
    static string Get(const string& path) {
        string data;
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return data;
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) data.append(buf, n);
        std::fclose(f);
        return data;
    }

private:
    string folder_;
    std::vector<string> files_;
};

constexpr char kMissing[] = "\x01missing";

std::optional<string> SystemRead(const string& path, const char* section, const char* key) {
    static char buf[8192];
    DWORD n = GetPrivateProfileStringA(section, key, kMissing, buf, sizeof buf, path.c_str());
    string value(buf, n);
    if (value == kMissing) return std::nullopt;
    return value;
}

// What a caller of the A function sees of our value: the text up to a NUL.
std::optional<string> OurRead(const string& file, const char* section, const char* key) {
    std::optional<string> v = ini::FindValue(file, section, key);
    if (v) v->resize(std::strlen(v->c_str()));
    return v;
}

class Tally {
public:
    // True when a and b agree or a tag of the case may explain why they do not.
    template <class T>
    bool Check(const T& ours, const T& system, unsigned tags, const string& what) {
        ++compared_;
        if (ours == system) return true;
        if (tags == 0) {
            ADD_FAILURE() << "unexpected difference: " << what;
            return false;
        }
        for (unsigned i = 0; i < kTagCount; ++i) {
            if (tags & (1u << i)) ++byTag_[i];
        }
        ++explained_;
        return true;
    }
    void Print() const {
        std::printf("compared %d, equal %d; the differing ones carried:\n", compared_,
                    compared_ - explained_);
        for (const auto& [tag, n] : byTag_) std::printf("  %-20s %d\n", kTagNames[tag], n);
    }

private:
    int compared_ = 0, explained_ = 0;
    std::map<unsigned, int> byTag_;
};

struct Generated {
    string bytes;
    unsigned tags = 0;
};

// A plain file holds only lines that read alike and that Wine writes back as they are.
Generated MakeFile(std::mt19937& rng, bool plain) {
    Generated g;
    if (plain) {
        for (int n = 2 + rng() % 10; n > 0; --n) {
            g.bytes += kLines[rng() % kPlainLines].text;
            g.bytes += "\r\n";
        }
        return g;
    }
    if (rng() % 12 == 0) {
        g.bytes = "\xEF\xBB\xBF";
        g.tags |= kUtf8Mark;
    }
    if (rng() % 6 == 0) {
        g.bytes += "k=0\r\n";
        g.tags |= kPreSection;
    }
    for (int n = 2 + rng() % 10; n > 0; --n) {
        // Mostly lines that read alike, so that one quirk does not hide another.
        const Piece& line = kLines[rng() % (rng() % 3 ? kPlainLines : std::size(kLines))];
        const Piece& end = kEnds[rng() % (rng() % 4 ? 2 : std::size(kEnds))];
        g.bytes += line.text;
        g.bytes += end.text;
        g.tags |= line.tags | end.tags;
    }
    if (rng() % 8 == 0) {
        g.bytes.resize(g.bytes.size() - (g.bytes.back() == '\n' && g.bytes.size() > 1 &&
                                                 g.bytes[g.bytes.size() - 2] == '\r'
                                             ? 2
                                             : 1));
        g.tags |= kRewrite;
    }
    return g;
}

TEST(IniDiff, MatchesTheSystemExceptKnownDifferences) {
    ASSERT_EQ(GetACP(), 932u) << "run with a Japanese ANSI code page (LC_ALL=ja_JP.UTF-8)";
    Disk disk;
    Tally reads, writes, rereads;
    std::mt19937 rng(20240601);
    for (int i = 0; i < 160; ++i) {
        const bool plain = i % 3 == 0;
        Generated g = MakeFile(rng, plain);
        if (i % 7 == 6 && !(g.tags & kUtf8Mark)) g.bytes = Utf16File(g.bytes);
        string path = disk.Put(g.bytes);
        for (const Piece& section : kSections) {
            for (const Piece& key : kKeys) {
                reads.Check(
                    OurRead(g.bytes, section.text, key.text),
                    SystemRead(path, section.text, key.text),
                    (g.tags & kReadTags) | section.tags | key.tags,
                    "read " + Show(section.text) + "/" + Show(key.text) + " in " + Show(g.bytes));
            }
        }
        for (int w = 0; w < 4; ++w) {
            // Plain files get plain writes, whose bytes must come out the same.
            auto pick = [&](const auto& pieces) -> const Piece& {
                for (;;) {
                    const Piece& p = pieces[rng() % std::size(pieces)];
                    if (!plain || p.tags == 0) return p;
                }
            };
            const Piece& section = pick(kWriteSections);
            const Piece& key = pick(kWriteKeys);
            const Piece& value = pick(kValues);
            unsigned tags = g.tags | section.tags | key.tags | value.tags;
            string ours = ini::SetValue(g.bytes, section.text, key.text, value.text);
            string written = disk.Put(g.bytes);
            WritePrivateProfileStringA(section.text, key.text, value.text, written.c_str());
            string system = Disk::Get(written);
            string what = "write " + Show(section.text) + "/" + Show(key.text) + "=" +
                          Show(value.text) + " in " + Show(g.bytes) + "\n ours: " + Show(ours) +
                          "\n system: " + Show(system);
            if (writes.Check(ours, system, tags, what)) {
                // Whatever the bytes, both files must mean the same.
                string oursPath = disk.Put(ours);
                for (const Piece& sp : kSections) {
                    const char* s = sp.text;
                    const unsigned probe = tags | sp.tags;
                    for (const char* k : {key.text, "k", "a", "x"}) {
                        rereads.Check(
                            OurRead(ours, s, k), SystemRead(written, s, k),
                            probe & (kReadTags | kOneLine | kQuoted | kRefused | kNameBlanks),
                            "re-read " + Show(s) + "/" + Show(k) + " after " + what);
                        // Our file as the system reads it: it must hold no surprises either.
                        rereads.Check(
                            OurRead(ours, s, k), SystemRead(oursPath, s, k),
                            probe & (kReadTags | kNameBlanks),
                            "system reading ours " + Show(s) + "/" + Show(k) + " after " + what);
                    }
                }
            }
        }
    }
    std::printf("reads:    ");
    reads.Print();
    std::printf("writes:   ");
    writes.Print();
    std::printf("re-reads: ");
    rereads.Print();
}

// One plain case for each known difference, with what each side gives. If the system's
// answer changes (a newer Wine, or real Windows), this says which rule moved.
TEST(IniDiff, EachKnownDifference) {
    ASSERT_EQ(GetACP(), 932u);
    Disk disk;
    const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    struct ReadCase {
        const char* file;
        const char* section;
        const char* key;
        std::optional<string> ours, wineGives;
    };
    const ReadCase readCases[] = {
        {"[s]x]\r\nk=1\r\n", "s", "k", "1", std::nullopt},
        {"[s\r\nk=1\r\n", "s", "k", "1", std::nullopt},
        {"\xEF\xBB\xBF[s]\r\nk=1\r\n", "s", "k", std::nullopt, "1"},
        {"[s]\r\n;k=1\r\n", "s", ";k", std::nullopt, "1"},
        {"[s]\r\n\x0Ck=1\r\n", "s", "k", std::nullopt, "1"},
        {"k=1\r\n[s]\r\n", "", "k", std::nullopt, "1"},
        {"[s]\r\n=1\r\n", "s", "", std::nullopt, "1"},
        {"[s]\r\nk=\x85\x40\r\n", "s", "k", "\x85\x40", "\x81\x45"},
        {"[s]\r\nk=a\x81\r\n", "s", "k", "a\x81", "a\x81\x45"},
        {"[s]\r\nk=a\x81\nj=2\n", "s", "j", "2", std::nullopt},
    };
    for (const ReadCase& c : readCases) {
        string path = disk.Put(c.file);
        EXPECT_EQ(OurRead(c.file, c.section, c.key), c.ours) << Show(c.file);
        if (wine) {
            EXPECT_EQ(SystemRead(path, c.section, c.key), c.wineGives) << Show(c.file);
        }
    }
    struct WriteCase {
        const char* file;
        const char* section;
        const char* key;
        const char* value;
        const char* ours;
        const char* wineGives;
    };
    const WriteCase writeCases[] = {
        {"[s]\n k = 1 \n\n[t]\n", "s", "k", "2", "[s]\n k =2\n\n[t]\n", "[s]\r\nk=2\r\n[t]\r\n"},
        {"[s]\r\nk=1\r\n;c\r\n", "s", "j", "2", "[s]\r\nk=1\r\nj=2\r\n;c\r\n",
         "[s]\r\nk=1\r\n;c\r\nj=2\r\n"},
        {"[s]\r\n", "s", " b ", "1", "[s]\r\nb=1\r\n", "[s]\r\nb =1\r\n"},
        {"[s]\r\n", "s", "k", "a\r\n[t]", "[s]\r\nk=a[t]\r\n", "[s]\r\nk=a\r\n[t]\r\n"},
        {"[s]\r\n", "s", "k", " x ", "[s]\r\nk=\" x \"\r\n", "[s]\r\nk=x \r\n"},
        {"[s]\r\n", "s", "k", "\"q\"", "[s]\r\nk=\"\"q\"\"\r\n", "[s]\r\nk=\"q\"\r\n"},
        {"[s]\r\n", "s", "a=b", "1", "[s]\r\n", "[s]\r\na=b=1\r\n"},
        {"[s]\r\n", "s]x", "k", "1", "[s]\r\n", "[s]\r\n[s]x]\r\nk=1\r\n"},
        {"[s]\r\n", "s", "", "1", "[s]\r\n", "[s]\r\n=1\r\n"},
        {"[s]x]\r\nk=1\r\n", "s", "k", "2", "[s]x]\r\nk=2\r\n", "[s]x]\r\nk=1\r\n[s]\r\nk=2\r\n"},
        {"[s]\r\n", "s", "k", "a\x81", "[s]\r\nk=a\x81\r\n", "[s]\r\nk=a\r\n"},
    };
    for (const WriteCase& c : writeCases) {
        EXPECT_EQ(Show(ini::SetValue(c.file, c.section, c.key, c.value)), Show(c.ours))
            << Show(c.file);
        if (!wine) continue;
        string path = disk.Put(c.file);
        WritePrivateProfileStringA(c.section, c.key, c.value, path.c_str());
        EXPECT_EQ(Show(Disk::Get(path)), Show(c.wineGives)) << Show(c.file);
    }
}

}  // namespace
