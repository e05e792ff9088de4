// The two-column name=value grid: a title row, then one row per line of its string list.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/Control.h"

namespace ui {

// The string list's error for a line that does not exist.
std::string ListIndexErrorText(int index);

class ValueListEditor : public Control {
public:
    ValueListEditor(Control* parent, std::string name, Rect bounds, std::vector<std::string> lines);

    // ---- The lines (Strings) -------------------------------------------------------
    int Count() const { return static_cast<int>(lines_.size()); }
    // Line i whole; an index outside the lines raises the list index error.
    const std::string& Line(int i) const;
    void SetLine(int i, std::string line);
    // The text before the line's first '=', or "" when it has none.
    std::string Name(int i) const;
    // What the grid shows in the value cell: the text after the line's first '=', or ""
    // when it has none. (The batch file and the copy take a slot's value by the slot
    // table's length rule instead: slots::AssignedValue.)
    std::string Value(int i) const;
    // Sets line i to its name, '=' and the value; an index outside the lines raises the
    // list index error.
    void SetValue(int i, const std::string& value);
    // Empties the values of the first n lines (all when n is larger), filling the window
    // once.
    void EmptyValues(int n);
    // A line whose value is drawn in the warning colour (the file there may not play).
    // A new value takes the mark off until its check puts it back.
    void SetWarned(int i, bool warned);
    bool Warned(int i) const;
    // Replaces every line: split at CR LF, a lone CR or LF; a final break adds no line.
    void SetText(const std::string& text);
    // Replaces every line at once: the window is filled anew once, not once a line.
    void SetLines(std::vector<std::string> lines);
    const std::vector<std::string>& Lines() const { return lines_; }

    // ---- Rows --------------------------------------------------------------------
    // The title row plus one row per line; never fewer than one data row.
    int RowCount() const { return (lines_.empty() ? 1 : Count()) + 1; }
    int Row() const { return row_; }
    // Makes a row current and raises OnClick; the current row again does nothing.
    // The title row and rows past the end are never current.
    void SetRow(int row);
    // The player selected a row (a click, the arrow or page keys): as SetRow.
    void UserSelect(int row) { SetRow(row); }
    // The player typed into the value cell of a row (no event).
    void UserSetValue(int row, const std::string& value);

    std::int32_t tag = 0;  // general-purpose number
    std::string titleName = "-";
    std::string titleValue;
    int colWidths[2] = {41, 268};
    int defaultRowHeight = 16;
    Notify OnClick;
    // A slot's value was set by SetValue or typed: the line's index.
    std::function<void(Control* sender, int line)> OnValueChange;

private:
    void ValueChanged(int i);
    std::string WithValue(int i, const std::string& value) const { return Name(i) + "=" + value; }

    std::vector<std::string> lines_;
    std::vector<bool> warned_;  // by line; shorter than the lines where none is warned
    int row_ = 1;
};

}  // namespace ui
