// The INI reader and writer on arbitrary file bytes: random reads, then random key writes.
// After each write the key reads back as written, and every other key reads as before.
#include <fuzzer/FuzzedDataProvider.h>

#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "platform/ini/IniFile.h"
#include "fake/FakeSystem.h"
#include "platform/text/Cp932.h"

namespace {

const char kPath[] = "C:\\Game\\QUAVERIX\\user.ini";
const char kMarker[] = "qx-marker";

// The value with its line breaks gone (values are always one line).
std::string OneLine(const std::string& v) {
    std::string out;
    for (char c : v) {
        if (c != '\r' && c != '\n') out += c;
    }
    return out;
}

// True when the value's last byte is a lead byte left without its second byte: no line
// can hold such a value so that it reads back whole.
bool EndsInHalfCharacter(const std::string& v) {
    return !v.empty() && text::LastCharOffset(v) + 1 == v.size() &&
           text::IsLeadByte(static_cast<unsigned char>(v.back()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::string file = in.ConsumeRandomLengthString(3000);  // past the 2047-byte cut
    // A few names to read and write with; the file's own are found by the fuzzer.
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) names.push_back(in.ConsumeRandomLengthString(16));
    names.push_back("k");

    sys::FakeSystem fs;
    fs.AddFile(kPath, file);
    ini::IniFile f(fs, kPath);
    auto pick = [&] { return names[in.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1)]; };

    // Reads: the cut at 2047 bytes never splits a character; integers and Booleans agree.
    for (int i = 0; i < 3 && in.remaining_bytes() > 0; ++i) {
        std::string s = pick(), k = pick();
        std::string v = f.ReadString(s, k, "def");
        QX_FUZZ_CHECK(v.size() <= ini::kMaxValueBytes);
        QX_FUZZ_CHECK(text::CutBytes(v, v.size()).size() == v.size());
        std::int32_t n = f.ReadInteger(s, k, 7);
        QX_FUZZ_CHECK(f.ReadBool(s, k, true) == (n != 0));
    }

    std::string disk = file;
    // What each pair of names reads in the file as it is now.
    std::vector<std::optional<std::string>> seen;
    for (const std::string& ps : names) {
        for (const std::string& pk : names) seen.push_back(ini::FindValue(disk, ps, pk));
    }
    for (int w = 0; w < 4 && in.remaining_bytes() > 0; ++w) {
        std::string s = pick(), k = pick();
        std::string value = in.ConsumeRandomLengthString(64);
        bool writable = ini::CanWriteName(s, k);
        bool threw = false;
        try {
            f.WriteString(s, k, value);
        } catch (const std::exception&) {
            threw = true;
        }
        // A write fails exactly when the names cannot be written, and then changes nothing.
        // In a Unicode file the names are text: only names that are no CP932 text (which
        // nothing read from such a file can be) may fare otherwise there.
        bool unicodeDisk = disk.size() >= 2 && disk[0] == '\xFF' && disk[1] == '\xFE';
        auto isText = [](const std::string& n) { return text::FromUtf16(text::ToUtf16(n)) == n; };
        if (!unicodeDisk || (isText(s) && isText(k))) QX_FUZZ_CHECK(threw == !writable);
        std::string after = fs.Data(kPath);
        if (threw) {
            QX_FUZZ_CHECK(after == disk);
            continue;
        }
        // A Unicode file holds the value as text: bytes that are no CP932 character come
        // back as U+30FB, as the conversion reads them.
        std::string flat = OneLine(value);
        bool unicode = disk.size() >= 2 && disk[0] == '\xFF' && disk[1] == '\xFE';
        if (unicode) flat = text::FromUtf16(text::ToUtf16(flat));
        if (!EndsInHalfCharacter(flat)) {
            QX_FUZZ_CHECK(ini::FindValue(after, s, k) == flat);
        }
        // Every other key: a probe whose value changed must be the key just written, which
        // a second write with a marker shows.
        std::string marked = ini::SetValue(after, s, k, kMarker);
        std::size_t p = 0;
        for (const std::string& ps : names) {
            for (const std::string& pk : names) {
                auto now = ini::FindValue(after, ps, pk);
                if (now != seen[p]) {
                    QX_FUZZ_CHECK(ini::FindValue(marked, ps, pk) == std::string(kMarker));
                }
                seen[p++] = std::move(now);
            }
        }
        disk = after;
    }
    return 0;
}
