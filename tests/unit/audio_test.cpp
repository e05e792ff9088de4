// The content check against files that real encoders (ffmpeg, lame) make during the test,
// each expected to be what it was made as; then hand-made edge cases; then the line the
// player reads for a slot.
#include <gtest/gtest.h>

#include "support/Scratch.h"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "audio/Content.h"
#include "audio/Pcm.h"

using audio::Finding;
using audio::Fit;
using audio::Kind;

namespace {

constexpr int kAny = -1;  // not checked

// What a case expects: the value found, or kAny where the case does not check it.
std::int64_t Checked(std::int64_t want, std::int64_t found) { return want == kAny ? kAny : found; }

// A folder of the test's own for its encodes. "tone RATE LAYOUT ARGS" is ffmpeg reading
// two seconds of a 440 Hz tone.
class AudioFiles : public qxtest::Scratch {
protected:
    void Make(const std::vector<std::string>& lines) {
        RunLines(
            "tone() { r=$1 c=$2; shift 2; ffmpeg -nostdin -v error -y -f lavfi -i "
            "\"sine=frequency=440:sample_rate=$r:duration=2,aformat=channel_layouts=$c\" "
            "\"$@\"; }\n",
            lines);
    }
};

// A Source over the bytes that fails the test on any read outside them and counts the
// bytes read.
audio::Source Over(const std::string& bytes, std::uint64_t& read) {
    return {bytes.size(), [&bytes, &read](std::uint64_t offset, std::size_t count) {
                EXPECT_TRUE(count > 0 && offset < bytes.size() && count <= bytes.size() - offset);
                read += count;
                return bytes.substr(offset, count);
            }};
}

struct Encode {
    const char* make;  // a shell line whose last word is the file it makes
    Kind kind;
    int rate, channels, kbps;  // kbps kAny for VBR: then near the file's own average
    bool vbr;
    int bits, format;
    bool extensible;
    int slackMs;  // from 2 s; kAny: no length known
};

TEST_F(AudioFiles, RealEncodesAreWhatTheyWereMadeAs) {
    const int _ = kAny;
    // clang-format off
    const Encode cases[] = {
        {"tone 44100 stereo -c:a libmp3lame -b:a 128k cbr.mp3", Kind::Mp3, 44100, 2, 128, false, _, _, false, 80},
        {"tone 48000 mono -c:a libmp3lame -b:a 192k -id3v2_version 0 cbr48.mp3",
         Kind::Mp3, 48000, 1, 192, false, _, _, false, 80},
        {"tone 44100 stereo -c:a libmp3lame -q:a 2 vbr.mp3", Kind::Mp3, 44100, 2, _, true, _, _, false, 80},
        {"tone 48000 mono -c:a libmp3lame -q:a 5 -id3v2_version 0 vbr48.mp3",
         Kind::Mp3, 48000, 1, _, true, _, _, false, 80},
        {"tone 22050 mono -c:a libmp3lame -b:a 64k mpeg2.mp3", Kind::Mp3, 22050, 1, 64, false, _, _, false, 100},
        {"tone 8000 mono -c:a libmp3lame -b:a 16k mpeg25.mp3", Kind::Mp3, 8000, 1, 16, false, _, _, false, 250},
        // Cover art of some 200 KB in the tag; lame's padded tag; lame without an Info header.
        {"ffmpeg -nostdin -v error -f lavfi -i 'color=s=320x240,noise=alls=100:allf=t' -frames:v 1 art.png && "
         "tone 44100 stereo -i art.png -map 0 -map 1 -c:v copy -c:a libmp3lame -b:a 192k -id3v2_version 3 cover.mp3",
         Kind::Mp3, 44100, 2, 192, false, _, _, false, 80},
        {"tone 44100 stereo padded.wav && lame --quiet -b 128 --pad-id3v2-size 6000 --tt Tone padded.wav padded.mp3",
         Kind::Mp3, 44100, 2, 128, false, _, _, false, 80},
        {"tone 44100 mono plain.wav && lame --quiet -b 96 -t plain.wav plain.mp3",
         Kind::Mp3, 44100, 1, 96, false, _, _, false, 80},
        {"tone 48000 stereo -c:a mp2 -b:a 192k layer2.mp2", Kind::MpegLayer2, 48000, 2, 192, false, _, _, false, 80},
        {"tone 22050 mono -c:a pcm_u8 u8.wav", Kind::Wave, 22050, 1, 176, false, 8, 1, false, 0},
        {"tone 44100 stereo -c:a pcm_s16le s16.wav", Kind::Wave, 44100, 2, 1411, false, 16, 1, false, 0},
        {"tone 48000 stereo -c:a pcm_s24le s24.wav", Kind::Wave, 48000, 2, 2304, false, 24, 1, true, 0},
        {"tone 44100 stereo -c:a pcm_f32le f32.wav", Kind::Wave, 44100, 2, 2822, false, 32, 3, true, 0},
        {"tone 22050 mono -c:a adpcm_ms ms.wav", Kind::Wave, 22050, 1, _, false, 4, 2, false, 100},
        {"tone 22050 stereo -c:a adpcm_ima_wav ima.wav", Kind::Wave, 22050, 2, _, false, 4, 0x11, false, 100},
        {"tone 44100 stereo -c:a libmp3lame -b:a 128k -f wav mp3.wav",
         Kind::Wave, 44100, 2, 128, false, _, 0x55, false, 100},
        {"tone 44100 stereo -c:a aac aac.m4a", Kind::M4a, _, _, _, false, _, _, false, 30},
        {"tone 48000 mono -c:a alac -movflags +faststart alac.m4a", Kind::M4a, _, _, _, false, _, _, false, 30},
        {"tone 44100 stereo -c:a aac -f adts adts.aac", Kind::Aac, 44100, 2, _, false, _, _, false, _},
        {"tone 44100 stereo -c:a libvorbis -q:a 3 vorbis.ogg", Kind::OggVorbis, 44100, 2, _, false, _, _, false, 5},
        {"tone 48000 mono -c:a libopus -b:a 64k opus.opus", Kind::Opus, 48000, 1, _, false, _, _, false, 25},
        {"tone 44100 stereo -c:a flac flac.flac", Kind::Flac, 44100, 2, _, false, 16, _, false, 0},
        {"tone 44100 stereo -c:a wmav2 wma.wma", Kind::Wma, _, _, _, false, _, _, false, _},
        {"tone 44100 mono -c:a pcm_s16be aiff.aiff", Kind::Aiff, 44100, 1, _, false, 16, _, false, 0},
    };
    // clang-format on
    std::vector<std::string> lines;
    for (const Encode& c : cases) lines.push_back(c.make);
    Make(lines);
    for (const Encode& c : cases) {
        const std::string file = std::strrchr(c.make, ' ') + 1;
        SCOPED_TRACE(file);
        const std::string bytes = Bytes(file);
        std::uint64_t read = 0;
        const Finding f = audio::Inspect(Over(bytes, read));
        EXPECT_EQ(f, audio::Inspect(bytes));
        EXPECT_LE(read, 24u * 1024);  // a few KB at the start, after the tag and at the end
        EXPECT_EQ(f.kind, c.kind);
        EXPECT_FALSE(f.truncated);
        EXPECT_EQ(Checked(c.rate, f.sampleRate), c.rate);
        EXPECT_EQ(Checked(c.channels, f.channels), c.channels);
        EXPECT_EQ(Checked(c.kbps, f.bitrateKbps), c.kbps);
        EXPECT_EQ(f.vbr, c.vbr);
        if (c.vbr) {
            EXPECT_NEAR(f.bitrateKbps, bytes.size() * 8.0 / f.durationMs, 4);
        }
        EXPECT_EQ(Checked(c.bits, f.bits), c.bits);
        EXPECT_EQ(Checked(c.format, f.waveFormat), c.format);
        EXPECT_EQ(f.extensible, c.extensible);
        if (c.slackMs == kAny) {
            EXPECT_EQ(f.durationMs, -1);
        } else {
            EXPECT_NEAR(f.durationMs, 2000, c.slackMs);
        }
    }
    EXPECT_GT(Bytes("cover.mp3").size(), 150u * 1024);  // so the read bound shows the art skipped
}

std::string Id3(const std::string& body) {  // ID3v2.3, its size synchsafe
    std::string tag("ID3\x03\x00\x00", 6);
    for (int shift = 21; shift >= 0; shift -= 7)
        tag += static_cast<char>(body.size() >> shift & 0x7F);
    return tag + body;
}
std::string Frames(const std::string& header, std::size_t length, int count) {
    std::string frame = header + std::string(length - header.size(), '\0'), all;
    while (count-- > 0) all += frame;
    return all;
}
std::string Le(std::uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i) & 0xFF);
    return s;
}
std::string Chunk(const char* id, std::size_t size, std::uint32_t claimed) {
    return id + Le(claimed, 4) + std::string(size, '\x80');
}
std::string Be(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16 & 0xFF), char(v >> 8 & 0xFF), char(v & 0xFF)};
}
// An MP4 box; `size` claims another size than its own.
std::string Box(const char* type, const std::string& body, std::uint32_t size = 0) {
    return Be(size ? size : static_cast<std::uint32_t>(body.size() + 8)) + type + body;
}
std::string Wave(const std::string& chunks, std::uint32_t riffSize = 0) {
    return "RIFF" + Le(riffSize ? riffSize : chunks.size() + 4, 4) + "WAVE" + chunks;
}

