// Win32System::DecodeAudio: PCM WAVE by our own reader; MP3 by the audio compression
// manager's MPEG Layer-3 decoder, which every desktop Windows has (docs/architecture.md,
// "Decoding"). msacm32.dll is loaded from the system folder when first needed, never
// imported: the exe's import list stays as it is, and a Windows without it only loses
// the measuring.
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

template <typename F>
void Take(HMODULE m, const char* name, F& f) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

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

// The MP3's frames from `start` through the ACM stream, read kSourceBytes at a time;
// 16-bit PCM out, handed on as floats.
bool DecodeMp3(const std::string& path, std::uint64_t start, const audio::Finding& f,
               const sys::PcmSink& sink, sys::FileError* why) {
    const Acm& acm = LoadAcm();
    if (!acm.ok) return Fail(why, sys::Fault::Other, "MP3 のデコーダーがありません");
    if (f.channels < 1 || f.channels > 2 || f.sampleRate <= 0)
        return Fail(why, sys::Fault::Other, kCannot);

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

    WAVEFORMATEX out{};
    out.wFormatTag = WAVE_FORMAT_PCM;
    out.nChannels = in.wfx.nChannels;
    out.nSamplesPerSec = in.wfx.nSamplesPerSec;
    out.wBitsPerSample = 16;
    out.nBlockAlign = static_cast<WORD>(2 * out.nChannels);
    out.nAvgBytesPerSec = out.nSamplesPerSec * out.nBlockAlign;

    HACMSTREAM stream = nullptr;
    if (acm.open(&stream, nullptr, &in.wfx, &out, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0)
        return Fail(why, sys::Fault::Other, "MP3 のデコーダーがこのファイルを受け付けません");
    struct Closer {
        const Acm& acm;
        HACMSTREAM s;
        ~Closer() { acm.close(s, 0); }
    } closer{acm, stream};

    const DWORD srcCap = 2 * kSourceBytes;
    DWORD dstCap = 0;
    if (acm.size(stream, srcCap, &dstCap, ACM_STREAMSIZEF_SOURCE) != 0 || dstCap == 0)
        dstCap = srcCap * 24;  // what 8 kbit/s to 44.1 kHz stereo could grow to
    dstCap = std::max<DWORD>(dstCap, 1152 * 4 * 8);
    std::vector<BYTE> src(srcCap), dst(dstCap);
    std::vector<float> pcm;

    ACMSTREAMHEADER h{};
    h.cbStruct = sizeof h;
    h.pbSrc = src.data();
    h.cbSrcLength = srcCap;
    h.pbDst = dst.data();
    h.cbDstLength = dstCap;
    if (acm.prepare(stream, &h, 0) != 0) return Fail(why, sys::Fault::Other, kCannot);
    struct Unpreparer {
        const Acm& acm;
        HACMSTREAM s;
        ACMSTREAMHEADER& h;
        ~Unpreparer() {
            h.cbSrcLength = static_cast<DWORD>(h.dwSrcUser);
            acm.unprepare(s, &h, 0);
        }
    } unpreparer{acm, stream, h};
    h.dwSrcUser = srcCap;  // unpreparing wants the prepared length back

    // (Shared for deletion: see Win32System::ReadPart.)
    KernelHandle file(CreateFileW(W(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return Fail(why, sys::Fault::SourceMissing);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(start);
    if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN))
        return Fail(why, sys::Fault::Other, kCannot);

    DWORD fill = 0;
    bool eof = false, first = true, any = false;
    for (int idle = 0; idle < 4;) {
        if (!eof && fill < srcCap) {
            DWORD got = 0;
            if (!::ReadFile(file.Get(), src.data() + fill, std::min(kSourceBytes, srcCap - fill),
                            &got, nullptr))
                return Fail(why, sys::Fault::Other, kCannot);
            fill += got;
            eof = got == 0;
        }
        h.cbSrcLength = fill;
        h.cbSrcLengthUsed = 0;
        h.cbDstLengthUsed = 0;
        DWORD flags = eof ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN;
        if (first) flags |= ACM_STREAMCONVERTF_START;
        first = false;
        if (acm.convert(stream, &h, flags) != 0) {
            if (any) break;  // a broken tail: what came before counts
            return Fail(why, sys::Fault::Other, kCannot);
        }
        const DWORD used = std::min(h.cbSrcLengthUsed, fill);
        const std::size_t samples = h.cbDstLengthUsed / 2;
        if (samples >= static_cast<std::size_t>(out.nChannels)) {
            pcm.resize(samples);
            for (std::size_t i = 0; i < samples; ++i) {
                std::int16_t v;
                std::memcpy(&v, dst.data() + 2 * i, 2);
                pcm[i] = v / 32768.0f;
            }
            any = true;
            if (!sink(pcm.data(), samples / out.nChannels, out.nChannels,
                      static_cast<int>(out.nSamplesPerSec)))
                return true;
        }
        std::memmove(src.data(), src.data() + used, fill - used);
        fill -= used;
        // Nothing more comes of what is left: at the end, or stuck on bytes no frame.
        if (used == 0 && h.cbDstLengthUsed == 0) {
            if (eof) break;
            if (fill == srcCap) {
                fill = 0;  // a full buffer that yields nothing: no frame in it
                ++idle;
            }
        } else {
            idle = 0;
        }
    }
    return any ? true : Fail(why, sys::Fault::Other, kCannot);
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
    if (f.kind != audio::Kind::Mp3)
        return Fail(why, sys::Fault::Other, "MP3 でも PCM の WAVE でもありません");
    return DecodeMp3(path, audio::Mp3AudioStart(source), f, sink, why);
}

}  // namespace win32
