// What the player reads about a file picked for a slot: its format in one short line,
// and whether the game will play it there.
#include <string>

#include "audio/Content.h"
#include "platform/text/Cp932.h"

namespace audio {

const char* KindName(Kind k) {
    switch (k) {
        case Kind::Mp3: return "MP3";
        case Kind::Wave: return "WAVE";
        case Kind::MpegLayer1: return "MPEG Layer I";
        case Kind::MpegLayer2: return "MPEG Layer II";
        case Kind::M4a: return "M4A (AAC)";
        case Kind::Aac: return "AAC (ADTS)";
        case Kind::OggVorbis: return "Ogg Vorbis";
        case Kind::Opus: return "Opus";
        case Kind::OggOther: return "Ogg";
        case Kind::Flac: return "FLAC";
        case Kind::Wma: return "WMA";
        case Kind::Aiff: return "AIFF";
        case Kind::Midi: return "MIDI";
        case Kind::Html: return "HTML";
        case Kind::Zip: return "ZIP";
        case Kind::Rar: return "RAR";
        case Kind::Unreadable:
        case Kind::Empty:
        case Kind::Unknown: break;
    }
    return "不明な形式";
}

namespace {

constexpr std::uint16_t kPcm = 1;

bool IsAudio(Kind k) {
    return k != Kind::Unreadable && k != Kind::Empty && k != Kind::Html && k != Kind::Zip &&
           k != Kind::Rar && k != Kind::Unknown;
}

// What a file that is not what the slot wants is.
std::string What(Kind k) {
    switch (k) {
        case Kind::Html: return "HTML のページです";
        case Kind::Zip:
        case Kind::Rar: return std::string(KindName(k)) + " の圧縮ファイルです";
        case Kind::Unknown: return "不明な形式です";
        default: return std::string(KindName(k)) + " のファイルです";
    }
}

std::string Hex4(unsigned v) {
    const char* digits = "0123456789ABCDEF";
    std::string s = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) s += digits[(v >> shift) & 0xF];
    return s;
}

// " PCM 16bit", " (IMA ADPCM)", " (浮動小数点 32bit)".
std::string WaveCodec(const Finding& f) {
    std::string bits = f.bits > 0 ? " " + std::to_string(f.bits) + "bit" : "";
    switch (f.waveFormat) {
        case kPcm: return " PCM" + bits;
        case 3: return " (浮動小数点" + bits + ")";
        case 2: return " (MS ADPCM)";
        case 0x11: return " (IMA ADPCM)";
        case 6: return " (A-law)";
        case 7: return " (μ-law)";
        case 0x31: return " (GSM 6.10)";
        case 0x50: return " (MPEG)";
        case 0x55: return " (MP3)";
        default: return " (形式 " + Hex4(f.waveFormat) + ")";
    }
}

// 44100 -> "44.1kHz", 8000 -> "8kHz".
std::string Rate(int hz) {
    std::string s = std::to_string(hz / 1000);
    if (int rest = hz % 1000) {
        std::string frac = std::to_string(1000 + rest).substr(1);
        s += "." + frac.substr(0, frac.find_last_not_of('0') + 1);
    }
    return s + "kHz";
}

// "MP3 44.1kHz ステレオ 192kbps 3:25": what is known of the file; without the rate and
// the channels when `brief`.
std::string Describe(const Finding& f, bool withLength, bool brief = false) {
    std::string line = KindName(f.kind);
    if (f.freeFormat) line += " (フリーフォーマット)";
    if (f.kind == Kind::Wave) line += WaveCodec(f);
    if (f.sampleRate > 0 && !brief) line += " " + Rate(f.sampleRate);
    if (f.channels == 1 && !brief) line += " モノラル";
    if (f.channels == 2 && !brief) line += " ステレオ";
    if (f.channels > 2 && !brief) line += " " + std::to_string(f.channels) + "ch";
    std::string kbps = std::to_string(f.bitrateKbps) + "kbps";
    if (f.kind == Kind::Wave) {
        // A WAVE's bitrate follows from the rest.
    } else if (f.vbr) {
        line += f.bitrateKbps > 0 ? " VBR 平均 " + kbps : " VBR";
    } else if (f.bitrateKbps > 0) {
        line += " " + kbps;
    }
    if (withLength && f.durationMs >= 0) line += " " + Clock(f.durationMs);
    return line;
}

// The kind a slot asks for by its file name's extension; Unknown takes any audio.
Kind SlotKind(std::string_view slotName) {
    std::size_t dot = slotName.rfind('.');  // never a second byte in CP932
    std::string_view ext = dot == std::string_view::npos ? "" : slotName.substr(dot + 1);
    if (text::EqualsNoCase(ext, "mp3")) return Kind::Mp3;
    if (text::EqualsNoCase(ext, "wav")) return Kind::Wave;
    return Kind::Unknown;
}

}  // namespace

std::string Clock(std::int64_t ms) {
    std::int64_t s = ms / 1000 + (ms % 1000 >= 500 ? 1 : 0);
    if (s == 0 && ms > 0) s = 1;
    auto two = [](std::int64_t v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    if (s >= 3600) return std::to_string(s / 3600) + ":" + two(s / 60 % 60) + ":" + two(s % 60);
    return std::to_string(s / 60) + ":" + two(s % 60);
}

Verdict Judge(const Finding& f, std::string_view slotName) {
    if (f.kind == Kind::Unreadable) return {Fit::DoesNotFit, "読み取れません"};
    if (f.kind == Kind::Empty) return {Fit::DoesNotFit, "空のファイルです"};
    if (f.kind == Kind::Unknown && f.truncated) return {Fit::DoesNotFit, "途中で切れています"};
    Kind wanted = SlotKind(slotName);
    if (wanted != Kind::Unknown && f.kind != wanted)
        return {Fit::DoesNotFit,
                std::string(KindName(wanted)) + " ではありません: " + What(f.kind)};
    if (!IsAudio(f.kind)) return {Fit::DoesNotFit, What(f.kind)};
    if (f.truncated) return {Fit::DoesNotFit, Describe(f, false) + " (途中で切れています)"};
    // Free format is optional for MPEG decoders; some leave it out.
    if (wanted == Kind::Mp3 && f.freeFormat)
        return {Fit::MayNotPlay, Describe(f, false) + ": 再生できないプレーヤーがあります"};
    if (wanted == Kind::Wave && f.waveFormat != kPcm)
        return {Fit::MayNotPlay, Describe(f, false) + ": 再生できない場合があります"};
    return {Fit::Fits, Describe(f, true), Describe(f, true, true)};
}

}  // namespace audio
