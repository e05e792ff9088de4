#include "slots/Slots.h"

#include "platform/text/Cp932.h"

namespace slots {

std::string NameOf(std::string_view line) {
    std::size_t eq = line.find('=');
    return eq == std::string_view::npos ? std::string() : std::string(line.substr(0, eq));
}

bool IsAssigned(std::string_view line) { return line.size() >= NameOf(line).size() + 4; }

std::string AssignedValue(std::string_view line) {
    std::size_t nameLength = NameOf(line).size();
    if (line.size() < nameLength + 1) return std::string();
    std::size_t n = line.size() - nameLength - 1;
    return std::string(line.substr(line.size() - n));
}

std::string DestinationPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    out += '\\';
    out += name;
    return out;
}

bool IsUsableSlotName(std::string_view name) {
    if (name.empty() || name.size() > 255) return false;
    for (std::size_t i = 0; i < name.size(); i += text::CharLength(name, i)) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || std::string_view("\\/:*?\"<>|~").find(name[i]) != std::string_view::npos)
            return false;
    }
    if (name.back() == '.' || name.back() == ' ') return false;
    // The device names count with any extension, and with blanks before it ("CON .mp3").
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    const std::string upper = text::UpperAscii(std::string(base));
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (upper == device) return false;
    }
    if (upper.size() == 4 && (upper.rfind("COM", 0) == 0 || upper.rfind("LPT", 0) == 0) &&
        upper[3] >= '0' && upper[3] <= '9') {
        return false;  // COM0 and LPT0 too: some Windows versions reserve them
    }
    return true;
}

std::optional<std::string> DestinationFolder(std::string_view typed) {
    if (typed.size() >= 2 && typed.front() == '"' && typed.back() == '"')
        typed = typed.substr(1, typed.size() - 2);
    if (typed.find('"') != std::string_view::npos) return std::nullopt;
    return std::string(typed);
}

std::string SlotLabel(std::string_view name, int line) {
    return name.empty() ? std::to_string(line + 1) + " 行目" : std::string(name);
}

std::string TipOf(std::string_view line) { return text::ReplaceAll(line, "=", " - "); }

ListFile ReadListFile(ini::IniFile& f) {
    ListFile out;
    out.nametips = f.ReadString("mp3", "nametips", kDefaultNametips);
    out.mask = f.ReadString("mp3", "mask", kDefaultMask);
    out.number = f.ReadInteger("mp3", "number", kDefaultNumber);
    return out;
}

std::string LinesText(std::string_view nametips) { return text::ReplaceAll(nametips, "#", "\r\n"); }

bool IsSafeListName(std::string_view name) {
    if (name.empty()) return false;
    if (name.find(':') != std::string_view::npos) return false;
    if (name[0] == '\\' || name[0] == '/') return false;
    // Look at each path component, skipping the second byte of double-byte characters.
    std::string part;
    for (std::size_t i = 0; i <= name.size();) {
        std::size_t n = i < name.size() ? text::CharLength(name, i) : 1;
        bool sep = i == name.size() || (n == 1 && (name[i] == '\\' || name[i] == '/'));
        if (sep) {
            std::string trimmed = part;
            while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '.')) {
                trimmed.pop_back();
            }
            // ".." (and "...", which Windows also reads as a parent) or an empty part.
            if (trimmed.empty()) return false;
            part.clear();
        } else {
            part.append(name.substr(i, n));
        }
        i += n;
    }
    return true;
}

}  // namespace slots
