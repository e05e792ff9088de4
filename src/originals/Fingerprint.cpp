#include "originals/Fingerprint.h"

#include <algorithm>
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

}  // namespace

// Four independent lanes over 32-byte stripes, then the tail (xxHash64's shape): quick
// enough that hashing a few megabytes of music adds little to a copy.
Hasher::Hasher() : lanes_{kP1 + kP2, kP2, 0, 0 - kP1}, stripe_{} {}

void Hasher::Add(std::string_view data) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t n = data.size();
    total_ += n;
    if (waiting_ > 0) {
        const std::size_t take = std::min(n, sizeof stripe_ - waiting_);
        std::memcpy(stripe_ + waiting_, p, take);
        waiting_ += take;
        p += take;
        n -= take;
        if (waiting_ < sizeof stripe_) return;
        for (int k = 0; k < 4; ++k) lanes_[k] = Round(lanes_[k], Word(stripe_ + 8 * k));
        waiting_ = 0;
    }
    for (; n >= 32; p += 32, n -= 32) {
        for (int k = 0; k < 4; ++k) lanes_[k] = Round(lanes_[k], Word(p + 8 * k));
    }
    std::memcpy(stripe_, p, n);
    waiting_ = n;
}

Fingerprint Hasher::Finish() const {
    std::uint64_t h;
    if (total_ >= 32) {
        h = Rotl(lanes_[0], 1) + Rotl(lanes_[1], 7) + Rotl(lanes_[2], 12) + Rotl(lanes_[3], 18);
        for (std::uint64_t lane : lanes_) h = Merge(h, lane);
    } else {
        h = kP5;
    }
    h += total_;
    const unsigned char* p = stripe_;
    std::size_t i = 0;
    for (; i + 8 <= waiting_; i += 8) h = Rotl(h ^ Round(0, Word(p + i)), 27) * kP1 + kP4;
    for (; i < waiting_; ++i) h = Rotl(h ^ (p[i] * kP5), 11) * kP1;
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    return {total_, h ^ (h >> 32)};
}

Fingerprint FingerprintOf(std::string_view data) {
    Hasher h;
    h.Add(data);
    return h.Finish();
}

bool FingerprintFile(sys::System& system, const std::string& path, Fingerprint& out,
                     sys::FileError* why) {
    Hasher h;
    std::string chunk;
    for (std::uint64_t offset = 0;; offset += chunk.size()) {
        if (!system.ReadPart(path, offset, kReadChunk, chunk, why)) return false;
        h.Add(chunk);
        if (chunk.size() < kReadChunk) break;
    }
    out = h.Finish();
    return true;
}

}  // namespace originals
