#include "audio/Pcm.h"

#include <algorithm>
#include <cmath>

namespace audio {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kTableSteps = 256;  // kernel samples per input sample
constexpr int kZeroCrossings = 16;  // of the sinc, each side, at the cut-off

void Le16(std::string& s, unsigned v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Le32(std::string& s, std::uint32_t v) {
    Le16(s, v & 0xFFFF);
    Le16(s, v >> 16);
}

}  // namespace

void MixChannels(const float* in, std::size_t frames, int channels, int to,
                 std::vector<float>& out) {
    if (channels <= 0 || frames == 0) return;
    out.reserve(out.size() + frames * static_cast<std::size_t>(to));
    const float s = static_cast<float>(std::sqrt(0.5));
    // Weights of each input channel into left and right.
    std::vector<float> left(static_cast<std::size_t>(channels), 0), right = left;
    if (channels == 1) {
        left[0] = right[0] = 1;
    } else {
        left[0] = right[1] = 1;
        if (channels >= 3) left[2] = right[2] = s;  // centre
        for (int c = 4; c < channels; ++c) (c % 2 == 0 ? left : right)[c] = s;  // surrounds
    }
    float sum = 0;
    for (float w : left) sum += w;
    const float scale = 1 / sum;
    for (std::size_t f = 0; f < frames; ++f) {
        const float* x = in + f * static_cast<std::size_t>(channels);
        float l = 0, r = 0;
        for (int c = 0; c < channels; ++c) {
            l += x[c] * left[static_cast<std::size_t>(c)];
            r += x[c] * right[static_cast<std::size_t>(c)];
        }
        l *= scale;
        r *= scale;
        if (to == 1) {
            out.push_back(channels == 1 ? l : (l + r) / 2);
        } else {
            out.push_back(l);
            out.push_back(r);
        }
    }
}

Resampler::Resampler(int from, int to, int channels)
    : from_(std::max(from, 1)), to_(std::max(to, 1)), channels_(std::max(channels, 1)) {
    if (from_ == to_) return;
    // Below the lower Nyquist frequency, with room for the filter's slope.
    cutoff_ = std::min(1.0, static_cast<double>(to_) / from_) * 0.92;
    half_ = static_cast<int>(std::ceil(kZeroCrossings / cutoff_));
    table_.resize(static_cast<std::size_t>(half_) * kTableSteps + 2);
    for (std::size_t i = 0; i < table_.size(); ++i) {
        const double x = static_cast<double>(i) / kTableSteps;
        const double a = kPi * cutoff_ * x;
        const double sinc = x == 0 ? 1 : std::sin(a) / a;
        // Blackman window over [-half_, half_].
        const double w = x >= half_ ? 0
                                    : 0.42 + 0.5 * std::cos(kPi * x / half_) +
                                          0.08 * std::cos(2 * kPi * x / half_);
        table_[i] = static_cast<float>(cutoff_ * sinc * w);
    }
}

float Resampler::Kernel(double x) const {
    x = std::abs(x) * kTableSteps;
    const std::size_t i = static_cast<std::size_t>(x);
    if (i + 1 >= table_.size()) return 0;
    const float f = static_cast<float>(x - static_cast<double>(i));
    return table_[i] + (table_[i + 1] - table_[i]) * f;
}

void Resampler::Add(const float* in, std::size_t frames, std::vector<float>& out) {
    if (from_ == to_) {
        out.insert(out.end(), in, in + frames * static_cast<std::size_t>(channels_));
        in_ += frames;
        return;
    }
    buffer_.insert(buffer_.end(), in, in + frames * static_cast<std::size_t>(channels_));
    in_ += frames;
    Emit(out, false);
}

void Resampler::Finish(std::vector<float>& out) {
    if (from_ != to_) Emit(out, true);
}

void Resampler::Emit(std::vector<float>& out, bool last) {
    const std::size_t ch = static_cast<std::size_t>(channels_);
    // Output frame n lies at input position n * from / to; it needs the input up to half_
    // samples past it (zeros past the end, once the input is all there).
    const std::uint64_t total = last ? (in_ * to_ + from_ - 1) / from_ : UINT64_MAX;
    for (;; ++next_) {
        if (next_ >= total) break;
        const std::uint64_t pos = next_ * from_;
        const std::uint64_t centre = pos / to_;
        const double frac = static_cast<double>(pos % to_) / to_;
        if (!last && centre + half_ + 1 > in_) break;
        const std::int64_t first = static_cast<std::int64_t>(centre) - half_ + 1;
        const std::size_t at = out.size();
        out.resize(at + ch, 0.0f);
        for (std::int64_t k = first; k <= static_cast<std::int64_t>(centre) + half_; ++k) {
            if (k < static_cast<std::int64_t>(start_) || k >= static_cast<std::int64_t>(in_))
                continue;  // before the start, or past the end: silence
            const float w =
                Kernel(static_cast<double>(k - static_cast<std::int64_t>(centre)) - frac);
            const float* x = buffer_.data() + (static_cast<std::uint64_t>(k) - start_) * ch;
            for (std::size_t c = 0; c < ch; ++c) out[at + c] += x[c] * w;
        }
    }
    // What no later output frame needs any more goes.
    const std::uint64_t centre = next_ * from_ / to_;
    const std::uint64_t keep = centre > static_cast<std::uint64_t>(half_) ? centre - half_ : 0;
    if (keep > start_) {
        const std::uint64_t drop = std::min<std::uint64_t>(keep - start_, in_ - start_);
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(drop * ch));
        start_ += drop;
    }
}

WaveWriter::WaveWriter(int rate, int channels) : rate_(rate), channels_(channels) {}

void WaveWriter::Add(const float* interleaved, std::size_t frames) {
    const std::size_t n = frames * static_cast<std::size_t>(channels_);
    data_.reserve(data_.size() + n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        const float v = std::clamp(interleaved[i], -1.0f, 1.0f) * 32767.0f;
        Le16(data_, static_cast<unsigned>(static_cast<int>(std::lround(v))) & 0xFFFF);
    }
}

std::string WaveWriter::Finish() {
    std::string out = "RIFF";
    Le32(out, static_cast<std::uint32_t>(36 + data_.size() + (data_.size() & 1)));
    out += "WAVEfmt ";
    Le32(out, 16);
    Le16(out, 1);  // PCM
    Le16(out, static_cast<unsigned>(channels_));
    Le32(out, static_cast<std::uint32_t>(rate_));
    Le32(out, static_cast<std::uint32_t>(rate_ * channels_ * 2));
    Le16(out, static_cast<unsigned>(channels_ * 2));
    Le16(out, 16);
    out += "data";
    Le32(out, static_cast<std::uint32_t>(data_.size()));
    out += data_;
    if (data_.size() & 1) out += '\0';
    return out;
}

}  // namespace audio
