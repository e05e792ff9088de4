// PCM on its way from a decoder to what a slot needs: the channels mixed to the target's
// count, the rate changed, a gain, and the 16-bit PCM WAVE file written. Pure code over
// interleaved float samples (1.0 full scale), taken in pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace audio {

// Appends `frames` frames of `channels` interleaved channels as `to` (1 or 2) channels:
// mono to stereo is duplicated, stereo to mono averaged; more channels (front left,
// right, centre, LFE, then the surround pairs, as WAVE and Media Foundation order them)
// are folded down with the centre and surrounds at -3 dB, the LFE left out, and scaled
// so that the mix is never louder than its loudest input.
void MixChannels(const float* in, std::size_t frames, int channels, int to,
                 std::vector<float>& out);

// A band-limited change of rate (a windowed sinc, its cut-off below the lower of the two
// Nyquist frequencies), in pieces: the output is the same whether the input comes whole
// or a sample at a time. `from` == `to` passes the samples through.
class Resampler {
public:
    Resampler(int from, int to, int channels);
    // Appends the output that the input so far decides.
    void Add(const float* in, std::size_t frames, std::vector<float>& out);
    // Appends the rest: as many frames in all as the input's length at the new rate.
    void Finish(std::vector<float>& out);

private:
    void Emit(std::vector<float>& out, bool last);
    float Kernel(double x) const;

    int from_, to_, channels_;
    double cutoff_ = 1;  // of the input's Nyquist frequency
    int half_ = 0;  // input samples each side of an output sample
    std::vector<float> table_;  // the windowed sinc over [0, half_], kTableSteps a sample
    std::vector<float> buffer_;  // input frames from `start_` on
    std::uint64_t start_ = 0;  // the input frame buffer_ starts with
    std::uint64_t in_ = 0;  // input frames so far
    std::uint64_t next_ = 0;  // the next output frame
};

// A 16-bit PCM WAVE file being made: samples rounded and clipped to full scale.
class WaveWriter {
public:
    WaveWriter(int rate, int channels);
    void Add(const float* interleaved, std::size_t frames);
    // The whole file: RIFF header, "fmt " (PCM), "data".
    std::string Finish();

private:
    int rate_, channels_;
    std::string data_;
};

}  // namespace audio
