#include "apply/Convert.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <vector>

#include "apply/Match.h"
#include "audio/Loudness.h"
#include "audio/Mp3Encoder.h"
#include "audio/Pcm.h"
#include "originals/DataLock.h"
#include "originals/Index.h"
#include "platform/paths/Paths.h"
#include "platform/text/Cp932.h"

namespace apply {
namespace {

bool EndsWith(const std::string& name, const char* end) {
    const std::size_t n = std::char_traits<char>::length(end);
    if (name.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = name[name.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != end[i]) return false;
    }
    return true;
}

// Music that the system's decoders turn into PCM, beside MP3 and WAVE.
bool Convertible(audio::Kind k) {
    switch (k) {
        case audio::Kind::M4a:
        case audio::Kind::Aac:
        case audio::Kind::OggVorbis:
        case audio::Kind::Opus:
        case audio::Kind::Flac:
        case audio::Kind::Wma:
        case audio::Kind::Aiff:
        case audio::Kind::MpegLayer1:
        case audio::Kind::MpegLayer2: return true;
        default: return false;
    }
}

// The limit of a converted file's decoded sample peak: +0.1 dBFS.
const double kPeakLimit = std::pow(10.0, 0.1 / 20);

// The gain that brings the music to the game track's loudness, held back by its peak.
double GainFor(const Level& l) {
    const double wanted = l.gameLufs - l.sourceLufs;
    if (l.sourcePeak <= 0) return wanted;
    return std::min(wanted, 20 * std::log10(kPeakLimit / l.sourcePeak));
}

// "<size>-<hash>-<target>-<rate>-<channels>[-<kbps>]-g<gain>.<ext>": a name for each
// content, format and gain, so the same conversion is found again, never another.
std::string CacheName(const originals::Fingerprint& content, const Format& f, double gainDb) {
    char name[160];
    const bool mp3 = f.target == Target::Mp3;
    std::snprintf(name, sizeof name, "%" PRIu64 "-%016" PRIx64 "-%s-%d-%d-%d-g%+.2f.%s",
                  content.size, content.hash, mp3 ? "mp3" : "wav", f.rate, f.channels,
                  mp3 ? f.kbps : 16, gainDb, mp3 ? "mp3" : "wav");
    return name;
}

audio::Finding InspectPath(sys::System& system, const std::string& path) {
    const std::optional<std::uint64_t> size = system.SizeOf(path);
    if (!size) return audio::Finding{audio::Kind::Unreadable};
    return audio::Inspect(audio::Source{*size, [&](std::uint64_t offset, std::size_t count) {
                                            std::string part;
                                            system.ReadPart(path, offset, count, part);
                                            return part;
                                        }});
}

// Decodes `source` and writes it in `format`, `gainDb` applied to the PCM, into `out`;
// `heard` measures the PCM as it was decoded.
bool Encode(sys::System& system, const std::string& source, const Format& format, double gainDb,
            std::string& out, std::string& reason, audio::LoudnessMeter& heard) {
    const float gain = static_cast<float>(std::pow(10.0, gainDb / 20));
    const int channels = format.channels == 1 ? 1 : 2;
    std::optional<audio::Mp3Encoder> mp3;
    std::optional<audio::Resampler> resampler;
    audio::WaveWriter wave(format.rate, channels);
    std::vector<float> mixed, resampled;
    int inRate = 0, inChannels = 0;
    std::uint64_t frames = 0;
    const auto sink = [&](const float* pcm, std::size_t count, int ch, int rate) {
        if (inRate == 0) {
            inRate = rate;
            inChannels = ch;
            if (format.target == Target::Mp3) {
                mp3.emplace(rate, channels, audio::Mp3Format{format.rate, channels, format.kbps});
                if (!mp3->Ok()) reason = mp3->Error();
            } else {
                resampler.emplace(rate, format.rate, channels);
            }
        } else if (rate != inRate || ch != inChannels) {
            reason = "途中で周波数かチャンネル数が変わるので変換できません";
        }
        if (!reason.empty()) return false;
        frames += count;
        heard.Add(pcm, count, ch, rate);
        // What the output will take, at the target's rate: no more than kMaxConverted.
        const double seconds = static_cast<double>(frames) / rate;
        const double bytes = format.target == Target::Mp3 ? seconds * format.kbps * 125
                                                          : seconds * format.rate * channels * 2;
        if (bytes > static_cast<double>(kMaxConverted)) {
            reason = "長すぎて変換できません";
            return false;
        }
        mixed.clear();
        audio::MixChannels(pcm, count, ch, channels, mixed);
        for (float& v : mixed) v *= gain;
        if (mp3) {
            if (!mp3->Add(mixed.data(), count)) reason = mp3->Error();
        } else {
            resampled.clear();
            resampler->Add(mixed.data(), count, resampled);
            wave.Add(resampled.data(), resampled.size() / static_cast<std::size_t>(channels));
        }
        return reason.empty();
    };
    sys::FileError why;
    const bool decoded = system.DecodeAudio(source, sink, &why);
    if (!reason.empty()) return false;
    if (!decoded) {
        reason =
            why.fault == sys::Fault::SourceMissing ? "ファイルがありません" : sys::ReasonText(why);
        return false;
    }
    if (inRate == 0) {
        reason = "音が入っていません";
        return false;
    }
    if (mp3) {
        out = mp3->Finish();
        if (out.empty()) reason = mp3->Error();
        return !out.empty();
    }
    resampled.clear();
    resampler->Finish(resampled);
    wave.Add(resampled.data(), resampled.size() / static_cast<std::size_t>(channels));
    out = wave.Finish();
    return true;
}

// `path` as the system decodes it, measured; nothing when it cannot be decoded.
std::optional<audio::LoudnessResult> Heard(sys::System& system, const std::string& path) {
    audio::LoudnessMeter meter;
    const bool ok =
        system.DecodeAudio(path, [&](const float* pcm, std::size_t frames, int ch, int rate) {
            return meter.Add(pcm, frames, ch, rate);
        });
    return ok ? std::optional(meter.Finish()) : std::nullopt;
}

// Drops the oldest files of the cache until it holds no more than kMaxCache, `keep` aside.
void Prune(sys::System& system, const std::string& folder, const std::string& keep) {
    const originals::DataLock lock(system, folder);
    if (!lock.Held()) return;  // pruned next time
    struct File {
        std::string path;
        sys::FileStamp stamp;
    };
    std::vector<File> files;
    std::uint64_t total = 0;
    for (const sys::FolderEntry& e : system.ListFolder(folder).entries) {
        if (e.attributes & sys::kDirectory) continue;
        const std::string path = folder + text::FromUtf16(e.name);
        const std::optional<sys::FileStamp> s = system.Stamp(path);
        if (!s) continue;
        total += s->size;
        if (originals::PathKey(path) != originals::PathKey(keep)) files.push_back({path, *s});
    }
    std::sort(files.begin(), files.end(),
              [](const File& a, const File& b) { return a.stamp.time < b.stamp.time; });
    for (const File& f : files) {
        if (total <= kMaxCache) break;
        if (system.RemoveFile(f.path)) total -= f.stamp.size;
    }
}

}  // namespace

Target TargetFor(const audio::Finding& f, const std::string& slot) {
    if (f.truncated) return Target::AsIs;
    if (EndsWith(slot, ".mp3")) {
        return Convertible(f.kind) || f.kind == audio::Kind::Wave ? Target::Mp3 : Target::AsIs;
    }
    if (EndsWith(slot, ".wav")) {
        const bool pcm = f.kind == audio::Kind::Wave && f.waveFormat == 1;
        return !pcm && (Convertible(f.kind) || f.kind == audio::Kind::Mp3 ||
                        f.kind == audio::Kind::Wave)
                   ? Target::Wave
                   : Target::AsIs;
    }
    return Target::AsIs;
}

Format FormatFor(sys::System& system, originals::Store& store, const Record& record,
                 const std::string& folder, const std::string& slot, Target target) {
    Format out;
    out.target = target;
    const std::string game = GameTrack(system, store, record, folder, slot);
    const audio::Finding f = game.empty() ? audio::Finding{} : InspectPath(system, game);
    const bool same = (target == Target::Mp3 && f.kind == audio::Kind::Mp3) ||
                      (target == Target::Wave && f.kind == audio::Kind::Wave);
    if (same && f.sampleRate >= 8000 && f.sampleRate <= 48000 && f.channels >= 1) {
        out.rate = f.sampleRate;
        out.channels = std::min(f.channels, 2);
        if (target == Target::Mp3) out.kbps = std::max(f.bitrateKbps, 192);
    }
    // MPEG-2 and 2.5 (under 32 kHz) go no higher than 160 kbps, MPEG-1 no higher than 320.
    out.kbps = std::min(out.kbps, out.rate < 32000 ? 160 : 320);
    return out;
}

std::string ConversionText(audio::Kind from, Target to) {
    return std::string(audio::KindName(from)) + " → " + (to == Target::Mp3 ? "MP3" : "WAVE (PCM)") +
           " に変換してコピーします";
}

Converted Convert(sys::System& system, const std::string& cacheFolder, const std::string& source,
                  const Format& format, const std::optional<Level>& level) {
    originals::Fingerprint content;
    sys::FileError why;
    const std::optional<sys::FileStamp> before = system.Stamp(source);
    if (!before || !originals::FingerprintFile(system, source, content, &why))
        return {"", why.fault == sys::Fault::SourceMissing || !before ? "ファイルがありません"
                                                                      : sys::ReasonText(why)};
    const double wanted = level ? GainFor(*level) : 0;
    const std::string path = cacheFolder + CacheName(content, format, wanted);
    if (system.Attributes(path) != sys::kNoFile) return {path, ""};  // made before

    system.CreateFolder(cacheFolder.substr(0, cacheFolder.size() - 1));
    std::string bytes, reason;
    double gain = wanted;
    // The encoder takes off a few tenths of a dB, a mix to mono of a wide song up to 3 dB,
    // and the file may peak above the PCM it was made of: it is measured as the system
    // decodes it and, when it is off its level (the game track's, else the song's own) by
    // more than 0.1 LU (0.3 LU for the song's own) or peaks past +0.1 dBFS, made once more
    // with the gain corrected, never past what its peak allows.
    for (int pass = 0; pass < 2; ++pass) {
        audio::LoudnessMeter song;
        if (!Encode(system, source, format, gain, bytes, reason, song)) return {"", reason};
        if (!system.SaveFileAtomic(path, bytes, &why))
            return {"",
                    "変換したファイルを " + path + " に書けません (" + sys::ReasonText(why) + ")"};
        const std::optional<double> own = song.Finish().lufs;
        if (pass == 1 || (!level && !own)) break;
        const std::optional<audio::LoudnessResult> heard = Heard(system, path);
        if (!heard || !heard->lufs) break;
        const double off = (level ? level->gameLufs : *own) - *heard->lufs;
        const double room = heard->peak > 0 ? 20 * std::log10(kPeakLimit / heard->peak) : 0;
        const double step = std::min(off, room);
        if (std::fabs(step) <= (level ? 0.1 : 0.3) && room >= 0) break;
        gain += step - (step == room ? 0.05 : 0);
    }
    // Changed while it was decoded: what was made is of other bytes than its name says.
    if (system.Stamp(source) != before) {
        system.RemoveFile(path);
        return {"", "変換している間にファイルが変わりました"};
    }
    Prune(system, cacheFolder, path);
    return {path, ""};
}

std::string WithConvertible(const std::string& mask) {
    std::string out = mask;
    const std::string named = text::UpperAscii(mask) + ";";
    for (std::string_view kind : text::Split(kConvertibleMask, ';')) {
        if (named.find(text::UpperAscii(std::string(kind)) + ";") != std::string::npos) continue;
        out += (out.empty() ? "" : ";") + std::string(kind);
    }
    return out;
}

std::string BatchMusicFolder(const std::string& batchPath) {
    const std::string name = paths::LastPart(batchPath);
    const std::size_t dot = name.rfind('.');
    const std::string stem =
        dot == std::string::npos || dot == 0 ? name + "_files" : name.substr(0, dot);
    return paths::Join(paths::Parent(batchPath), stem);
}

Prepared PrepareCopy(sys::System& system, originals::Store& store, const Record& record,
                     const Preparing& preparing, const std::string& folder, const std::string& slot,
                     const std::string& source, const std::string& workName) {
    Prepared out{source};
    const Target target = TargetFor(InspectPath(system, source), slot);
    if (target != Target::AsIs) {
        const Format format = FormatFor(system, store, record, folder, slot, target);
        std::optional<Level> level;
        if (preparing.cache && target == Target::Mp3) {
            const SlotLoudness l =
                MeasureSlot(system, store, record, *preparing.cache, folder, slot, source);
            const LevelPlan plan = PlanLevel(l);
            if (plan.match) {
                level = Level{l.game.lufs, l.source.lufs, l.source.peak};
            } else {
                out.levelNote = plan.reason;
            }
        }
        const Converted c = Convert(system, preparing.convertFolder, source, format, level);
        if (c.path.empty()) {
            out.convertNote = c.reason;
            out.levelNote.clear();
        } else {
            out.from = c.path;
        }
        return out;
    }
    if (!preparing.cache) return out;
    const std::optional<std::string> bytes =
        MatchedBytes(system, store, record, *preparing.cache, folder, slot, source, out.levelNote);
    if (!bytes) return out;
    system.CreateFolder(preparing.workFolder.substr(0, preparing.workFolder.size() - 1));
    const std::string work = preparing.workFolder + workName;
    sys::FileError why;
    if (!system.SaveFileAtomic(work, *bytes, &why)) {
        out.levelNote = "音量を合わせたファイルを " + work +
                        " に作れないので、そのままコピーしました (" + sys::ReasonText(why) + ")";
        return out;
    }
    out.from = work;
    out.work = true;
    return out;
}

}  // namespace apply
