#include "fake/FakeSystem.h"

#include <algorithm>
#include <cstring>
#include <vector>

#ifdef QX_HAVE_MPG123
#include <mpg123.h>
#endif
#ifdef QX_HAVE_LIBAV
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}
#endif

#include "audio/Decode.h"
#include "elevated/Job.h"
#include "platform/paths/Paths.h"
#include "platform/text/Cp932.h"

namespace sys {

FakeSystem::FakeSystem() {
    AddDrive('C', DriveKind::Fixed, "Windows");
    AddFolder("C:\\Game\\QUAVERIX");
    AddFolder(appData);
    AddFolder(localAppData);
}

std::u16string FakeSystem::Key(const std::string& path) const { return Key(text::ToUtf16(path)); }

std::u16string FakeSystem::Key(const std::u16string& path) const {
    std::u16string k = text::UpperAscii(path);
    while (k.size() > 3 && k.back() == u'\\') k.pop_back();
    if (k.size() == 2 && k[1] == u':') k += u'\\';
    if (k.size() <= 3) return k;
    // Walk down from the root, taking a part that names no entry as a short name.
    std::u16string key = k.substr(0, 3);
    std::size_t at = 3;
    while (at <= k.size()) {
        std::size_t end = k.find(u'\\', at);
        if (end == std::u16string::npos) end = k.size();
        std::u16string part = k.substr(at, end - at);
        at = end + 1;
        if (part.empty()) continue;
        std::u16string next = key.size() == 3 ? key + part : key + u'\\' + part;
        if (!nodes_.count(next)) {
            std::string wanted = text::FromUtf16(part);
            for (const auto& [other, node] : nodes_) {
                if (!node.shortName.empty() && Parent(other) == key &&
                    text::EqualsNoCase(node.shortName, wanted)) {
                    next = other;
                    break;
                }
            }
        }
        key = next;
    }
    return key;
}

std::u16string FakeSystem::Parent(const std::u16string& key) { return paths::Parent(key); }

std::u16string FakeSystem::Spelled(const std::u16string& path) const {
    std::u16string key = Key(path);
    auto self = nodes_.find(key);
    if (self != nodes_.end()) return self->second.name;
    std::u16string parent = Parent(key);
    auto p = nodes_.find(parent);
    if (parent.empty() || p == nodes_.end()) return path;
    const std::u16string& base = p->second.name;
    return (!base.empty() && base.back() == u'\\' ? base : base + u'\\') + paths::LastPart(path);
}

void FakeSystem::AddDrive(char letter, DriveKind kind, std::string label, bool ready) {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    Drive d;
    d.info.letter = letter;
    d.info.kind = kind;
    d.info.label = text::ToUtf16(label);
    d.ready = ready;
    d.current = std::string(1, letter) + ":\\";
    drives_[letter] = d;
    Node root;
    root.name = text::ToUtf16(d.current);
    root.attributes = kDirectory;
    nodes_[root.name] = root;
}

void FakeSystem::SetDriveReady(char letter, bool ready) {
    drives_[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))].ready = ready;
}

void FakeSystem::SetDriveCurrent(char letter, std::string folder) {
    drives_[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))].current =
        std::move(folder);
}

void FakeSystem::AddFolder(const std::string& path, std::uint32_t attributes) {
    AddFolder(text::ToUtf16(path), attributes);
}

void FakeSystem::AddFolder(const std::u16string& path, std::uint32_t attributes) {
    std::u16string key = Key(path);
    std::u16string parent = Parent(key);
    if (!parent.empty() && !nodes_.count(parent)) AddFolder(path.substr(0, parent.size()));
    Node n;
    n.name = path.size() > 3 && path.back() == u'\\' ? path.substr(0, path.size() - 1) : path;
    n.attributes = attributes | kDirectory;
    nodes_[key] = n;
}

void FakeSystem::AddFile(const std::string& path, std::string data, std::uint32_t attributes) {
    AddFile(text::ToUtf16(path), std::move(data), attributes);
}

void FakeSystem::AddFile(const std::u16string& path, std::string data, std::uint32_t attributes) {
    std::u16string key = Key(path);
    std::u16string parent = Parent(key);
    if (!parent.empty() && !nodes_.count(parent)) AddFolder(path.substr(0, parent.size()));
    Node n;
    n.name = Spelled(path);
    n.attributes = attributes;
    n.data = std::move(data);
    n.time = ++clock_;
    nodes_[key] = n;
}

