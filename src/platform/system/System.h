// Everything the program asks of the operating system. Paths and texts are CP932;
// the Windows side converts them to UTF-16 at the call. The tests have a fake of it
// (tests/fake).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "platform/system/FileError.h"

namespace sys {

// File attribute bits, with the values Windows uses.
enum Attr : std::uint32_t {
    kReadOnly = 0x1,
    kHidden = 0x2,
    kSystem = 0x4,
    kDirectory = 0x10,
    kArchive = 0x20,
    kReparsePoint = 0x400,  // a junction or symbolic link (for a folder: it leads elsewhere)
};
constexpr std::uint32_t kNoFile = 0xFFFFFFFFu;

// Which existing targets each way of writing refuses to replace, by their attributes
// (kNoFile: nothing there, nothing refused). The real system and the fake both decide by
// these, and the originals store predicts the copy by CopyRefuses, so none can drift.
// - A copy (side file, then moved over the target) and a delete refuse a read-only or
//   hidden file, as Windows refuses them, also where the process could replace it anyway
//   (Wine running as root), and a folder.
constexpr bool CopyRefuses(std::uint32_t attributes) {
    return attributes != kNoFile && (attributes & (kReadOnly | kHidden | kDirectory));
}
// Why: TargetProtected for a read-only or hidden file; Other for a folder (the system's
// "access denied"); None when the copy goes ahead.
constexpr Fault CopyRefusal(std::uint32_t attributes) {
    if (!CopyRefuses(attributes)) return Fault::None;
    return (attributes & kDirectory) ? Fault::Other : Fault::TargetProtected;
}
// - The atomic save (user.ini, the originals' index) moves its side file over the target:
//   a read-only file or a folder refuses that; a hidden file does not.
constexpr bool SaveRefuses(std::uint32_t attributes) {
    return attributes != kNoFile && (attributes & (kReadOnly | kDirectory));
}
// - The batch file is created over the target in place (CREATE_ALWAYS): Windows refuses a
//   read-only file, and a hidden or system one unless the create names those attributes
//   too (CreateFile's documentation), so such a target is refused here on every system.
constexpr bool CreateRefuses(std::uint32_t attributes) {
    return attributes != kNoFile && (attributes & (kReadOnly | kHidden | kSystem));
}

struct FolderEntry {
    std::u16string name;  // bare name as the system spells it (CP932 may not hold it)
    std::uint32_t attributes = 0;
};

struct FolderListing {
    bool ok = false;  // false: the folder could not be read
    std::string error;  // why, in words for the player
    std::vector<FolderEntry> entries;  // "." and ".." left out, in the system's name order
};

enum class DriveKind { Unknown, Removable, Fixed, Remote, CdRom, RamDisk };

struct DriveInfo {
    char letter = 'C';  // upper case
    DriveKind kind = DriveKind::Fixed;
    std::u16string label;  // volume label as the system spells it; empty when none or not ready
};

// Result of resolving a bare drive ("D:") to a folder.
struct DriveFolder {
    bool ok = false;
    std::string folder;  // e.g. "D:\\music" or "D:\\"
    std::string error;  // e.g. the drive is not ready
};

enum class BoxKind {
    Error,  // stop icon, OK
    Confirm,  // question icon, OK and Cancel
    Plain,  // no icon, OK
    Warning,  // warning icon, OK
    RetryCancel,  // stop icon, 再試行 and キャンセル
};
enum class BoxResult { Ok, Cancel, Retry };

struct OpenFileRequest {
    std::string filter;  // "desc|pattern|desc|pattern", as the form designer writes it
    std::string title;  // empty: the system's own
    std::string initialFolder;
    std::string defaultExt;
};

struct SaveFileRequest {
    std::string title;
    std::string filter;
    std::string defaultExt;
    std::string initialFolder;
    std::string fileName;
};

enum class WriteStatus { Ok, CannotCreate, WriteFailed };

// A file's size and last-write time (the system's own count: on Windows 100 ns since
// 1601), for telling cheaply whether it may have changed.
struct FileStamp {
    std::uint64_t size = 0;
    std::uint64_t time = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// Folders of the player's profile the program may keep its own files in.
enum class UserFolder {
    RoamingAppData,  // %APPDATA%
    LocalAppData,  // %LOCALAPPDATA%, where Windows keeps the VirtualStore
    Windows,  // the Windows folder, whose drive is the system drive
};

// How a run of QUAVERIX with administrator rights ended.
enum class Elevation {
    Done,  // it ran; the results are what it said
    Declined,  // the player (or the system) said no to the rights
    Failed,  // it could not be started, or ended without a word
};

// A file being written whole beside its target ("<name>.quaverix~"): the bytes go into
// the side file, which only Commit moves over the target, with normal attributes. Dropped
// without Commit, the side file is removed and the target is as it was.
class Replacement {
public:
    virtual ~Replacement() = default;
    virtual bool Write(std::string_view data, FileError* why = nullptr) = 0;
    virtual bool Commit(FileError* why = nullptr) = 0;
};

// A lock on a file, held until it is dropped (see System::LockFile).
class Lock {
public:
    virtual ~Lock() = default;
};

// A two-way byte channel to another process.
class Channel {
public:
    virtual ~Channel() = default;
    // Up to `count` bytes into `data`; 0 when the other end has closed or the channel broke.
    virtual std::size_t Read(char* data, std::size_t count) = 0;
    virtual bool Write(std::string_view data) = 0;
};

// What a run with administrator rights is given to carry: the program's argument that
// names the channel, and the bytes to send over it, taken a piece at a time so that no
// file is ever held whole.
class Conversation {
public:
    virtual ~Conversation() = default;
    virtual std::string Argument(const std::string& channel) = 0;
    // The next bytes to send into `bytes`; false when everything has been sent.
    virtual bool Next(std::string& bytes) = 0;
};

// PCM as a decoder hands it out: interleaved float frames, 1.0 full scale; the sink
// returns false to stop the decoding.
using PcmSink =
    std::function<bool(const float* interleaved, std::size_t frames, int channels, int rate)>;

// DecodeAudio's reasons for audio beside MP3 and PCM WAVE, one text each, so that a
// caller can tell them apart (and, say, add where a missing codec is to be had).
inline constexpr char kDecodeNotAudio[] = "音声のファイルではありません";
// No Media Foundation at all: the N and KN editions of Windows without the Media Feature Pack.
inline constexpr char kDecodeNoSystemDecoder[] =
    "この Windows には Media Foundation がありません (N/KN エディションでは Media Feature Pack "
    "を入れてください)";
inline constexpr char kDecodeNoCodec[] = "この Windows には、この形式のデコーダーがありません";
inline constexpr char kDecodeDamaged[] = "ファイルが壊れているか、デコードできない内容です";

class System {
public:
    virtual ~System() = default;

