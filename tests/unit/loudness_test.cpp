// The loudness meter against libebur128 (and ffmpeg's ebur128 filter) on generated
// signals; the lossless gain change on MP3s that lame makes during the test, decoded by
// libmpg123, checked by ffmpeg's CRC check and by ffprobe's frame positions; our LAME
// encoder's files as ffprobe and ffmpeg read them.
#include <ebur128.h>
#include <gtest/gtest.h>

#include "support/Scratch.h"
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "audio/Loudness.h"
#include "audio/Mp3Encoder.h"
#include "audio/Mp3Gain.h"
#include "fake/FakeSystem.h"

namespace {

struct Pcm {
    int rate = 0, channels = 0;
    std::vector<float> samples;  // interleaved
    std::size_t Frames() const { return samples.size() / static_cast<std::size_t>(channels); }
};

// Deterministic white noise in [-1, 1).
struct Noise {
    std::uint32_t state = 12345;
    float operator()() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
    }
};

float Db(double db) { return static_cast<float>(std::pow(10.0, db / 20.0)); }

// Pieces of a signal, one after another: a sine (Hz) or noise (hz 0) at a peak level
// in dBFS, or silence (level below -200), for some seconds.
struct Piece {
    double hz, dbfs, seconds;
};

Pcm Make(int rate, int channels, std::initializer_list<Piece> pieces) {
    Pcm p{rate, channels, {}};
    Noise noise;
    std::size_t t = 0;
    for (const Piece& piece : pieces) {
        const std::size_t n = static_cast<std::size_t>(piece.seconds * rate);
        const float a = piece.dbfs < -200 ? 0.0f : Db(piece.dbfs);
        for (std::size_t i = 0; i < n; ++i, ++t)
            for (int c = 0; c < channels; ++c) {
                const double phase = 2 * M_PI * piece.hz * static_cast<double>(t) / rate + c;
                p.samples.push_back(piece.hz > 0 ? a * static_cast<float>(std::sin(phase))
                                                 : a * noise());
            }
    }
    return p;
}

struct Measured {
    double lufs;  // -HUGE_VAL when there is none
    double peak;
};

