// An in-memory stand-in for the operating system, for the tests and the fuzz targets.
// Windows path rules: drive letters, backslashes, names compared without regard to
// (ASCII) case; names beyond CP932 (UTF-16 paths) and short (8.3) names, which paths may
// use in place of the long ones; read-only, hidden and system attributes; scripted answers
// for boxes and prompts; and a record of everything shown, opened and copied, in order.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/system/System.h"

namespace sys {

class FakeSystem : public System {
public:
    FakeSystem();

    // --- Setting up the world ---------------------------------------------------
    std::string exeFolder = "C:\\Game\\QUAVERIX\\";
    std::string currentFolder = "C:\\Game\\QUAVERIX";
    void AddDrive(char letter, DriveKind kind = DriveKind::Fixed, std::string label = "",
                  bool ready = true);
    void SetDriveReady(char letter, bool ready);
    void SetDriveCurrent(char letter, std::string folder);  // what "X:" resolves to
    void AddFolder(const std::string& path, std::uint32_t attributes = kDirectory);
    void AddFile(const std::string& path, std::string data = "",
                 std::uint32_t attributes = kArchive);
    // The same with names CP932 cannot hold.
    void AddFolder(const std::u16string& path, std::uint32_t attributes = kDirectory);
    void AddFile(const std::u16string& path, std::string data = "",
                 std::uint32_t attributes = kArchive);
    // Gives an existing file or folder a short name (none unless given one).
    // A file too big to hold (gigabytes): its bytes are made when read, repeating every
    // kBigPeriod bytes (BigFileByte); a whole read of it fails as in a 32-bit process.
    void AddBigFile(const std::string& path, std::uint64_t size);
    static constexpr std::uint64_t kBigPeriod = 4093;  // prime: no chunk starts alike
    static char BigFileByte(std::uint64_t at) {
        return static_cast<char>(((at % kBigPeriod) * 2654435761u) >> 13);
    }
    std::size_t largestPart = 0;  // the most bytes one ReadPart gave
    void SetShortName(const std::u16string& path, std::string shortName);
    void SetAttributes(const std::string& path, std::uint32_t attributes);
    void Remove(const std::string& path);
    bool Exists(const std::string& path) const;
    std::string Data(const std::string& path) const;  // "" when missing
    // Every file, by its path as spelled, with its bytes: to see all that a run wrote.
    std::map<std::string, std::string> Files() const;
    // Paths that refuse writes (as a read-only folder or a locked file would).
    std::vector<std::string> unwritable;
    // Paths (files, or folders and everything in them) that take writes only from an
    // administrator, as a game's folder under Program Files does: refused with
    // Fault::NeedsRights, except inside RunElevated.
    std::vector<std::string> needsRights;
    // The player's profile folders (ProfileFolder); empty: unknown.
    std::string appData = "C:\\Users\\Player\\AppData\\Roaming";
    std::string localAppData = "C:\\Users\\Player\\AppData\\Local";
    std::string windowsFolder = "C:\\Windows";
    // How the next runs with administrator rights end (empty: Done). A Done run does its
    // job on this same fake, with the rights, as the elevated program would.
    std::deque<Elevation> elevationAnswers;
    std::vector<std::string> elevatedJobs;  // the job's text of every run asked for
    std::vector<std::string> elevatedArguments;  // and the argument it was started with
    // Runs each time the elevated run takes the next piece the asking side sends (1, 2, ...):
    // the world may change meanwhile, as a game patch or another program could.
    std::function<void(std::size_t piece)> duringElevatedRun;
    std::size_t largestWrite = 0;  // the largest piece one Replacement::Write was given
    int wholeReads = 0;  // ReadFile calls
    // Paths held open by another program without sharing: reads, writes and deletes fail.
    std::vector<std::string> inUse;
    // Paths whose reads the system refuses (access denied) though the file is there.
    std::vector<std::string> unreadable;
    // Writes stop after this many bytes (a full disk); -1 for no limit.
    long long diskSpace = -1;

    // --- Scripted answers -------------------------------------------------------
    std::deque<BoxResult> boxAnswers;  // empty: every box answers Ok
    std::deque<std::optional<std::string>> openAnswers;  // nullopt: cancelled
    std::deque<std::optional<std::string>> saveAnswers;

    // --- What happened ----------------------------------------------------------
    struct Box {
        BoxKind kind;
        std::string caption;
        std::string text;
    };
    struct ShellCall {
        std::string file;
        std::optional<std::string> parameters;
        int show;
    };
    std::vector<Box> boxes;
    std::vector<ShellCall> shellCalls;
    std::vector<OpenFileRequest> openRequests;
    std::vector<SaveFileRequest> saveRequests;
    std::vector<std::string> log;  // "box: ...", "copy: from -> to", "write: path", ...
    int listCalls = 0;  // ListFolder calls, to see re-reads

