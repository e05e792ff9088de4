// Measuring a file: the fake system's decoding (libmpg123 for MP3, our own WAVE reader,
// libavcodec for the other kinds) and apply::Measure against libebur128 on files lame and
// ffmpeg make during the test; the cache in the data folder.
#include <ebur128.h>
#include <gtest/gtest.h>

#include "support/Scratch.h"
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "apply/Apply.h"
#include "apply/Measure.h"
#include "fake/FakeSystem.h"
#include "settings/DataFolder.h"

namespace {

struct Pcm {
    int rate = 0, channels = 0;
    std::vector<float> samples;
};

// Integrated loudness by libebur128; a mono file as dual mono.
double Reference(const Pcm& p) {
    ebur128_state* st = ebur128_init(static_cast<unsigned>(p.channels),
                                     static_cast<unsigned long>(p.rate), EBUR128_MODE_I);
    if (p.channels == 1) ebur128_set_channel(st, 0, EBUR128_DUAL_MONO);
    ebur128_add_frames_float(st, p.samples.data(), p.samples.size() / p.channels);
    double lufs = 0;
    ebur128_loudness_global(st, &lufs);
    ebur128_destroy(&st);
    return lufs;
}

// Tones over noise at about -20 dBFS, different in each channel.
Pcm Signal(int rate, int channels, double seconds, double gain = 0.1) {
    Pcm p{rate, channels, {}};
    std::uint32_t seed = 7;
    for (std::size_t i = 0; i < static_cast<std::size_t>(seconds * rate); ++i)
        for (int c = 0; c < channels; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const double t = static_cast<double>(i) / rate;
            p.samples.push_back(static_cast<float>(
                gain * (0.5 * (static_cast<double>(seed >> 8) / 8388608.0 - 1.0) +
                        std::sin(2 * M_PI * (440 + 110 * c) * t))));
        }
    return p;
}

void Put(std::string& s, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i) & 0xFF);
}

// A RIFF WAVE of the samples: format tag 1 (PCM), 3 (float) or 0xFFFE (extensible, with
// the sub-format `sub`), `bits` a sample, `container` bits a sample slot.
std::string Wave(const Pcm& p, int tag, int bits, int container = 0, int sub = 1) {
    if (container == 0) container = bits;
    const int bytes = container / 8;
    std::string data;
    for (float v : p.samples) {
        if (tag == 3 || sub == 3) {
            std::uint32_t u;
            std::memcpy(&u, &v, 4);
            Put(data, u, 4);
        } else if (bits == 8) {
            Put(data, static_cast<std::uint64_t>(std::lround(v * 127) + 128), 1);
        } else {
            const double full = std::ldexp(1.0, bits - 1);
            const long long q = std::llround(std::max(-full, std::min(v * full, full - 1)));
            Put(data, static_cast<std::uint64_t>(q << (container - bits)), bytes);
        }
    }
    std::string fmt;
    Put(fmt, tag, 2);
    Put(fmt, p.channels, 2);
    Put(fmt, p.rate, 4);
    Put(fmt, static_cast<std::uint64_t>(p.rate) * p.channels * bytes, 4);
    Put(fmt, p.channels * bytes, 2);
    Put(fmt, container, 2);
    if (tag == 0xFFFE) {
        Put(fmt, 22, 2);
        Put(fmt, bits, 2);
        Put(fmt, p.channels == 1 ? 4 : 3, 4);
        Put(fmt, sub, 2);
        fmt += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    std::string w = "RIFF";
    Put(w, 4 + 8 + fmt.size() + 8 + 16 + 8 + data.size(), 4);
    w += "WAVEfmt ";
    Put(w, fmt.size(), 4);
    w += fmt + "LIST";  // a chunk the reader must step over
    Put(w, 16, 4);
    w += std::string(16, 'x') + "data";
    Put(w, data.size(), 4);
    return w + data;
}

// The samples of a WAVE that ffmpeg wrote as 32-bit float.
Pcm ReadFloatWave(const std::string& w) {
    Pcm p;
    auto le = [&](std::size_t at, int n) {
        std::uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(w[at + i]);
        return v;
    };
    std::size_t at = 12;
    while (at + 8 <= w.size()) {
        const std::size_t n = le(at + 4, 4);
        if (w.compare(at, 4, "fmt ") == 0) {
            p.channels = static_cast<int>(le(at + 10, 2));
            p.rate = static_cast<int>(le(at + 12, 4));
        } else if (w.compare(at, 4, "data") == 0) {
            p.samples.resize(std::min(n, w.size() - at - 8) / 4);
            std::memcpy(p.samples.data(), w.data() + at + 8, p.samples.size() * 4);
            break;
        }
        at += 8 + n + (n & 1);
    }
    return p;
}

class MeasureFiles : public qxtest::Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        sys.AddFolder("C:\\Music");
        sys.AddFolder("C:\\Data");
    }
    int Shell(const std::string& line) const {
        return std::system(("cd '" + dir_.string() + "' && " + line).c_str());
    }

    sys::FakeSystem sys;
};