// libebur128's measure, mono as dual mono.
Measured Reference(const Pcm& p, bool asShort = false) {
    ebur128_state* st =
        ebur128_init(static_cast<unsigned>(p.channels), static_cast<unsigned long>(p.rate),
                     EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
    if (p.channels == 1) ebur128_set_channel(st, 0, EBUR128_DUAL_MONO);
    if (asShort) {
        std::vector<short> s;
        for (float v : p.samples) s.push_back(static_cast<short>(std::lround(v * 32767.0f)));
        ebur128_add_frames_short(st, s.data(), p.Frames());
    } else {
        ebur128_add_frames_float(st, p.samples.data(), p.Frames());
    }
    Measured m{};
    ebur128_loudness_global(st, &m.lufs);
    for (int c = 0; c < p.channels; ++c) {
        double peak = 0;
        ebur128_sample_peak(st, static_cast<unsigned>(c), &peak);
        m.peak = std::max(m.peak, peak);
    }
    ebur128_destroy(&st);
    return m;
}

Measured Ours(const Pcm& p, std::size_t piece = 4096, bool asShort = false) {
    audio::LoudnessMeter meter;
    std::vector<std::int16_t> s;
    if (asShort)
        for (float v : p.samples) s.push_back(static_cast<std::int16_t>(std::lround(v * 32767.0f)));
    for (std::size_t at = 0; at < p.Frames(); at += piece) {
        const std::size_t n = std::min(piece, p.Frames() - at);
        const std::size_t i = at * static_cast<std::size_t>(p.channels);
        EXPECT_TRUE(asShort ? meter.Add(s.data() + i, n, p.channels, p.rate)
                            : meter.Add(p.samples.data() + i, n, p.channels, p.rate));
    }
    const audio::LoudnessResult r = meter.Finish();
    EXPECT_EQ(r.frames, p.Frames());
    return {r.lufs ? *r.lufs : -HUGE_VAL, r.peak};
}

TEST(Loudness, KWeightingAt48kHzIsTheStandardsTable) {
    const audio::KWeighting k = audio::KWeightingFor(48000);
    const double want[10] = {1.53512485958697,
                             -2.69169618940638,
                             1.19839281085285,
                             -1.69065929318241,
                             0.73248077421585,
                             1,
                             -2,
                             1,
                             -1.99004745483398,
                             0.99007225036621};
    const double got[10] = {k.shelf.b0,    k.shelf.b1,    k.shelf.b2,    k.shelf.a1,
                            k.shelf.a2,    k.highPass.b0, k.highPass.b1, k.highPass.b2,
                            k.highPass.a1, k.highPass.a2};
    for (int i = 0; i < 10; ++i) EXPECT_NEAR(got[i], want[i], 1e-10) << i;
}

TEST(Loudness, AgreesWithLibebur128) {
    struct Case {
        const char* what;
        Pcm pcm;
        double lufs;  // the known answer where there is one (NAN: none), else libebur128's
    };
    const double kSilence = -999;
    // clang-format off
    const Case cases[] = {
        // A 997 Hz sine at -23 dBFS in both channels of stereo reads -23.0 LUFS (EBU 3341).
        {"sine -23 dBFS stereo 48k", Make(48000, 2, {{997, -23, 20}}), -23.0},
        {"sine -23 dBFS stereo 44.1k", Make(44100, 2, {{997, -23, 20}}), -23.0},
        {"sine -23 dBFS stereo 32k", Make(32000, 2, {{997, -23, 20}}), -23.0},
        // Dual mono: the same sine in one channel reads as in two.
        {"sine -23 dBFS mono 48k", Make(48000, 1, {{997, -23, 20}}), -23.0},
        {"sine -23 dBFS mono 44.1k", Make(44100, 1, {{997, -23, 20}}), -23.0},
        {"sine 100 Hz -10 dBFS mono 32k", Make(32000, 1, {{100, -10, 10}}), NAN},
        {"sine 8 kHz -30 dBFS stereo 44.1k", Make(44100, 2, {{8000, -30, 10}}), NAN},
        {"noise -6 dBFS stereo 48k", Make(48000, 2, {{0, -6, 10}}), NAN},
        {"noise -20 dBFS mono 44.1k", Make(44100, 1, {{0, -20, 10}}), NAN},
        {"noise -3 dBFS stereo 32k", Make(32000, 2, {{0, -3, 10}}), NAN},
        {"noise 22.05k mono", Make(22050, 1, {{0, -12, 5}}), NAN},
        {"noise 11.025k stereo (a 100 ms hop of 1102.5 frames)", Make(11025, 2, {{0, -12, 5}}), NAN},
        // Gates: silence counts for nothing, whatever its share.
        {"silence, 0.5 s burst, silence 48k", Make(48000, 2, {{0, -300, 10}, {1000, -20, 0.5}, {0, -300, 10}}), NAN},
        {"silence, 1 s noise burst mono 44.1k", Make(44100, 1, {{0, -300, 5}, {0, -15, 1}, {0, -300, 5}}), NAN},
        // The relative gate: a long quiet bed 30 dB under a short loud part.
        {"quiet bed, loud part 44.1k", Make(44100, 2, {{440, -50, 12}, {440, -20, 3}}), NAN},
        {"quiet bed, loud part mono 32k", Make(32000, 1, {{0, -45, 12}, {0, -15, 3}}), NAN},
        // Under -70 LUFS: no block passes; under 0.4 s: no block at all.
        {"sine at -80 dBFS", Make(48000, 2, {{1000, -80, 5}}), kSilence},
        {"silence", Make(44100, 1, {{0, -300, 3}}), kSilence},
        {"0.39 s of noise", Make(48000, 2, {{0, -10, 0.39}}), kSilence},
        {"0.41 s of noise", Make(48000, 2, {{0, -10, 0.41}}), NAN},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Measured ref = Reference(c.pcm);
        for (std::size_t piece : {std::size_t{1} << 20, std::size_t{4096}, std::size_t{333}}) {
            const Measured ours = Ours(c.pcm, piece);
            if (c.lufs == kSilence) {
                EXPECT_EQ(ref.lufs, -HUGE_VAL);
                EXPECT_EQ(ours.lufs, -HUGE_VAL);
            } else {
                if (!std::isnan(c.lufs)) {
                    EXPECT_NEAR(ours.lufs, c.lufs, 0.05);
                }
                EXPECT_NEAR(ours.lufs, ref.lufs, 0.1);
                // In fact far closer: the same sums in another order.
                EXPECT_NEAR(ours.lufs, ref.lufs, 0.001);
            }
            EXPECT_DOUBLE_EQ(ours.peak, ref.peak);
        }
        // 16-bit samples read as libebur128 reads them.
        if (c.lufs != kSilence) {
            EXPECT_NEAR(Ours(c.pcm, 4096, true).lufs, Reference(c.pcm, true).lufs, 0.001);
        }
    }
}

TEST(Loudness, RefusesWhatItCannotMeasure) {
    struct Case {
        int channels, rate;
        bool taken;
    };
    const Case cases[] = {{0, 44100, false},  {9, 44100, false},  {2, 7999, false},
                          {2, 384001, false}, {-1, 48000, false}, {1, 8000, true},
                          {8, 384000, true},  {2, 44100, true}};
    for (const Case& c : cases) {
        audio::LoudnessMeter m;
        const float s[8] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
        EXPECT_EQ(m.Add(s, 1, c.channels, c.rate), c.taken) << c.channels << " " << c.rate;
        EXPECT_EQ(m.Finish().frames, c.taken ? 1u : 0u);
    }
}

TEST(Loudness, AFormatChangeKeepsTheBlocksMeasured) {
    // 5 s at 44.1 kHz then 5 s at 48 kHz of the same level read as one 10 s stream.
    const Pcm a = Make(44100, 2, {{997, -23, 5}}), b = Make(48000, 2, {{997, -23, 5}});
    audio::LoudnessMeter m;
    EXPECT_TRUE(m.Add(a.samples.data(), a.Frames(), 2, 44100));
    EXPECT_TRUE(m.Add(b.samples.data(), b.Frames(), 2, 48000));
    const audio::LoudnessResult r = m.Finish();
    ASSERT_TRUE(r.lufs);
    EXPECT_NEAR(*r.lufs, -23.0, 0.05);
    EXPECT_EQ(r.frames, a.Frames() + b.Frames());
}

// ---- Files made during the test ------------------------------------------------------

class LoudnessFiles : public qxtest::Scratch {
protected:
    // "sig RATE LAYOUT SECONDS FILE.wav" writes pink noise under a 440 Hz tone, about
    // -20 dBFS; "loud ..." the same near full scale.
    void Run(const std::vector<std::string>& lines) {
        RunLines(
            "sig() { ffmpeg -nostdin -v error -y -f lavfi -i \"anoisesrc=color=pink:"
            "amplitude=0.08:sample_rate=$1:duration=$3\" -f lavfi -i "
            "\"sine=frequency=440:sample_rate=$1:duration=$3\" -filter_complex "
            "\"[1]volume=0.05[s];[0][s]amix=normalize=0,aformat=channel_layouts=$2\" $4; }\n"
            "loud() { ffmpeg -nostdin -v error -y -f lavfi -i \"sine=frequency=440:"
            "sample_rate=$1:duration=$3,volume=7.5,aformat=channel_layouts=$2\" $4; }\n",
            lines);
    }

    // What a shell line prints.
    std::string Output(const std::string& line) const {
        std::string out;
        std::unique_ptr<FILE, int (*)(FILE*)> p(popen(line.c_str(), "r"), pclose);
        char buf[4096];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, p.get())) out.append(buf, n);
        return out;
    }

    // Each frame's position in the file as ffmpeg's demuxer finds them (it leaves out
    // the Xing/Info frame).
    std::vector<std::size_t> FramePositions(const std::string& name) const {
        std::istringstream in(
            Output("ffprobe -v error -select_streams a -show_entries packet=pos "
                   "-of csv=p=0 '" +
                   Path(name) + "'"));
        std::vector<std::size_t> pos;
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) pos.push_back(std::stoul(line));
        return pos;
    }

    // The whole file decoded to float (no clipping) by the fake system's libmpg123.
    Pcm Decode(const std::string& name) const {
        sys::FakeSystem fs;
        fs.AddFile("C:\\x.mp3", Bytes(name));
        Pcm p;
        EXPECT_TRUE(
            fs.DecodeAudio("C:\\x.mp3",
                           [&](const float* pcm, std::size_t frames, int channels, int rate) {
                               p.rate = rate;
                               p.channels = channels;
                               p.samples.insert(p.samples.end(), pcm, pcm + frames * channels);
                               return true;
                           }))
            << "libmpg123 cannot decode " << name;
        return p;
    }
};

