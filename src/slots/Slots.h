// The slot table's line rules and the list file that defines the slots.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ini/IniFile.h"

namespace slots {

// The text before a line's first '=', or "" when it has none.
std::string NameOf(std::string_view line);

// A slot counts as assigned when its line is at least 4 bytes longer than its name:
// a value of 3 bytes or more.
bool IsAssigned(std::string_view line);

// The value the batch file and the copy take: the last (line length - name length - 1)
// bytes of an assigned line. For a line with '=' that is the text after it, as the grid
// shows it (ui::ValueListEditor::Value); for a line without one (a hand-edited list file)
// it is the line without its first byte, which is what the slot table's length rule
// gives and what those two have always written.
std::string AssignedValue(std::string_view line);

// A slot name that may be written into the game's folder: one plain file name. Refused:
// an empty name, a path part (a backslash or '/'), a drive or stream (':'), a wildcard, '~' (a
// short name could stand for another file), a control character or any of "<>|, a
// trailing dot or blank (Windows drops them), and the reserved device names (CON, PRN,
// AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$) with any extension. Looked at by CP932
// characters, so a second byte is never taken for a separator.
bool IsUsableSlotName(std::string_view name);
// The reason the copy report gives for a slot whose name is refused.
inline constexpr const char* kUnusableSlotName = "ファイル名として使えない名前です";

// The destination folder as typed or pasted into its box: one pair of quotes around it
// (Explorer's "パスのコピー" gives them) is dropped. Nothing when a '"' is left, which no
// folder name holds and which would break the batch file's quoting.
std::optional<std::string> DestinationFolder(std::string_view typed);

// A slot's name in a report: the name, or "<n> 行目" for a line without one.
std::string SlotLabel(std::string_view name, int line);

// Destination folder, one backslash (always), slot name.
std::string DestinationPath(std::string_view folder, std::string_view name);

// The tip of a slot line: every '=' becomes " - ".
std::string TipOf(std::string_view line);

// What the list file holds (section "mp3").
struct ListFile {
    std::string nametips;  // the slot lines joined by '#', cut at 2047 bytes
    std::string mask;
    std::int32_t number = 0;
};

inline constexpr const char* kDefaultNametips = "エーラ\r\n発生";
inline constexpr const char* kDefaultMask = "*.mp3";
inline constexpr std::int32_t kDefaultNumber = 45;

ListFile ReadListFile(ini::IniFile& file);

// The grid's text: every '#' becomes CR LF.
std::string LinesText(std::string_view nametips);

// A list file name is taken below the exe folder: no drive, no root, no "..".
bool IsSafeListName(std::string_view name);

}  // namespace slots