// Each kind as the fake decodes it (libmpg123 for MP3, libavcodec for the others) lasts
// its 6 s at its rate (Opus: 48 kHz) and measures as libebur128 hears ffmpeg's decoding.
TEST_F(MeasureFiles, KindsAgainstFfmpegDecodeAndLibebur128) {
    struct Case {
        const char* name;
        int rate, channels;
        const char* encode;  // in.wav to the file named next
        int decodedRate;
    };
#define QX_FFMPEG "ffmpeg -nostdin -v error -y -i in.wav "
    const Case cases[] = {
        {"cbr.mp3", 44100, 2, "lame --quiet -b 128 in.wav", 44100},
        {"vbr.mp3", 44100, 2, "lame --quiet -V 2 --add-id3v2 --tt Vbr in.wav", 44100},
        {"mono22.mp3", 22050, 1, "lame --quiet -m m -b 48 in.wav", 22050},
        {"crc48.mp3", 48000, 2, "lame --quiet -p -b 192 in.wav", 48000},
        {"mpeg25.mp3", 11025, 1, "lame --quiet -m m -b 24 -t in.wav", 11025},
        {"a.flac", 44100, 2, QX_FFMPEG "-c:a flac", 44100},
        {"aac.m4a", 44100, 2, QX_FFMPEG "-c:a aac -b:a 160k", 44100},
        {"alac.m4a", 32000, 1, QX_FFMPEG "-c:a alac", 32000},
        {"a.ogg", 44100, 2, QX_FFMPEG "-c:a libvorbis", 44100},
        {"a.opus", 44100, 2, QX_FFMPEG "-c:a libopus", 48000},
        {"a.aiff", 22050, 2, QX_FFMPEG "-c:a pcm_s24be", 22050},
        {"a.wma", 44100, 2, QX_FFMPEG "-c:a wmav2", 44100},
    };
#undef QX_FFMPEG
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write("in.wav", Wave(Signal(c.rate, c.channels, 6), 1, 16));
        ASSERT_EQ(Shell(std::string(c.encode) + " " + c.name +
                        " && ffmpeg -nostdin -v error -y -i " + c.name + " -c:a pcm_f32le ref.wav"),
                  0);
        const double want = Reference(ReadFloatWave(Bytes("ref.wav")));
        const std::string path = std::string("C:\\Music\\") + c.name;
        sys.AddFile(path, Bytes(c.name));
        std::size_t frames = 0;
        int rate = 0;
        ASSERT_TRUE(sys.DecodeAudio(path, [&](const float*, std::size_t n, int channels, int r) {
            EXPECT_EQ(channels, c.channels);
            frames += n;
            rate = r;
            return true;
        }));
        EXPECT_EQ(rate, c.decodedRate);
        // (libmpg123 fed in pieces keeps the encoder's delay: 0.11 s at 11.025 kHz.)
        EXPECT_NEAR(static_cast<double>(frames) / c.decodedRate, 6.0, 0.15);
        const apply::Measurement m = apply::Measure(sys, path);
        ASSERT_EQ(m.status, apply::MeasureStatus::Measured) << m.reason;
        EXPECT_NEAR(m.lufs, want, 0.1);
        EXPECT_GT(m.peak, 0.1);
        EXPECT_LT(m.peak, 0.3);
    }
}