TEST_F(AudioFiles, EdgeCases) {
    Make({"tone 44100 stereo -c:a libmp3lame -b:a 128k -id3v2_version 0 plain.mp3"});
    const std::string mp3 = Bytes("plain.mp3"), half = mp3.substr(0, mp3.size() / 2);
    // 8 kHz mono 8-bit PCM: 8000 bytes a second.
    const std::string fmt =
        "fmt " + Le(16, 4) + Le(1, 2) + Le(1, 2) + Le(8000, 4) + Le(8000, 4) + Le(1, 2) + Le(8, 2);
    const std::string junk(1500, 'j');
    struct Edge {
        const char* what;
        std::string bytes;
        Kind kind;
        bool truncated;
        int rate;
        std::int64_t ms;
    };
    const int _ = kAny;
    // clang-format off
    const Edge cases[] = {
        // Four frames of a 32 kHz stream inside the tag: the tag is skipped, not searched.
        {"frames inside the tag", Id3(Frames("\xFF\xFB\x98\xC4", 576, 4)) + mp3, Kind::Mp3, false, 44100, _},
        {"zeros after the tag", Id3("TIT2") + std::string(300, '\0') + mp3, Kind::Mp3, false, 44100, _},
        {"junk before the frames", junk + mp3, Kind::Mp3, false, 44100, _},
        {"a lone sync word", junk + "\xFF\xFB\x90\x64" + junk, Kind::Unknown, false, 0, _},
        {"cut in half", half, Kind::Mp3, true, 44100, _},
        {"second half never filled", half + std::string(mp3.size() - half.size(), '\0'), Kind::Mp3, true, 44100, _},
        {"never filled, then an ID3v1 tag", half + std::string(mp3.size() - half.size(), '\0') + "TAG" +
         std::string(125, 't'), Kind::Mp3, true, 44100, _},
        {"cut inside the tag", Id3(std::string(9000, 'p')).substr(0, 5000), Kind::Unknown, true, 0, _},
        {"nothing after the tag", Id3("TIT2") + std::string(6000, '\0'), Kind::Unknown, true, 0, _},
        {"Layer I", Frames("\xFF\xFF\x40\x04", 136, 5), Kind::MpegLayer1, false, 44100, _},
        {"ADTS", Frames("\xFF\xF1\x50\x80\x0C\x9F\xFC", 100, 5), Kind::Aac, false, 44100, _},
        {"a lone ADTS header", junk + "\xFF\xF1\x50\x80\x0C\x9F\xFC" + junk, Kind::Unknown, false, 0, _},
        {"WAVE data past 4 KB", Wave(fmt + Chunk("JUNK", 6001, 6001) + '\0' + Chunk("data", 4000, 4000)),
         Kind::Wave, false, 8000, 500},
        {"WAVE data longer than the file", Wave(fmt + Chunk("data", 4000, 40000)), Kind::Wave, true, 8000, 5000},
        {"WAVE sizes left open", Wave(fmt + Chunk("data", 4000, 0xFFFFFFFF), 0xFFFFFFFF), Kind::Wave, false, 8000, 500},
        {"WAVE cut before data", Wave(fmt + Chunk("LIST", 50, 100)), Kind::Wave, true, 8000, _},
        {"empty", "", Kind::Empty, false, 0, _},
        {"HTML", "\xEF\xBB\xBF \r\n<!doctype html><title>404</title>", Kind::Html, false, 0, _},
        {"HTML", "<HTML><BODY>Not Found", Kind::Html, false, 0, _},
        {"ZIP", "PK\x03\x04" + junk, Kind::Zip, false, 0, _},
        {"RAR", std::string("Rar!\x1A\x07\x01\x00", 8) + junk, Kind::Rar, false, 0, _},
        {"MIDI", std::string("MThd\0\0\0\x06\0\x01\0\x02\x01\xE0MTrk", 18), Kind::Midi, false, 0, _},
        {"M4A, a 64-bit mdat, a version 1 movie header", Box("ftyp", "M4A ") + Box("mdat", Be(0) +
         Be(16 + 1500) + junk, 1) + Box("moov", Box("mvhd", "\x01" + std::string(19, '\0') + Be(8000) + Be(0) +
         Be(36000))), Kind::M4a, false, 0, 4500},
        {"M4A, a box past the end", Box("ftyp", "M4A ") + Box("mdat", junk, 90000), Kind::M4a, false, 0, _},
        {"text", "hello", Kind::Unknown, false, 0, _},
    };
    // clang-format on
    for (const Edge& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint64_t read = 0;
        const Finding f = audio::Inspect(Over(c.bytes, read));
        EXPECT_EQ(f.kind, c.kind);
        EXPECT_EQ(f.truncated, c.truncated);
        EXPECT_EQ(f.sampleRate, c.rate);
        EXPECT_EQ(Checked(c.ms, f.durationMs), c.ms);
    }
    // A file that cannot be read, at its start or only at its end (a failing disk).
    audio::Source source{1000, [](std::uint64_t, std::size_t) { return std::string(); }};
    EXPECT_EQ(audio::Inspect(source).kind, Kind::Unreadable);
    source = {mp3.size(), [&mp3](std::uint64_t offset, std::size_t count) {
                  return offset + count == mp3.size() ? std::string() : mp3.substr(offset, count);
              }};
    EXPECT_EQ(audio::Inspect(source).kind, Kind::Unreadable);
}

