#include "platform/system/FakeSystem.h"

#include <algorithm>

#include "platform/text/Cp932.h"

namespace sys {

FakeSystem::FakeSystem() {
    AddDrive('C', DriveKind::Fixed, "Windows");
    AddFolder("C:\\Game\\QUAVERIX");
}

std::string FakeSystem::Key(const std::string& path) {
    // Doubled backslashes name the same file, as on Windows (a leading "\\" stays).
    std::string k;
    for (std::size_t i = 0; i < path.size(); i += text::CharLength(path, i)) {
        std::size_t n = text::CharLength(path, i);
        if (n == 1 && path[i] == '\\' && i > 1 && k.back() == '\\' && !text::EndsWithDoubleByte(k)) continue;
        k.append(path, i, n);
    }
    k = text::UpperAscii(k);
    while (k.size() > 3 && text::EndsWithBackslash(k)) k.pop_back();
    if (k.size() == 2 && k[1] == ':') k += '\\';
    return k;
}

std::string FakeSystem::Parent(const std::string& key) {
    if (key.size() <= 3) return "";
    std::size_t cut = std::string::npos;
    for (std::size_t i = 0; i < key.size(); i += text::CharLength(key, i)) {
        if (key[i] == '\\') cut = i;
    }
    if (cut == std::string::npos) return "";
    return cut == 2 ? key.substr(0, 3) : key.substr(0, cut);
}

void FakeSystem::AddDrive(char letter, DriveKind kind, std::string label, bool ready) {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    Drive d;
    d.info.letter = letter;
    d.info.kind = kind;
    d.info.label = std::move(label);
    d.ready = ready;
    d.current = std::string(1, letter) + ":\\";
    drives_[letter] = d;
    Node root;
    root.name = d.current;
    root.attributes = kDirectory;
    nodes_[d.current] = root;
}

void FakeSystem::SetDriveReady(char letter, bool ready) {
    drives_[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))].ready = ready;
}

void FakeSystem::SetDriveCurrent(char letter, std::string folder) {
    drives_[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))].current =
        std::move(folder);
}

void FakeSystem::AddFolder(const std::string& path, std::uint32_t attributes) {
    std::string key = Key(path);
    std::string parent = Parent(key);
    if (!parent.empty() && !nodes_.count(parent)) {
        std::string spelled = path.substr(0, parent.size());
        AddFolder(spelled);
    }
    Node n;
    n.name = path.size() > 3 && text::EndsWithBackslash(path) ? path.substr(0, path.size() - 1)
                                                              : path;
    n.attributes = attributes | kDirectory;
    nodes_[key] = n;
}

void FakeSystem::AddFile(const std::string& path, std::string data, std::uint32_t attributes) {
    std::string key = Key(path);
    std::string parent = Parent(key);
    if (!parent.empty() && !nodes_.count(parent)) AddFolder(path.substr(0, parent.size()));
    Node n;
    n.name = path;
    n.attributes = attributes;
    n.data = std::move(data);
    nodes_[key] = n;
}

void FakeSystem::SetAttributes(const std::string& path, std::uint32_t attributes) {
    auto it = nodes_.find(Key(path));
    if (it != nodes_.end()) it->second.attributes = attributes;
}

void FakeSystem::Remove(const std::string& path) { nodes_.erase(Key(path)); }

bool FakeSystem::Exists(const std::string& path) const { return nodes_.count(Key(path)) > 0; }

std::string FakeSystem::Data(const std::string& path) const {
    auto it = nodes_.find(Key(path));
    return it == nodes_.end() ? std::string() : it->second.data;
}

bool FakeSystem::DriveReady(const std::string& path) const {
    if (path.size() < 2 || path[1] != ':') return false;
    auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))));
    return it != drives_.end() && it->second.ready;
}