TEST_F(MeasureFiles, WaveKindsAgainstLibebur128) {
    struct Case {
        const char* what;
        int channels, tag, bits, container, sub;
        double tolerance;  // 8-bit quantization noise counts a little
    };
    const Case cases[] = {
        {"int16 stereo", 2, 1, 16, 0, 1, 0.01},
        {"int16 mono (dual mono)", 1, 1, 16, 0, 1, 0.01},
        {"int24", 2, 1, 24, 0, 1, 0.01},
        {"int32", 2, 1, 32, 0, 1, 0.01},
        {"unsigned 8-bit", 2, 1, 8, 0, 1, 0.1},
        {"float", 2, 3, 32, 0, 3, 0.01},
        {"extensible 24 in 32", 2, 0xFFFE, 24, 32, 1, 0.01},
        {"extensible float mono", 1, 0xFFFE, 32, 32, 3, 0.01},
    };
    const Pcm p = Signal(32000, 2, 3), mono = Signal(32000, 1, 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Pcm& in = c.channels == 1 ? mono : p;
        sys.AddFile("C:\\Music\\a.wav", Wave(in, c.tag, c.bits, c.container, c.sub));
        const apply::Measurement m = apply::Measure(sys, "C:\\Music\\a.wav");
        ASSERT_EQ(m.status, apply::MeasureStatus::Measured) << m.reason;
        EXPECT_NEAR(m.lufs, Reference(in), c.tolerance);
    }
}

TEST_F(MeasureFiles, WhatCannotBeMeasuredSaysWhy) {
    Pcm adpcm = Signal(8000, 1, 1);
    std::string msAdpcm = Wave(adpcm, 1, 16);
    msAdpcm[20] = 2;  // format tag 2: MS ADPCM
    struct Case {
        const char* what;
        std::string bytes;
        apply::MeasureStatus status;
    };
    const Case cases[] = {
        {"text", "just some text, no audio at all", apply::MeasureStatus::NotAudio},
        {"empty", "", apply::MeasureStatus::NotAudio},
        {"ADPCM WAVE", msAdpcm, apply::MeasureStatus::NotAudio},
        {"silence", Wave(Pcm{44100, 2, std::vector<float>(88200 * 2, 0.0f)}, 1, 16),
         apply::MeasureStatus::TooQuiet},
        {"0.3 s", Wave(Signal(44100, 2, 0.3), 1, 16), apply::MeasureStatus::TooQuiet},
        {"nine channels", Wave(Pcm{44100, 9, std::vector<float>(9 * 44100, 0.1f)}, 1, 16),
         apply::MeasureStatus::NotAudio},
        {"an M4A of its header alone",
         std::string("\0\0\0\x1C"
                     "ftypM4A \0\0\0\0M4A mp42isom",
                     28),
         apply::MeasureStatus::CannotDecode},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sys.AddFile("C:\\Music\\x.mp3", c.bytes);
        const apply::Measurement m = apply::Measure(sys, "C:\\Music\\x.mp3");
        EXPECT_EQ(m.status, c.status);
        EXPECT_FALSE(m.reason.empty());
    }
    sys.unreadable.push_back("C:\\Music\\x.mp3");
    EXPECT_EQ(apply::Measure(sys, "C:\\Music\\x.mp3").status, apply::MeasureStatus::Unreadable);
    EXPECT_EQ(apply::Measure(sys, "C:\\Music\\none.mp3").status, apply::MeasureStatus::Unreadable);
}