// Zero bytes after an ID3v2 tag that its size does not count are passed over, up to the
// bound; more is no audio, and zeros to the end a file never filled.
TEST_F(AudioFiles, ZeroPaddingAfterTheTag) {
    Make(
        {"tone 44100 stereo tone.wav && lame --quiet -b 128 --add-id3v2 --tt Tone tone.wav "
         "tagged.mp3"});
    const std::string mp3 = Bytes("tagged.mp3");
    ASSERT_EQ(mp3.substr(0, 3), "ID3");
    std::size_t tag = 10;
    for (int i = 6; i < 10; ++i) tag += static_cast<std::size_t>(mp3[i]) << (7 * (9 - i));
    const auto padded = [&](std::uint64_t zeros) {
        return mp3.substr(0, tag) + std::string(zeros, '\0') + mp3.substr(tag);
    };
    const std::uint64_t bound = audio::kMaxTagPadding;
    struct Pad {
        const char* what;
        std::string bytes;
        Kind kind;
        bool truncated;
    };
    // clang-format off
    const Pad cases[] = {
        {"more than the first 4 KB", padded(5000), Kind::Mp3, false},
        {"up to the bound", padded(bound), Kind::Mp3, false},
        {"one byte past the bound", padded(bound + 1), Kind::Unknown, false},
        {"zeros to the end, past the bound", Id3("TIT2") + std::string(bound + 20000, '\0'), Kind::Unknown, true},
    };
    // clang-format on
    for (const Pad& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint64_t read = 0;
        const Finding f = audio::Inspect(Over(c.bytes, read));
        EXPECT_EQ(f.kind, c.kind);
        EXPECT_EQ(f.truncated, c.truncated);
        EXPECT_LE(read, bound + 24u * 1024);
        if (c.kind == Kind::Mp3) {
            EXPECT_EQ(f.sampleRate, 44100);
            EXPECT_EQ(f.bitrateKbps, 128);
            EXPECT_NEAR(f.durationMs, 2000, 80);
        }
    }
}