void FakeSystem::SetShortName(const std::u16string& path, std::string shortName) {
    auto it = nodes_.find(Key(path));
    if (it != nodes_.end()) it->second.shortName = std::move(shortName);
}

void FakeSystem::SetAttributes(const std::string& path, std::uint32_t attributes) {
    auto it = nodes_.find(Key(path));
    if (it != nodes_.end()) it->second.attributes = attributes;
}

void FakeSystem::Remove(const std::string& path) { nodes_.erase(Key(path)); }

bool FakeSystem::Exists(const std::string& path) const { return nodes_.count(Key(path)) > 0; }

std::map<std::string, std::string> FakeSystem::Files() const {
    std::map<std::string, std::string> out;
    for (const auto& [key, node] : nodes_) {
        if (!(node.attributes & kDirectory)) out[text::FromUtf16(node.name)] = node.data;
    }
    return out;
}

std::string FakeSystem::Data(const std::string& path) const {
    auto it = nodes_.find(Key(path));
    return it == nodes_.end() ? std::string() : it->second.data;
}

bool FakeSystem::DriveReady(const std::string& path) const {
    if (path.size() < 2 || path[1] != ':') return false;
    auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))));
    return it != drives_.end() && it->second.ready;
}

bool FakeSystem::Writable(const std::string& path) const {
    std::u16string key = Key(path);
    for (const std::string& u : unwritable) {
        if (Key(u) == key || Key(u) == Parent(key)) return false;
    }
    if (!DriveReady(path) || NeedsRights(path)) return false;
    std::u16string parent = Parent(key);
    auto p = nodes_.find(parent);
    if (parent.empty() || p == nodes_.end() || !(p->second.attributes & kDirectory)) return false;
    auto it = nodes_.find(key);
    return it == nodes_.end() || !SaveRefuses(it->second.attributes);
}

namespace {

bool Fail(FileError* why, Fault fault, std::string detail = "") {
    if (why) *why = {fault, std::move(detail)};
    return false;
}

}  // namespace

bool FakeSystem::InUse(const std::string& path) const {
    for (const std::string& u : inUse) {
        if (Key(u) == Key(path)) return true;
    }
    return false;
}

bool FakeSystem::Unreadable(const std::string& path) const {
    for (const std::string& u : unreadable) {
        if (Key(u) == Key(path)) return true;
    }
    return false;
}

FileError FakeSystem::WriteFault(const std::string& path) const {
    std::u16string key = Key(path);
    auto it = nodes_.find(key);
    switch (CopyRefusal(it == nodes_.end() ? kNoFile : it->second.attributes)) {
        case Fault::None: break;
        case Fault::TargetProtected: return {Fault::TargetProtected, ""};
        default: return {Fault::Other, "アクセスが拒否されました。"};
    }
    if (InUse(path)) return {Fault::InUse, ""};
    auto p = nodes_.find(Parent(key));
    if (!DriveReady(path) || p == nodes_.end() || !(p->second.attributes & kDirectory)) {
        return {Fault::FolderMissing, ""};
    }
    if (NeedsRights(path)) return {Fault::NeedsRights, ""};
    if (!Writable(path)) return {Fault::Other, "アクセスが拒否されました。"};
    return {};
}

bool FakeSystem::NeedsRights(const std::string& path) const {
    if (elevated_) return false;
    const std::u16string key = Key(path);
    for (const std::string& n : needsRights) {
        const std::u16string k = Key(n);
        if (key == k || (key.size() > k.size() && key.compare(0, k.size(), k) == 0 &&
                         (k.back() == u'\\' || key[k.size()] == u'\\'))) {
            return true;
        }
    }
    return false;
}

bool FakeSystem::ReadFile(const std::string& path, std::string& data, FileError* why) {
    ++wholeReads;
    auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || (it->second.attributes & kDirectory) || !DriveReady(path)) {
        return Fail(why, Fault::SourceMissing);
    }
    if (InUse(path)) return Fail(why, Fault::InUse);
    if (it->second.bigSize > 0) return Fail(why, Fault::Other, "メモリが足りません");
    if (Unreadable(path)) return Fail(why, Fault::Other, "アクセスが拒否されました。");
    data = it->second.data;
    return true;
}

std::optional<std::uint64_t> FakeSystem::SizeOf(const std::string& path) {
    auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || (it->second.attributes & kDirectory) || !DriveReady(path))
        return std::nullopt;
    return it->second.bigSize > 0 ? it->second.bigSize : it->second.data.size();
}

