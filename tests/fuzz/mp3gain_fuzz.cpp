// The MP3 gain change on arbitrary bytes (the first byte gives the steps): the same length
// out, no step changes nothing, and the steps back give the file back unless a field was
// clamped. ASan stops any read or write outside the bytes.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "audio/Mp3Gain.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int steps = static_cast<std::int8_t>(data[0]);
    // The bytes in a buffer of their own size, so that ASan sees any access past them.
    const std::string file(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::string same = file;
    const audio::Mp3GainReport none = audio::ChangeMp3Gain(same, 0);
    QX_FUZZ_CHECK(same == file && none.clamped == 0);

    std::string moved = file;
    const audio::Mp3GainReport r = audio::ChangeMp3Gain(moved, steps);
    QX_FUZZ_CHECK(moved.size() == file.size());
    QX_FUZZ_CHECK(r.frames == none.frames && r.fields == none.fields);
    QX_FUZZ_CHECK(r.clamped <= r.fields && r.crcFrames <= r.frames);
    QX_FUZZ_CHECK(!r.freeFormat || (r.frames == 0 && moved == file));
    if (steps == 0) QX_FUZZ_CHECK(moved == file);

    std::string back = moved;
    const audio::Mp3GainReport undo = audio::ChangeMp3Gain(back, -steps);
    QX_FUZZ_CHECK(back.size() == file.size());
    if (r.clamped == 0) QX_FUZZ_CHECK(back == file && undo.frames == r.frames);
    return 0;
}
