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
