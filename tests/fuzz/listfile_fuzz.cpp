// Start-up on an arbitrary list file (and user.ini): the load and the row preparation never
// read a line or a tip that is not there, and leave the window whole.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "FuzzForm.h"
#include "platform/ini/IniFile.h"
#include "slots/Slots.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    qxfuzz::FormEnv env;
    std::string userIni = in.ConsumeRandomLengthString(512);
    std::string list = in.ConsumeRemainingBytesAsString();
    if (!userIni.empty()) env.fs.AddFile(qxfuzz::kExe + "user.ini", userIni);
    // The list file is wherever user.ini points (when that is a name it may open).
    std::string name = ini::IniFile(env.fs, qxfuzz::kExe + "user.ini")
                           .ReadString("user", "selelst", "Pellamor.lst");
    if (slots::IsSafeListName(name)) env.fs.AddFile(qxfuzz::kExe + name, list);
    TFormMain& f = env.Start();

    // At most one box, and the window is whole either way.
    QX_FUZZ_CHECK(env.fs.boxes.size() <= 1);
    QX_FUZZ_CHECK(f.Caption() == f.Settings.SoftName);
    QX_FUZZ_CHECK(f.Panel1.Visible() && !f.Panel2.Visible());
    QX_FUZZ_CHECK(f.LblTag.Caption() == MouseHintText());

    // Prepared rows: one tip each, the value emptied; never more tips than lines.
    const int count = f.ValListMp3.Count();
    const std::size_t tips = f.Mp3Tips.size();
    QX_FUZZ_CHECK(tips <= static_cast<std::size_t>(count));
    QX_FUZZ_CHECK(f.ValListMp3.tag < 0 || static_cast<std::size_t>(f.ValListMp3.tag) >= tips);
    for (int i = 0; i < static_cast<int>(tips); ++i) {
        const std::string& line = f.ValListMp3.Line(i);
        QX_FUZZ_CHECK(line == f.ValListMp3.Name(i) + "=");
        QX_FUZZ_CHECK(line.find('\r') == std::string::npos && line.find('\n') == std::string::npos);
    }
    // Every row the grid shows can be selected, each showing its tip or nothing.
    for (int r = 1; r < f.ValListMp3.RowCount(); ++r) {
        env.app.Dispatch([&] {
            f.ValListMp3.SetRow(r);
            f.ValListMp3Click(&f.ValListMp3);
        });
        std::size_t i = static_cast<std::size_t>(r - 1);
        QX_FUZZ_CHECK(f.LblMp3Tips.Caption() == (i < tips ? f.Mp3Tips[i] : std::string()));
    }
    QX_FUZZ_CHECK(env.fs.boxes.size() <= 1);
    return 0;
}
