// Win32System::DecodeAudio: PCM WAVE by our own reader; MP3 by the audio compression
// manager's MPEG Layer-3 decoder, which every desktop Windows has (docs/architecture.md,
// "Decoding"); other audio by Media Foundation (MediaFoundation.cpp). msacm32.dll is loaded
// from the system folder when first needed, never imported: the exe's import list stays
// as it is, and a Windows without it only loses the measuring.
#include <windows.h>
// clang-format off
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/Decode.h"
#include "platform/win32/MediaFoundation.h"
#include "platform/win32/Scoped.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/Wide.h"

namespace win32 {
namespace {

struct Acm {
    bool ok = false;
    decltype(&acmStreamOpen) open = nullptr;
    decltype(&acmStreamSize) size = nullptr;
    decltype(&acmStreamPrepareHeader) prepare = nullptr;
    decltype(&acmStreamConvert) convert = nullptr;
    decltype(&acmStreamUnprepareHeader) unprepare = nullptr;
    decltype(&acmStreamClose) close = nullptr;
};

// Loaded once, by its full path in the system folder (no other folder's msacm32.dll),
// and kept for the process's life.
const Acm& LoadAcm() {
    static const Acm acm = [] {
        Acm a;
        wchar_t folder[MAX_PATH];
        const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return a;
        const HMODULE m = LoadLibraryW((std::wstring(folder, n) + L"\\msacm32.dll").c_str());
        if (!m) return a;
        Take(m, "acmStreamOpen", a.open);
        Take(m, "acmStreamSize", a.size);
        Take(m, "acmStreamPrepareHeader", a.prepare);
        Take(m, "acmStreamConvert", a.convert);
        Take(m, "acmStreamUnprepareHeader", a.unprepare);
        Take(m, "acmStreamClose", a.close);
        a.ok = a.open && a.size && a.prepare && a.convert && a.unprepare && a.close;
        return a;
    }();
    return acm;
}

bool Fail(sys::FileError* why, sys::Fault fault, std::string detail = "") {
    if (why) *why = {fault, std::move(detail)};
    return false;
}

constexpr char kCannot[] = "MP3 をデコードできません";
constexpr DWORD kSourceBytes = 64 * 1024;

// The MP3 as the ACM describes it, from what the content check found.
MPEGLAYER3WAVEFORMAT Mp3Format(const audio::Finding& f) {
    MPEGLAYER3WAVEFORMAT in{};
    in.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    in.wfx.nChannels = static_cast<WORD>(f.channels);
    in.wfx.nSamplesPerSec = static_cast<DWORD>(f.sampleRate);
    const int kbps = f.bitrateKbps > 0 ? f.bitrateKbps : 128;
    in.wfx.nAvgBytesPerSec = static_cast<DWORD>(kbps) * 125;
    in.wfx.nBlockAlign = 1;
    in.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    in.wID = MPEGLAYER3_ID_MPEG;
    in.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
    // One frame: 1152 samples (MPEG-1) or 576 (MPEG-2 and 2.5, rates under 32 kHz).
    const int perFrame = f.sampleRate >= 32000 ? 144000 : 72000;
    in.nBlockSize = static_cast<WORD>(std::max(1, perFrame * kbps / f.sampleRate));
    in.nFramesPerBlock = 1;
    in.nCodecDelay = 0;
    return in;
}

// 16-bit PCM at the MP3's rate and channels.
WAVEFORMATEX PcmFormat(const WAVEFORMATEX& mp3) {
    WAVEFORMATEX out{};
    out.wFormatTag = WAVE_FORMAT_PCM;
    out.nChannels = mp3.nChannels;
    out.nSamplesPerSec = mp3.nSamplesPerSec;
    out.wBitsPerSample = 16;
    out.nBlockAlign = static_cast<WORD>(2 * out.nChannels);
    out.nAvgBytesPerSec = out.nSamplesPerSec * out.nBlockAlign;
    return out;
}

// One file's decoding through an ACM stream, in its steps: the stream opened, its buffers
// and header prepared, the file opened at the frames, then pieces read, converted and
// handed on. A step that fails says why; what the steps opened is given back in the
// reverse order (the file, the header, the stream).
class Mp3Decoding {
public:
    Mp3Decoding(const Acm& acm, sys::FileError* why) : acm_(acm), why_(why) {}
    Mp3Decoding(const Mp3Decoding&) = delete;
    Mp3Decoding& operator=(const Mp3Decoding&) = delete;
    ~Mp3Decoding() {
        file_.Reset();
        if (prepared_) {
            h_.cbSrcLength = static_cast<DWORD>(h_.dwSrcUser);
            acm_.unprepare(stream_, &h_, 0);
        }
        if (stream_) acm_.close(stream_, 0);
    }