// Where a frame's gain fields are (bits from the start of its side information), read
// the test's own way: from the table of the Layer III side information.
struct Fields {
    std::size_t side = 0, sideBytes = 0;  // where the side information starts, its length
    std::vector<std::size_t> bits;
};

Fields FieldsOf(const std::string& f, std::size_t pos) {
    const unsigned b1 = static_cast<unsigned char>(f[pos + 1]);
    const unsigned b3 = static_cast<unsigned char>(f[pos + 3]);
    const bool mpeg1 = ((b1 >> 3) & 3) == 3, mono = (b3 >> 6) == 3, crc = !(b1 & 1);
    const int ch = mono ? 1 : 2, granules = mpeg1 ? 2 : 1;
    Fields out;
    out.side = pos + 4 + (crc ? 2 : 0);
    out.sideBytes = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const std::size_t first = mpeg1 ? (mono ? 18 : 20) : (mono ? 9 : 10);
    for (int e = 0; e < granules * ch; ++e)
        out.bits.push_back(first + static_cast<std::size_t>(e) * (mpeg1 ? 59 : 63) + 21);
    return out;
}

int Gain(const std::string& f, const Fields& at, std::size_t bit) {
    int v = 0;
    for (std::size_t i = bit; i < bit + 8; ++i)
        v = v << 1 | ((static_cast<unsigned char>(f[at.side + i / 8]) >> (7 - i % 8)) & 1);
    return v;
}

int Moved(int old, int steps) { return old == 0 ? 0 : std::clamp(old + steps, 0, 255); }