std::optional<FileStamp> FakeSystem::Stamp(const std::string& path) {
    ++stampCalls;
    auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || (it->second.attributes & kDirectory) || !DriveReady(path))
        return std::nullopt;
    const Node& n = it->second;
    return FileStamp{n.bigSize > 0 ? n.bigSize : n.data.size(), n.time};
}

bool FakeSystem::ReadPart(const std::string& path, std::uint64_t offset, std::size_t count,
                          std::string& data, FileError* why) {
    data.clear();
    ++partReads;
    auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || (it->second.attributes & kDirectory) || !DriveReady(path)) {
        return Fail(why, Fault::SourceMissing);
    }
    if (InUse(path)) return Fail(why, Fault::InUse);
    if (Unreadable(path)) return Fail(why, Fault::Other, "アクセスが拒否されました。");
    count = std::min<std::size_t>(count, 1 << 20);  // as the real system gives at most
    const Node& n = it->second;
    if (n.bigSize > 0) {
        if (offset < n.bigSize) {
            static const std::string period = [] {
                std::string p(2 * kBigPeriod, '\0');
                for (std::size_t i = 0; i < p.size(); ++i) p[i] = BigFileByte(i);
                return p;
            }();
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(count, n.bigSize - offset));
            for (std::size_t done = 0; done < want;) {
                const std::size_t from = static_cast<std::size_t>((offset + done) % kBigPeriod);
                const std::size_t take = std::min<std::size_t>(want - done, kBigPeriod);
                data.append(period, from, take);
                done += take;
            }
        }
    } else if (offset < n.data.size()) {
        data = n.data.substr(static_cast<std::size_t>(offset), count);
    }
    partBytes += data.size();
    largestPart = std::max(largestPart, data.size());
    return true;
}

void FakeSystem::AddBigFile(const std::string& path, std::uint64_t size) {
    AddFile(path);
    nodes_[Key(path)].bigSize = size;
}

namespace {

#ifdef QX_HAVE_MPG123
// libmpg123 fed kDecodeChunk bytes at a time from `start`, giving float samples.
bool DecodeMp3(const audio::Source& source, std::uint64_t start, const PcmSink& sink,
               FileError* why) {
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    if (!h) return Fail(why, Fault::Other, "MP3 のデコーダーを使えません");
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(h);
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i)
        mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    mpg123_open_feed(h);
    std::vector<unsigned char> out(1 << 16);
    long rate = 0;
    int channels = 0, encoding = 0;
    bool any = false, ok = true, stopped = false;
    for (std::uint64_t at = start; ok && !stopped;) {
        const bool end = at >= source.size;
        if (!end) {
            const std::string bytes =
                source.read(at, static_cast<std::size_t>(std::min<std::uint64_t>(
                                    audio::kDecodeChunk, source.size - at)));
            if (bytes.empty()) {
                ok = false;
                break;
            }
            mpg123_feed(h, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
            at += bytes.size();
        }
        for (;;) {
            std::size_t done = 0;
            const int rc = mpg123_read(h, out.data(), out.size(), &done);
            if (rc == MPG123_NEW_FORMAT) {
                mpg123_getformat(h, &rate, &channels, &encoding);
                continue;
            }
            if (done > 0 && channels > 0) {
                any = true;
                const std::size_t frames =
                    done / sizeof(float) / static_cast<std::size_t>(channels);
                if (!sink(reinterpret_cast<const float*>(out.data()), frames, channels,
                          static_cast<int>(rate))) {
                    stopped = true;
                    break;
                }
            }
            if (rc == MPG123_NEED_MORE || rc == MPG123_DONE) break;
            if (rc != MPG123_OK) {
                ok = false;
                break;
            }
        }
        if (end) break;
    }
    mpg123_delete(h);
    if (ok && (any || stopped)) return true;
    return Fail(why, Fault::Other, "MP3 をデコードできません");
}
#endif

#ifdef QX_HAVE_LIBAV
// The kinds beside MP3 and PCM WAVE, as the system's codecs do: libavformat reads the file
// through the source (kDecodeChunk bytes a call at most; the fake's files are in memory),
// libavcodec decodes its first audio stream, and the frames go to the sink as interleaved
// floats, kPieceFrames at most at a time.
class AvDecoding {
public:
    explicit AvDecoding(const audio::Source& source) : source_(source) {}
    AvDecoding(const AvDecoding&) = delete;
    AvDecoding& operator=(const AvDecoding&) = delete;
    ~AvDecoding() {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&codec_);
        avformat_close_input(&format_);  // leaves the reader, which is ours
        if (io_) av_freep(&io_->buffer);
        avio_context_free(&io_);
    }

