#include "platform/ui/Grid.h"

#include "platform/Error.h"

namespace ui {

std::string ListIndexErrorText(int index) {
    return platform::Format("リストのインデックスが範囲を超えています (%d)", index);
}

ValueListEditor::ValueListEditor(Control* parent, std::string name, Rect bounds,
                                 std::vector<std::string> lines)
    : Control(parent, std::move(name), Kind::ValueListEditor, bounds), lines_(std::move(lines)) {}

const std::string& ValueListEditor::Line(int i) const {
    if (i < 0 || i >= Count()) throw platform::Error(ListIndexErrorText(i));
    return lines_[static_cast<std::size_t>(i)];
}

void ValueListEditor::SetLine(int i, std::string line) {
    if (i < 0 || i >= Count()) throw platform::Error(ListIndexErrorText(i));
    lines_[static_cast<std::size_t>(i)] = std::move(line);
    Changed(Prop::Items);
}

std::string ValueListEditor::Name(int i) const {
    const std::string& line = Line(i);
    std::size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string ValueListEditor::Value(int i) const {
    const std::string& line = Line(i);
    std::size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

void ValueListEditor::SetValue(int i, const std::string& value) {
    SetLine(i, WithValue(i, value));
    ValueChanged(i);
}

void ValueListEditor::ValueChanged(int i) {
    if (i < static_cast<int>(warned_.size())) warned_[static_cast<std::size_t>(i)] = false;
    if (OnValueChange) OnValueChange(this, i);
}

void ValueListEditor::SetWarned(int i, bool warned) {
    if (i < 0 || i >= Count() || Warned(i) == warned) return;
    if (warned_.size() < lines_.size()) warned_.resize(lines_.size());
    warned_[static_cast<std::size_t>(i)] = warned;
    Changed(Prop::Items);
}

bool ValueListEditor::Warned(int i) const {
    return i >= 0 && i < static_cast<int>(warned_.size()) && warned_[static_cast<std::size_t>(i)];
}

void ValueListEditor::EmptyValues(int n) {
    std::vector<std::string> lines = lines_;
    for (int i = 0; i < n && i < Count(); ++i)
        lines[static_cast<std::size_t>(i)] = WithValue(i, "");
    SetLines(std::move(lines));
}

void ValueListEditor::SetText(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    bool pending = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(current);
            current.clear();
            pending = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            current += c;
            pending = true;
        }
    }
    if (pending) lines.push_back(current);
    SetLines(std::move(lines));
}

void ValueListEditor::SetLines(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    warned_.clear();
    if (row_ >= RowCount()) row_ = RowCount() - 1;
    Changed(Prop::Items);
}

void ValueListEditor::SetRow(int row) {
    if (row < 1 || row >= RowCount() || row == row_) return;
    row_ = row;
    Changed(Prop::Index);
    if (OnClick) OnClick(this);
}

void ValueListEditor::UserSetValue(int row, const std::string& value) {
    int i = row - 1;
    if (i < 0 || i >= Count()) return;  // the blank row of an empty table holds nothing
    // As registering a file does: the name (empty for a line without '=') and the value.
    lines_[static_cast<std::size_t>(i)] = WithValue(i, value);
    ValueChanged(i);
}

}  // namespace ui
