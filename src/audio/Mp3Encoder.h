// PCM to a constant-bitrate MP3 by LAME, in memory: resampled and mixed to the form a
// slot needs, with LAME's Info tag, so players (and ffmpeg) know the exact length.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct lame_global_struct;

namespace audio {

struct Mp3Format {
    int rate = 44100;
    int channels = 2;
    int kbps = 192;  // CBR
};

class Mp3Encoder {
public:
    // The input rates taken: those the loudness meter takes.
    static constexpr int kMinInRate = 8000;
    static constexpr int kMaxInRate = 384000;

    // PCM in at inRate/inChannels (1 or 2; float interleaved, 1.0 full scale); out as
    // `out`. LAME resamples and mixes stereo down to mono where out asks; mono in to
    // stereo out is duplicated. Out must be a rate and bitrate of MPEG audio as they are:
    // LAME would otherwise take the nearest bitrate, a file the slot did not ask for.
    Mp3Encoder(int inRate, int inChannels, const Mp3Format& out);
    ~Mp3Encoder();
    Mp3Encoder(const Mp3Encoder&) = delete;
    Mp3Encoder& operator=(const Mp3Encoder&) = delete;

    // False when LAME refused the settings, or encoding failed; Error() says why.
    bool Ok() const { return error_.empty(); }
    std::string Error() const { return error_; }

    // Frames of interleaved samples; a value past full scale is clipped, one that is no
    // number is silence. False on an encoder error (then and after, nothing is added).
    bool Add(const float* interleaved, std::size_t frames);

    // Flushes, and writes LAME's Info tag frame over the first frame, so the length is
    // exact. The whole file; empty when !Ok() or nothing was added. The encoder takes
    // nothing more after it.
    std::string Finish();

private:
    bool Encode(const float* left, const float* right, int frames);
    bool Fail(std::string why);

    lame_global_struct* lame_ = nullptr;
    int inChannels_ = 0;
    bool added_ = false;  // any frames
    bool finished_ = false;
    std::string error_;
    std::string file_;
    std::vector<float> piece_;  // one piece of input, checked
    std::vector<unsigned char> mp3_;  // what LAME makes of one piece
};

}  // namespace audio
