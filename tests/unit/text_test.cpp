#include <gtest/gtest.h>

#include "platform/text/Cp932.h"

using namespace text;

// "ソ" (0x83 0x5C) and "表" (0x95 0x5C) end in a byte that looks like a backslash.
TEST(Text, SecondByteBackslashIsNotABackslash) {
    const std::string so = "\x83\x5C";
    EXPECT_FALSE(EndsWithBackslash("C:\\" + so));
    EXPECT_TRUE(EndsWithDoubleByte("C:\\" + so));
    EXPECT_TRUE(EndsWithBackslash("C:\\" + so + "\\"));
    EXPECT_TRUE(EndsWithBackslash("C:\\"));
    EXPECT_FALSE(EndsWithBackslash(""));
    // A lead byte at the very end is one character of its own.
    EXPECT_EQ(LastCharOffset("a\x83"), 1u);
    EXPECT_FALSE(EndsWithDoubleByte("a\x83"));
    // Counting from the left: "\x83\x83\x5C" is a lead+trail pair, then a lone 0x5C.
    EXPECT_TRUE(EndsWithBackslash("\x83\x83\x5C"));
    EXPECT_EQ(LastCharOffset("\x83\x5C\x83\x5C"), 2u);
}

TEST(Text, CutBytesKeepsWholeCharacters) {
    EXPECT_EQ(CutBytes("ab\x83\x5C", 3), "ab");
    EXPECT_EQ(CutBytes("ab\x83\x5C", 4), "ab\x83\x5C");
    EXPECT_EQ(CutBytes("abc", 0), "");
    EXPECT_EQ(CutBytes("", 5), "");
}

TEST(Text, RemoveCrLfIsOnePassWithoutOverlap) {
    EXPECT_EQ(RemoveCrLf("ab\r\ncd"), "abcd");
    EXPECT_EQ(RemoveCrLf("\r\r\n\n"), "\r\n");  // the pair the removal brings together stays
    EXPECT_EQ(RemoveCrLf("a\rb\nc"), "a\rb\nc");
    EXPECT_EQ(RemoveCrLf("\r\n\r\n"), "");
    EXPECT_EQ(RemoveCrLf("x\r"), "x\r");
}

TEST(Text, ReplaceAllDoesNotRescan) {
    EXPECT_EQ(ReplaceAll("[FileName] [FileName]", "[FileName]", "\"[FileName]\""),
              "\"[FileName]\" \"[FileName]\"");
    EXPECT_EQ(ReplaceAll("[filename]", "[FileName]", "x"), "[filename]");
    EXPECT_EQ(ReplaceAll("a=b=c", "=", " - "), "a - b - c");
}

// A needle is found only where a character starts: "ゼ" is 0x83 0x5B ('['), "ソ" 0x83 0x5C
// ('\'), "ダ" 0x83 0x5F, "ア" 0x83 0x41 ('A'); '=', '#', '%', CR and LF are never second bytes.
TEST(Text, FindAndReplaceAllStopOnlyAtCharacters) {
    struct Case {
        std::string s, needle;
        std::size_t found;
        std::string replaced;  // every needle replaced by "<>"
    };
    const std::size_t no = std::string::npos;
    const Case cases[] = {
        {"\x83\x5B"
         "FileName]",
         "[FileName]", no,
         "\x83\x5B"
         "FileName]"},
        {"\x83\x5B[FileName]", "[FileName]", 2, "\x83\x5B<>"},
        {"\x83\x5C\\", "\\", 2, "\x83\x5C<>"},
        {"\x83\x5C\x83\x5C", "\\", no, "\x83\x5C\x83\x5C"},
        {"\x83\x83\x5C", "\\", 2, "\x83\x83<>"},  // a pair, then a real backslash
        {"\x83\x41"
         "A",
         "A", 2, "\x83\x41<>"},
        {"\x83\x5F]", "]", 2, "\x83\x5F<>"},
        {"ab\x83", "\x83", 2, "ab<>"},  // a lead byte at the end is a character
        {"\x83\x5C=\x83\x5C#%\r\n", "=", 2, "\x83\x5C<>\x83\x5C#%\r\n"},
        {"\x81=", "=", 1, "\x81<>"},  // a broken lead byte is one character
        {"a#b#", "#", 1, "a<>b<>"},
        {"", "x", no, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Find(c.s, c.needle), c.found) << ToUtf8(c.s);
        EXPECT_EQ(ReplaceAll(c.s, c.needle, "<>"), c.replaced) << ToUtf8(c.s);
    }
    EXPECT_EQ(Find("x[a][a]", "[a]", 2), 4u);
    EXPECT_EQ(Find("abc", "c", 4), no);
}