// Free-format MPEG audio (bitrate index 0): the frame length is the distance between
// agreeing headers.
TEST_F(AudioFiles, FreeFormat) {
    Make({"tone 44100 stereo a.wav && lame --quiet --freeformat -b 200 a.wav free200.mp3",
          "tone 32000 mono b.wav && lame --quiet --freeformat -b 100 -t b.wav free100.mp3",
          "tone 22050 mono c.wav && lame --quiet --freeformat -b 72 c.wav free72.mp3",
          "tone 48000 stereo d.wav && lame --quiet --freeformat -b 450 d.wav free450.mp3"});
    const std::string free200 = Bytes("free200.mp3");
    // 48 kHz mono frames of 300 bytes, each holding a header of the same stream at 100.
    const std::string decoy = Frames(
        std::string("\xFF\xFB\x04\xC4", 4) + std::string(96, '\0') + "\xFF\xFB\x04\xC4", 300, 6);
    const std::string junk(1500, 'j');
    struct Free {
        const char* what;
        std::string bytes;
        Kind kind;
        bool truncated;
        int rate, channels, kbps;
        std::int64_t ms;
    };
    const int _ = kAny;
    // clang-format off
    const Free cases[] = {
        {"lame 200 kbit/s", free200, Kind::Mp3, false, 44100, 2, 200, 2000},
        {"lame 100 kbit/s, no Info header", Bytes("free100.mp3"), Kind::Mp3, false, 32000, 1, 100, 2000},
        {"lame MPEG-2", Bytes("free72.mp3"), Kind::Mp3, false, 22050, 1, 72, 2000},
        {"lame 450 kbit/s", Bytes("free450.mp3"), Kind::Mp3, false, 48000, 2, 450, 2000},
        {"cut in half", free200.substr(0, free200.size() / 2), Kind::Mp3, true, 44100, 2, 200, _},
        {"a header of the stream inside each frame", decoy + junk, Kind::Mp3, false, 48000, 1, 100, _},
        {"a lone free-format header", junk + "\xFF\xFB\x00\x64" + junk, Kind::Unknown, false, 0, 0, 0, _},
        {"frames that do not keep their length", Frames("\xFF\xFB\x04\xC4", 300, 1) +
         Frames("\xFF\xFB\x04\xC4", 310, 1) + Frames("\xFF\xFB\x04\xC4", 300, 2) + junk,
         Kind::Unknown, false, 0, 0, 0, _},
    };
    // clang-format on
    for (const Free& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint64_t read = 0;
        const Finding f = audio::Inspect(Over(c.bytes, read));
        EXPECT_LE(read, 24u * 1024);
        EXPECT_EQ(f.kind, c.kind);
        EXPECT_EQ(f.freeFormat, c.kind == Kind::Mp3);
        EXPECT_EQ(f.truncated, c.truncated);
        EXPECT_EQ(f.sampleRate, c.rate);
        EXPECT_EQ(f.channels, c.channels);
        EXPECT_FALSE(f.vbr);
        if (!c.truncated) {
            EXPECT_EQ(f.bitrateKbps, c.kbps);
        }
        if (c.ms != kAny) {
            EXPECT_NEAR(f.durationMs, c.ms, 80);
        }
    }
}