TEST_F(MeasureFiles, CacheDecodesEachContentOnce) {
    const settings::DataFolder data("C:\\Data\\");
    const std::string a = Wave(Signal(44100, 2, 2), 1, 16),
                      b = Wave(Signal(44100, 2, 2, 0.3), 1, 16);
    sys.AddFile("C:\\Music\\a.wav", a);
    sys.AddFile("C:\\Music\\quiet.wav",
                Wave(Pcm{44100, 1, std::vector<float>(44100, 0.0f)}, 1, 16));
    sys.AddFile("C:\\Music\\text.mp3", "no audio");
    // A line of another version or hand-edited: kept as it is.
    const std::string damaged = "12 zz 1.0 \x82\xA0 broken";
    sys.AddFile(data.LoudnessCache(), "QUAVERIX loudness 1\r\n" + damaged + "\r\n");
    struct Step {
        const char* what;
        const char* path;
        int decodes;  // decodes the step adds
        apply::MeasureStatus status;
    };
    const Step steps[] = {
        {"first", "C:\\Music\\a.wav", 1, apply::MeasureStatus::Measured},
        {"again", "C:\\Music\\a.wav", 0, apply::MeasureStatus::Measured},
        {"silent", "C:\\Music\\quiet.wav", 1, apply::MeasureStatus::TooQuiet},
        {"silent again", "C:\\Music\\quiet.wav", 0, apply::MeasureStatus::TooQuiet},
        {"not audio: nothing to keep", "C:\\Music\\text.mp3", 0, apply::MeasureStatus::NotAudio},
    };
    double first = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        apply::LoudnessCache cache(sys, data.LoudnessCache());  // read anew each time
        const int before = sys.decodeCalls;
        const apply::Measurement m = apply::MeasureCached(sys, cache, s.path);
        EXPECT_EQ(m.status, s.status);
        EXPECT_EQ(sys.decodeCalls - before, s.decodes);
        if (std::string(s.what) == "first") first = m.lufs;
        if (std::string(s.what) == "again") {
            EXPECT_NEAR(m.lufs, first, 0.001);
        }
    }
    // The file changed: its new content is measured, about 9.5 dB louder.
    sys.AddFile("C:\\Music\\a.wav", b);
    apply::LoudnessCache cache(sys, data.LoudnessCache());
    const int before = sys.decodeCalls;
    const apply::Measurement m = apply::MeasureCached(sys, cache, "C:\\Music\\a.wav");
    EXPECT_EQ(sys.decodeCalls - before, 1);
    EXPECT_NEAR(m.lufs - first, 20 * std::log10(3.0), 0.1);
    const std::string text = sys.Data(data.LoudnessCache());
    EXPECT_EQ(text.rfind("QUAVERIX loudness 1\r\n" + damaged + "\r\n", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;  // header, damaged, 3
}

// A window that answers every box with OK and keeps the texts.
struct Boxes : apply::Window {
    sys::System& system;
    std::vector<std::string> texts;
    explicit Boxes(sys::System& s) : system(s) {}
    void Progress(const std::string&) override {}
    void EndProgress() override {}
    sys::BoxResult Box(sys::BoxKind, const std::string& text) override {
        texts.push_back(text);
        return sys::BoxResult::Ok;
    }
    bool CopyOne(const std::string& from, const std::string& to, sys::FileError* why) override {
        return system.CopyFileTo(from, to, false, why);
    }
};

// The copy at the game track's level in the orders of runs a player can reach: matched
// and plain copies, a game patch, a batch file run by hand, keeping on and off, 元に戻す.
// Levels are heard by ffmpeg's decoding and libebur128; the player's file never changes.
TEST_F(MeasureFiles, CopyMatchesTheGameTrackInEveryOrderOfRuns) {
    // The game's track about -20 LUFS, a patch 6 dB under it, the player's 9.5 dB over it.
    for (const auto& [name, gain] : {std::pair{"game", 0.1}, {"patch", 0.05}, {"loud", 0.3}})
        Write(std::string(name) + ".wav", Wave(Signal(44100, 2, 6, gain), 1, 16));
    ASSERT_EQ(
        Shell("for f in game patch loud; do lame --quiet -b 128 $f.wav $f.mp3 || exit 1; done"), 0);
    const std::string game = Bytes("game.mp3"), patch = Bytes("patch.mp3"),
                      loud = Bytes("loud.mp3");
    auto heard = [&](const std::string& bytes) {
        Write("x.mp3", bytes);
        EXPECT_EQ(Shell("ffmpeg -nostdin -v error -y -i x.mp3 -c:a pcm_f32le x.wav"), 0);
        return Reference(ReadFloatWave(Bytes("x.wav")));
    };
    const double gameLevel = heard(game), patchLevel = heard(patch);
    enum Op { Copy, CopyAsIs, Patch, Batch, Restore };
    enum Want { AtGame, AtPatch, Loud, LoudTold, GameBytes, PatchBytes };
    struct Row {
        const char* what;
        bool keep;
        std::vector<std::pair<Op, Want>> steps;
    };
    const Row rows[] = {
        {"matched twice, then restored",
         true,
         {{Copy, AtGame}, {Copy, AtGame}, {Restore, GameBytes}}},
        {"as it is, then matched", true, {{CopyAsIs, Loud}, {Copy, AtGame}, {Restore, GameBytes}}},
        {"a patch between two copies",
         true,
         {{Copy, AtGame}, {Patch, PatchBytes}, {Copy, AtPatch}, {Restore, PatchBytes}}},
        {"a batch first: the game's track is not known", true, {{Batch, Loud}, {Copy, LoudTold}}},
        {"a batch between two copies",
         true,
         {{Copy, AtGame}, {Batch, Loud}, {Copy, AtGame}, {Restore, GameBytes}}},
        {"keeping off: matched twice", false, {{Copy, AtGame}, {Copy, AtGame}}},
        {"keeping off: a patch between",
         false,
         {{Copy, AtGame}, {Patch, PatchBytes}, {Copy, AtPatch}}},
    };
    const std::string dest = "C:\\bgm\\01.mp3", tune = "C:\\Music\\loud.mp3";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sys::FakeSystem fs;
        fs.AddFolder("C:\\Music");
        fs.AddFolder("C:\\bgm");
        fs.AddFolder("C:\\Data");
        fs.AddFile(tune, loud);
        fs.AddFile(dest, game);
        const settings::DataFolder data("C:\\Data\\");
        const apply::Assignment slots = apply::Assign({"01.mp3=" + tune});
        for (const auto& [op, want] : row.steps) {
            SCOPED_TRACE(static_cast<int>(op));
            originals::Store store(fs, data.Originals());
            apply::Record record(fs, data.Record());
            apply::LoudnessCache cache(fs, data.LoudnessCache());
            const apply::Preparing matching{&cache, data.MatchingFolder(), data.ConvertedFolder()};
            Boxes window(fs);
            switch (op) {
                case Copy:
                case CopyAsIs:
                    apply::CopyRun(fs, store, record, window, slots, "C:\\bgm", row.keep,
                                   op == Copy ? &matching : nullptr);
                    break;
                case Patch: fs.AddFile(dest, patch); break;
                case Batch:
                    apply::AfterBatch(fs, apply::MakeBatch(slots, "C:\\bgm", false), store, record,
                                      "C:\\bgm", row.keep);
                    fs.AddFile(dest, loud);  // as cmd runs it
                    break;
                case Restore: apply::RestoreRun(fs, store, record, window, "C:\\bgm"); break;
            }
            const std::string now = fs.Data(dest);
            EXPECT_TRUE(fs.Data(tune) == loud) << "the player's file changed";
            EXPECT_TRUE(fs.ListFolder("C:\\Data\\matching").entries.empty());
            const bool told =
                !window.texts.empty() &&
                window.texts.back().find("音量を合わせられなかった") != std::string::npos;
            EXPECT_EQ(told, want == LoudTold) << (window.texts.empty() ? "" : window.texts.back());
            switch (want) {
                case AtGame:
                case AtPatch:
                    EXPECT_EQ(now.size(), loud.size());
                    EXPECT_FALSE(now == loud);
                    EXPECT_NEAR(heard(now), want == AtGame ? gameLevel : patchLevel, 1.0);
                    break;
                case Loud:
                case LoudTold: EXPECT_TRUE(now == loud); break;
                case GameBytes: EXPECT_TRUE(now == game); break;
                case PatchBytes: EXPECT_TRUE(now == patch); break;
            }
        }
    }
}