bool FakeSystem::Writable(const std::string& path) const {
    std::string key = Key(path);
    for (const std::string& u : unwritable) {
        if (Key(u) == key || Key(u) == Parent(key)) return false;
    }
    if (!DriveReady(path)) return false;
    std::string parent = Parent(key);
    auto p = nodes_.find(parent);
    if (parent.empty() || p == nodes_.end() || !(p->second.attributes & kDirectory)) return false;
    auto it = nodes_.find(key);
    if (it != nodes_.end() && (it->second.attributes & (kReadOnly | kDirectory))) return false;
    return true;
}

namespace {

bool Fail(FileError* why, Fault fault, std::string detail = "") {
    if (why) *why = {fault, std::move(detail)};
    return false;
}

}  // namespace

bool FakeSystem::InUse(const std::string& path) const {
    for (const std::string& u : inUse) {
        if (Key(u) == Key(path)) return true;
    }
    return false;
}

FileError FakeSystem::WriteFault(const std::string& path) const {
    std::string key = Key(path);
    if (InUse(path)) return {Fault::InUse, ""};
    auto it = nodes_.find(key);
    if (it != nodes_.end() && (it->second.attributes & (kReadOnly | kHidden))) {
        return {Fault::TargetProtected, ""};
    }
    auto p = nodes_.find(Parent(key));
    if (!DriveReady(path) || p == nodes_.end() || !(p->second.attributes & kDirectory)) {
        return {Fault::FolderMissing, ""};
    }
    if (!Writable(path)) return {Fault::Other, "アクセスが拒否されました。"};
    return {};
}

bool FakeSystem::ReadFile(const std::string& path, std::string& data, FileError* why) {
    auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || (it->second.attributes & kDirectory) || !DriveReady(path)) {
        return Fail(why, Fault::SourceMissing);
    }
    if (InUse(path)) return Fail(why, Fault::InUse);
    data = it->second.data;
    return true;
}

bool FakeSystem::SaveFileAtomic(const std::string& path, const std::string& data, FileError* why) {
    log.push_back("replace: " + path);
    if (InUse(path)) return Fail(why, Fault::InUse);
    if (!Writable(path)) {
        FileError e = WriteFault(path);
        return Fail(why, e.fault == Fault::None ? Fault::Other : e.fault, e.detail);
    }
    if (diskSpace >= 0 && static_cast<long long>(data.size()) > diskSpace) {
        return Fail(why, Fault::Other, "ディスクに十分な空き領域がありません。");
    }
    auto it = nodes_.find(Key(path));
    if (it != nodes_.end()) {
        it->second.data = data;
    } else {
        AddFile(path, data);
    }
    return true;
}

WriteStatus FakeSystem::CreateAndWrite(const std::string& path, const std::string& data) {
    log.push_back("write: " + path);
    if (!Writable(path)) return WriteStatus::CannotCreate;
    auto it = nodes_.find(Key(path));
    if (it == nodes_.end()) {
        AddFile(path);
        it = nodes_.find(Key(path));
    }
    if (diskSpace >= 0 && static_cast<long long>(data.size()) > diskSpace) {
        it->second.data = data.substr(0, static_cast<std::size_t>(diskSpace));
        return WriteStatus::WriteFailed;
    }
    it->second.data = data;
    return WriteStatus::Ok;
}

bool FakeSystem::CopyFileTo(const std::string& from, const std::string& to, bool failIfExists,
                            FileError* why) {
    log.push_back("copy: " + from + " -> " + to);
    auto src = nodes_.find(Key(from));
    if (src == nodes_.end() || (src->second.attributes & kDirectory) || !DriveReady(from)) {
        return Fail(why, Fault::SourceMissing);
    }
    if (InUse(from)) return Fail(why, Fault::InUse);
    auto dst = nodes_.find(Key(to));
    if (dst != nodes_.end() && failIfExists) {
        return Fail(why, Fault::Other, "ファイルが既に存在します。");
    }
    if (dst != nodes_.end() && (dst->second.attributes & kDirectory)) {
        return Fail(why, Fault::Other, "アクセスが拒否されました。");
    }
    FileError e = WriteFault(to);
    if (e.fault != Fault::None) return Fail(why, e.fault, e.detail);
    const long long size = static_cast<long long>(src->second.data.size());
    if (diskSpace >= 0 && size > diskSpace) {
        return Fail(why, Fault::Other, "ディスクに十分な空き領域がありません。");
    }
    Node copy = src->second;
    copy.name = to;
    nodes_[Key(to)] = copy;
    return true;
}

