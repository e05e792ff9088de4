// The batch writer over an arbitrary slot table, destination folder and DelReadOnly:
// one or two CR LF lines per assigned slot whose name can be a file (the others named in
// one box), nothing else, no '%' that cmd.exe would take for a variable, and no '"' of
// the destination's own (such a destination refuses the run).
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "FuzzForm.h"
#include "slots/Slots.h"

namespace {

const char kBat[] = "C:\\out.bat";

// Every run of '%' is even: each '%' of a path was doubled.
bool PercentsDoubled(const std::string& s) {
    std::size_t run = 0;
    for (char c : s) {
        if (c == '%') {
            ++run;
        } else {
            if (run % 2) return false;
            run = 0;
        }
    }
    return run % 2 == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    qxfuzz::FormEnv env;
    env.fs.AddFile(qxfuzz::kExe + "Pellamor.lst", "[mp3]\r\nnametips=01.mp3=A\r\nnumber=1\r\n");
    TFormMain& f = env.Start();
    QX_FUZZ_CHECK(env.fs.boxes.empty());
    f.Settings.DelReadOnly = in.ConsumeBool();
    f.MemoCopysaki.SetText(in.ConsumeRandomLengthString(64));
    f.ValListMp3.SetText(in.ConsumeRandomLengthString(256));
    // Lines set whole may hold line breaks of their own, as a typed value could.
    while (in.remaining_bytes() > 0 && f.ValListMp3.Count() > 0) {
        int i = in.ConsumeIntegralInRange<int>(0, f.ValListMp3.Count() - 1);
        f.ValListMp3.SetLine(i, in.ConsumeRandomLengthString(64));
    }

    int assigned = 0, usable = 0;
    for (const std::string& line : f.ValListMp3.Lines()) {
        assigned += slots::IsAssigned(line);
        usable += slots::IsAssigned(line) && slots::IsUsableSlotName(slots::NameOf(line));
    }

    env.fs.saveAnswers.push_back(kBat);
    if (!slots::DestinationFolder(f.MemoCopysaki.Text())) {
        // A '"' in the folder's own name: the error box, and nothing written.
        QX_FUZZ_CHECK(!env.app.Dispatch([&] { f.BtnGo.UserClick(); }));
        QX_FUZZ_CHECK(env.fs.boxes.size() == 1u && env.fs.boxes[0].kind == sys::BoxKind::Error);
        QX_FUZZ_CHECK(!env.fs.Exists(kBat));
        return 0;
    }
    QX_FUZZ_CHECK(env.app.Dispatch([&] { f.BtnGo.UserClick(); }));
    // The one question about files that may not play (none of these exists), only when a
    // slot is assigned (OK, the fake's answer, goes on), then one box naming the slots
    // left out, only when there are some.
    const std::size_t question = assigned > 0 ? 1u : 0u;
    QX_FUZZ_CHECK(env.fs.boxes.size() == question + (usable < assigned ? 1u : 0u));
    QX_FUZZ_CHECK(env.fs.boxes.empty() || env.fs.boxes[0].kind == sys::BoxKind::Confirm);
    QX_FUZZ_CHECK(usable == assigned || env.fs.boxes.back().kind == sys::BoxKind::Warning);
    assigned = usable;
    const std::string script = env.fs.Data(kBat);
    QX_FUZZ_CHECK(env.fs.Exists(kBat));
    QX_FUZZ_CHECK(PercentsDoubled(script));

    // Split at CR LF: every line ends so, and no other CR or LF is in it.
    int lines = 0, dels = 0;
    std::size_t at = 0;
    while (at < script.size()) {
        std::size_t end = script.find("\r\n", at);
        QX_FUZZ_CHECK(end != std::string::npos);
        std::string line = script.substr(at, end - at);
        QX_FUZZ_CHECK(line.find('\r') == std::string::npos && line.find('\n') == std::string::npos);
        bool del = line.rfind("del /f \"", 0) == 0;
        QX_FUZZ_CHECK(del || line.rfind("copy \"", 0) == 0);
        QX_FUZZ_CHECK(line.back() == '"');
        // A delete line stands right before the copy line of the same slot.
        QX_FUZZ_CHECK(!del || f.Settings.DelReadOnly);
        QX_FUZZ_CHECK(del == (f.Settings.DelReadOnly && lines % 2 == 0));
        dels += del;
        ++lines;
        at = end + 2;
    }
    QX_FUZZ_CHECK(lines == assigned * (f.Settings.DelReadOnly ? 2 : 1));
    QX_FUZZ_CHECK(dels == (f.Settings.DelReadOnly ? assigned : 0));
    return 0;
}