    bool OpenStream(const audio::Finding& f) {
        in_ = Mp3Format(f);
        out_ = PcmFormat(in_.wfx);
        if (acm_.open(&stream_, nullptr, &in_.wfx, &out_, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) != 0) {
            stream_ = nullptr;
            return Fail(why_, sys::Fault::Other, "MP3 のデコーダーがこのファイルを受け付けません");
        }
        return true;
    }

    bool PrepareBuffers() {
        DWORD dstCap = 0;
        if (acm_.size(stream_, kSrcCap, &dstCap, ACM_STREAMSIZEF_SOURCE) != 0 || dstCap == 0)
            dstCap = kSrcCap * 24;  // what 8 kbit/s to 44.1 kHz stereo could grow to
        dstCap = std::max<DWORD>(dstCap, 1152 * 4 * 8);
        src_.resize(kSrcCap);
        dst_.resize(dstCap);
        h_.cbStruct = sizeof h_;
        h_.pbSrc = src_.data();
        h_.cbSrcLength = kSrcCap;
        h_.pbDst = dst_.data();
        h_.cbDstLength = dstCap;
        if (acm_.prepare(stream_, &h_, 0) != 0) return Fail(why_, sys::Fault::Other, kCannot);
        prepared_ = true;
        h_.dwSrcUser = kSrcCap;  // unpreparing wants the prepared length back
        return true;
    }

