// What every system's decoding shares: the PCM WAVE reader (our own, over byte ranges,
// a fixed piece at a time), where an MP3's frames start, and which other kinds go to the
// system's decoders. The MP3 decoding itself is the system's (sys::System::DecodeAudio).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "audio/Content.h"

namespace audio {

// Interleaved float frames (1.0 is full scale) as a decoder hands them out; false stops
// the decoding.
using PcmSink =
    std::function<bool(const float* interleaved, std::size_t frames, int channels, int rate)>;

// Bytes each read asks for while decoding: a file is never held whole.
inline constexpr std::size_t kDecodeChunk = 64 * 1024;

// A WAVE whose samples we turn into floats: PCM of 8 (unsigned), 16, 24 or 32 bits,
// IEEE float of 32 or 64 bits, each also as WAVE_FORMAT_EXTENSIBLE.
struct WavePcm {
    bool isFloat = false;
    int channels = 0, rate = 0;
    int bytesPerSample = 0;  // the container: 24-bit audio in 32-bit words has 4
    std::uint64_t dataOffset = 0, dataBytes = 0;  // cut to the file
};
// The file's layout; nothing when it is no WAVE of such samples, or 1 to 8 channels at
// 8 to 384 kHz.
std::optional<WavePcm> FindWavePcm(const Source& source);

// One little-endian sample as a float in -1..1: 1 to 4 bytes of integer PCM (8-bit
// unsigned), or 4 or 8 bytes of float.
float PcmSample(const unsigned char* p, int bytes, bool isFloat);

enum class DecodeEnd { Done, Stopped, ReadFailed };
// The data chunk's whole frames to `sink`, kDecodeChunk bytes a read.
DecodeEnd DecodeWavePcm(const Source& source, const WavePcm& wave, const PcmSink& sink);

// The kinds beside MP3 and PCM WAVE that DecodeAudio hands to the system's other
// decoders: every audio format the content check names (M4A, AAC, Ogg, Opus, FLAC, WMA,
// AIFF, MPEG Layer I/II, a WAVE our reader does not take). Not MIDI (notes, no sound),
// nor what is no audio or unknown.
bool IsOtherAudio(Kind kind);

// Where an MP3's audio starts: after its ID3v2 tags (each skipped by its size).
std::uint64_t Mp3AudioStart(const Source& source);

}  // namespace audio
