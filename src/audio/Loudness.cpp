// BS.1770-4's measure: each channel through the K-weighting (a high shelf for the head's
// effect, then the RLB high-pass), the weighted mean square over 400 ms blocks that start
// every 100 ms, and the mean over the blocks that pass two gates: -70 LUFS, then 10 LU
// below the mean of the blocks that passed the first.
//
// The standard tables the two filters only at 48 kHz. Here they are computed for the rate
// at hand from the analog prototypes fitted to those tables (a shelf at 1681.974 Hz,
// +3.99984 dB, Q 0.70718; a high-pass at 38.135 Hz, Q 0.50033; the full-precision values
// the open meters use) by the bilinear transform with the frequency prewarped; at 48 kHz
// this gives the standard's coefficients to ten or more places (the tests hold it to them).
#include "audio/Loudness.h"

#include <algorithm>
#include <cmath>

namespace audio {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kAbsoluteGate = -70.0;  // LUFS
constexpr double kRelativeGate = -10.0;  // LU below the mean of the blocks over the first
// Filter states below this are flushed to zero at each hop: silence would otherwise decay
// into denormal numbers, which some processors compute a hundred times slower.
constexpr double kTiny = 1e-25;

double MeanSquareOf(double lufs) { return std::pow(10.0, (lufs + 0.691) / 10.0); }

}  // namespace

double LoudnessOf(double meanSquare) { return -0.691 + 10.0 * std::log10(meanSquare); }

KWeighting KWeightingFor(int rate) {
    KWeighting w;
    const double fs = rate;

    // Stage 1, the high shelf. Its gain at high frequencies is vh; vb (the gain at the
    // band's middle) follows the prototype's own, very nearly sqrt(vh).
    {
        const double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
        const double k = std::tan(kPi * f0 / fs);
        const double vh = std::pow(10.0, gainDb / 20.0);
        const double vb = std::pow(vh, 0.4996667741545416);
        const double a0 = 1.0 + k / q + k * k;
        w.shelf = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0,
                   (vh - vb * k / q + k * k) / a0, 2.0 * (k * k - 1.0) / a0,
                   (1.0 - k / q + k * k) / a0};
    }
    // Stage 2, the RLB high-pass: the numerator stays 1, -2, 1 at every rate.
    {
        const double f0 = 38.13547087602444, q = 0.5003270373238773;
        const double k = std::tan(kPi * f0 / fs);
        const double a0 = 1.0 + k / q + k * k;
        w.highPass = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    }
    return w;
}

bool LoudnessMeter::Start(int channels, int rate) {
    if (channels < 1 || channels > kMaxChannels || rate < kMinRate || rate > kMaxRate) return false;
    if (channels == channels_ && rate == rate_) return true;
    channels_ = channels;
    rate_ = rate;
    filter_ = KWeightingFor(rate);

    // Channel weights. Mono is taken as dual mono: the game plays one channel on both
    // speakers, so it counts twice, and a mono file reads 3.01 dB (10 log10 2) louder than
    // the same samples measured as plain mono: as loud as the stereo file with that signal
    // in both channels, which is what the player hears. With more channels the WAVE
    // order: L R C LFE, then the surrounds; LFE counts nothing, side surrounds 1.41.
    static constexpr double kWeights[kMaxChannels + 1][kMaxChannels] = {
        {},
        {2.0},
        {1.0, 1.0},
        {1.0, 1.0, 1.0},
        {1.0, 1.0, 1.41, 1.41},  // L R Ls Rs
        {1.0, 1.0, 1.0, 1.41, 1.41},  // L R C Ls Rs
        {1.0, 1.0, 1.0, 0.0, 1.41, 1.41},  // 5.1
        {1.0, 1.0, 1.0, 0.0, 1.0, 1.41, 1.41},  // 6.1: back centre, sides
        {1.0, 1.0, 1.0, 0.0, 1.0, 1.0, 1.41, 1.41},  // 7.1: backs, sides
    };
    std::copy(std::begin(kWeights[channels]), std::end(kWeights[channels]), weight_);

    for (auto& s : state_) std::fill(std::begin(s), std::end(s), 0.0);
    hopFrames_ = static_cast<std::size_t>((rate + 5) / 10);
    inHop_ = 0;
    hopEnergy_ = 0;
    std::fill(std::begin(lastHops_), std::end(lastHops_), 0.0);
    hopCount_ = 0;
    return true;
}

template <typename Sample>
void LoudnessMeter::Run(const Sample* in, std::size_t frames, double scale) {
    const Biquad s = filter_.shelf, h = filter_.highPass;
    while (frames > 0) {
        const std::size_t n = std::min(frames, hopFrames_ - inHop_);
        double peak = peak_;
        for (int c = 0; c < channels_; ++c) {
            double* st = state_[c];
            double s1 = st[0], s2 = st[1], h1 = st[2], h2 = st[3], sum = 0;
            const Sample* p = in + c;
            for (std::size_t i = 0; i < n; ++i, p += channels_) {
                const double x = static_cast<double>(*p) * scale;
                peak = std::max(peak, std::fabs(x));
                const double y = s.b0 * x + s1;
                s1 = s.b1 * x - s.a1 * y + s2;
                s2 = s.b2 * x - s.a2 * y;
                const double z = h.b0 * y + h1;
                h1 = h.b1 * y - h.a1 * z + h2;
                h2 = h.b2 * y - h.a2 * z;
                sum += z * z;
            }
            st[0] = s1, st[1] = s2, st[2] = h1, st[3] = h2;
            hopEnergy_ += weight_[c] * sum;
        }
        peak_ = peak;
        in += n * static_cast<std::size_t>(channels_);
        frames -= n;
        frames_ += n;
        inHop_ += n;
        if (inHop_ == hopFrames_) EndHop();
    }
}

void LoudnessMeter::EndHop() {
    lastHops_[hopCount_ % 4] = hopEnergy_;
    ++hopCount_;
    hopEnergy_ = 0;
    inHop_ = 0;
    if (hopCount_ >= 4) {
        const double sum = lastHops_[0] + lastHops_[1] + lastHops_[2] + lastHops_[3];
        blocks_.push_back(sum / (4.0 * static_cast<double>(hopFrames_)));
    }
    for (int c = 0; c < channels_; ++c)
        for (double& v : state_[c])
            if (std::fabs(v) < kTiny) v = 0;
}

bool LoudnessMeter::Add(const float* interleaved, std::size_t frames, int channels, int rate) {
    if (!Start(channels, rate)) return false;
    if (interleaved && frames) Run(interleaved, frames, 1.0);
    return true;
}

bool LoudnessMeter::Add(const std::int16_t* interleaved, std::size_t frames, int channels,
                        int rate) {
    if (!Start(channels, rate)) return false;
    if (interleaved && frames) Run(interleaved, frames, 1.0 / 32768.0);
    return true;
}

LoudnessResult LoudnessMeter::Finish() const {
    LoudnessResult r;
    r.peak = peak_;
    r.frames = frames_;
    const double absolute = MeanSquareOf(kAbsoluteGate);
    double sum = 0;
    std::size_t count = 0;
    for (double z : blocks_)
        if (z > absolute) sum += z, ++count;
    if (count == 0) return r;
    const double relative = MeanSquareOf(LoudnessOf(sum / count) + kRelativeGate);
    const double gate = std::max(absolute, relative);
    sum = 0;
    count = 0;
    for (double z : blocks_)
        if (z > gate) sum += z, ++count;
    if (count > 0) r.lufs = LoudnessOf(sum / count);
    return r;
}

}  // namespace audio