    bool OpenFile(const std::string& path, std::uint64_t start) {
        // (Shared for deletion: see Win32System::ReadPart.)
        file_.Reset(CreateFileW(W(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file_) return Fail(why_, sys::Fault::SourceMissing);
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(start);
        if (!SetFilePointerEx(file_.Get(), at, nullptr, FILE_BEGIN))
            return Fail(why_, sys::Fault::Other, kCannot);
        return true;
    }

    // Until the end, the sink's stop, or four full buffers in a row that give nothing.
    bool Run(const sys::PcmSink& sink) {
        for (int idle = 0; idle < 4;) {
            if (!ReadMore()) return Fail(why_, sys::Fault::Other, kCannot);
            if (!Convert()) {
                if (any_) break;  // a broken tail: what came before counts
                return Fail(why_, sys::Fault::Other, kCannot);
            }
            if (!HandOn(sink)) return true;
            const DWORD used = KeepUnused();
            // Nothing more comes of what is left: at the end, or stuck on bytes no frame.
            if (used == 0 && h_.cbDstLengthUsed == 0) {
                if (eof_) break;
                if (fill_ == kSrcCap) {
                    fill_ = 0;  // a full buffer that yields nothing: no frame in it
                    ++idle;
                }
            } else {
                idle = 0;
            }
        }
        return any_ ? true : Fail(why_, sys::Fault::Other, kCannot);
    }

private:
    static constexpr DWORD kSrcCap = 2 * kSourceBytes;

    // Tops the source buffer up by one read; false when reading fails.
    bool ReadMore() {
        if (eof_ || fill_ >= kSrcCap) return true;
        DWORD got = 0;
        if (!::ReadFile(file_.Get(), src_.data() + fill_, std::min(kSourceBytes, kSrcCap - fill_),
                        &got, nullptr))
            return false;
        fill_ += got;
        eof_ = got == 0;
        return true;
    }

    // Converts what the source buffer holds: whole blocks, all of it at the end.
    bool Convert() {
        h_.cbSrcLength = fill_;
        h_.cbSrcLengthUsed = 0;
        h_.cbDstLengthUsed = 0;
        DWORD flags = eof_ ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN;
        if (first_) flags |= ACM_STREAMCONVERTF_START;
        first_ = false;
        return acm_.convert(stream_, &h_, flags) == 0;
    }

    // The conversion's samples to the sink as floats; false when the sink stops.
    bool HandOn(const sys::PcmSink& sink) {
        const std::size_t samples = h_.cbDstLengthUsed / 2;
        if (samples < static_cast<std::size_t>(out_.nChannels)) return true;
        pcm_.resize(samples);
        for (std::size_t i = 0; i < samples; ++i) {
            std::int16_t v;
            std::memcpy(&v, dst_.data() + 2 * i, 2);
            pcm_[i] = v / 32768.0f;
        }
        any_ = true;
        return sink(pcm_.data(), samples / out_.nChannels, out_.nChannels,
                    static_cast<int>(out_.nSamplesPerSec));
    }

    // Moves what the conversion did not use to the front, to be fed again; how much it used.
    DWORD KeepUnused() {
        const DWORD used = std::min(h_.cbSrcLengthUsed, fill_);
        std::memmove(src_.data(), src_.data() + used, fill_ - used);
        fill_ -= used;
        return used;
    }

    const Acm& acm_;
    sys::FileError* why_;
    HACMSTREAM stream_ = nullptr;
    MPEGLAYER3WAVEFORMAT in_{};  // both formats last as long as the stream
    WAVEFORMATEX out_{};
    std::vector<BYTE> src_, dst_;
    ACMSTREAMHEADER h_{};
    bool prepared_ = false;
    KernelHandle file_;
    DWORD fill_ = 0;
    bool eof_ = false, first_ = true, any_ = false;
    std::vector<float> pcm_;
};

// The MP3's frames from `start` through the ACM stream, read kSourceBytes at a time;
// 16-bit PCM out, handed on as floats.
bool DecodeMp3(const std::string& path, std::uint64_t start, const audio::Finding& f,
               const sys::PcmSink& sink, sys::FileError* why) {
    const Acm& acm = LoadAcm();
    if (!acm.ok) return Fail(why, sys::Fault::Other, "MP3 のデコーダーがありません");
    if (f.channels < 1 || f.channels > 2 || f.sampleRate <= 0)
        return Fail(why, sys::Fault::Other, kCannot);
    Mp3Decoding d(acm, why);
    return d.OpenStream(f) && d.PrepareBuffers() && d.OpenFile(path, start) && d.Run(sink);
}

}  // namespace

bool Win32System::DecodeAudio(const std::string& path, const sys::PcmSink& sink,
                              sys::FileError* why) {
    const std::optional<std::uint64_t> size = SizeOf(path);
    if (!size) return Fail(why, sys::Fault::SourceMissing);
    sys::FileError readWhy;
    bool readFailed = false;
    const audio::Source source{*size, [&](std::uint64_t offset, std::size_t count) {
                                   std::string data;
                                   if (!ReadPart(path, offset, count, data, &readWhy))
                                       readFailed = true;
                                   return data;
                               }};
    if (const std::optional<audio::WavePcm> wave = audio::FindWavePcm(source)) {
        if (audio::DecodeWavePcm(source, *wave, sink) != audio::DecodeEnd::ReadFailed) return true;
        return Fail(why, readFailed ? readWhy.fault : sys::Fault::Other, readWhy.detail);
    }
    const audio::Finding f = audio::Inspect(source);
    if (readFailed) return Fail(why, readWhy.fault, readWhy.detail);
    if (audio::IsOtherAudio(f.kind)) return DecodeByMediaFoundation(path, f.kind, sink, why);
    if (f.kind != audio::Kind::Mp3) return Fail(why, sys::Fault::Other, sys::kDecodeNotAudio);
    return DecodeMp3(path, audio::Mp3AudioStart(source), f, sink, why);
}

}  // namespace win32
