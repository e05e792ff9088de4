// The content check on arbitrary bytes: as a whole file, through a reader that stops the
// run on any read outside the file, and through one that fails part of the way.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "audio/Content.h"

namespace {

bool IsMpegRate(int rate) {
    for (int r : {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000})
        if (rate == r) return true;
    return false;
}

// A reader over the file that checks each read lies within it; after `fails` reads it
// fails (never, for -1).
audio::Source Over(std::string_view file, int fails, int& reads) {
    return {file.size(), [file, fails, &reads](std::uint64_t offset, std::size_t count) {
                QX_FUZZ_CHECK(count > 0 && offset < file.size() && count <= file.size() - offset);
                if (reads++ == fails) return std::string();
                return std::string(file.substr(offset, count));
            }};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    const audio::Finding f = audio::Inspect(file);

    int reads = 0;
    QX_FUZZ_CHECK(audio::Inspect(Over(file, -1, reads)) == f);
    QX_FUZZ_CHECK(audio::Inspect(file) == f);
    QX_FUZZ_CHECK(f.durationMs >= -1);
    QX_FUZZ_CHECK(f.sampleRate >= 0 && f.channels >= 0 && f.bitrateKbps >= 0 && f.bits >= 0);
    const bool mpeg = f.kind == audio::Kind::Mp3 || f.kind == audio::Kind::MpegLayer1 ||
                      f.kind == audio::Kind::MpegLayer2;
    if (mpeg) QX_FUZZ_CHECK(IsMpegRate(f.sampleRate) && (f.channels == 1 || f.channels == 2));
    QX_FUZZ_CHECK(!f.freeFormat || mpeg);
    QX_FUZZ_CHECK((size == 0) == (f.kind == audio::Kind::Empty));
    QX_FUZZ_CHECK(f.kind != audio::Kind::Unreadable);

    // A read that fails makes the whole check Unreadable, whichever read it is.
    if (reads > 0) {
        int failing = 0;
        int at = data[0] % reads;
        QX_FUZZ_CHECK(audio::Inspect(Over(file, at, failing)).kind == audio::Kind::Unreadable);
    }

    for (const char* slot : {"01.mp3", "Msg_NewMsg.wav", "bgm.ogg"}) {
        const audio::Verdict v = audio::Judge(f, slot);
        QX_FUZZ_CHECK(!v.line.empty());
        QX_FUZZ_CHECK(v.fit != audio::Fit::Fits || !f.truncated);
    }
    return 0;
}
