// The browsing chain: drive picker -> folder list -> file list.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system/System.h"
#include "platform/ui/Control.h"

namespace ui {

class DriveComboBox : public Control {
public:
    DriveComboBox(Control* parent, std::string name, Rect bounds, sys::System& system)
        : Control(parent, std::move(name), Kind::DriveComboBox, bounds), system_(system) {}

    // Fills the list from the system and starts at `startFolder`'s drive; reports that
    // initial drive once as a change.
    void Ready(const std::string& startFolder);
    // Reads the computer's drives again (labels, media); keeps the selected drive.
    void Refresh();
    const std::vector<sys::DriveInfo>& Drives() const { return drives_; }
    char Drive() const { return drive_; }
    // The player picked a drive: raises OnChange when the letter really changed.
    void UserSelect(char letter);
    // Selects a drive without an event (the picker goes back after a drive turned out not
    // ready).
    void SetDrive(char letter);
    Notify OnChange;

private:
    sys::System& system_;
    std::vector<sys::DriveInfo> drives_;
    char drive_ = 0;
};

class DirectoryListBox : public Control {
public:
    DirectoryListBox(Control* parent, std::string name, Rect bounds, sys::System& system)
        : Control(parent, std::move(name), Kind::DirectoryListBox, bounds), system_(system) {}

    struct Item {
        std::u16string name;  // shown: "C:\" for the root, else the folder's real name
        std::string part;  // its part of a CP932 path (see Directory); "" until needed
        int level = 0;  // indent: 0 for the root
        bool open = false;  // on the path down to the current folder (drawn as open)
    };

    // The current folder as a CP932 path that names it: every part that CP932 cannot
    // hold is the part's short (8.3) name.
    const std::string& Directory() const { return directory_; }
    char Drive() const;
    const std::vector<Item>& Items() const { return items_; }
    int ItemIndex() const { return current_; }  // the current folder's line
    // The files the read of the current folder found (hidden and system ones left out):
    // the file list takes them, so that a change of folder reads it once.
    const std::vector<std::u16string>& Files() const { return files_; }
    // The CP932 path of line `index`; raises platform::Error for a folder whose name
    // CP932 cannot hold and that has no short name.
    std::string PathOf(int index) const;

    // Moves to a folder (a CP932 path) and raises OnChange; the same folder does nothing.
    // A folder that cannot be read raises platform::Error and leaves the list as it was.
    void SetDirectory(const std::string& path);
    // Moves to the folder the system resolves for the bare drive, if the drive differs.
    void SetDrive(char letter);
    // The player opened line `index` (double click or Enter): as SetDirectory.
    void UserOpen(int index);
    Notify OnChange;
    int itemHeight = 16;

private:
    sys::System& system_;
    std::string directory_;
    std::vector<Item> items_;
    std::vector<std::u16string> files_;
    int current_ = -1;
};

enum class MouseButton { Left, Right, Middle };
using MouseNotify =
    std::function<void(Control* sender, MouseButton button, unsigned shift, int x, int y)>;

// True when `name` matches one of the ';'-separated wildcard patterns of `mask`
// ('*' and '?', ASCII case ignored, a character beyond the BMP counted as one).
bool MatchesMask(std::u16string_view name, std::u16string_view mask);

// The CP932 text that stands for the entry `name` of `folder` in a path: the name itself
// where CP932 holds it exactly, else the short (8.3) name the system keeps for it.
// Raises platform::Error, naming the entry, when there is none.
std::string PathPart(sys::System& system, const std::string& folder, const std::u16string& name,
                     bool isFolder);

// A full path as the system spells it ("C:\a\b.mp3", a drive root, or a network path)
// as CP932 text that names the same file, each part as PathPart gives it. Raises
// platform::Error, naming the part, where one has no short name.
std::string UsablePathOf(sys::System& system, const std::u16string& path, bool isFolder);

class FileListBox : public Control {
public:
    FileListBox(Control* parent, std::string name, Rect bounds, sys::System& system)
        : Control(parent, std::move(name), Kind::FileListBox, bounds), system_(system) {}

    const std::string& Directory() const { return directory_; }
    const std::string& Mask() const { return mask_; }
    // Each changes the list only when the value really changes. A new folder is read; a
    // new mask picks from the files already read.
    void SetDirectory(const std::string& path);
    void SetMask(const std::string& mask);
    // A new folder whose files were read already (DirectoryListBox::Files).
    void SetDirectory(const std::string& path, const std::vector<std::u16string>& files);

    // The files' real names, as shown.
    const std::vector<std::u16string>& Items() const { return items_; }
    int ItemIndex() const { return index_; }
    // Full path of the selected file as CP932 text that names it (see PathPart), or ""
    // when none is selected. Raises platform::Error when the file has no such path.
    std::string FileName() const;

    // The player selected a file (mouse or keyboard): raises OnClick.
    void UserSelect(int index);
    void UserDoubleClick();
    void UserMouseDown(MouseButton button, unsigned shift, int x, int y);
    // Selection set by the program: no event.
    void SetItemIndex(int index);

    Notify OnClick;
    Notify OnDblClick;
    MouseNotify OnMouseDown;
    int itemHeight = 12;

private:
    void Filter();

    sys::System& system_;
    std::string directory_;
    std::string mask_ = "*.*";
    std::u16string wideMask_ = u"*.*";
    std::vector<std::u16string> files_;  // the folder's files, whatever the mask
    std::vector<std::u16string> items_;
    int index_ = -1;
};

}  // namespace ui
