#include <gtest/gtest.h>

#include <random>

#include "platform/Error.h"
#include "platform/ini/IniFile.h"
#include "fake/FakeSystem.h"

namespace {

using ini::FindValue;
using ini::SetValue;
using std::string;

std::optional<string> Find(const string& file, const char* section, const char* key) {
    return FindValue(file, section, key);
}

// A literal with its NULs.
template <std::size_t N>
string Bytes(const char (&a)[N]) {
    return string(a, N - 1);
}

string Utf16(std::u16string_view units) {
    string out = "\xFF\xFE";
    for (char16_t u : units) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

TEST(IniRead, LinesBlanksAndNames) {
    EXPECT_EQ(Find("[s]\r\na=1\r\n", "s", "a"), "1");
    EXPECT_EQ(Find("[s]\na=1\nb=2", "s", "b"), "2");
    EXPECT_EQ(Find("[s]\ra=1\rb=2\r", "s", "b"), "2");
    EXPECT_EQ(Find(" \t[\v S \t]\t\n \t a\v = \t x y \t\n", "s", "A"), "x y");
    EXPECT_EQ(Find("[s]\na=\n", "s", "a"), "");  // present, empty: not the default
    EXPECT_EQ(Find("[s]\na=b=c\n", "s", "a"), "b=c");
    EXPECT_EQ(Find("[s]\na=　x　\n", "s", "a"), "　x　");  // ideographic space is no blank
    // First ']' ends the name, the rest of the line is ignored; no ']' runs to the line end.
    EXPECT_EQ(Find("[s]x]\na=1\n", "s", "a"), "1");
    EXPECT_EQ(Find("[s]x]\na=1\n", "s]x", "a"), std::nullopt);
    EXPECT_EQ(Find("[ open \na=1\n", "open", "a"), "1");
    // Names asked for are trimmed too; empty names match nothing.
    EXPECT_EQ(Find("[s]\na=1\n", " s\t", "\va "), "1");
    EXPECT_EQ(Find("[]\na=1\n", "", "a"), std::nullopt);
    EXPECT_EQ(Find("[s]\n=1\n", "s", " "), std::nullopt);
    // Not keys: before any section, a comment, a line without '='. '#' is no comment.
    EXPECT_EQ(Find("a=0\n[s]\n", "s", "a"), std::nullopt);
    EXPECT_EQ(Find("[s]\n ;a=1\na\n#b=2\n", "s", "a"), std::nullopt);
    EXPECT_EQ(Find("[s]\n ;a=1\na\n#b=2\n", "s", "#b"), "2");
    // Only the first section of a name is searched, and its first key wins.
    EXPECT_EQ(Find("[S]\na=1\na=2\n[s]\na=3\nb=4\n", "s", "a"), "1");
    EXPECT_EQ(Find("[S]\na=1\n[s]\nb=4\n", "s", "b"), std::nullopt);
}

TEST(IniRead, Quotes) {
    EXPECT_EQ(Find("[s]\na=\"x\"\n", "s", "a"), "x");
    EXPECT_EQ(Find("[s]\na= ' x ' \n", "s", "a"), " x ");
    EXPECT_EQ(Find("[s]\na=\"\"x\"\"\n", "s", "a"), "\"x\"");  // one pair only
    EXPECT_EQ(Find("[s]\na=\"x'\n", "s", "a"), "\"x'");
    EXPECT_EQ(Find("[s]\na=\"\n", "s", "a"), "\"");
    EXPECT_EQ(Find("[s]\na=''\n", "s", "a"), "");
    EXPECT_EQ(Find("[s]\na=\"x\x81\"\n", "s", "a"), "\"x\x81\"");  // that '"' is a second byte
}

TEST(IniRead, SecondBytesAreNeverSyntax) {
    // ゼ ソ ゾ end in '[' '\' ']'; 0x81 0x3D ends in '='.
    string file = "[ゾ表]\n能ソ=ゼ\n[x\x81\x3D]\nk\x81=v=w\n";
    EXPECT_EQ(Find(file, "ゾ表", "能ソ"), "ゼ");
    EXPECT_EQ(Find(file, "x\x81=", "k\x81=v"), "w");
    EXPECT_EQ(Find(file, "x\x81=", "k"), std::nullopt);
    // Letters are compared without case, second bytes exactly: 0x83 0x61 is not 0x83 0x41.
    EXPECT_EQ(Find("[\x83\x61]\nk=1\n", "\x83\x41", "k"), std::nullopt);
    // A lead byte before a line break does not swallow it.
    EXPECT_EQ(Find("[s]\na=x\x81\r\n[t]\nb=2\n", "s", "a"), "x\x81");
    EXPECT_EQ(Find("[s]\na=x\x81\n[t]\nb=2\n", "t", "b"), "2");
    EXPECT_EQ(Find("[s]\na=\x81", "s", "a"), "\x81");
}

TEST(IniRead, Encodings) {
    // A UTF-8 mark is not recognised: it spoils the first header.
    EXPECT_EQ(Find("\xEF\xBB\xBF[s]\na=1\n", "s", "a"), std::nullopt);
    // UTF-16LE: read in UTF-16, values come back as CP932; U+4E02 has no CP932 form.
    string wide = Utf16(u"[\u4E02]\r\nk=\u4E02\r\n[\u8868]\r\n\u80FD=\u30BD\r\n");
    EXPECT_EQ(Find(wide, "表", "能"), "ソ");
    EXPECT_EQ(Find(wide, "?", "k"), std::nullopt);
    EXPECT_EQ(Find(wide + "x", "表", "能"), "ソ");  // odd length
    // UTF-16BE is not recognised: bytes with NULs between them.
    EXPECT_EQ(Find(Bytes("\xFE\xFF\0[\0s\0]\0\n\0a\0=\0001"), "s", "a"), std::nullopt);
}

TEST(IniRead, BadInputNeverCrashes) {
    string nul = Bytes("[s]\na=1\0002\n[t\0]\nb=3\n");
    EXPECT_EQ(FindValue(nul, "s", "a"), Bytes("1\0002"));
    EXPECT_EQ(FindValue(nul, Bytes("t\0"), "b"), "3");
    string longLine = "[s]\na=" + string(1 << 20, '\x81') + "\nb=2\n";
    EXPECT_EQ(Find(longLine, "s", "b"), "2");
    EXPECT_EQ(Find(longLine, "s", "a")->size(), 1u << 20);
    EXPECT_EQ(Find("\x81", "s", "a"), std::nullopt);
    EXPECT_EQ(Find("[", "", "a"), std::nullopt);
    EXPECT_EQ(Find("\xFF\xFE\xFF", "", "a"), std::nullopt);
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        string junk(rng() % 200, '\0');
        for (char& c : junk) c = "[]=;\r\n \"'\x81\x83\x5C\xFFsk"[rng() % 15];
        if (i % 3 == 0) junk = "\xFF\xFE" + junk;
        (void)FindValue(junk, "s", "k");
        string out = SetValue(junk, "s", "k", "v");
        EXPECT_EQ(FindValue(out, "s", "k"), "v") << i;
    }
}

TEST(IniParseInteger, Forms) {
    std::int32_t n = 77;
    for (const char* bad : {"", "20x", "x", "$", "0x", "+", "-", "--5", "1 ", "99999999999",
                            "2147483648", "-2147483649", "0x80000000", "$G", "1.5"}) {
        EXPECT_FALSE(ini::ParseInteger(bad, n)) << bad;
    }
    EXPECT_EQ(n, 77);
    struct Case {
        const char* text;
        std::int32_t value;
    };
    for (Case c : {Case{"20", 20},
                   {"0x14", 20},
                   {"0X1f", 31},
                   {"$14", 20},
                   {"-5", -5},
                   {"+5", 5},
                   {"-$14", -20},
                   {"007", 7},
                   {"2147483647", 2147483647},
                   {"-2147483648", INT32_MIN},
                   {"-0x80000000", INT32_MIN},
                   {"$7FFFFFFF", INT32_MAX}}) {
        EXPECT_TRUE(ini::ParseInteger(c.text, n)) << c.text;
        EXPECT_EQ(n, c.value) << c.text;
    }
}

TEST(IniWrite, PlacesLinesAndKeepsEveryOtherByte) {
    EXPECT_EQ(SetValue("", "s", "k", "v"), "[s]\r\nk=v\r\n");
    EXPECT_EQ(SetValue("[a]\nx=1", "s", "k", "v"), "[a]\nx=1\r\n[s]\r\nk=v\r\n");
    EXPECT_EQ(SetValue("[a]\r", "s", "k", "v"), "[a]\r[s]\r\nk=v\r\n");
    // New key: after the section's last key line, before its trailing comments and blanks.
    EXPECT_EQ(SetValue("[S]\n; c\nx=1\njunk\n;tail\n\n[t]\nk=9\n", "s", "k", "v"),
              "[S]\n; c\nx=1\nk=v\r\njunk\n;tail\n\n[t]\nk=9\n");
    EXPECT_EQ(SetValue("[s]\n;c\n", "s", "k", "v"), "[s]\nk=v\r\n;c\n");
    EXPECT_EQ(SetValue("[s]", "s", "k", "v"), "[s]\r\nk=v\r\n");
    EXPECT_EQ(SetValue("[s]\r\nx=1", "s", "k", "v"), "[s]\r\nx=1\r\nk=v\r\n");
    // Existing key: its value replaced in place, spellings and line break kept.
    EXPECT_EQ(SetValue(" [ S ] \r K\t= \"old\" \r[s]\rk=2\r", "s", "k", "new"),
              " [ S ] \r K\t=new\r[s]\rk=2\r");
    EXPECT_EQ(SetValue("[s]\nk=1\nk=2\n", "s", "K", "3"), "[s]\nk=3\nk=2\n");
    EXPECT_EQ(SetValue("[s]\nk=1", "s", "k", ""), "[s]\nk=");
    string japanese = "[ゾ表]\n能ソ=ゼ\n";
    EXPECT_EQ(SetValue(japanese, "ゾ表", "能ソ", "ソ"), "[ゾ表]\n能ソ=ソ\n");
}

TEST(IniWrite, TextThatWouldBreakTheFile) {
    string file = "[s]\r\na=1\r\n[t]\r\nb=2\r\n";
    // Line breaks in a value would start new lines: the value is stored as one line.
    string out = SetValue(file, "s", "a", "x\r\n[t]\r\nb=evil\ny\r");
    EXPECT_EQ(out, "[s]\r\na=x[t]b=evily\r\n[t]\r\nb=2\r\n");
    // Outer blanks and quotes would be lost on reading: such values are quoted.
    for (const char* v : {" x ", "\t", "\"q\"", "'", "'a'", "\"", "\x81 \x81"}) {
        EXPECT_EQ(FindValue(SetValue(file, "s", "a", v), "s", "a"), v) << v;
        EXPECT_EQ(FindValue(SetValue(file, "n", "a", v), "n", "a"), v) << v;
    }
    EXPECT_EQ(SetValue(file, "s", "a", " x"), "[s]\r\na=\" x\"\r\n[t]\r\nb=2\r\n");
    // Names that cannot be written as themselves leave the file as it is.
    for (auto [section, key] : {std::pair{"s]x", "k"},
                                {"s\n", "k"},
                                {"s", "a=b"},
                                {"s", "[k"},
                                {"s", ";k"},
                                {"s", "k\r"},
                                {"", "k"},
                                {"s", " "},
                                {"s", "k\x81"},
                                {"s\x81", "k"}}) {
        EXPECT_EQ(SetValue(file, section, key, "v"), file) << section << "/" << key;
    }
}

TEST(IniWrite, Utf16FileStaysUtf16) {
    string wide = Utf16(u"[\u4E02]\r\nk=\u4E02\r\n[s]\r\na=1\r\n");
    EXPECT_EQ(SetValue(wide, "s", "a", "ソ"),
              Utf16(u"[\u4E02]\r\nk=\u4E02\r\n[s]\r\na=\u30BD\r\n"));
    EXPECT_EQ(SetValue(wide, "s", "b", "2"),
              Utf16(u"[\u4E02]\r\nk=\u4E02\r\n[s]\r\na=1\r\nb=2\r\n"));
    EXPECT_EQ(SetValue(Utf16(u"") + "x", "s", "a", "1"), Utf16(u"[s]\r\na=1\r\n") + "x");
    // Found by fuzzing: bytes that are no CP932 character are stored as U+30FB there, and a
    // key that is no CP932 text ("\x83=" is U+30FB and '=') cannot be written at all.
    EXPECT_EQ(FindValue(SetValue(wide, "s", "a", "\x83\x30"), "s", "a"), "\x81\x45\x30");
    EXPECT_EQ(SetValue(wide, "s", "\x83=", "v"), wide);
}

TEST(IniWrite, RandomFilesKeepOtherKeys) {
    const char* parts[] = {"[s]",         "[S ]", "[t]",  "[s",   "[t]x]", "k=1",
                           " K = \"2\" ", "a=3",  "b=ソ", ";k=4", "k",     "",
                           " ",           "\x81", "=5",   "[ゾ]", "能=6"};
    const char* ends[] = {"\r\n", "\n", "\r", ""};
    const char* probes[][2] = {{"s", "k"},   {"s", "a"},   {"t", "a"}, {"ゾ", "能"}, {"s", "b"},
                               {" t", "k "}, {"t]x", "k"}, {"", ""},   {"s", ""}};
    std::mt19937 rng(11);
    for (int i = 0; i < 2000; ++i) {
        string file;
        for (int n = rng() % 12; n > 0; --n) {
            file += parts[rng() % std::size(parts)];
            file += ends[rng() % std::size(ends)];
        }
        const auto& target = probes[rng() % (std::size(probes) - 3)];  // the last cannot be written
        string value = rng() % 4 ? "v" + std::to_string(i) : " q\"";
        string out = SetValue(file, target[0], target[1], value);
        EXPECT_EQ(FindValue(out, target[0], target[1]), value) << file;
        for (const auto* p = probes; p != std::end(probes); ++p) {
            if (p == &target) continue;
            EXPECT_EQ(FindValue(out, (*p)[0], (*p)[1]), FindValue(file, (*p)[0], (*p)[1])) << file;
        }
        // Only one run of bytes changes: the file's own bytes stay around it.
        std::size_t head = 0;
        while (head < file.size() && head < out.size() && file[head] == out[head]) ++head;
        std::size_t tail = 0;
        while (tail < file.size() - head && tail < out.size() - head &&
               file[file.size() - 1 - tail] == out[out.size() - 1 - tail]) {
            ++tail;
        }
        string removed = file.substr(head, file.size() - head - tail);
        EXPECT_EQ(removed.find_first_of("\r\n"), string::npos) << file;
    }
}

class IniFileTest : public ::testing::Test {
protected:
    sys::FakeSystem fs;
    const string path = "C:\\Game\\QUAVERIX\\QUAVERIX.ini";
};

TEST_F(IniFileTest, ReadsWithDefaultsAndLimits) {
    string big(3000, 'a');
    big.replace(2046, 2, "ソ");  // a double-byte character across the 2047-byte cut
    fs.AddFile(path, "[s]\r\nbig=" + big +
                         "\r\nn=0x14\r\nbad=20x\r\nhuge=99999999999\r\n"
                         "t=1\r\nf=0\r\nempty=\r\n");
    ini::IniFile ini(fs, path);
    EXPECT_EQ(ini.FileName(), path);
    EXPECT_EQ(ini.ReadString("s", "big", "d"), big.substr(0, 2046));
    EXPECT_EQ(ini.ReadString("s", "none", "d  \t  "), "d  \t");
    EXPECT_EQ(ini.ReadString("s", "none", string(3000, 'd')), string(2047, 'd'));
    EXPECT_EQ(ini.ReadString("s", "empty", "d"), "");
    EXPECT_EQ(ini.ReadInteger("s", "n", 5), 20);
    for (const char* key : {"bad", "huge", "empty", "none"})
        EXPECT_EQ(ini.ReadInteger("s", key, 5), 5);
    EXPECT_TRUE(ini.ReadBool("s", "t", false));
    EXPECT_FALSE(ini.ReadBool("s", "f", true));
    EXPECT_TRUE(ini.ReadBool("s", "bad", true));
    EXPECT_FALSE(ini.ReadBool("s", "none", false));
    // Reads come from memory: a later change on disk is not seen by them...
    fs.AddFile(path, "[s]\r\nn=1\r\nother=x\r\n");
    EXPECT_EQ(ini.ReadInteger("s", "n", 5), 20);
    // ...but a write starts from the disk as it is, and reads then see the result.
    ini.WriteInteger("s", "m", -7);
    EXPECT_EQ(fs.Data(path), "[s]\r\nn=1\r\nother=x\r\nm=-7\r\n");
    EXPECT_EQ(ini.ReadString("s", "other", ""), "x");
}

TEST_F(IniFileTest, WritesAndFailures) {
    ini::IniFile ini(fs, path);
    EXPECT_EQ(ini.ReadString("s", "k", "none"), "none");
    ini.WriteBool("s", "on", true);
    ini.WriteBool("s", "off", false);
    ini.WriteString("s", "k", "x\r\ny");
    EXPECT_EQ(fs.Data(path), "[s]\r\non=1\r\noff=0\r\nk=xy\r\n");

    const string before = fs.Data(path);
    const string message = path + " に書き込めません";
    fs.unwritable.push_back(path);
    try {
        ini.WriteString("s", "k", "new");
        ADD_FAILURE() << "no error";
    } catch (const platform::Error& e) {
        EXPECT_EQ(e.what(), message);
    }
    EXPECT_EQ(fs.Data(path), before);
    EXPECT_EQ(ini.ReadString("s", "k", ""), "xy");
    // Writing what is already there needs no write at all.
    EXPECT_NO_THROW(ini.WriteString("s", "k", "xy"));
    fs.unwritable.clear();

    EXPECT_THROW(ini.WriteString("s", "a=b", "v"), platform::Error);
    EXPECT_EQ(fs.Data(path), before);
    // A file that is there but cannot be read is not overwritten with one key.
    fs.SetDriveReady('C', false);
    EXPECT_THROW(ini.WriteString("s", "k", "v"), platform::Error);
    fs.SetDriveReady('C', true);
    EXPECT_EQ(fs.Data(path), before);

    ini::IniFile lost(fs, "C:\\NoSuchFolder\\a.ini");
    EXPECT_THROW(lost.WriteInteger("s", "k", 1), platform::Error);
}

}  // namespace
