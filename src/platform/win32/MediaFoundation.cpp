// Audio beside MP3 and PCM WAVE (M4A, FLAC, Ogg, Opus, WMA, AIFF...) through Media
// Foundation's source reader, to float or PCM and handed on as floats (docs/architecture.md,
// "Decoding other kinds"). mfplat.dll and mfreadwrite.dll are loaded from the system folder when first
// needed, never imported: the N and KN editions of Windows have them only with the Media
// Feature Pack, and the exe must start there too. A decoding runs on a thread of the
// caller's: COM and Media Foundation are started for it and shut down after it, every
// object let go first (a 64-bit process crashed at its exit otherwise).
#include <windows.h>
// clang-format off
#include <mfapi.h>
#include <mfidl.h>
#include <mferror.h>
#include <mfreadwrite.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "audio/Decode.h"
#include "platform/win32/MediaFoundation.h"
#include "platform/win32/Scoped.h"
#include "platform/win32/Wide.h"

namespace win32 {
namespace {

// mfplat.dll has it since Windows 7; MinGW's headers do not declare it.
using CreateByteStreamOnStream = HRESULT(WINAPI*)(IStream*, IMFByteStream**);

struct Mf {
    bool ok = false;
    decltype(&CoInitializeEx) coInitialize = nullptr;
    decltype(&CoUninitialize) coUninitialize = nullptr;
    decltype(&MFStartup) startup = nullptr;
    decltype(&MFShutdown) shutdown = nullptr;
    decltype(&MFCreateMediaType) createMediaType = nullptr;
    decltype(&MFCreateSourceResolver) createResolver = nullptr;
    CreateByteStreamOnStream onStream = nullptr;
    decltype(&MFCreateSourceReaderFromMediaSource) createReader = nullptr;
};

HMODULE FromSystemFolder(const wchar_t* name) {
    const HMODULE m = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (m || GetLastError() != ERROR_INVALID_PARAMETER) return m;
    // A Windows 7 without KB2533623 knows no such flag: its full path in the system folder.
    wchar_t folder[MAX_PATH];
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    return LoadLibraryW((std::wstring(folder, n) + L"\\" + name).c_str());
}

// Loaded once and kept for the process's life.
const Mf& LoadMf() {
    static const Mf mf = [] {
        Mf f;
        const HMODULE ole = FromSystemFolder(L"ole32.dll");
        const HMODULE plat = FromSystemFolder(L"mfplat.dll");
        const HMODULE rw = FromSystemFolder(L"mfreadwrite.dll");
        if (!ole || !plat || !rw) return f;
        Take(ole, "CoInitializeEx", f.coInitialize);
        Take(ole, "CoUninitialize", f.coUninitialize);
        Take(plat, "MFStartup", f.startup);
        Take(plat, "MFShutdown", f.shutdown);
        Take(plat, "MFCreateMediaType", f.createMediaType);
        Take(plat, "MFCreateSourceResolver", f.createResolver);
        Take(plat, "MFCreateMFByteStreamOnStream", f.onStream);
        Take(rw, "MFCreateSourceReaderFromMediaSource", f.createReader);
        f.ok = f.coInitialize && f.coUninitialize && f.startup && f.shutdown && f.createMediaType &&
               f.createResolver && f.onStream && f.createReader;
        return f;
    }();
    return mf;
}

bool Fail(sys::FileError* why, sys::Fault fault, const char* detail = "") {
    if (why) *why = {fault, detail};
    return false;
}

// One reference to a COM object, let go when the owner goes.
template <class T>
class Com {
public:
    Com() = default;
    ~Com() { Reset(); }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** Put() {
        Reset();
        return &p_;
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void Reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

// COM (multithreaded) and Media Foundation for one decoding on the calling thread.
class Session {
public:
    explicit Session(const Mf& mf) : mf_(mf) {
        const HRESULT co = mf_.coInitialize(nullptr, COINIT_MULTITHREADED);
        // A thread already in a single-threaded apartment keeps it; Media Foundation works
        // there too, and the apartment is not ours to leave.
        com_ = SUCCEEDED(co);
        if (FAILED(co) && co != RPC_E_CHANGED_MODE) return;
        started_ = SUCCEEDED(mf_.startup(MF_VERSION, MFSTARTUP_NOSOCKET));
    }
    ~Session() {
        if (started_) mf_.shutdown();
        if (com_) mf_.coUninitialize();
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    bool Started() const { return started_; }

private:
    const Mf& mf_;
    bool com_ = false, started_ = false;
};

// The file as a stream over a handle of our own, shared for writing and deletion as
// ReadPart opens files, so that a decoding never turns a copy's move into "in use". Media
// Foundation calls it from its work threads: one call at a time.
class FileStream final : public IStream {
public:
    explicit FileStream(HANDLE file) : file_(file) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(id, __uuidof(IUnknown)) || IsEqualIID(id, __uuidof(ISequentialStream)) ||
            IsEqualIID(id, __uuidof(IStream))) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Read(void* data, ULONG count, ULONG* done) override {
        const std::lock_guard<std::mutex> hold(lock_);
        DWORD got = 0;
        const BOOL ok = ::ReadFile(file_.Get(), data, count, &got, nullptr);
        if (done) *done = got;
        if (!ok) return STG_E_READFAULT;
        return got < count ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* at) override {
        // STREAM_SEEK_SET, _CUR and _END are FILE_BEGIN, _CURRENT and _END.
        if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
        const std::lock_guard<std::mutex> hold(lock_);
        LARGE_INTEGER now{};
        if (!SetFilePointerEx(file_.Get(), move, &now, origin)) return STG_E_SEEKERROR;
        if (at) at->QuadPart = static_cast<ULONGLONG>(now.QuadPart);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        *stat = {};
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file_.Get(), &size)) return STG_E_ACCESSDENIED;
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
        stat->grfMode = STGM_READ | STGM_SHARE_DENY_NONE;
        return S_OK;
    }
    // Read-only: nothing is ever written, copied, locked or cloned.
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override {
        return STG_E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    ~FileStream() = default;
    KernelHandle file_;
    std::atomic<ULONG> refs_{1};
    std::mutex lock_;
};

// The name the source resolver is given: its extension picks the byte-stream handler to
// try first, by what the content check found (never by the file's own name); the others
// are tried after it.
const wchar_t* HintName(audio::Kind kind) {
    switch (kind) {
        case audio::Kind::M4a: return L"audio.m4a";
        case audio::Kind::Aac: return L"audio.aac";
        case audio::Kind::OggVorbis:
        case audio::Kind::OggOther: return L"audio.ogg";
        case audio::Kind::Opus: return L"audio.opus";
        case audio::Kind::Flac: return L"audio.flac";
        case audio::Kind::Wma: return L"audio.wma";
        case audio::Kind::Aiff: return L"audio.aiff";
        case audio::Kind::MpegLayer1:
        case audio::Kind::MpegLayer2: return L"audio.mp2";
        default: return L"audio.wav";
    }
}

// What the reader hands out, from its current media type.
struct PcmFormat {
    int channels = 0, rate = 0, bits = 0;
    bool isFloat = false;
    bool Usable() const {
        return channels >= 1 && channels <= 32 && rate > 0 &&
               (isFloat ? bits == 32 || bits == 64
                        : bits == 8 || bits == 16 || bits == 24 || bits == 32);
    }
    std::size_t FrameBytes() const { return static_cast<std::size_t>(channels) * (bits / 8); }
};

// Frames handed to the sink at most at a time, whatever the size of the decoder's samples.
constexpr std::size_t kPieceFrames = 16384;
// Reads in a row that give no audio and no end (stream ticks, gaps) before it gives up.
constexpr int kMaxEmptyReads = 1000;

// One file's decoding, in its steps: the stream over the file, the media source the
// resolver makes of it, the source reader on its first audio stream set to float (or PCM),
// then its samples read and handed on. Members go in the reverse order of their making.
class MfDecoding {
public:
    MfDecoding(const Mf& mf, sys::FileError* why) : mf_(mf), why_(why) {}
    MfDecoding(const MfDecoding&) = delete;
    MfDecoding& operator=(const MfDecoding&) = delete;
    ~MfDecoding() {
        reader_.Reset();
        if (source_) source_->Shutdown();
    }