// The file with every gain field's bits and each protected frame's CRC set to zero.
std::string WithoutFields(std::string f, const std::vector<std::size_t>& frames) {
    for (std::size_t pos : frames) {
        const Fields at = FieldsOf(f, pos);
        if (at.side == pos + 6) f[pos + 4] = f[pos + 5] = 0;
        for (std::size_t bit : at.bits)
            for (std::size_t i = bit; i < bit + 8; ++i)
                f[at.side + i / 8] = static_cast<char>(f[at.side + i / 8] & ~(0x80 >> (i % 8)));
    }
    return f;
}

TEST_F(LoudnessFiles, GainChangeOnLameFiles) {
    struct Case {
        const char* make;  // its last word is the MP3 it makes
        int steps;
        bool info;  // lame's Info/Xing frame in it (none in a frame too small for it)
        bool crc;
    };
    // clang-format off
    const Case cases[] = {
        {"sig 44100 stereo 4 a.wav && lame --quiet -b 128 --add-id3v2 --tt Tone a.wav cbr.mp3", -4, true, false},
        {"sig 44100 stereo 4 b.wav && lame --quiet -V 2 --tt Vbr --ty 2024 b.wav vbr.mp3", 3, true, false},
        {"sig 48000 stereo 4 c.wav && lame --quiet -p -b 192 c.wav crc.mp3", -3, true, true},
        {"sig 32000 stereo 4 d.wav && lame --quiet -p -m s -V 4 --add-id3v2 --tt S d.wav crcvbr.mp3", 2, true, true},
        {"sig 44100 mono 4 e.wav && lame --quiet -m m -b 96 -t e.wav mono.mp3", -2, false, false},
        {"sig 48000 mono 4 f.wav && lame --quiet -p -m m -b 64 f.wav crcmono.mp3", 5, true, true},
        {"sig 22050 mono 4 g.wav && lame --quiet -b 64 g.wav mpeg2.mp3", -5, true, false},
        {"sig 22050 stereo 4 h.wav && lame --quiet -p -V 3 h.wav mpeg2crc.mp3", 4, true, true},
        {"sig 24000 stereo 4 i.wav && lame --quiet -m s -b 96 i.wav mpeg2s.mp3", 1, true, false},
        {"sig 16000 mono 4 j.wav && lame --quiet -p -b 32 -t j.wav mpeg2mono.mp3", -1, false, true},
        {"sig 11025 mono 4 k.wav && lame --quiet -b 32 k.wav mpeg25.mp3", -6, true, false},
        {"sig 11025 stereo 4 l.wav && lame --quiet -p -V 5 l.wav mpeg25crc.mp3", 2, true, true},
        {"sig 8000 mono 4 m.wav && lame --quiet -p -b 16 --add-id3v2 --tt M m.wav mpeg25mono.mp3", 3, false, true},
        {"sig 12000 stereo 4 n.wav && lame --quiet -b 48 n.wav mpeg25s.mp3", -2, true, false},
    };
    // clang-format on
    std::vector<std::string> lines;
    for (const Case& c : cases) lines.push_back(c.make);
    Run(lines);
    for (const Case& c : cases) {
        const std::string name = std::strrchr(c.make, ' ') + 1;
        SCOPED_TRACE(name);
        const std::string before = Bytes(name);
        const std::vector<std::size_t> frames = FramePositions(name);
        ASSERT_GT(frames.size(), 20u);
        std::string after = before;
        const audio::Mp3GainReport r = audio::ChangeMp3Gain(after, c.steps);
        ASSERT_EQ(after.size(), before.size());
        EXPECT_EQ(r.frames, frames.size());
        EXPECT_EQ(r.infoFrame, c.info);
        EXPECT_FALSE(r.freeFormat);
        EXPECT_EQ(r.crcFrames, c.crc ? frames.size() : 0u);
        const std::string out = "out-" + name;
        Write(out, after);

        // Each field moved by the steps, and nothing else but the CRCs. (lame writes
        // 255 now and then: such a field is clamped when raised.)
        std::size_t fields = 0, clamped = 0;
        for (std::size_t pos : frames) {
            const Fields at = FieldsOf(before, pos);
            for (std::size_t bit : at.bits) {
                const int old = Gain(before, at, bit);
                EXPECT_EQ(Gain(after, at, bit), Moved(old, c.steps));
                clamped += old != 0 && (old + c.steps > 255 || old + c.steps <= 0);
                ++fields;
            }
        }
        EXPECT_EQ(r.fields, fields);
        EXPECT_EQ(r.clamped, clamped);
        EXPECT_LE(clamped, 2u);
        EXPECT_TRUE(WithoutFields(after, frames) == WithoutFields(before, frames));
        EXPECT_EQ(FramePositions(out), frames);
        EXPECT_EQ(Output("ffmpeg -nostdin -v error -err_detect crccheck -i '" + Path(out) +
                         "' -f null - 2>&1"),
                  "");

        // Louder or quieter by the steps, decoded.
        const Pcm a = Decode(name), b = Decode(out);
        ASSERT_EQ(a.samples.size(), b.samples.size());
        const Measured la = Ours(a), lb = Ours(b);
        EXPECT_NEAR(lb.lufs - la.lufs, c.steps * audio::kGainStepDb, 0.05);
        EXPECT_NEAR(Reference(b).lufs - Reference(a).lufs, c.steps * audio::kGainStepDb, 0.05);
        EXPECT_NEAR(20 * std::log10(lb.peak / la.peak), c.steps * audio::kGainStepDb, 0.05);

        // The same steps back give the file back, unless a field was clamped.
        audio::ChangeMp3Gain(after, -c.steps);
        EXPECT_EQ(after == before, clamped == 0);
    }
}

