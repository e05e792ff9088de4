// A set to share: one .zip holding the set file (entry "quaverix-set.txt", naming the music
// by its entries) and each music file once, beside it. Entries are stored, not deflated:
// music is compressed already. Names are CP932 without the UTF-8 flag, as Japanese Windows
// and its archivers read them, with an Info-ZIP Unicode Path field (0x7075) giving the
// UTF-8 name to the tools that read one (as scripts/make_zip.py names the release's).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sets/Set.h"

namespace sets {

inline constexpr char kSetEntry[] = "quaverix-set.txt";
// What a set zip may hold in all: no ZIP64, and far more than a game's music.
inline constexpr std::uint64_t kMaxZipBytes = std::uint64_t{2} << 30;
inline constexpr std::size_t kMaxZipEntries = 1000;

// The ZIP format's CRC-32, over data given in pieces: pass the last result back in.
std::uint32_t Crc32(std::string_view data, std::uint32_t crc = 0);

// Writes `set` as a set zip to `path` (a side file moved into place), each music file read
// a piece at a time, twice: once for its CRC, once into the zip. The set file inside
// gives the fingerprints of the bytes written. Refused when a music file cannot be read,
// changes meanwhile, or the whole is over kMaxZipBytes.
Outcome WriteZip(sys::System& system, const Set& set, const std::string& path);

// Takes a set zip of QUAVERIX's: unpacks its music into the sets folder ("sets\<name>\",
// `name` or else the set's own), each file through a side file moved into place once every
// entry has been read and checked (stored as WriteZip writes them, or deflated, with or
// without sizes after the data, as an archiver that packed the set again may have), and
// gives the set with its paths there (not saved: the
// caller saves it). Exists, with nothing written, when a set of that name is there or its
// folder holds another file of an entry's name, unless `replace`. A set file alone is
// taken too, its music looked for where it says, nothing written. Refused, with nothing
// written outside the set's folder and no file half written: no zip of a set, a zip cut
// short or damaged, a name that leaves the folder or no file can have, an entry larger
// than the central directory says, a CRC that does not match, over kMaxZipBytes in all.
Loaded Import(sys::System& system, const settings::DataFolder& data, const std::string& path,
              const std::string& name = "", bool replace = false);

}  // namespace sets