bool FakeSystem::RemoveFile(const std::string& path, FileError* why) {
    log.push_back("delete: " + path);
    auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || (it->second.attributes & kDirectory)) {
        return Fail(why, Fault::SourceMissing);
    }
    FileError e = WriteFault(path);
    if (e.fault != Fault::None) return Fail(why, e.fault, e.detail);
    nodes_.erase(it);
    return true;
}

bool FakeSystem::CreateFolder(const std::string& path) {
    auto it = nodes_.find(Key(path));
    if (it != nodes_.end()) return (it->second.attributes & kDirectory) != 0;
    auto p = nodes_.find(Parent(Key(path)));
    if (p == nodes_.end() || !(p->second.attributes & kDirectory) || !Writable(path)) return false;
    AddFolder(path);
    return true;
}

std::uint32_t FakeSystem::Attributes(const std::string& path) {
    auto it = nodes_.find(Key(path));
    return it == nodes_.end() ? kNoFile : it->second.attributes;
}

FolderListing FakeSystem::ListFolder(const std::string& folder) {
    ++listCalls;
    FolderListing out;
    std::string key = Key(folder);
    auto self = nodes_.find(key);
    if (!DriveReady(folder)) {
        out.error = "device not ready";
        return out;
    }
    if (self == nodes_.end() || !(self->second.attributes & kDirectory)) {
        out.error = "folder not found";
        return out;
    }
    out.ok = true;
    for (const auto& [k, node] : nodes_) {
        if (k != key && Parent(k) == key) {
            std::string name = node.name;
            std::size_t cut = 0;
            for (std::size_t i = 0; i < name.size(); i += text::CharLength(name, i)) {
                if (name[i] == '\\') cut = i + 1;
            }
            out.entries.push_back({name.substr(cut), node.attributes});
        }
    }
    std::sort(out.entries.begin(), out.entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) {
                  return text::UpperAscii(a.name) < text::UpperAscii(b.name);
              });
    return out;
}

std::vector<DriveInfo> FakeSystem::Drives() {
    std::vector<DriveInfo> out;
    for (const auto& [letter, d] : drives_) {
        DriveInfo info = d.info;
        if (!d.ready) info.label.clear();
        out.push_back(info);
    }
    return out;
}

DriveFolder FakeSystem::ResolveDrive(char letter) {
    DriveFolder out;
    auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    if (it == drives_.end() || !it->second.ready) {
        out.error = "not ready";
        return out;
    }
    out.ok = true;
    out.folder = it->second.current;
    return out;
}

void FakeSystem::ShellOpen(const std::string& file, const std::optional<std::string>& parameters,
                           int showCommand) {
    log.push_back("shell: " + file);
    shellCalls.push_back({file, parameters, showCommand});
}

BoxResult FakeSystem::ShowBox(BoxKind kind, const std::string& caption,
                                 const std::string& text) {
    log.push_back("box: " + text);
    boxes.push_back({kind, caption, text});
    if (boxAnswers.empty()) return BoxResult::Ok;
    BoxResult r = boxAnswers.front();
    boxAnswers.pop_front();
    return r;
}

bool FakeSystem::OpenFileDialog(const OpenFileRequest& request, std::string& path) {
    openRequests.push_back(request);
    if (openAnswers.empty() || !openAnswers.front()) {
        if (!openAnswers.empty()) openAnswers.pop_front();
        return false;
    }
    path = *openAnswers.front();
    openAnswers.pop_front();
    return true;
}

bool FakeSystem::SaveFileDialog(const SaveFileRequest& request, std::string& path) {
    saveRequests.push_back(request);
    if (saveAnswers.empty() || !saveAnswers.front()) {
        if (!saveAnswers.empty()) saveAnswers.pop_front();
        return false;
    }
    path = *saveAnswers.front();
    saveAnswers.pop_front();
    return true;
}

}  // namespace sys
