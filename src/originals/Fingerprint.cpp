#include "originals/Fingerprint.h"

#include <cstring>

namespace originals {
namespace {

constexpr std::uint64_t kP1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t kP2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t kP3 = 0x165667B19E3779F9ULL;
constexpr std::uint64_t kP4 = 0x85EBCA77C2B2AE63ULL;
constexpr std::uint64_t kP5 = 0x27D4EB2F165667C5ULL;

constexpr std::uint64_t Rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

// Little-endian, as every machine this program runs on.
std::uint64_t Word(const unsigned char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

std::uint64_t Round(std::uint64_t acc, std::uint64_t input) {
    return Rotl(acc + input * kP2, 31) * kP1;
}

std::uint64_t Merge(std::uint64_t acc, std::uint64_t lane) {
    return (acc ^ Round(0, lane)) * kP1 + kP4;
}

// Four independent lanes over 32-byte stripes, then the tail: quick enough that hashing a
// few megabytes of music adds little to a copy.
std::uint64_t Hash64(std::string_view data) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const std::size_t n = data.size();
    std::size_t i = 0;
    std::uint64_t h;
    if (n >= 32) {
        std::uint64_t v[4] = {kP1 + kP2, kP2, 0, 0 - kP1};
        for (; i + 32 <= n; i += 32) {
            for (int k = 0; k < 4; ++k) v[k] = Round(v[k], Word(p + i + 8 * k));
        }
        h = Rotl(v[0], 1) + Rotl(v[1], 7) + Rotl(v[2], 12) + Rotl(v[3], 18);
        for (std::uint64_t lane : v) h = Merge(h, lane);
    } else {
        h = kP5;
    }
    h += n;
    for (; i + 8 <= n; i += 8) h = Rotl(h ^ Round(0, Word(p + i)), 27) * kP1 + kP4;
    for (; i < n; ++i) h = Rotl(h ^ (p[i] * kP5), 11) * kP1;
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    return h ^ (h >> 32);
}

}  // namespace

Fingerprint FingerprintOf(std::string_view data) { return {data.size(), Hash64(data)}; }

}  // namespace originals
