// What a file holds, compared by content: its size and a 64-bit hash of its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/system/System.h"

namespace originals {

struct Fingerprint {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
};
Fingerprint FingerprintOf(std::string_view data);

// The same fingerprint over data given in pieces of any size.
class Hasher {
public:
    Hasher();
    void Add(std::string_view data);
    Fingerprint Finish() const;

private:
    std::uint64_t lanes_[4];
    std::uint64_t total_ = 0;
    unsigned char stripe_[32];  // bytes waiting for a whole stripe
    std::size_t waiting_ = 0;
};

// A file's fingerprint, read through one fixed buffer (a music file may be larger than a
// 32-bit process can hold). False, with the reason, when it cannot be read whole.
bool FingerprintFile(sys::System& system, const std::string& path, Fingerprint& out,
                     sys::FileError* why = nullptr);
// The buffer's size: each read asks for this much.
inline constexpr std::size_t kReadChunk = 1 << 20;

}  // namespace originals