TEST_F(LoudnessFiles, ProtectedFramesKeepTheirCrcRightOrWrong) {
    // The check can fail: a frame whose side information changed without its CRC is
    // reported; a CRC that was wrong before stays as wrong after.
    Run({"sig 44100 stereo 2 a.wav && lame --quiet -p -b 128 a.wav crc.mp3"});
    const std::string before = Bytes("crc.mp3");
    const std::vector<std::size_t> frames = FramePositions("crc.mp3");
    ASSERT_GT(frames.size(), 10u);
    std::string broken = before;
    broken[frames[5] + 4] = static_cast<char>(broken[frames[5] + 4] ^ 0x5A);
    Write("broken.mp3", broken);
    const std::string check = "ffmpeg -nostdin -v error -err_detect crccheck -i '";
    EXPECT_NE(Output(check + Path("broken.mp3") + "' -f null - 2>&1"), "");
    std::string moved = broken;
    audio::ChangeMp3Gain(moved, 3);
    Write("moved.mp3", moved);
    // Its lines less the decoder's address: "[mp3float @ 0x...] CRC mismatch C804!".
    auto errors = [&](const char* name) {
        std::string text = Output(check + Path(name) + "' -f null - 2>&1"), out;
        for (std::size_t at = 0; (at = text.find(']', at)) != std::string::npos; ++at)
            out += text.substr(at, text.find('\n', at) - at) + "\n";
        return out;
    };
    EXPECT_NE(errors("moved.mp3"), "");
    EXPECT_EQ(errors("moved.mp3"), errors("broken.mp3"));
}

TEST_F(LoudnessFiles, ClampingAndThePeakRule) {
    Run({"sig 44100 stereo 3 a.wav && lame --quiet -b 160 a.wav quiet.mp3",
         "loud 44100 stereo 3 b.wav && lame --quiet -b 160 b.wav loud.mp3",
         "sig 22050 mono 3 c.wav && lame --quiet -p -b 48 c.wav mono.mp3"});
    for (const char* name : {"quiet.mp3", "mono.mp3"}) {
        SCOPED_TRACE(name);
        const std::string before = Bytes(name);
        const std::vector<std::size_t> frames = FramePositions(name);
        for (int steps : {120, -200, 255, -255, 1000}) {
            std::string after = before;
            const audio::Mp3GainReport r = audio::ChangeMp3Gain(after, steps);
            std::uint64_t clamped = 0;
            for (std::size_t pos : frames) {
                const Fields at = FieldsOf(before, pos);
                for (std::size_t bit : at.bits) {
                    const int old = Gain(before, at, bit),
                              clampedSteps = std::clamp(steps, -255, 255);
                    EXPECT_EQ(Gain(after, at, bit), Moved(old, clampedSteps));
                    clamped += old != 0 && (old + clampedSteps > 255 || old + clampedSteps <= 0);
                }
            }
            EXPECT_EQ(r.clamped, clamped) << steps;
            EXPECT_GT(r.clamped, 0u) << steps;
            Write("c.mp3", after);
            EXPECT_EQ(Output("ffmpeg -nostdin -v error -err_detect crccheck -i '" + Path("c.mp3") +
                             "' -f null - 2>&1"),
                      "");
            // Clamped fields do not come back.
            audio::ChangeMp3Gain(after, -steps);
            EXPECT_FALSE(after == before);
        }
    }

    // A loud file asked to be 9 dB louder is raised only as far as its peak allows.
    const Pcm loud = Decode("loud.mp3");
    const double peak = Ours(loud).peak;
    ASSERT_GT(peak, 0.5);
    const int steps = audio::GainStepsFor(9.0, peak);
    EXPECT_GE(steps, 0);
    EXPECT_LT(steps, audio::GainStepsForDb(9.0));
    std::string raised = Bytes("loud.mp3");
    audio::ChangeMp3Gain(raised, steps);
    Write("raised.mp3", raised);
    const double raisedPeak = Ours(Decode("raised.mp3")).peak;
    EXPECT_LE(raisedPeak, 1.0);
    EXPECT_GT(raisedPeak * std::pow(2.0, 0.25), 1.0);  // one step more would pass
}

