#include "platform/ui/Browse.h"

#include <algorithm>
#include <cctype>

#include "platform/Error.h"
#include "platform/paths/Paths.h"
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

using paths::Components;
using paths::Join;

bool Listed(const sys::FolderEntry& e) { return !(e.attributes & (sys::kHidden | sys::kSystem)); }

char16_t Upper16(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

// Code units of the character at name[i]: 2 for a surrogate pair.
std::size_t Units(std::u16string_view s, std::size_t i) {
    return i + 1 < s.size() && s[i] >= 0xD800 && s[i] <= 0xDBFF && s[i + 1] >= 0xDC00 &&
                   s[i + 1] <= 0xDFFF
               ? 2
               : 1;
}

// Wildcard match over characters; '*' any run, '?' one character.
bool Match(std::u16string_view name, std::size_t n, std::u16string_view pat, std::size_t p) {
    while (p < pat.size()) {
        if (pat[p] == u'*') {
            while (p < pat.size() && pat[p] == u'*') ++p;
            if (p == pat.size()) return true;
            for (std::size_t k = n;; k += Units(name, k)) {
                if (Match(name, k, pat, p)) return true;
                if (k >= name.size()) return false;
            }
        }
        if (n >= name.size()) return false;
        std::size_t nl = Units(name, n);
        if (pat[p] == u'?') {
            n += nl;
            ++p;
            continue;
        }
        std::size_t pl = Units(pat, p);
        if (nl != pl) return false;
        for (std::size_t k = 0; k < nl; ++k) {
            if (Upper16(name[n + k]) != Upper16(pat[p + k])) return false;
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

void DriveComboBox::UserSelect(char letter) {
    letter = Upper(letter);
    if (letter == drive_) return;
    drive_ = letter;
    Changed(Prop::Index);
    if (OnChange) OnChange(this);
}

void DriveComboBox::SetDrive(char letter) {
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
    if (!item.open) {
        return Join(directory_,
                    item.part.empty() ? PathPart(system_, directory_, item.name, true) : item.part);
    }
    std::string path;
    for (int i = 0; i <= index; ++i) {
        const std::string& part = items_[static_cast<std::size_t>(i)].part;
        path = i == 0 ? part : Join(path, part);
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
    // The lines down to the folder show the real names, short names made long again (a
    // short name always holds a '~'; asking costs a folder read per part).
    std::vector<std::u16string> shown;
    if (path.find('~') != std::string::npos) shown = Components(system_.LongPath(path));
    if (shown.size() != parts.size()) shown.clear();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        items.push_back({shown.empty() ? text::ToUtf16(parts[i]) : shown[i], parts[i],
                         static_cast<int>(i), true});
    }
    int level = static_cast<int>(parts.size());
    std::vector<std::u16string> files;
    for (sys::FolderEntry& e : listing.entries) {
        if (!Listed(e)) continue;
        if (!(e.attributes & sys::kDirectory)) {
            files.push_back(std::move(e.name));
            continue;
        }
        // A name CP932 holds is its own path part; any other is asked for when opened.
        std::string part = text::FitsCp932(e.name) ? text::FromUtf16(e.name) : std::string();
        items.push_back({std::move(e.name), std::move(part), level, false});
    }
    directory_ = path;
    items_ = std::move(items);
    files_ = std::move(files);
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

void DirectoryListBox::UserOpen(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    SetDirectory(PathOf(index));
}

// ---- FileListBox -------------------------------------------------------------------

bool MatchesMask(std::u16string_view name, std::u16string_view mask) {
    std::size_t start = 0;
    while (start <= mask.size()) {
        std::size_t end = mask.find(u';', start);
        if (end == std::u16string_view::npos) end = mask.size();
        std::u16string_view pat = mask.substr(start, end - start);
        while (!pat.empty() && pat.front() == u' ') pat.remove_prefix(1);
        while (!pat.empty() && pat.back() == u' ') pat.remove_suffix(1);
        if (!pat.empty()) {
            if (pat == u"*.*" || Match(name, 0, pat, 0)) return true;
            // "x.*" also takes "x" without an extension, as Windows does.
            if (pat.size() >= 2 && pat.substr(pat.size() - 2) == u".*" &&
                name.find(u'.') == std::u16string_view::npos &&
                Match(name, 0, pat.substr(0, pat.size() - 2), 0)) {
                return true;
            }
        }
        start = end + 1;
    }
    return false;
}

namespace {

// The error for a name CP932 cannot spell that has no short name either; "?" marks what
// CP932 lacks.
platform::Error Unusable(const std::u16string& name, bool isFolder) {
    return platform::Error(platform::Format(
        isFolder ? "フォルダ「%s」には短い名前 (8.3 形式) がないため、この名前のままでは開けません"
                 : "ファイル「%s」には短い名前 (8.3 形式) がないため、この名前のままでは使えません",
        text::FromUtf16(name)));
}

}  // namespace

std::string PathPart(sys::System& system, const std::string& folder, const std::u16string& name,
                     bool isFolder) {
    paths::Usable u = paths::MakeUsable(name, [&](const std::string&, const std::u16string& n) {
        return system.ShortName(folder, n);
    });
    if (!u.ok()) throw Unusable(name, isFolder);
    return u.path;
}

std::string UsablePathOf(sys::System& system, const std::u16string& path, bool isFolder) {
    paths::Usable u = paths::MakeUsable(path, [&](const std::string& f, const std::u16string& n) {
        return system.ShortName(f, n);
    });
    if (!u.ok()) throw Unusable(u.unspellable, u.unspellableIsLast ? isFolder : true);
    return u.path;
}

void FileListBox::SetDirectory(const std::string& requested) {
    std::string path = Normalize(requested);
    if (text::EqualsNoCase(path, directory_)) return;
    directory_ = path;
    files_.clear();
    if (!directory_.empty()) {
        for (sys::FolderEntry& e : system_.ListFolder(directory_).entries) {
            if (!(e.attributes & sys::kDirectory) && Listed(e)) files_.push_back(std::move(e.name));
        }
    }
    Filter();
}

void FileListBox::SetDirectory(const std::string& requested,
                               const std::vector<std::u16string>& files) {
    std::string path = Normalize(requested);
    if (text::EqualsNoCase(path, directory_)) return;
    directory_ = path;
    files_ = files;
    Filter();
}

void FileListBox::SetMask(const std::string& mask) {
    if (mask == mask_) return;
    mask_ = mask;
    wideMask_ = text::ToUtf16(mask);
    Filter();
}

void FileListBox::Filter() {
    items_.clear();
    index_ = -1;
    for (const std::u16string& name : files_) {
        if (MatchesMask(name, wideMask_)) items_.push_back(name);
    }
    Changed(Prop::Items);
}

std::string FileListBox::FileName() const {
    if (index_ < 0 || index_ >= static_cast<int>(items_.size())) return std::string();
    return Join(directory_,
                PathPart(system_, directory_, items_[static_cast<std::size_t>(index_)], false));
}

void FileListBox::UserSelect(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size())) return;
    if (index != index_) {
        index_ = index;
        Changed(Prop::Index);
    }
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
