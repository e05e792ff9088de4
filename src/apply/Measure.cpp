#include "apply/Measure.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "audio/Content.h"
#include "audio/Decode.h"
#include "audio/Loudness.h"
#include "originals/DataLock.h"
#include "platform/text/Cp932.h"

namespace apply {
namespace {

constexpr char kHeader[] = "QUAVERIX loudness 1";

// A read's failure in words: the file itself, not a copy's source.
std::string ReadReason(const sys::FileError& why) {
    return why.fault == sys::Fault::SourceMissing ? "ファイルがありません" : sys::ReasonText(why);
}

Measurement Failed(MeasureStatus status, std::string reason) {
    Measurement m;
    m.status = status;
    m.reason = std::move(reason);
    return m;
}

constexpr char kQuiet[] = "音が小さすぎるか短すぎて測れません";

std::string LineOf(const originals::Fingerprint& c, const Measurement& m) {
    char buffer[128];
    if (m.status == MeasureStatus::Measured)
        std::snprintf(buffer, sizeof buffer, "%" PRIu64 " %016" PRIx64 " %.3f %.6f", c.size, c.hash,
                      m.lufs, m.peak);
    else
        std::snprintf(buffer, sizeof buffer, "%" PRIu64 " %016" PRIx64 " quiet %.6f", c.size,
                      c.hash, m.peak);
    return buffer;
}

// A finite number filling the whole field.
bool Number(const std::string& field, double& out) {
    if (field.empty()) return false;
    char* end = nullptr;
    out = std::strtod(field.c_str(), &end);
    return end == field.c_str() + field.size() && out == out && out > -1e9 && out < 1e9;
}

bool Parse(const std::string& line, std::pair<std::uint64_t, std::uint64_t>& key, Measurement& m) {
    std::vector<std::string> f;
    for (const std::string_view part : text::Split(line, ' ')) f.emplace_back(part);
    if (f.size() != 4 || f[1].size() != 16 || f[0].empty() ||
        f[0].find_first_not_of("0123456789") != std::string::npos ||
        f[1].find_first_not_of("0123456789abcdef") != std::string::npos || f[0].size() > 19)
        return false;
    key = {std::strtoull(f[0].c_str(), nullptr, 10), std::strtoull(f[1].c_str(), nullptr, 16)};
    if (!Number(f[3], m.peak) || m.peak < 0) return false;
    if (f[2] == "quiet") {
        m.status = MeasureStatus::TooQuiet;
        m.reason = kQuiet;
        return true;
    }
    m.status = MeasureStatus::Measured;
    return Number(f[2], m.lufs);
}

}  // namespace

Measurement Measure(sys::System& system, const std::string& path) {
    const std::optional<std::uint64_t> size = system.SizeOf(path);
    if (!size) return Failed(MeasureStatus::Unreadable, "ファイルがありません");
    sys::FileError readWhy;
    bool readFailed = false;
    const audio::Source source{*size, [&](std::uint64_t offset, std::size_t count) {
                                   std::string data;
                                   if (!system.ReadPart(path, offset, count, data, &readWhy))
                                       readFailed = true;
                                   return data;
                               }};
    // What it is, from a few KB, before anything is decoded.
    const audio::Finding finding = audio::Inspect(source);
    if (readFailed || finding.kind == audio::Kind::Unreadable)
        return Failed(MeasureStatus::Unreadable, ReadReason(readWhy));
    if (finding.kind == audio::Kind::Wave && !audio::FindWavePcm(source))
        return Failed(MeasureStatus::NotAudio,
                      "この WAVE の形式 (PCM 以外か、チャンネル数や周波数) は測れません");
    if (finding.kind != audio::Kind::Mp3 && !audio::IsOtherAudio(finding.kind))
        return Failed(MeasureStatus::NotAudio, sys::kDecodeNotAudio);

    audio::LoudnessMeter meter;
    bool refused = false;
    sys::FileError why;
    const bool ok = system.DecodeAudio(
        path,
        [&](const float* pcm, std::size_t frames, int channels, int rate) {
            refused = !meter.Add(pcm, frames, channels, rate);
            return !refused;
        },
        &why);
    if (!ok && why.fault != sys::Fault::Other)
        return Failed(MeasureStatus::Unreadable, ReadReason(why));
    if (!ok) return Failed(MeasureStatus::CannotDecode, sys::ReasonText(why));
    if (refused)
        return Failed(MeasureStatus::CannotDecode, "この形式 (チャンネル数か周波数) は測れません");
    const audio::LoudnessResult r = meter.Finish();
    Measurement m;
    m.peak = r.peak;
    if (!r.lufs) {
        m.status = MeasureStatus::TooQuiet;
        m.reason = kQuiet;
        return m;
    }
    m.status = MeasureStatus::Measured;
    m.lufs = *r.lufs;
    return m;
}

LoudnessCache::LoudnessCache(sys::System& system, std::string path)
    : system_(system), path_(std::move(path)) {
    Read();
}

void LoudnessCache::Read() {
    lines_.clear();
    index_.clear();
    std::string text;
    if (system_.ReadFile(path_, text)) {
        for (const std::string_view part : text::SplitLines(text)) {
            std::string line(part);
            std::pair<std::uint64_t, std::uint64_t> key;
            Measurement m;
            // A later line of the same content wins, as Put would have it.
            if (Parse(line, key, m)) index_[key] = lines_.size();
            lines_.push_back(std::move(line));
        }
    }
    if (lines_.empty()) lines_.push_back(kHeader);
}

std::optional<Measurement> LoudnessCache::Find(const originals::Fingerprint& c) const {
    const auto it = index_.find({c.size, c.hash});
    if (it == index_.end()) return std::nullopt;
    std::pair<std::uint64_t, std::uint64_t> key;
    Measurement m;
    if (!Parse(lines_[it->second], key, m)) return std::nullopt;
    return m;
}

void LoudnessCache::Add(const originals::Fingerprint& c, const std::string& line) {
    const auto key = std::make_pair(c.size, c.hash);
    const auto it = index_.find(key);
    if (it != index_.end()) {
        lines_[it->second] = line;
    } else {
        index_[key] = lines_.size();
        lines_.push_back(line);
    }
}

void LoudnessCache::Put(const originals::Fingerprint& c, const Measurement& m) {
    if (m.status != MeasureStatus::Measured && m.status != MeasureStatus::TooQuiet) return;
    added_.emplace_back(c, LineOf(c, m));
    Add(c, added_.back().second);
}

bool LoudnessCache::Save(sys::FileError* why) {
    const originals::DataLock lock(system_, path_);
    if (!lock.Held(why)) return false;
    Read();
    for (const auto& [content, line] : added_) Add(content, line);
    std::string text;
    for (const std::string& line : lines_) text += line + "\r\n";
    if (!system_.SaveFileAtomic(path_, text, why)) return false;
    added_.clear();
    return true;
}

Measurement MeasureCached(sys::System& system, LoudnessCache& cache, const std::string& path,
                          const std::optional<originals::Fingerprint>& given) {
    originals::Fingerprint content;
    sys::FileError why;
    const std::optional<sys::FileStamp> before = system.Stamp(path);
    if (given) {
        content = *given;
    } else if (!originals::FingerprintFile(system, path, content, &why)) {
        return Failed(MeasureStatus::Unreadable, ReadReason(why));
    }
    if (std::optional<Measurement> known = cache.Find(content)) return *known;
    const Measurement m = Measure(system, path);
    // Changed while it was decoded: the result is of bytes other than those fingerprinted.
    const bool same = before && system.Stamp(path) == before;
    if (same && (m.status == MeasureStatus::Measured || m.status == MeasureStatus::TooQuiet)) {
        cache.Put(content, m);
        cache.Save();  // unsaved, it is only measured again next time
    }
    return m;
}

}  // namespace apply