TEST(Mp3GainSteps, NearestAndHeldBackByThePeak) {
    struct Case {
        double db, peak;
        int nearest, maxForPeak, steps;
    };
    // clang-format off
    const Case cases[] = {
        {0.0, 0.5, 0, 4, 0},
        {1.505, 0.5, 1, 4, 1},
        {0.75, 0.5, 0, 4, 0},        // under half a step
        {0.76, 0.5, 1, 4, 1},
        {-0.76, 0.5, -1, 4, -1},
        {9.0, 0.5, 6, 4, 4},         // 0.5 x 2^(4/4) is exactly full scale
        {9.0, 0.4, 6, 5, 5},
        {9.0, 0.999, 6, 0, 0},
        {9.0, 1.0, 6, 0, 0},
        {9.0, 1.3, 6, -2, 0},         // already past full scale: left at its level
        {-9.0, 1.3, -6, -2, -6},      // lowering is never held back
        {-3.0, 0.01, -2, 26, -2},
        {12.0, 0.0, 8, 255, 8},       // silence
        {500.0, 0.0, 255, 255, 255},
        {-500.0, 0.5, -255, 4, -255},
        {NAN, 0.5, 0, 4, 0},
        {3.0, NAN, 2, 0, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.db << " dB, peak " << c.peak);
        EXPECT_EQ(audio::GainStepsForDb(c.db), c.nearest);
        EXPECT_EQ(audio::MaxGainStepsForPeak(c.peak), c.maxForPeak);
        EXPECT_EQ(audio::GainStepsFor(c.db, c.peak), c.steps);
    }
}

TEST_F(LoudnessFiles, WhatIsLeftAsItIs) {
    Run({"sig 44100 stereo 2 a.wav && lame --quiet --freeformat -b 200 a.wav free.mp3",
         "sig 44100 stereo 2 b.wav && lame --quiet -b 128 --add-id3v2 --tt B b.wav tagged.mp3",
         "sig 44100 stereo 1 c.wav && ffmpeg -nostdin -v error -i c.wav -c:a mp2 layer2.mp2"});
    // Free format, Layer II, no MPEG at all: not a byte changes.
    for (const char* name : {"free.mp3", "layer2.mp2", "a.wav"}) {
        std::string bytes = Bytes(name);
        const audio::Mp3GainReport r = audio::ChangeMp3Gain(bytes, 4);
        EXPECT_TRUE(bytes == Bytes(name)) << name;
        EXPECT_EQ(r.frames, 0u) << name;
        EXPECT_EQ(r.freeFormat, std::string(name) == "free.mp3") << name;
    }
    // A stray sync word near the end of other data, its frame running past the end, is no
    // stream: neither a fixed-length one (128 kbit/s, 417 bytes) nor a free-format pair.
    std::string stray(10000, 'U'), strayFree(10000, 'U');
    stray.replace(9900, 4, "\xFF\xFB\x90\x00");
    strayFree.replace(9000, 4, "\xFF\xFB\x00\x00");
    strayFree.replace(9600, 4, "\xFF\xFB\x00\x00");
    for (const std::string& data : {stray, strayFree}) {
        std::string bytes = data;
        const audio::Mp3GainReport r = audio::ChangeMp3Gain(bytes, 4);
        EXPECT_TRUE(bytes == data);
        EXPECT_EQ(r.frames, 0u);
        EXPECT_FALSE(r.freeFormat);
    }

    // Tags at the end that hold frames of the stream (an APEv2 item, an ID3v1 comment, an
    // ID3v2.4 frame, Lyrics3 v2 lyrics), alone or stacked: untouched, and the stream's
    // frames all moved.
    const std::string tagged = Bytes("tagged.mp3");
    const std::vector<std::size_t> frames = FramePositions("tagged.mp3");
    ASSERT_GT(frames.size(), 8u);
    const std::string copied = tagged.substr(frames[2], frames[6] - frames[2]);
    auto le32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    };
    const std::string item = le32(static_cast<std::uint32_t>(copied.size())) + le32(0) + "Frames" +
                             std::string(1, '\0') + copied;
    auto apeBlock = [&](std::uint32_t flags) {
        return "APETAGEX" + le32(2000) + le32(static_cast<std::uint32_t>(item.size() + 32)) +
               le32(1) + le32(flags) + std::string(8, '\0');
    };
    const std::string ape = apeBlock(0xA0000000u) + item + apeBlock(0x80000000u);
    std::string id3v1 = "TAG" + copied.substr(0, 125);
    id3v1.resize(128, '\0');
    auto syncsafe = [](std::size_t n) {
        return std::string{static_cast<char>(n >> 21 & 0x7F), static_cast<char>(n >> 14 & 0x7F),
                           static_cast<char>(n >> 7 & 0x7F), static_cast<char>(n & 0x7F)};
    };
    const std::string priv =
        "PRIV" + syncsafe(copied.size() + 2) + std::string("\0\0x\0", 4) + copied;
    const std::string id3v24 = std::string("ID3\x04\0\x10", 6) + syncsafe(priv.size()) + priv +
                               std::string("3DI\x04\0\x10", 6) + syncsafe(priv.size());
    auto digits = [](std::size_t n, std::size_t width) {
        const std::string d = std::to_string(n);
        return std::string(width - d.size(), '0') + d;
    };
    const std::string lyrics = "LYRICSBEGINLYR" + digits(copied.size(), 5) + copied;
    const std::string lyrics3v2 = lyrics + digits(lyrics.size(), 6) + "LYRICS200";
    for (const std::string& tail : {ape, id3v1, ape + id3v1, id3v24 + ape + lyrics3v2 + id3v1}) {
        std::string bytes = tagged + tail;
        const audio::Mp3GainReport r = audio::ChangeMp3Gain(bytes, -2);
        EXPECT_EQ(r.frames, frames.size());
        EXPECT_TRUE(bytes.substr(tagged.size()) == tail);
    }

    // Junk between frames is passed over and the stream taken up again after it; a file
    // cut inside a frame's side information stops there.
    std::string junk =
        tagged.substr(0, frames[4]) + std::string(700, '\xFF') + tagged.substr(frames[4]);
    const audio::Mp3GainReport j = audio::ChangeMp3Gain(junk, 1);
    EXPECT_EQ(j.frames, frames.size());
    EXPECT_EQ(junk.substr(frames[4], 700), std::string(700, '\xFF'));
    for (std::size_t cut : {std::size_t{0}, std::size_t{3}, std::size_t{12}, std::size_t{40}}) {
        std::string bytes = tagged.substr(0, frames[9] + cut);
        const audio::Mp3GainReport r = audio::ChangeMp3Gain(bytes, 1);
        EXPECT_EQ(r.frames, cut >= 36 ? 10u : 9u) << cut;
        EXPECT_EQ(bytes.size(), frames[9] + cut);
    }
    // Nothing, a header cut short, a tag that claims more than the file.
    for (std::string bytes :
         {std::string(), tagged.substr(frames[0], 3), tagged.substr(frames[0], 9),
          std::string("ID3\x04\x00\x00\x7F\x7F\x7F\x7F", 10) + tagged}) {
        const std::string was = bytes;
        audio::ChangeMp3Gain(bytes, 3);
        EXPECT_EQ(bytes.size(), was.size());
    }
}