// "ア" is 0x83 0x41 and "ヂ" 0x83 0x61: folding a second byte would make them equal.
TEST(Text, CaseFoldingLeavesSecondBytes) {
    EXPECT_EQ(UpperAscii("a\x83\x61z"), "A\x83\x61Z");
    EXPECT_FALSE(EqualsNoCase("\x83\x41", "\x83\x61"));
    EXPECT_TRUE(EqualsNoCase("c:\\\x83\x61", "C:\\\x83\x61"));
}

TEST(Text, ConversionRoundTrips) {
    const std::string sjis = "\x83\x5C\x83\x74\x83\x67 \x95\x5C ABC \xB1\xB2";  // ソフト 表 ABC ｱｲ
    EXPECT_EQ(ToUtf16(sjis), u"ソフト 表 ABC ｱｲ");
    EXPECT_EQ(FromUtf16(u"ソフト 表 ABC ｱｲ"), sjis);
    EXPECT_EQ(FromUtf8(reinterpret_cast<const char*>(u8"ソフト 表 ABC ｱｲ")), sjis);
    EXPECT_EQ(ToUtf8(sjis), reinterpret_cast<const char*>(u8"ソフト 表 ABC ｱｲ"));
    // Literals are compiled as CP932.
    EXPECT_EQ(std::string("ソ"), "\x83\x5C");
    // Characters CP932 lacks become '?'; bad CP932 becomes U+30FB.
    EXPECT_EQ(FromUtf16(u"a\u00E9b"), "a?b");
    // (Spelled in bytes: the test macros quote their arguments as narrow CP932 text.)
    const std::string emoji = "\xF0\x9F\x98\x80";
    EXPECT_EQ(FromUtf8(emoji), "?");
    EXPECT_EQ(ToUtf16("a\x81"), u"a\u30FB");
    EXPECT_EQ(ToUtf16("\x81\x20"), u"\u30FB ");
    // Windows' choice among duplicate codes: NEC row 13 over IBM for U+2252, IBM for small roman.
    EXPECT_EQ(FromUtf16(u"\u2252"), "\x81\xE0");
    EXPECT_EQ(FromUtf16(u"\u2170"), "\xFA\x40");
    EXPECT_EQ(FromUtf16(u"\u2160"), "\x87\x54");  // NEC row 13 before IBM
    EXPECT_EQ(FromUtf16(u"\u7E8A"), "\xFA\x5C");  // IBM before NEC-selected IBM
    EXPECT_EQ(FromUtf16(u"\uFFE2"), "\x81\xCA");  // JIS X 0208 first of three
}

// The one reading of lines and fields that the program's own files (the originals' index,
// the record, the loudness cache) share: every line end, empty lines and fields kept.
TEST(Text, LinesAndFields) {
    using V = std::vector<std::string_view>;
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb\r\n"), (V{"a", "", "b"}));
    EXPECT_EQ(SplitLines(""), V{});
    EXPECT_EQ(Split("1 2  \x83\x5C", ' '), (V{"1", "2", "", "\x83\x5C"}));
    EXPECT_EQ(SplitTabs("\t"), (V{"", ""}));
}