    bool Open(const std::string& path, audio::Kind kind) {
        // (Shared for deletion: see Win32System::ReadPart.)
        const HANDLE file = CreateFileW(W(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE) return Fail(why_, sys::Fault::SourceMissing);
        *file_.Put() = new FileStream(file);
        if (FAILED(mf_.onStream(file_.Get(), bytes_.Put())) ||
            FAILED(mf_.createResolver(resolver_.Put())))
            return Fail(why_, sys::Fault::Other, sys::kDecodeDamaged);
        MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
        Com<IUnknown> made;
        const HRESULT hr = resolver_->CreateObjectFromByteStream(
            bytes_.Get(), HintName(kind),
            MF_RESOLUTION_MEDIASOURCE |
                MF_RESOLUTION_CONTENT_DOES_NOT_HAVE_TO_MATCH_EXTENSION_OR_MIME_TYPE |
                MF_RESOLUTION_READ,
            nullptr, &type, made.Put());
        // No handler took it: this Windows has none for the container (Ogg without the
        // Web Media Extensions).
        if (hr == MF_E_UNSUPPORTED_BYTESTREAM_TYPE)
            return Fail(why_, sys::Fault::Other, sys::kDecodeNoCodec);
        if (FAILED(hr) || !made ||
            FAILED(made->QueryInterface(__uuidof(IMFMediaSource),
                                        reinterpret_cast<void**>(source_.Put()))))
            return Fail(why_, sys::Fault::Other, sys::kDecodeDamaged);
        if (FAILED(mf_.createReader(source_.Get(), nullptr, reader_.Put())))
            return Fail(why_, sys::Fault::Other, sys::kDecodeDamaged);
        return true;
    }

    // The first audio stream alone, decoded to float, else to PCM of the decoder's width.
    bool ChooseOutput() {
        constexpr DWORD kAudio = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
        reader_->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
        if (FAILED(reader_->SetStreamSelection(kAudio, TRUE)))
            return Fail(why_, sys::Fault::Other, sys::kDecodeDamaged);  // no audio in it
        HRESULT hr = E_FAIL;
        for (const GUID* subtype : {&MFAudioFormat_Float, &MFAudioFormat_PCM}) {
            Com<IMFMediaType> want;
            if (FAILED(mf_.createMediaType(want.Put())))
                return Fail(why_, sys::Fault::Other, sys::kDecodeDamaged);
            want->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
            want->SetGUID(MF_MT_SUBTYPE, *subtype);
            hr = reader_->SetCurrentMediaType(kAudio, nullptr, want.Get());
            if (SUCCEEDED(hr)) return ReadFormat();
        }
        // No decoder from the stream's coding to PCM (Vorbis or Opus without the extensions).
        if (hr == MF_E_TOPO_CODEC_NOT_FOUND || hr == MF_E_INVALIDMEDIATYPE)
            return Fail(why_, sys::Fault::Other, sys::kDecodeNoCodec);
        return Fail(why_, sys::Fault::Other, sys::kDecodeDamaged);
    }

    // Until the end of the stream or the sink's stop; a reader stuck giving nothing fails.
    bool Run(const sys::PcmSink& sink) {
        constexpr DWORD kAudio = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
        for (int empty = 0;;) {
            DWORD flags = 0;
            LONGLONG time = 0;
            Com<IMFSample> sample;
            if (FAILED(reader_->ReadSample(kAudio, 0, nullptr, &flags, &time, sample.Put())) ||
                (flags & MF_SOURCE_READERF_ERROR))
                return Fail(why_, sys::Fault::Other, sys::kDecodeDamaged);
            if ((flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) && !ReadFormat()) return false;
            if (sample) {
                bool stopped = false;
                if (!HandOn(sample.Get(), sink, stopped)) return false;
                if (stopped) return true;
            }
            if (flags & MF_SOURCE_READERF_ENDOFSTREAM) break;
            empty = sample ? 0 : empty + 1;
            if (empty == kMaxEmptyReads) return Fail(why_, sys::Fault::Other, sys::kDecodeDamaged);
        }
        return any_ ? true : Fail(why_, sys::Fault::Other, sys::kDecodeDamaged);
    }

private:
    bool ReadFormat() {
        Com<IMFMediaType> now;
        GUID subtype{};
        UINT32 channels = 0, rate = 0, bits = 0;
        if (FAILED(reader_->GetCurrentMediaType(
                static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM), now.Put())) ||
            FAILED(now->GetGUID(MF_MT_SUBTYPE, &subtype)) ||
            FAILED(now->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels)) ||
            FAILED(now->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate)) ||
            FAILED(now->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits)))
            return Fail(why_, sys::Fault::Other, sys::kDecodeDamaged);
        format_.isFloat = IsEqualGUID(subtype, MFAudioFormat_Float);
        format_.channels = static_cast<int>(channels);
        format_.rate = static_cast<int>(rate);
        format_.bits = static_cast<int>(bits);
        if (!format_.Usable() || (!format_.isFloat && !IsEqualGUID(subtype, MFAudioFormat_PCM)))
            return Fail(why_, sys::Fault::Other, sys::kDecodeDamaged);
        return true;
    }