// A WAVE too big for its 32-bit sizes: RIFF's size wrapped, and "data"'s left open,
// wrapped or capped. The sizes cannot be right past 4 GB, so the data runs to the end.
TEST(AudioBigWave, DataToTheEndPastFourGigabytes) {
    constexpr std::uint64_t kGiB = std::uint64_t{1} << 30, kFourGiB = 4 * kGiB;
    // 44.1 kHz stereo 16-bit PCM: 176400 bytes a second; "data" at 36, the audio at 44.
    const std::string fmt = "fmt " + Le(16, 4) + Le(1, 2) + Le(2, 2) + Le(44100, 4) +
                            Le(176400, 4) + Le(4, 2) + Le(16, 2);
    struct Big {
        const char* what;
        std::uint64_t size;
        std::uint32_t dataSize;
        std::uint64_t dataBytes;  // what the length follows from
    };
    // clang-format off
    const Big cases[] = {
        {"left open", 5 * kGiB, 0xFFFFFFFF, 5 * kGiB - 44},
        {"wrapped", 5 * kGiB, static_cast<std::uint32_t>(5 * kGiB - 44), 5 * kGiB - 44},
        {"capped", 5 * kGiB, 0x7FFFFFFF, 5 * kGiB - 44},
        {"the largest a RIFF size can tell", kFourGiB + 7, 0xFFFFFFDB, kFourGiB - 37},
        {"a chunk after the data, within RIFF's sizes", kFourGiB + 7, 0x10000000, 0x10000000},
        {"a chunk after the data, one byte past them", kFourGiB + 8, 0x10000000, kFourGiB - 36},
    };
    // clang-format on
    for (const Big& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string head = "RIFF" + Le(static_cast<std::uint32_t>(c.size - 8), 4) + "WAVE" +
                                 fmt + "data" + Le(c.dataSize, 4);
        std::uint64_t read = 0;
        // The audio is served as it is asked for, never held.
        const audio::Source source{
            c.size, [&](std::uint64_t offset, std::size_t count) {
                EXPECT_TRUE(count > 0 && offset < c.size && count <= c.size - offset);
                read += count;
                std::string bytes(count, 'a');
                for (std::size_t i = 0; i < count && offset + i < head.size(); ++i)
                    bytes[i] = head[offset + i];
                return bytes;
            }};
        const Finding f = audio::Inspect(source);
        EXPECT_EQ(f.kind, Kind::Wave);
        EXPECT_FALSE(f.truncated);
        EXPECT_EQ(f.durationMs, static_cast<std::int64_t>(c.dataBytes * 1000 / 176400));
        EXPECT_LE(read, 24u * 1024);
    }
}