    // Folder of the running executable, with its trailing backslash.
    virtual std::string ExeFolder() = 0;
    // The process's current folder (no trailing backslash except at a drive root).
    virtual std::string CurrentFolder() = 0;

    // The failing calls below say why in `why` when it is given.

    // Whole-file read into `data` (its old contents are gone either way); false when the
    // file is missing or cannot be read.
    virtual bool ReadFile(const std::string& path, std::string& data, FileError* why = nullptr) = 0;
    // A file's size without opening it; nothing for a missing file or a folder.
    virtual std::optional<std::uint64_t> SizeOf(const std::string& path) = 0;
    // Its size and last-write time the same way.
    virtual std::optional<FileStamp> Stamp(const std::string& path) = 0;
    // Up to `count` bytes from `offset` into `data` (fewer at the end of the file, and
    // never more than 1 MB a call); false when the file cannot be read. For looking at a
    // file's content, or going through it, without holding it all.
    virtual bool ReadPart(const std::string& path, std::uint64_t offset, std::size_t count,
                          std::string& data, FileError* why = nullptr) = 0;
    // Decodes an audio file to `sink` in pieces of bounded size: an MP3 by the system's
    // MP3 decoder and a PCM WAVE (8/16/24/32-bit, float, also extensible) by our reader,
    // each reading the file a fixed piece at a time; any other audio (audio::IsOtherAudio:
    // M4A, FLAC, Ogg, Opus, WMA, AIFF...) by whatever codec the system has for it. What a
    // file is comes from its content, never its name. True when the whole file went to the
    // sink or the sink stopped it; false, with the reason, when the file cannot be read, is
    // no audio (kDecodeNotAudio), or the decoder is missing or gives up on it (Fault::Other,
    // in words: for other audio one of the kDecode texts above).
    virtual bool DecodeAudio(const std::string& path, const PcmSink& sink,
                             FileError* why = nullptr) = 0;
    // Replaces a file so that it is always either the old one or the whole new one:
    // written beside it, flushed, then moved over it. False when any step fails.
    virtual bool SaveFileAtomic(const std::string& path, const std::string& data,
                                FileError* why = nullptr) = 0;
    // Takes the lock file `path` (made when missing, never removed): while one holder
    // has it, every other one (another process, another thread, another handle of this
    // one) waits for it, at most `waitMs` milliseconds. Null, with the reason, when it is
    // still held then (Fault::InUse) or the file cannot be opened.
    virtual std::unique_ptr<Lock> LockFile(const std::string& path, unsigned waitMs,
                                           FileError* why = nullptr) = 0;
    // Creates (or truncates) a file and writes data in one piece.
    virtual WriteStatus CreateAndWrite(const std::string& path, const std::string& data) = 0;
    // Copies one file. Refuses (false) a destination that is read-only or hidden. The
    // destination is replaced as a whole: the copy is made beside it and flushed to the
    // disk, then moved over it, so it is always either the old file or the complete new
    // one, also after a power cut. The copy keeps the source's attributes but read-only,
    // hidden and system, so QUAVERIX never leaves a file that it (or the game) cannot
    // replace afterwards. A target held open by another program is Fault::InUse, never
    // Fault::NeedsRights.
    virtual bool CopyFileTo(const std::string& from, const std::string& to, bool failIfExists,
                            FileError* why = nullptr) = 0;
    // Deletes a file; refuses a read-only or hidden one, as CopyFileTo does.
    virtual bool RemoveFile(const std::string& path, FileError* why = nullptr) = 0;
    // True when a new file could be made in `folder` now; finding out leaves nothing there.
    virtual bool CanCreateIn(const std::string& folder) = 0;
    // One of the player's profile folders (no trailing backslash); "" when unknown.
    virtual std::string ProfileFolder(UserFolder which) = 0;
    // Starts this program again with administrator rights (the system asks the player) with
    // the argument `talk` gives for a new channel, sends what `talk` gives over that channel
    // once the started process (and no other) is on its other end, and gives back in
    // `answer` everything that process sent.
    virtual Elevation RunElevated(Conversation& talk, std::string& answer) = 0;
    // Begins replacing the file `path` by the side-file-then-move copy (see Replacement).
    // Refuses what CopyFileTo refuses; null then, with `why`.
    virtual std::unique_ptr<Replacement> BeginReplace(const std::string& path,
                                                      FileError* why = nullptr) = 0;
    // Makes a folder (its parent must exist); true when it is there afterwards.
    virtual bool CreateFolder(const std::string& path) = 0;
    virtual std::uint32_t Attributes(const std::string& path) = 0;  // kNoFile when missing