    // A sample's whole frames to the sink as floats, kPieceFrames at most at a time.
    bool HandOn(IMFSample* sample, const sys::PcmSink& sink, bool& stopped) {
        Com<IMFMediaBuffer> buffer;
        BYTE* data = nullptr;
        DWORD length = 0;
        if (FAILED(sample->ConvertToContiguousBuffer(buffer.Put())) ||
            FAILED(buffer->Lock(&data, nullptr, &length)))
            return Fail(why_, sys::Fault::Other, sys::kDecodeDamaged);
        const std::size_t frameBytes = format_.FrameBytes();
        const std::size_t frames = length / frameBytes;
        const std::size_t step = static_cast<std::size_t>(format_.bits / 8);
        for (std::size_t done = 0; done < frames && !stopped;) {
            const std::size_t n = std::min(kPieceFrames, frames - done);
            pcm_.resize(n * static_cast<std::size_t>(format_.channels));
            const BYTE* p = data + done * frameBytes;
            for (std::size_t i = 0; i < pcm_.size(); ++i)
                pcm_[i] = audio::PcmSample(p + i * step, static_cast<int>(step), format_.isFloat);
            any_ = true;
            stopped = !sink(pcm_.data(), n, format_.channels, format_.rate);
            done += n;
        }
        buffer->Unlock();
        return true;
    }

    const Mf& mf_;
    sys::FileError* why_;
    Com<IStream> file_;
    Com<IMFByteStream> bytes_;
    Com<IMFSourceResolver> resolver_;
    Com<IMFMediaSource> source_;
    Com<IMFSourceReader> reader_;
    PcmFormat format_;
    bool any_ = false;
    std::vector<float> pcm_;
};

}  // namespace

bool DecodeByMediaFoundation(const std::string& path, audio::Kind kind, const sys::PcmSink& sink,
                             sys::FileError* why) {
    const Mf& mf = LoadMf();
    if (!mf.ok) return Fail(why, sys::Fault::Other, sys::kDecodeNoSystemDecoder);
    const Session session(mf);
    if (!session.Started()) return Fail(why, sys::Fault::Other, sys::kDecodeNoSystemDecoder);
    MfDecoding d(mf, why);  // let go before the session ends
    return d.Open(path, kind) && d.ChooseOutput() && d.Run(sink);
}

}  // namespace win32