TEST(AudioJudge, LineAndFitBySlot) {
    // clang-format off
    const Finding mp3{.kind = Kind::Mp3, .sampleRate = 44100, .channels = 2, .bitrateKbps = 192, .durationMs = 205000};
    const Finding free{.kind = Kind::Mp3, .sampleRate = 44100, .channels = 2, .bitrateKbps = 200, .freeFormat = true,
                       .durationMs = 205000};
    const Finding pcm{.kind = Kind::Wave, .sampleRate = 44100, .channels = 2, .bitrateKbps = 1411,
                      .bits = 16, .waveFormat = 1, .durationMs = 2400};
    // clang-format on
    struct Case {
        Finding f;
        const char* slot;
        Fit fit;
        const char* line;
    };
    // clang-format off
    const Case cases[] = {
        {mp3, "01.mp3", Fit::Fits, "MP3 44.1kHz ステレオ 192kbps 3:25"},
        {free, "01.mp3", Fit::MayNotPlay, "MP3 (フリーフォーマット) 44.1kHz ステレオ 200kbps: 再生できないプレーヤーがあります"},
        {free, "bgm.ogg", Fit::Fits, "MP3 (フリーフォーマット) 44.1kHz ステレオ 200kbps 3:25"},
        {free, "Msg_NewMsg.wav", Fit::DoesNotFit, "WAVE ではありません: MP3 のファイルです"},
        {{.kind = Kind::Mp3, .truncated = true, .sampleRate = 44100, .channels = 2, .freeFormat = true},
         "01.mp3", Fit::DoesNotFit, "MP3 (フリーフォーマット) 44.1kHz ステレオ (途中で切れています)"},
        {{.kind = Kind::Mp3, .sampleRate = 48000, .channels = 1, .bitrateKbps = 190, .vbr = true, .durationMs = 3725400},
         "01.MP3", Fit::Fits, "MP3 48kHz モノラル VBR 平均 190kbps 1:02:05"},
        {{.kind = Kind::Mp3, .truncated = true, .sampleRate = 11025, .channels = 2, .bitrateKbps = 128, .durationMs = 9000},
         "01.mp3", Fit::DoesNotFit, "MP3 11.025kHz ステレオ 128kbps (途中で切れています)"},
        {{.kind = Kind::M4a}, "01.mp3", Fit::DoesNotFit, "MP3 ではありません: M4A (AAC) のファイルです"},
        {{.kind = Kind::MpegLayer2, .sampleRate = 48000},
         "01.mp3", Fit::DoesNotFit, "MP3 ではありません: MPEG Layer II のファイルです"},
        {pcm, "01.mp3", Fit::DoesNotFit, "MP3 ではありません: WAVE のファイルです"},
        {{.kind = Kind::Html}, "01.mp3", Fit::DoesNotFit, "MP3 ではありません: HTML のページです"},
        {{.kind = Kind::Unknown}, "01.mp3", Fit::DoesNotFit, "MP3 ではありません: 不明な形式です"},
        {{.kind = Kind::Unknown, .truncated = true}, "01.mp3", Fit::DoesNotFit, "途中で切れています"},
        {{.kind = Kind::Empty}, "01.mp3", Fit::DoesNotFit, "空のファイルです"},
        {{.kind = Kind::Unreadable}, "Msg_NewMsg.wav", Fit::DoesNotFit, "読み取れません"},
        {pcm, "Msg_NewMsg.wav", Fit::Fits, "WAVE PCM 16bit 44.1kHz ステレオ 0:02"},
        {{.kind = Kind::Wave, .sampleRate = 22050, .channels = 1, .bits = 4, .waveFormat = 0x11, .durationMs = 2000},
         "Msg_NewMsg.WAV", Fit::MayNotPlay, "WAVE (IMA ADPCM) 22.05kHz モノラル: 再生できない場合があります"},
        {{.kind = Kind::Wave, .sampleRate = 48000, .channels = 6, .bits = 32, .waveFormat = 3, .extensible = true},
         "Msg_NewMsg.wav", Fit::MayNotPlay, "WAVE (浮動小数点 32bit) 48kHz 6ch: 再生できない場合があります"},
        {{.kind = Kind::Wave, .truncated = true, .sampleRate = 8000, .channels = 1, .bits = 8, .waveFormat = 1},
         "Msg_NewMsg.wav", Fit::DoesNotFit, "WAVE PCM 8bit 8kHz モノラル (途中で切れています)"},
        {mp3, "Msg_NewMsg.wav", Fit::DoesNotFit, "WAVE ではありません: MP3 のファイルです"},
        {{.kind = Kind::Zip}, "Msg_NewMsg.wav", Fit::DoesNotFit, "WAVE ではありません: ZIP の圧縮ファイルです"},
        {{.kind = Kind::OggVorbis, .sampleRate = 44100, .channels = 2, .durationMs = 400},
         "bgm.ogg", Fit::Fits, "Ogg Vorbis 44.1kHz ステレオ 0:01"},
        {{.kind = Kind::Rar}, "bgm.ogg", Fit::DoesNotFit, "RAR の圧縮ファイルです"},
    };
    // clang-format on
    for (const Case& c : cases) {
        const audio::Verdict v = audio::Judge(c.f, c.slot);
        EXPECT_EQ(v.fit, c.fit) << c.line;
        EXPECT_EQ(v.line, c.line);
    }
}

}  // namespace