    virtual FolderListing ListFolder(const std::string& folder) = 0;
    // A stamp's time as the player's clock shows it: "2026/12/10 14:03".
    virtual std::string LocalTimeText(std::uint64_t time) = 0;
    // The short (8.3) name the system keeps for the entry `name` of `folder`; empty when
    // it keeps none (volumes with short names switched off, or a name that is its own).
    virtual std::string ShortName(const std::string& folder, const std::u16string& name) = 0;
    // `path` with every part spelled as the system has it (short names made long again);
    // the path itself, widened, when it cannot be resolved.
    virtual std::u16string LongPath(const std::string& path) = 0;
    virtual std::vector<DriveInfo> Drives() = 0;
    // The folder the system resolves for the bare drive "X:" (its current folder there).
    virtual DriveFolder ResolveDrive(char letter) = 0;

    // The shell's "open" on a file; parameters may be absent (null) or a string.
    virtual void ShellOpen(const std::string& file, const std::optional<std::string>& parameters,
                           int showCommand) = 0;

    virtual BoxResult ShowBox(BoxKind kind, const std::string& caption,
                              const std::string& text) = 0;
    virtual bool OpenFileDialog(const OpenFileRequest& request, std::string& path) = 0;
    virtual bool SaveFileDialog(const SaveFileRequest& request, std::string& path) = 0;
};

}  // namespace sys