    bool Open(FileError* why) {
        av_log_set_level(AV_LOG_QUIET);
        auto* buffer = static_cast<unsigned char*>(av_malloc(audio::kDecodeChunk));
        io_ = buffer ? avio_alloc_context(buffer, static_cast<int>(audio::kDecodeChunk), 0, this,
                                          &AvDecoding::Read, nullptr, &AvDecoding::Seek)
                     : nullptr;
        if (!io_) av_free(buffer);
        format_ = io_ ? avformat_alloc_context() : nullptr;
        if (!format_) return Fail(why, Fault::Other, kDecodeDamaged);
        format_->pb = io_;
        if (avformat_open_input(&format_, nullptr, nullptr, nullptr) < 0 ||
            avformat_find_stream_info(format_, nullptr) < 0)
            return Fail(why, Fault::Other, kDecodeDamaged);
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            AVStream* s = format_->streams[i];
            if (stream_ < 0 && s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                stream_ = static_cast<int>(i);
            else
                s->discard = AVDISCARD_ALL;
        }
        if (stream_ < 0) return Fail(why, Fault::Other, kDecodeDamaged);
        const AVCodecParameters* p = format_->streams[stream_]->codecpar;
        const AVCodec* decoder = avcodec_find_decoder(p->codec_id);
        if (!decoder) return Fail(why, Fault::Other, kDecodeNoCodec);
        codec_ = avcodec_alloc_context3(decoder);
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        if (!codec_ || !packet_ || !frame_ || avcodec_parameters_to_context(codec_, p) < 0 ||
            avcodec_open2(codec_, decoder, nullptr) < 0)
            return Fail(why, Fault::Other, kDecodeDamaged);
        return true;
    }

    // Every packet of the stream, then what the decoder holds back. A packet the decoder
    // refuses is passed over, as players do; a file that gives nothing fails.
    bool Run(const PcmSink& sink, FileError* why) {
        int rc = 0;
        while ((rc = av_read_frame(format_, packet_)) >= 0) {
            const bool ours = packet_->stream_index == stream_;
            if (ours) avcodec_send_packet(codec_, packet_);
            av_packet_unref(packet_);
            if (ours && !Drain(sink)) return true;
        }
        if (rc != AVERROR_EOF) return Fail(why, Fault::Other, kDecodeDamaged);
        avcodec_send_packet(codec_, nullptr);
        if (!Drain(sink)) return true;
        return any_ ? true : Fail(why, Fault::Other, kDecodeDamaged);
    }

private:
    static constexpr std::size_t kPieceFrames = 16384;

