// Integrated loudness (ITU-R BS.1770-4, EBU R128) and the sample peak of PCM given in
// pieces, as a decoder hands it out: a whole track never needs to be in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace audio {

struct LoudnessResult {
    // LUFS; empty when no 400 ms block passed the gates: silence, audio below -70 LUFS,
    // or less than 0.4 s of it.
    std::optional<double> lufs;
    double peak = 0;  // the largest sample magnitude; 1.0 is full scale (float may pass it)
    std::uint64_t frames = 0;  // frames measured
};

// One second-order section, a0 = 1: y = b0 x + b1 x' + b2 x'' - a1 y' - a2 y''.
struct Biquad {
    double b0, b1, b2, a1, a2;
};
struct KWeighting {
    Biquad shelf, highPass;
};
// BS.1770's two K-weighting stages for a sample rate.
KWeighting KWeightingFor(int rate);

class LoudnessMeter {
public:
    // The channels the meter takes: mono, stereo, and the WAVE orders up to 7.1.
    static constexpr int kMaxChannels = 8;
    static constexpr int kMinRate = 8000;
    static constexpr int kMaxRate = 384000;

    // Interleaved frames. False (and nothing measured) for channels or a rate outside
    // the bounds above. A piece in another format than the one before starts the
    // filters anew and drops the block in progress; the blocks measured so far stay.
    bool Add(const float* interleaved, std::size_t frames, int channels, int rate);
    bool Add(const std::int16_t* interleaved, std::size_t frames, int channels, int rate);

    // The result over everything added so far; more may be added after.
    LoudnessResult Finish() const;

private:
    bool Start(int channels, int rate);
    template <typename Sample>
    void Run(const Sample* interleaved, std::size_t frames, double scale);
    void EndHop();

    int channels_ = 0, rate_ = 0;
    KWeighting filter_{};
    double weight_[kMaxChannels] = {};
    // Each channel's two filter stages in direct form II transposed: two states each.
    double state_[kMaxChannels][4] = {};
    std::size_t hopFrames_ = 0;  // 100 ms
    std::size_t inHop_ = 0;  // frames of the hop in progress
    double hopEnergy_ = 0;  // its weighted sum of squares
    double lastHops_[4] = {};  // the last four whole hops, the newest at hopCount_ % 4
    std::uint64_t hopCount_ = 0;  // whole hops since the format was set
    std::vector<double> blocks_;  // each 400 ms block's weighted mean square
    double peak_ = 0;
    std::uint64_t frames_ = 0;
};

// Block loudness from a weighted mean square: -0.691 + 10 log10(z).
double LoudnessOf(double meanSquare);

}  // namespace audio