// One run over slots of every kind: what cannot be matched is copied as it is and named
// once, after the run; the ".wav" slot is never changed nor named; a slot the player's
// rights cannot write gets the adjusted bytes through the administrator run.
TEST_F(MeasureFiles, CopyNamesWhatItCouldNotMatch) {
    Write("game.wav", Wave(Signal(44100, 2, 4, 0.1), 1, 16));
    Write("loud.wav", Wave(Signal(44100, 2, 4, 0.3), 1, 16));
    Write("silent.wav", Wave(Pcm{44100, 2, std::vector<float>(4 * 88200, 0.0f)}, 1, 16));
    ASSERT_EQ(
        Shell("for f in game loud silent; do lame --quiet -b 128 $f.wav $f.mp3 || exit 1; done"),
        0);
    const std::string game = Bytes("game.mp3"), loud = Bytes("loud.mp3"), wave = Bytes("loud.wav");
    sys.AddFolder("C:\\bgm");
    sys.AddFile("C:\\Music\\loud.mp3", loud);
    sys.AddFile("C:\\Music\\silent.mp3", Bytes("silent.mp3"));
    sys.AddFile("C:\\Music\\song.wav", wave);
    // Quiet with loud clicks: raised to the game's level it would clip.
    Pcm peaky{44100, 2, std::vector<float>(4 * 88200, 0.0f)};
    for (std::size_t i = 0; i < peaky.samples.size(); ++i)
        peaky.samples[i] = i % 8820 < 2 ? 0.95f : (i * 7919 % 201) / 20000.0f - 0.005f;
    sys.AddFile("C:\\Music\\peaky.wav", Wave(peaky, 1, 16));
    for (const char* slot : {"01.mp3", "05.mp3", "08.mp3", "09.mp3", "10.mp3", "Msg_NewMsg.wav"})
        sys.AddFile(std::string("C:\\bgm\\") + slot,
                    slot == std::string("Msg_NewMsg.wav") ? wave : game);
    sys.needsRights.push_back("C:\\bgm\\09.mp3");
    const settings::DataFolder data("C:\\Data\\");
    originals::Store store(sys, data.Originals());
    apply::Record record(sys, data.Record());
    apply::LoudnessCache cache(sys, data.LoudnessCache());
    const apply::Preparing matching{&cache, data.MatchingFolder(), data.ConvertedFolder()};
    Boxes window(sys);
    apply::CopyRun(sys, store, record, window,
                   apply::Assign({"01.mp3=C:\\Music\\loud.mp3", "03.mp3=C:\\Music\\loud.mp3",
                                  "05.mp3=C:\\Music\\song.wav", "08.mp3=C:\\Music\\silent.mp3",
                                  "09.mp3=C:\\Music\\loud.mp3", "10.mp3=C:\\Music\\peaky.wav",
                                  "Msg_NewMsg.wav=C:\\Music\\song.wav"}),
                   "C:\\bgm", true, &matching);
    ASSERT_FALSE(window.texts.empty());
    EXPECT_EQ(window.texts.back(),
              "音量を合わせられなかったファイルがあります。\r\n"
              "03.mp3: ゲームの元の曲が分からないので、そのままコピーしました\r\n"
              "08.mp3: 音量を測れないので、そのままコピーしました "
              "(音が小さすぎるか短すぎて測れません)");
    const std::string matched = sys.Data("C:\\bgm\\01.mp3");
    EXPECT_FALSE(matched == loud);
    EXPECT_TRUE(sys.Data("C:\\bgm\\03.mp3") == loud);
    // The WAVE for an ".mp3" slot goes in as an MP3, its PCM brought to the game track's
    // level before encoding (as ffmpeg decodes it and libebur128 hears it), its decoded
    // peak at most +0.1 dBFS.
    EXPECT_EQ(audio::Inspect(sys.Data("C:\\bgm\\05.mp3")).kind, audio::Kind::Mp3);
    for (const auto& [name, bytes] : {std::pair{"game", game},
                                      {"05", sys.Data("C:\\bgm\\05.mp3")},
                                      {"10", sys.Data("C:\\bgm\\10.mp3")}}) {
        Write(std::string(name) + ".mp3", bytes);
        ASSERT_EQ(Shell(std::string("ffmpeg -nostdin -v error -y -i ") + name +
                        ".mp3 -c:a pcm_f32le " + name + "-heard.wav"),
                  0);
    }
    const Pcm heard = ReadFloatWave(Bytes("05-heard.wav"));
    EXPECT_NEAR(Reference(heard), Reference(ReadFloatWave(Bytes("game-heard.wav"))), 0.5);
    for (const char* name : {"05-heard.wav", "10-heard.wav"}) {
        float peak = 0;
        for (float v : ReadFloatWave(Bytes(name)).samples) peak = std::max(peak, std::fabs(v));
        EXPECT_LE(peak, 1.0116f) << name;
        if (name[0] == '1') EXPECT_GT(peak, 0.8f) << "held back by its peak, not lowered";
    }
    EXPECT_TRUE(sys.Data("C:\\bgm\\08.mp3") == Bytes("silent.mp3"));
    EXPECT_TRUE(sys.Data("C:\\bgm\\09.mp3") == matched) << "the administrator run's copy";
    EXPECT_TRUE(sys.Data("C:\\bgm\\Msg_NewMsg.wav") == wave);
    EXPECT_TRUE(sys.ListFolder("C:\\Data\\matching").entries.empty());
}

}  // namespace

