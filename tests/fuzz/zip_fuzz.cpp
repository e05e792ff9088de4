// The set zip's reader on any bytes: no crash; a refusal says why and writes nothing; what
// a taken zip writes is inside the set's own folder (the data folder's lock file aside),
// each file whole, with the fingerprint the set gives it. Nothing there before is removed.
#include <algorithm>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "fake/FakeSystem.h"
#include "originals/Fingerprint.h"
#include "platform/text/Cp932.h"
#include "sets/Zip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sys::FakeSystem fs;
    fs.AddFolder("C:\\Data");
    fs.AddFile("C:\\in.zip", std::string(reinterpret_cast<const char*>(data), size));
    const std::map<std::string, std::string> before = fs.Files();
    const sets::Loaded got = sets::Import(fs, settings::DataFolder("C:\\Data\\"), "C:\\in.zip");
    QX_FUZZ_CHECK(got.status == sets::Status::Done || !got.error.empty());
    const std::map<std::string, std::string> after = fs.Files();
    const std::string folder = text::UpperAscii("C:\\Data\\sets\\" + got.set.name + "\\");
    for (const auto& [path, bytes] : before) QX_FUZZ_CHECK(after.count(path) == 1);
    for (const auto& [path, bytes] : after) {
        const auto was = before.find(path);
        if (was != before.end() && was->second == bytes) continue;
        const std::string key = text::UpperAscii(path);
        QX_FUZZ_CHECK(got.status == sets::Status::Done);
        if (key == "C:\\DATA\\QUAVERIX.LOCK") continue;
        QX_FUZZ_CHECK(key.rfind(folder, 0) == 0 &&
                      key.find('\\', folder.size()) == std::string::npos);
        const auto e =
            std::find_if(got.set.entries.begin(), got.set.entries.end(),
                         [&](const sets::Entry& e) { return text::UpperAscii(e.file) == key; });
        QX_FUZZ_CHECK(e != got.set.entries.end() && e->print &&
                      originals::FingerprintOf(bytes) == *e->print);
    }
    QX_FUZZ_CHECK(got.status != sets::Status::Done || got.files.size() == got.set.entries.size());
    return 0;
}