    static int Read(void* self, std::uint8_t* to, int size) {
        auto* d = static_cast<AvDecoding*>(self);
        if (d->at_ >= d->source_.size) return AVERROR_EOF;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(
            {static_cast<std::uint64_t>(size), audio::kDecodeChunk, d->source_.size - d->at_}));
        const std::string bytes = d->source_.read(d->at_, want);
        if (bytes.empty()) return AVERROR(EIO);
        const std::size_t n = std::min(bytes.size(), want);
        std::copy_n(bytes.data(), n, reinterpret_cast<char*>(to));
        d->at_ += n;
        return static_cast<int>(n);
    }

    static std::int64_t Seek(void* self, std::int64_t offset, int whence) {
        auto* d = static_cast<AvDecoding*>(self);
        const auto size = static_cast<std::int64_t>(d->source_.size);
        if (whence & AVSEEK_SIZE) return size;
        whence &= ~AVSEEK_FORCE;
        const std::int64_t base = whence == SEEK_SET   ? 0
                                  : whence == SEEK_CUR ? static_cast<std::int64_t>(d->at_)
                                  : whence == SEEK_END ? size
                                                       : -1;
        if (base < 0 || offset < -base || offset > INT64_MAX - base) return AVERROR(EINVAL);
        d->at_ = static_cast<std::uint64_t>(base + offset);  // past the end reads nothing
        return base + offset;
    }

    // The decoder's frames to the sink; false when the sink stops.
    bool Drain(const PcmSink& sink) {
        while (avcodec_receive_frame(codec_, frame_) == 0) {
            const bool go = HandOn(sink);
            av_frame_unref(frame_);
            if (!go) return false;
        }
        return true;
    }

    bool HandOn(const PcmSink& sink) {
        const auto format = static_cast<AVSampleFormat>(frame_->format);
        const int channels = frame_->ch_layout.nb_channels;
        const int bytes = av_get_bytes_per_sample(format);
        if (channels < 1 || frame_->sample_rate <= 0 || bytes == 0) return true;
        const bool planar = av_sample_fmt_is_planar(format);
        const AVSampleFormat packed = av_get_packed_sample_fmt(format);
        const auto frames = static_cast<std::size_t>(std::max(frame_->nb_samples, 0));
        for (std::size_t done = 0; done < frames;) {
            const std::size_t n = std::min(kPieceFrames, frames - done);
            pcm_.resize(n * static_cast<std::size_t>(channels));
            for (std::size_t i = 0; i < n; ++i)
                for (int c = 0; c < channels; ++c) {
                    const std::size_t at = done + i;
                    const std::uint8_t* p =
                        planar ? frame_->extended_data[c] + at * bytes
                               : frame_->extended_data[0] + (at * channels + c) * bytes;
                    pcm_[i * channels + c] = Sample(p, packed);
                }
            any_ = true;
            if (!sink(pcm_.data(), n, channels, frame_->sample_rate)) return false;
            done += n;
        }
        return true;
    }

    static float Sample(const std::uint8_t* p, AVSampleFormat format) {
        switch (format) {
            case AV_SAMPLE_FMT_U8: return (*p - 128) / 128.0f;
            case AV_SAMPLE_FMT_S16: return Raw<std::int16_t>(p) / 32768.0f;
            case AV_SAMPLE_FMT_S32: return static_cast<float>(Raw<std::int32_t>(p) / 2147483648.0);
            case AV_SAMPLE_FMT_S64:
                return static_cast<float>(Raw<std::int64_t>(p) / 9.2233720368547758e18);
            case AV_SAMPLE_FMT_FLT: return Raw<float>(p);
            case AV_SAMPLE_FMT_DBL: return static_cast<float>(Raw<double>(p));
            default: return 0;
        }
    }

    template <typename T>
    static T Raw(const std::uint8_t* p) {
        T v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }

    const audio::Source& source_;
    std::uint64_t at_ = 0;
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int stream_ = -1;
    bool any_ = false;
    std::vector<float> pcm_;
};
#endif

}  // namespace

bool FakeSystem::DecodeAudio(const std::string& path, const PcmSink& sink, FileError* why) {
    ++decodeCalls;
    const std::optional<std::uint64_t> size = SizeOf(path);
    if (!size) return Fail(why, Fault::SourceMissing);
    FileError readWhy;
    bool readFailed = false;
    audio::Source source{*size, [&](std::uint64_t offset, std::size_t count) {
                             std::string data;
                             if (!ReadPart(path, offset, count, data, &readWhy)) readFailed = true;
                             return data;
                         }};
    if (const std::optional<audio::WavePcm> wave = audio::FindWavePcm(source)) {
        const audio::DecodeEnd end = audio::DecodeWavePcm(source, *wave, sink);
        if (end != audio::DecodeEnd::ReadFailed) return true;
        return Fail(why, readFailed ? readWhy.fault : Fault::Other, readWhy.detail);
    }
    if (readFailed) return Fail(why, readWhy.fault, readWhy.detail);
    const audio::Kind kind = audio::Inspect(source).kind;
    if (readFailed) return Fail(why, readWhy.fault, readWhy.detail);
    if (audio::IsOtherAudio(kind)) {
#ifdef QX_HAVE_LIBAV
        AvDecoding d(source);
        const bool ok = d.Open(why) && d.Run(sink, why);
        if (!ok && readFailed) return Fail(why, readWhy.fault, readWhy.detail);
        return ok;
#else
        return Fail(why, Fault::Other, kDecodeNoCodec);
#endif
    }
    if (kind != audio::Kind::Mp3) return Fail(why, Fault::Other, kDecodeNotAudio);
#ifdef QX_HAVE_MPG123
    const bool ok = DecodeMp3(source, audio::Mp3AudioStart(source), sink, why);
    if (!ok && readFailed) return Fail(why, readWhy.fault, readWhy.detail);
    return ok;
#else
    return Fail(why, Fault::Other, "MP3 のデコーダーがありません");
#endif
}

