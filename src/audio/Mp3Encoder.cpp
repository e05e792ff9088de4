#include "audio/Mp3Encoder.h"

#include <lame.h>

#include <algorithm>
#include <cstdarg>
#include <new>
#include <utility>

namespace audio {
namespace {

// Input goes to LAME in pieces of at most this many frames, so its buffers stay small
// whatever a caller hands in at once.
constexpr int kPieceFrames = 4096;
// LAME's "-q 2": near its best at a third of the time of -q 0.
constexpr int kQuality = 2;

// LAME writes its notes to stderr unless told otherwise; a window program has none.
void Quiet(const char*, va_list) {}

std::string FormatText(const Mp3Format& f) {
    const std::string layout = f.channels == 1   ? "モノラル"
                               : f.channels == 2 ? "ステレオ"
                                                 : std::to_string(f.channels) + "ch";
    return std::to_string(f.rate) + "Hz " + layout + " " + std::to_string(f.kbps) + "kbps";
}

float Checked(float v) { return v != v ? 0.0f : std::clamp(v, -1.0f, 1.0f); }

}  // namespace

Mp3Encoder::Mp3Encoder(int inRate, int inChannels, const Mp3Format& out) : inChannels_(inChannels) {
    if (inChannels != 1 && inChannels != 2) {
        Fail("入力のチャンネル数 (" + std::to_string(inChannels) + ") を扱えません");
        return;
    }
    if (inRate < kMinInRate || inRate > kMaxInRate) {
        Fail("入力のサンプリング周波数 (" + std::to_string(inRate) + "Hz) を扱えません");
        return;
    }
    const std::string refused = "MP3 にできない形式です: " + FormatText(out);
    if ((out.channels != 1 && out.channels != 2) || out.kbps <= 0 || out.kbps > 320) {
        Fail(refused);
        return;
    }
    // LAME leaves its Info tag out, and the exact length with it, where a frame is too
    // small for the tag's 156 bytes after the header and side information.
    const bool mpeg1 = out.rate >= 32000;
    const int sideInfo = mpeg1 ? (out.channels == 1 ? 17 : 32) : (out.channels == 1 ? 9 : 17);
    if (out.rate > 0 && (mpeg1 ? 144000 : 72000) * out.kbps / out.rate < 4 + sideInfo + 156) {
        Fail(refused + " (ビットレートが低すぎて長さを書き込めません)");
        return;
    }
    lame_ = lame_init();
    if (!lame_) {
        Fail("LAME を準備できません (メモリが足りません)");
        return;
    }
    lame_set_errorf(lame_, Quiet);
    lame_set_debugf(lame_, Quiet);
    lame_set_msgf(lame_, Quiet);
    lame_set_in_samplerate(lame_, inRate);
    // Mono to stereo: LAME gets the one channel as both (it would make mono of it).
    lame_set_num_channels(lame_, std::max(inChannels, out.channels));
    lame_set_out_samplerate(lame_, out.rate);
    lame_set_mode(lame_, out.channels == 1 ? MONO : JOINT_STEREO);
    lame_set_VBR(lame_, vbr_off);
    lame_set_brate(lame_, out.kbps);
    lame_set_quality(lame_, kQuality);
    lame_set_bWriteVbrTag(lame_, 1);
    lame_set_write_id3tag_automatic(lame_, 0);
    if (lame_init_params(lame_) < 0 || lame_get_brate(lame_) != out.kbps ||
        lame_get_out_samplerate(lame_) != out.rate) {
        Fail(refused);
        return;
    }
    piece_.resize(2 * kPieceFrames);
    // LAME's rule for the output buffer, 1.25 x samples + 7200 bytes, for the samples a
    // piece becomes at the output rate, and a frame of LAME's own more.
    const double outFrames = static_cast<double>(kPieceFrames) * out.rate / inRate + 1152;
    mp3_.resize(static_cast<std::size_t>(1.25 * outFrames) + 7200);
}

Mp3Encoder::~Mp3Encoder() {
    if (lame_) lame_close(lame_);
}

bool Mp3Encoder::Fail(std::string why) {
    if (error_.empty()) error_ = std::move(why);
    return false;
}

bool Mp3Encoder::Encode(const float* left, const float* right, int frames) {
    const int n = lame_encode_buffer_ieee_float(lame_, left, right, frames, mp3_.data(),
                                                static_cast<int>(mp3_.size()));
    if (n < 0)
        return Fail("MP3 のエンコードに失敗しました (LAME のエラー " + std::to_string(n) + ")");
    file_.append(reinterpret_cast<const char*>(mp3_.data()), static_cast<std::size_t>(n));
    return true;
}

bool Mp3Encoder::Add(const float* interleaved, std::size_t frames) {
    if (!Ok()) return false;
    if (finished_) return Fail("MP3 のエンコードはもう終わっています");
    if (frames == 0) return true;
    if (!interleaved) return Fail("エンコードする PCM がありません");
    added_ = true;
    float* left = piece_.data();
    float* right = piece_.data() + kPieceFrames;
    try {
        for (std::size_t at = 0; at < frames; at += kPieceFrames) {
            const int n = static_cast<int>(std::min<std::size_t>(kPieceFrames, frames - at));
            const float* in = interleaved + at * static_cast<std::size_t>(inChannels_);
            for (int i = 0; i < n; ++i) {
                left[i] = Checked(in[i * inChannels_]);
                if (inChannels_ == 2) right[i] = Checked(in[i * 2 + 1]);
            }
            if (!Encode(left, inChannels_ == 2 ? right : left, n)) return false;
        }
    } catch (const std::bad_alloc&) {
        return Fail("MP3 のエンコードにメモリが足りません");
    }
    return true;
}

std::string Mp3Encoder::Finish() {
    if (!Ok()) return {};
    if (finished_) {
        Fail("MP3 のエンコードはもう終わっています");
        return {};
    }
    finished_ = true;
    // LAME would make a file of its tag and one silent frame, which ffmpeg refuses.
    if (!added_) {
        Fail("エンコードする音がありません");
        return {};
    }
    try {
        const int n = lame_encode_flush(lame_, mp3_.data(), static_cast<int>(mp3_.size()));
        if (n < 0) {
            Fail("MP3 のエンコードに失敗しました (LAME のエラー " + std::to_string(n) + ")");
            return {};
        }
        file_.append(reinterpret_cast<const char*>(mp3_.data()), static_cast<std::size_t>(n));
        // The Info frame LAME put first, now with the frame count, delay and padding.
        std::vector<unsigned char> tag(lame_get_lametag_frame(lame_, nullptr, 0));
        if (tag.empty() || tag.size() > file_.size() ||
            lame_get_lametag_frame(lame_, tag.data(), tag.size()) != tag.size()) {
            Fail("MP3 の長さを書き込めません (LAME の Info タグがありません)");
            return {};
        }
        file_.replace(0, tag.size(), reinterpret_cast<const char*>(tag.data()), tag.size());
    } catch (const std::bad_alloc&) {
        Fail("MP3 のエンコードにメモリが足りません");
        return {};
    }
    return std::move(file_);
}

}  // namespace audio
