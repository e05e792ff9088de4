// What a file holds, compared by content: its size and a 64-bit hash of its bytes.
#pragma once

#include <cstdint>
#include <string_view>

namespace originals {

struct Fingerprint {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
};
Fingerprint FingerprintOf(std::string_view data);

}  // namespace originals
