// The lossless level change of an MP3: every Layer III granule's 8-bit global gain moved
// by a number of steps of 2^(1/4) in amplitude (1.505 dB), without decoding. Moving it
// back by the same number undoes it exactly unless a value was clamped.
#pragma once

#include <cstdint>
#include <string>

namespace audio {

// 20 log10(2^(1/4)): the level change of one step.
constexpr double kGainStepDb = 1.5051499783199060;

struct Mp3GainReport {
    std::uint64_t frames = 0;  // Layer III frames whose gains were moved
    std::uint64_t fields = 0;  // gain fields (granule x channel) among them
    // Fields that could not take the whole change: pushed past 255, or to 0 or below
    // (a field at 0 is left at 0 whichever way the level moves, so neither comes back).
    std::uint64_t clamped = 0;
    std::uint64_t crcFrames = 0;  // frames whose CRC was written anew
    bool infoFrame = false;  // a Xing/Info or VBRI frame was found and left as it is
    bool freeFormat = false;  // free format: the file was left as it is
};

// Moves the gains of the MPEG Layer III stream in `bytes` (a whole file) by `steps`, in
// place: the same length, and nothing changes but the gain fields and the CRCs of
// protected frames. ID3v2 at the start; ID3v1, APEv1/v2, Lyrics3 v1/v2 and ID3v2.4 with
// a footer at the end, stacked in any order; the Xing/Info or VBRI frame, anything
// between frames that is no frame of the stream, other layers and free-format files stay
// as they are.
Mp3GainReport ChangeMp3Gain(std::string& bytes, int steps);

// The step count nearest to a level change in dB.
int GainStepsForDb(double db);
// The most steps a signal with this sample peak (1.0 full scale) can be raised by and
// stay at or under full scale; below 0 for a peak already past it; 255 for silence.
int MaxGainStepsForPeak(double peak);
// The steps for a wanted level change, held back by the peak when it raises the level
// (never below 0 then: a file that already passes full scale is left at its level).
int GainStepsFor(double wantDb, double peak);

}  // namespace audio
