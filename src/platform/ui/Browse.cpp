#include "platform/ui/Browse.h"

#include <cctype>

#include "platform/Error.h"
#include "platform/text/Cp932.h"

namespace ui {
namespace {

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// "C:" or "C:\" -> "C:\"; "C:\a\b\" -> "C:\a\b".
std::string Normalize(std::string path) {
    if (path.size() == 2 && path[1] == ':') path += '\\';
    while (path.size() > 3 && text::EndsWithBackslash(path)) path.pop_back();
    return path;
}

// Splits "C:\a\b" into "C:\", "a", "b".
std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> out;
    if (path.size() < 3) return out;
    out.push_back(path.substr(0, 3));
    std::string part;
    for (std::size_t i = 3; i < path.size();) {
        std::size_t n = text::CharLength(path, i);
        if (n == 1 && path[i] == '\\') {
            if (!part.empty()) out.push_back(part);
            part.clear();
        } else {
            part.append(path, i, n);
        }
        i += n;
    }
    if (!part.empty()) out.push_back(part);
    return out;
}

std::string Join(const std::string& folder, const std::string& name) {
    return text::EndsWithBackslash(folder) ? folder + name : folder + "\\" + name;
}

bool Listed(const sys::FolderEntry& e) {
    return !(e.attributes & (sys::kHidden | sys::kSystem));
}

// Wildcard match over characters; '*' any run, '?' one character.
bool Match(const std::string& name, std::size_t n, const std::string& pat, std::size_t p) {
    while (p < pat.size()) {
        if (pat[p] == '*') {
            while (p < pat.size() && pat[p] == '*') ++p;
            if (p == pat.size()) return true;
            for (std::size_t k = n; k <= name.size(); k += (k < name.size() ? text::CharLength(name, k) : 1)) {
                if (Match(name, k, pat, p)) return true;
                if (k == name.size()) break;
            }
            return false;
        }
        if (n >= name.size()) return false;
        std::size_t nl = text::CharLength(name, n);
        if (pat[p] == '?') {
            n += nl;
            ++p;
            continue;
        }
        std::size_t pl = text::CharLength(pat, p);
        if (nl != pl) return false;
        if (nl == 1) {
            if (Upper(name[n]) != Upper(pat[p])) return false;
        } else if (name.compare(n, nl, pat, p, pl) != 0) {
            return false;
        }
        n += nl;
        p += pl;
    }
    return n == name.size();
}

}  // namespace

// ---- DriveComboBox -----------------------------------------------------------------

void DriveComboBox::Ready(const std::string& startFolder) {
    drives_ = system_.Drives();
    drive_ = startFolder.empty() ? 'C' : Upper(startFolder[0]);
    Changed(Prop::Items);
    if (OnChange) OnChange(this);
}

void DriveComboBox::Refresh() {
    drives_ = system_.Drives();
    Changed(Prop::Items);
}

void DriveComboBox::SetDrive(char letter) {
    letter = Upper(letter);
    if (letter == drive_) return;
    drive_ = letter;
    Changed(Prop::Index);
    if (OnChange) OnChange(this);
}

void DriveComboBox::SetDriveQuietly(char letter) {
    letter = Upper(letter);
    if (letter == drive_) return;
    drive_ = letter;
    Changed(Prop::Index);
}

// ---- DirectoryListBox --------------------------------------------------------------

char DirectoryListBox::Drive() const { return directory_.empty() ? 0 : Upper(directory_[0]); }

std::string DirectoryListBox::PathOf(int index) const {
    if (index < 0 || index >= static_cast<int>(items_.size())) return directory_;
    const Item& item = items_[static_cast<std::size_t>(index)];
    if (!item.open) return Join(directory_, item.name);
    std::string path;
    for (int i = 0; i <= index; ++i) {
        path = i == 0 ? items_[0].name : Join(path, items_[static_cast<std::size_t>(i)].name);
    }
    return path;
}

void DirectoryListBox::SetDirectory(const std::string& requested) {
    std::string path = Normalize(requested);
    if (!directory_.empty() && text::EqualsNoCase(path, directory_)) return;
    sys::FolderListing listing = system_.ListFolder(path);
    if (!listing.ok) {
        throw platform::Error(platform::Format("フォルダ %s を開けません", path));
    }
    std::vector<Item> items;
    std::vector<std::string> parts = Components(path);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        items.push_back({parts[i], static_cast<int>(i), true});
    }
    int level = static_cast<int>(parts.size());
    for (const sys::FolderEntry& e : listing.entries) {
        if ((e.attributes & sys::kDirectory) && Listed(e)) items.push_back({e.name, level, false});
    }
    directory_ = path;
    items_ = std::move(items);
    current_ = static_cast<int>(parts.size()) - 1;
    Changed(Prop::Items);
    if (OnChange) OnChange(this);
}

void DirectoryListBox::SetDrive(char letter) {
    letter = Upper(letter);
    if (letter == Drive()) return;
    sys::DriveFolder where = system_.ResolveDrive(letter);
    if (!where.ok) {
        throw platform::Error(
            platform::Format("ドライブ %s の準備ができていません", std::string(1, letter) + ":"));
    }
    SetDirectory(where.folder);
}

void DirectoryListBox::Open(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    SetDirectory(PathOf(index));
}

// ---- FileListBox -------------------------------------------------------------------

bool MatchesMask(const std::string& name, const std::string& mask) {
    std::size_t start = 0;
    while (start <= mask.size()) {
        std::size_t end = mask.find(';', start);
        if (end == std::string::npos) end = mask.size();
        std::string pat = mask.substr(start, end - start);
        while (!pat.empty() && pat.front() == ' ') pat.erase(pat.begin());
        while (!pat.empty() && pat.back() == ' ') pat.pop_back();
        if (!pat.empty()) {
            if (pat == "*.*" || Match(name, 0, pat, 0)) return true;
            // "x.*" also takes "x" without an extension, as Windows does.
            if (pat.size() >= 2 && pat.compare(pat.size() - 2, 2, ".*") == 0 &&
                name.find('.') == std::string::npos &&
                Match(name, 0, pat.substr(0, pat.size() - 2), 0)) {
                return true;
            }
        }
        start = end + 1;
    }
    return false;
}

void FileListBox::SetDirectory(const std::string& requested) {
    std::string path = Normalize(requested);
    if (text::EqualsNoCase(path, directory_)) return;
    directory_ = path;
    Reload();
}

void FileListBox::SetMask(const std::string& mask) {
    if (mask == mask_) return;
    mask_ = mask;
    Reload();
}

void FileListBox::Reload() {
    items_.clear();
    index_ = -1;
    if (!directory_.empty()) {
        sys::FolderListing listing = system_.ListFolder(directory_);
        for (const sys::FolderEntry& e : listing.entries) {
            if (!(e.attributes & sys::kDirectory) && Listed(e) && MatchesMask(e.name, mask_)) {
                items_.push_back(e.name);
            }
        }
    }
    Changed(Prop::Items);
}

std::string FileListBox::FileName() const {
    if (index_ < 0 || index_ >= static_cast<int>(items_.size())) return std::string();
    return Join(directory_, items_[static_cast<std::size_t>(index_)]);
}

void FileListBox::UserSelect(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size())) return;
    index_ = index;
    if (OnClick) OnClick(this);
}

void FileListBox::UserDoubleClick() {
    if (OnDblClick) OnDblClick(this);
}

void FileListBox::UserMouseDown(MouseButton button, unsigned shift, int x, int y) {
    if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void FileListBox::SetItemIndex(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size()) || index == index_) return;
    index_ = index;
    Changed(Prop::Index);
}

}  // namespace ui