bool FakeSystem::SaveFileAtomic(const std::string& path, const std::string& data, FileError* why) {
    log.push_back("replace: " + path);
    if (!Writable(path)) {
        FileError e = WriteFault(path);
        return Fail(why, e.fault == Fault::None ? Fault::Other : e.fault, e.detail);
    }
    // The side file cannot be moved over a file another program holds open.
    if (InUse(path)) return Fail(why, Fault::Other, "アクセスが拒否されました。");
    if (diskSpace >= 0 && static_cast<long long>(data.size()) > diskSpace) {
        return Fail(why, Fault::Other, "ディスクに十分な空き領域がありません。");
    }
    auto it = nodes_.find(Key(path));
    if (it != nodes_.end()) {
        it->second.data = data;
        it->second.time = ++clock_;
    } else {
        AddFile(path, data);
    }
    return true;
}

class FakeLock : public Lock {
public:
    FakeLock(FakeSystem& system, std::u16string key) : system_(system), key_(std::move(key)) {
        system_.locked_.push_back(key_);
        ++system_.locksHeld;
    }
    ~FakeLock() override {
        std::erase(system_.locked_, key_);
        --system_.locksHeld;
    }

private:
    FakeSystem& system_;
    std::u16string key_;
};

std::unique_ptr<Lock> FakeSystem::LockFile(const std::string& path, unsigned, FileError* why) {
    log.push_back("lock: " + path);
    const std::u16string key = Key(path);
    if (InUse(path) || std::find(locked_.begin(), locked_.end(), key) != locked_.end()) {
        Fail(why, Fault::InUse);
        return nullptr;
    }
    const FileError e = WriteFault(path);
    if (e.fault != Fault::None) {
        Fail(why, e.fault, e.detail);
        return nullptr;
    }
    if (nodes_.find(key) == nodes_.end()) AddFile(path, "");
    return std::make_unique<FakeLock>(*this, key);
}

WriteStatus FakeSystem::CreateAndWrite(const std::string& path, const std::string& data) {
    log.push_back("write: " + path);
    auto it = nodes_.find(Key(path));
    if (!Writable(path) || InUse(path) ||
        CreateRefuses(it == nodes_.end() ? kNoFile : it->second.attributes)) {
        return WriteStatus::CannotCreate;
    }
    if (it == nodes_.end()) {
        AddFile(path);
        it = nodes_.find(Key(path));
    }
    if (diskSpace >= 0 && static_cast<long long>(data.size()) > diskSpace) {
        it->second.data = data.substr(0, static_cast<std::size_t>(diskSpace));
        return WriteStatus::WriteFailed;
    }
    it->second.data = data;
    it->second.time = ++clock_;
    return WriteStatus::Ok;
}

bool FakeSystem::CopyFileTo(const std::string& from, const std::string& to, bool failIfExists,
                            FileError* why) {
    log.push_back("copy: " + from + " -> " + to);
    auto src = nodes_.find(Key(from));
    if (src == nodes_.end() || (src->second.attributes & kDirectory) || !DriveReady(from)) {
        return Fail(why, Fault::SourceMissing);
    }
    if (InUse(from)) return Fail(why, Fault::InUse);
    auto dst = nodes_.find(Key(to));
    if (dst != nodes_.end() && failIfExists) {
        return Fail(why, Fault::Other, "ファイルが既に存在します。");
    }
    FileError e = WriteFault(to);
    if (e.fault != Fault::None) return Fail(why, e.fault, e.detail);
    const long long size = static_cast<long long>(src->second.data.size());
    if (diskSpace >= 0 && size > diskSpace) {
        return Fail(why, Fault::Other, "ディスクに十分な空き領域がありません。");
    }
    Node copy = src->second;
    copy.attributes &= ~(kReadOnly | kHidden | kSystem);  // as the real copy clears them
    copy.name = Spelled(text::ToUtf16(to));
    copy.shortName.clear();
    nodes_[Key(to)] = copy;
    return true;
}

bool FakeSystem::RemoveFile(const std::string& path, FileError* why) {
    log.push_back("delete: " + path);
    auto it = nodes_.find(Key(path));
    if (it == nodes_.end()) return Fail(why, Fault::SourceMissing);
    FileError e = WriteFault(path);
    if (e.fault != Fault::None) return Fail(why, e.fault, e.detail);
    nodes_.erase(it);
    return true;
}