// PCM on its way to a slot: channels mixed, the rate changed (band-limited, the same in
// pieces as whole, as long as the input at the new rate), a 16-bit WAVE written.
TEST(AudioPcm, MixResampleAndWave) {
    std::vector<float> out;
    const float six[] = {1, 0, 0.5f, 0.9f, 0, 0};  // FL, FR, C, LFE, BL, BR
    audio::MixChannels(six, 1, 6, 2, out);
    const float s = std::sqrt(0.5f), scale = 1 / (1 + 2 * s);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_NEAR(out[0], (1 + 0.5f * s) * scale, 1e-6);
    EXPECT_NEAR(out[1], 0.5f * s * scale, 1e-6);
    out.clear();
    const float stereo[] = {1, 0, 0.25f, 0.75f};
    audio::MixChannels(stereo, 2, 2, 1, out);
    EXPECT_EQ(out, (std::vector<float>{0.5f, 0.5f}));
    out.clear();
    audio::MixChannels(stereo, 1, 1, 2, out);
    EXPECT_EQ(out, (std::vector<float>{1, 1}));

    for (const auto [from, to] : {std::pair{48000, 44100},
                                  {44100, 22050},
                                  {22050, 44100},
                                  {32000, 48000},
                                  {44100, 44100}}) {
        SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
        const std::size_t n = static_cast<std::size_t>(from) / 4;  // 0.25 s, stereo
        std::vector<float> in;
        for (std::size_t i = 0; i < n; ++i) {
            const float v =
                0.5f * static_cast<float>(std::sin(2 * 3.14159265358979 * 1000 * i / from));
            in.insert(in.end(), {v, -v});
        }
        std::vector<float> whole, pieces;
        audio::Resampler one(from, to, 2), many(from, to, 2);
        one.Add(in.data(), n, whole);
        one.Finish(whole);
        for (std::size_t at = 0, step = 1; at < n; at += step, step = step * 3 % 997 + 1)
            many.Add(in.data() + 2 * at, std::min(step, n - at), pieces);
        many.Finish(pieces);
        EXPECT_EQ(whole.size(), 2 * ((n * to + from - 1) / from));
        EXPECT_EQ(pieces, whole);
        double worst = 0;  // away from the ends, the same sine at the new rate
        for (std::size_t i = whole.size() / 8; i < whole.size() * 7 / 8; i += 2) {
            const double want = 0.5 * std::sin(2 * 3.14159265358979 * 1000 * (i / 2) / to);
            worst = std::max({worst, std::abs(whole[i] - want), std::abs(whole[i + 1] + want)});
        }
        EXPECT_LT(worst, 2e-3);
    }

    audio::WaveWriter w(22050, 1);
    const float samples[] = {0, 0.5f, -1.5f, 1};
    w.Add(samples, 4);
    const std::string wave = w.Finish();
    const audio::Finding f = audio::Inspect(wave);
    EXPECT_EQ(f.kind, audio::Kind::Wave);
    EXPECT_EQ(f.sampleRate, 22050);
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.bits, 16);
    EXPECT_EQ(wave.substr(44), std::string("\0\0\0\x40\x01\x80\xff\x7f", 8));
}