namespace {

// Every kind a player may have, copied into the slot that cannot play it: what lands in
// the game's folder decodes (by ffmpeg) in the slot's format, as long as the song (within
// 50 ms) and as loud (within 0.5 LU), or as loud as the game's track with matching on;
// the player's file stays as it was.
TEST_F(MeasureFiles, EveryKindGoesInConvertedAtItsLengthAndLoudness) {
    Write("in.wav", Wave(Signal(44100, 2, 6), 1, 16));
    Write("g.wav", Wave(Signal(44100, 2, 6, 0.04), 1, 16));
    ASSERT_EQ(Shell("lame --quiet -b 128 g.wav game.mp3 && ffmpeg -nostdin -v error -y -i g.wav "
                    "-ar 22050 -ac 1 game.wav"),
              0);
    struct Case {
        const char* name;
        const char* encode;  // in.wav to the file named next ("" for in.wav itself)
        const char* slot;
        bool matching;
        const char* format;  // as ffprobe reads what was copied
    };
#define QX_FFMPEG "ffmpeg -nostdin -v error -y -i in.wav "
    const Case cases[] = {
        {"aac.m4a", QX_FFMPEG "-c:a aac -b:a 160k", "01.mp3", false, "mp3,44100,2,192000"},
        {"alac.m4a", QX_FFMPEG "-ar 32000 -ac 1 -c:a alac", "01.mp3", false, "mp3,44100,2,192000"},
        {"a.flac", QX_FFMPEG "-c:a flac", "01.mp3", true, "mp3,44100,2,192000"},
        {"a.ogg", QX_FFMPEG "-c:a libvorbis", "01.mp3", false, "mp3,44100,2,192000"},
        {"a.opus", QX_FFMPEG "-c:a libopus", "01.mp3", true, "mp3,44100,2,192000"},
        {"in.wav", "", "01.mp3", false, "mp3,44100,2,192000"},
        {"a.mp3", "lame --quiet -b 160 in.wav", "Msg_NewMsg.wav", false,
         "pcm_s16le,22050,1,352800"},
    };
#undef QX_FFMPEG
    auto heard = [&](const std::string& file, const std::string& as) {
        EXPECT_EQ(Shell("ffmpeg -nostdin -v error -y -i " + file + " -c:a pcm_f32le " + as), 0);
        return ReadFloatWave(Bytes(as));
    };
    const double gameLevel = Reference(heard("game.mp3", "game-heard.wav"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (*c.encode) ASSERT_EQ(Shell(std::string(c.encode) + " " + c.name), 0);
        const Pcm song = heard(c.name, "song-heard.wav");
        const std::string source = std::string("C:\\Music\\") + c.name,
                          target = std::string("C:\\bgm\\") + c.slot;
        sys.AddFolder("C:\\bgm");
        sys.AddFile(source, Bytes(c.name));
        sys.AddFile("C:\\bgm\\01.mp3", Bytes("game.mp3"));
        sys.AddFile("C:\\bgm\\Msg_NewMsg.wav", Bytes("game.wav"));
        const settings::DataFolder data("C:\\Data\\");
        originals::Store store(sys, data.Originals());
        apply::Record record(sys, data.Record());
        apply::LoudnessCache cache(sys, data.LoudnessCache());
        const apply::Preparing preparing{c.matching ? &cache : nullptr, data.MatchingFolder(),
                                         data.ConvertedFolder()};
        Boxes window(sys);
        apply::CopyRun(sys, store, record, window,
                       apply::Assign({std::string(c.slot) + "=" + source}), "C:\\bgm", true,
                       &preparing);
        EXPECT_EQ(window.texts.size(), 1u) << window.texts.back();  // the per-file box only
        Write("out", sys.Data(target));
        ASSERT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,"
                        "bit_rate -of csv=p=0 out > probe.txt"),
                  0);
        EXPECT_EQ(Bytes("probe.txt"), std::string(c.format) + "\n");
        const Pcm out = heard("out", "out-heard.wav");
        EXPECT_NEAR(static_cast<double>(out.samples.size()) / out.channels / out.rate,
                    static_cast<double>(song.samples.size()) / song.channels / song.rate, 0.05);
        EXPECT_NEAR(Reference(out), c.matching ? gameLevel : Reference(song), 0.5);
        EXPECT_TRUE(sys.Data(source) == Bytes(c.name));
    }
}

}  // namespace