bool FakeSystem::CreateFolder(const std::string& path) {
    auto it = nodes_.find(Key(path));
    if (it != nodes_.end()) return (it->second.attributes & kDirectory) != 0;
    auto p = nodes_.find(Parent(Key(path)));
    if (p == nodes_.end() || !(p->second.attributes & kDirectory) || !Writable(path)) return false;
    AddFolder(path);
    return true;
}

bool FakeSystem::CanCreateIn(const std::string& folder) {
    auto it = nodes_.find(Key(folder));
    return it != nodes_.end() && (it->second.attributes & kDirectory) &&
           Writable(paths::Join(folder, "probe.tmp"));
}

std::string FakeSystem::ProfileFolder(UserFolder which) {
    switch (which) {
        case UserFolder::RoamingAppData: return appData;
        case UserFolder::LocalAppData: return localAppData;
        case UserFolder::Windows: return windowsFolder;
    }
    return std::string();
}

namespace {

// The channel as the elevated run sees it: what the asking side sends, taken from it a
// piece at a time as it is read; what the run writes is the answer.
class PullChannel : public Channel {
public:
    PullChannel(Conversation& talk, std::string& answer,
                const std::function<void(std::size_t)>& during, std::string first)
        : talk_(talk), answer_(answer), during_(during), piece_(std::move(first)) {}
    std::size_t Read(char* data, std::size_t count) override {
        while (at_ == piece_.size()) {
            if (!talk_.Next(piece_)) return 0;
            at_ = 0;
            if (during_) during_(++pieces_);
        }
        const std::size_t n = std::min(count, piece_.size() - at_);
        std::copy_n(piece_.data() + at_, n, data);
        at_ += n;
        return n;
    }
    bool Write(std::string_view data) override {
        answer_ += data;
        return true;
    }

private:
    Conversation& talk_;
    std::string& answer_;
    const std::function<void(std::size_t)>& during_;
    std::string piece_;
    std::size_t at_ = 0;
    std::size_t pieces_ = 1;
};

}  // namespace

Elevation FakeSystem::RunElevated(Conversation& talk, std::string& answer) {
    const std::string argument = talk.Argument("fake-channel");
    log.push_back("elevated: " + argument);
    elevatedArguments.push_back(argument);
    // The job's text is the first piece's payload, after its 9-byte frame header.
    std::string first;
    talk.Next(first);
    elevatedJobs.push_back(first.size() >= 9 ? first.substr(9) : std::string());
    Elevation result = Elevation::Done;
    if (!elevationAnswers.empty()) {
        result = elevationAnswers.front();
        elevationAnswers.pop_front();
    }
    answer.clear();
    if (result != Elevation::Done) return result;
    PullChannel channel(talk, answer, duringElevatedRun, std::move(first));
    elevated_ = true;
    elevated::Serve(*this, channel);
    elevated_ = false;
    return answer.empty() ? Elevation::Failed : Elevation::Done;
}

// The side file: made when the replacement begins, filled piece by piece, moved over the
// target by Commit, and gone if it is dropped first.
class FakeReplacement : public Replacement {
public:
    FakeReplacement(FakeSystem& fs, std::string target)
        : fs_(fs), target_(std::move(target)), side_(target_ + ".quaverix~") {
        fs_.AddFile(side_, "", kArchive);
    }
    ~FakeReplacement() override {
        if (!done_) fs_.Remove(side_);
    }
    bool Write(std::string_view data, FileError* why) override {
        fs_.largestWrite = std::max(fs_.largestWrite, data.size());
        auto it = fs_.nodes_.find(fs_.Key(side_));
        if (it == fs_.nodes_.end()) return Fail(why, Fault::Other, "アクセスが拒否されました。");
        if (fs_.diskSpace >= 0 &&
            static_cast<long long>(it->second.data.size() + data.size()) > fs_.diskSpace) {
            return Fail(why, Fault::Other, "ディスクに十分な空き領域がありません。");
        }
        it->second.data.append(data);
        return true;
    }
    bool Commit(FileError* why) override {
        fs_.log.push_back("move: " + side_ + " -> " + target_);
        FileError e = fs_.WriteFault(target_);
        auto side = fs_.nodes_.find(fs_.Key(side_));
        if (side == fs_.nodes_.end()) return Fail(why, Fault::Other, "アクセスが拒否されました。");
        if (e.fault != Fault::None) return Fail(why, e.fault, e.detail);
        FakeSystem::Node moved = side->second;
        fs_.nodes_.erase(side);
        moved.name = fs_.Spelled(text::ToUtf16(target_));
        moved.attributes = kArchive;
        moved.time = ++fs_.clock_;
        fs_.nodes_[fs_.Key(target_)] = moved;
        done_ = true;
        return true;
    }

private:
    FakeSystem& fs_;
    std::string target_, side_;
    bool done_ = false;
};