    // --- System -----------------------------------------------------------------
    std::string ExeFolder() override { return exeFolder; }
    std::string CurrentFolder() override { return currentFolder; }
    bool ReadFile(const std::string& path, std::string& data, FileError* why = nullptr) override;
    std::optional<std::uint64_t> SizeOf(const std::string& path) override;
    // The fake's time is a count of writes: each write makes a file newer than any before;
    // a copy keeps its source's time, as CopyFile does.
    std::optional<FileStamp> Stamp(const std::string& path) override;
    int stampCalls = 0;
    bool ReadPart(const std::string& path, std::uint64_t offset, std::size_t count,
                  std::string& data, FileError* why = nullptr) override;
    int partReads = 0;  // ReadPart calls, to see that a check reads little
    std::uint64_t partBytes = 0;  // and how much
    // MP3 by libmpg123 (none in the fuzz build: "no decoder"), WAVE by our own reader,
    // both over ReadPart.
    bool DecodeAudio(const std::string& path, const PcmSink& sink,
                     FileError* why = nullptr) override;
    int decodeCalls = 0;  // DecodeAudio calls, to see what the cache spares
    bool SaveFileAtomic(const std::string& path, const std::string& data,
                        FileError* why = nullptr) override;
    // A lock held here is refused to every other taker at once (the fake's time does not
    // pass while it waits); so is one of `inUse` (another QUAVERIX holding it).
    std::unique_ptr<Lock> LockFile(const std::string& path, unsigned waitMs,
                                   FileError* why = nullptr) override;
    int locksHeld = 0;  // locks taken and not dropped yet
    WriteStatus CreateAndWrite(const std::string& path, const std::string& data) override;
    bool CopyFileTo(const std::string& from, const std::string& to, bool failIfExists,
                    FileError* why = nullptr) override;
    bool RemoveFile(const std::string& path, FileError* why = nullptr) override;
    bool CreateFolder(const std::string& path) override;
    bool CanCreateIn(const std::string& folder) override;
    std::string ProfileFolder(UserFolder which) override;
    Elevation RunElevated(Conversation& talk, std::string& answer) override;
    std::unique_ptr<Replacement> BeginReplace(const std::string& path,
                                              FileError* why = nullptr) override;
    std::uint32_t Attributes(const std::string& path) override;
    FolderListing ListFolder(const std::string& folder) override;
    std::string ShortName(const std::string& folder, const std::u16string& name) override;
    std::u16string LongPath(const std::string& path) override;
    std::vector<DriveInfo> Drives() override;
    DriveFolder ResolveDrive(char letter) override;
    void ShellOpen(const std::string& file, const std::optional<std::string>& parameters,
                   int showCommand) override;
    BoxResult ShowBox(BoxKind kind, const std::string& caption, const std::string& text) override;
    bool OpenFileDialog(const OpenFileRequest& request, std::string& path) override;
    bool SaveFileDialog(const SaveFileRequest& request, std::string& path) override;
    std::string LocalTimeText(std::uint64_t time) override;

private:
    friend class FakeReplacement;
    friend class FakeLock;
    std::vector<std::u16string> locked_;
    struct Node {
        std::u16string name;  // full path, spelled as created
        std::uint32_t attributes = 0;
        std::string data;
        std::string shortName;  // 8.3 name; empty for none
        std::uint64_t bigSize = 0;  // a big file's size (data stays empty)
        std::uint64_t time = 0;  // see Stamp
    };
    std::uint64_t clock_ = 0;
    struct Drive {
        DriveInfo info;
        bool ready = true;
        std::string current;
    };
    // Key of a path: upper-cased, without a trailing '\', short names taken for the
    // long names they stand for.
    std::u16string Key(const std::string& path) const;
    std::u16string Key(const std::u16string& path) const;
    static std::u16string Parent(const std::u16string& key);
    // How a new entry at `path` is spelled: its parent as it exists, then its own name.
    std::u16string Spelled(const std::u16string& path) const;
    bool Writable(const std::string& path) const;
    bool InUse(const std::string& path) const;
    bool Unreadable(const std::string& path) const;
    bool NeedsRights(const std::string& path) const;
    // Why a write to `path` would fail (Fault::None when it would not).
    FileError WriteFault(const std::string& path) const;
    bool DriveReady(const std::string& path) const;

    std::map<std::u16string, Node> nodes_;  // key: see Key()
    std::map<char, Drive> drives_;
    bool elevated_ = false;  // inside RunElevated
};

}  // namespace sys