// ffmpeg's ebur128 filter, on the same samples as the meter reads (dual mono for mono).
TEST_F(LoudnessFiles, AgreesWithFfmpegsFilter) {
    struct Case {
        const char* source;  // lavfi
        int rate, channels;
    };
    const Case cases[] = {
        {"sine=frequency=997:sample_rate=48000:duration=10,volume=-23dB", 48000, 1},
        {"anoisesrc=color=pink:amplitude=0.3:sample_rate=44100:duration=10", 44100, 2},
        {"anoisesrc=color=white:amplitude=0.1:sample_rate=32000:duration=10", 32000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const std::string layout = c.channels == 1 ? "mono" : "stereo";
        const std::string src = "-f lavfi -i '" + std::string(c.source) +
                                ",aformat=sample_fmts=flt:channel_layouts=" + layout + "'";
        const std::string summary = Output("ffmpeg -nostdin -hide_banner -nostats " + src +
                                           " -af ebur128=dualmono=true -f null - 2>&1");
        const std::size_t at = summary.rfind("I:");
        ASSERT_NE(at, std::string::npos) << summary;
        const double ffmpeg = std::stod(summary.substr(at + 2));
        Run({"ffmpeg -nostdin -v error -y " + src + " -f f32le raw.f32"});
        const std::string raw = Bytes("raw.f32");
        Pcm p{c.rate, c.channels, std::vector<float>(raw.size() / 4)};
        std::memcpy(p.samples.data(), raw.data(), p.samples.size() * 4);
        EXPECT_NEAR(Ours(p).lufs, ffmpeg, 0.1);  // it prints one decimal
    }
}

TEST_F(LoudnessFiles, EncoderMakesTheFormAskedForAsLongAndAsLoud) {
    struct Case {
        int inRate, inChannels;
        audio::Mp3Format out;
        std::size_t frames;
        bool wild;  // samples that are no number, infinite or far past full scale among them
    };
    const Case cases[] = {
        {44100, 2, {44100, 2, 192}, 100000, false}, {22050, 2, {22050, 1, 128}, 50001, false},
        {48000, 2, {44100, 2, 192}, 100001, false}, {44100, 1, {44100, 2, 160}, 44100, false},
        {32000, 1, {16000, 1, 64}, 33333, false},   {44100, 2, {44100, 2, 192}, 60000, true},
    };
    for (const Case& c : cases) {
        const audio::Mp3Format& o = c.out;
        SCOPED_TRACE(&c - cases);
        // 997 Hz: the left channel at -6 dBFS, the right at -12.
        std::vector<float> in;
        for (std::size_t i = 0; i < c.frames; ++i)
            for (int ch = 0; ch < c.inChannels; ++ch)
                in.push_back((ch ? 0.25f : 0.5f) *
                             static_cast<float>(std::sin(2 * M_PI * 997 * double(i) / c.inRate)));
        if (c.wild)
            for (std::size_t i = 0; i < in.size(); i += 997)
                in[i] = i % 3 ? NAN : i % 2 ? 1e30f : -INFINITY;
        audio::Mp3Encoder enc(c.inRate, c.inChannels, o);
        ASSERT_TRUE(enc.Ok()) << enc.Error();
        for (std::size_t at = 0; at < c.frames; at += 7777)
            ASSERT_TRUE(
                enc.Add(in.data() + at * c.inChannels, std::min<std::size_t>(7777, c.frames - at)));
        Write("enc.mp3", enc.Finish());
        const std::string probe =
            "ffprobe -v error -select_streams a -of default=nw=1:nk=1 " + Path("enc.mp3");
        EXPECT_EQ(Output(probe + " -show_entries stream=sample_rate,channels,bit_rate"),
                  std::to_string(o.rate) + "\n" + std::to_string(o.channels) + "\n" +
                      std::to_string(o.kbps * 1000) + "\n");
        // CBR: every frame as long as the bitrate makes it, give or take the padding byte.
        const int slot = (o.rate >= 32000 ? 144000 : 72000) * o.kbps / o.rate;
        std::istringstream sizes(Output(probe + " -show_entries packet=size"));
        for (std::string n; std::getline(sizes, n);)
            EXPECT_EQ(std::stoi(n) - slot, std::stoi(n) > slot) << n;
        // ffmpeg drops LAME's delay and padding as its tag gives them: exactly the input, resampled.
        const std::string pcm =
            Output("ffmpeg -nostdin -v error -i " + Path("enc.mp3") + " -f f32le -");
        std::vector<float> out(pcm.size() / 4);
        std::memcpy(out.data(), pcm.data(), out.size() * 4);
        ASSERT_EQ(out.size() / o.channels,
                  static_cast<std::size_t>(std::lround(double(c.frames) * o.rate / c.inRate)));
        // Each channel as loud as the input mixed as out asks.
        for (int ch = 0; ch < o.channels; ++ch) {
            const double peak = c.inChannels == 1 ? 0.5 : o.channels == 1 ? 0.375 : 0.5 / (1 + ch);
            double sum = 0;
            for (std::size_t i = ch; i < out.size(); i += o.channels) sum += out[i] * out[i];
            EXPECT_NEAR(10 * std::log10(sum * o.channels / out.size()),
                        20 * std::log10(peak / std::sqrt(2)), 0.5);
        }
    }
}

TEST(Mp3Encoder, RefusesWhatItCannotMakeAndSaysWhy) {
    struct Case {
        int inRate, inChannels;
        audio::Mp3Format out;
    };
    // clang-format off
    const Case cases[] = {
        {44100, 3, {}}, {44100, 0, {}}, {7999, 2, {}}, {384001, 1, {}},
        {44100, 2, {44000, 2, 192}}, {44100, 2, {44100, 2, 193}}, {22050, 1, {22050, 1, 192}},
        {44100, 2, {44100, 3, 192}}, {44100, 2, {44100, 2, 0}},
        {44100, 2, {44100, 2, 48}}, {22050, 1, {22050, 1, 48}},  // frames too small for the Info tag
    };
    // clang-format on
    const float pcm[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    for (const Case& c : cases) {
        audio::Mp3Encoder enc(c.inRate, c.inChannels, c.out);
        EXPECT_FALSE(enc.Ok());
        EXPECT_NE(enc.Error(), "");
        EXPECT_FALSE(enc.Add(pcm, 2));
        EXPECT_EQ(enc.Finish(), "");
    }
    // Nothing to encode, no samples, or more after the end.
    audio::Mp3Encoder none(44100, 2, {}), null(44100, 2, {}), after(44100, 2, {});
    EXPECT_EQ(none.Finish(), "");
    EXPECT_FALSE(null.Add(nullptr, 2));
    EXPECT_TRUE(after.Add(pcm, 2));
    EXPECT_GT(after.Finish().size(), 1000u);
    EXPECT_FALSE(after.Add(pcm, 2));
    for (const audio::Mp3Encoder* e : {&none, &null, &after}) EXPECT_NE(e->Error(), "");
}

}  // namespace