std::unique_ptr<Replacement> FakeSystem::BeginReplace(const std::string& path, FileError* why) {
    log.push_back("stream: " + path);
    FileError e = WriteFault(path);
    if (e.fault != Fault::None) {
        Fail(why, e.fault, e.detail);
        return nullptr;
    }
    return std::make_unique<FakeReplacement>(*this, path);
}

std::uint32_t FakeSystem::Attributes(const std::string& path) {
    auto it = nodes_.find(Key(path));
    return it == nodes_.end() ? kNoFile : it->second.attributes;
}

FolderListing FakeSystem::ListFolder(const std::string& folder) {
    ++listCalls;
    FolderListing out;
    std::u16string key = Key(folder);
    auto self = nodes_.find(key);
    if (!DriveReady(folder)) {
        out.error = "device not ready";
        return out;
    }
    if (self == nodes_.end() || !(self->second.attributes & kDirectory)) {
        out.error = "folder not found";
        return out;
    }
    out.ok = true;
    for (const auto& [k, node] : nodes_) {
        if (k != key && Parent(k) == key)
            out.entries.push_back({paths::LastPart(node.name), node.attributes});
    }
    std::sort(out.entries.begin(), out.entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) {
                  return text::UpperAscii(a.name) < text::UpperAscii(b.name);
              });
    return out;
}

std::string FakeSystem::ShortName(const std::string& folder, const std::u16string& name) {
    std::u16string key = Key(folder);
    auto it = nodes_.find(key.size() == 3 ? key + text::UpperAscii(name)
                                          : key + u'\\' + text::UpperAscii(name));
    return it == nodes_.end() ? std::string() : it->second.shortName;
}

std::u16string FakeSystem::LongPath(const std::string& path) {
    auto it = nodes_.find(Key(path));
    return it == nodes_.end() ? text::ToUtf16(path) : it->second.name;
}

std::vector<DriveInfo> FakeSystem::Drives() {
    std::vector<DriveInfo> out;
    for (const auto& [letter, d] : drives_) {
        DriveInfo info = d.info;
        if (!d.ready) info.label.clear();
        out.push_back(info);
    }
    return out;
}

DriveFolder FakeSystem::ResolveDrive(char letter) {
    DriveFolder out;
    auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    if (it == drives_.end() || !it->second.ready) {
        out.error = "not ready";
        return out;
    }
    out.ok = true;
    out.folder = it->second.current;
    return out;
}

void FakeSystem::ShellOpen(const std::string& file, const std::optional<std::string>& parameters,
                           int showCommand) {
    log.push_back("shell: " + file);
    shellCalls.push_back({file, parameters, showCommand});
}

BoxResult FakeSystem::ShowBox(BoxKind kind, const std::string& caption, const std::string& text) {
    log.push_back("box: " + text);
    boxes.push_back({kind, caption, text});
    if (boxAnswers.empty()) return BoxResult::Ok;
    BoxResult r = boxAnswers.front();
    boxAnswers.pop_front();
    return r;
}

bool FakeSystem::OpenFileDialog(const OpenFileRequest& request, std::string& path) {
    openRequests.push_back(request);
    if (openAnswers.empty() || !openAnswers.front()) {
        if (!openAnswers.empty()) openAnswers.pop_front();
        return false;
    }
    path = *openAnswers.front();
    openAnswers.pop_front();
    return true;
}

bool FakeSystem::SaveFileDialog(const SaveFileRequest& request, std::string& path) {
    saveRequests.push_back(request);
    if (saveAnswers.empty() || !saveAnswers.front()) {
        if (!saveAnswers.empty()) saveAnswers.pop_front();
        return false;
    }
    path = *saveAnswers.front();
    saveAnswers.pop_front();
    return true;
}

std::string FakeSystem::LocalTimeText(std::uint64_t time) {
    return "time " + std::to_string(time);  // the fake's clock counts, it tells no dates
}

}  // namespace sys
