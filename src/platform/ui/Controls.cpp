#include "platform/ui/Controls.h"

#include "platform/text/Cp932.h"

namespace ui {

TabControl::TabControl(Control* parent, std::string name, Rect bounds,
                       std::vector<std::string> tabs)
    : Control(parent, std::move(name), Kind::TabControl, bounds), tabs_(std::move(tabs)) {}

void TabControl::UserSelect(int index) {
    if (index < 0 || index >= static_cast<int>(tabs_.size()) || index == index_) return;
    index_ = index;
    Changed(Prop::Index);
    if (OnChange) OnChange(this);
}

void TabControl::SetTabIndex(int index) {
    if (index < 0 || index >= static_cast<int>(tabs_.size()) || index == index_) return;
    index_ = index;
    Changed(Prop::Index);
}

void Label::SetCaption(std::string caption) {
    caption_ = std::move(caption);
    Changed(Prop::Text);
}

char AcceleratorOf(const std::string& caption) {
    for (std::size_t i = 0; i + 1 < caption.size(); i += text::CharLength(caption, i)) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {  // "&&" draws one ampersand
            ++i;
            continue;
        }
        char c = caption[i + 1];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return static_cast<unsigned char>(c) < 0x80 ? c : 0;
    }
    return 0;
}

void Button::UserClick() {
    if (OnClick) OnClick(this);
}

void CheckBox::SetChecked(bool checked) {
    if (checked_ == checked) return;
    checked_ = checked;
    Changed(Prop::Index);
}

RadioGroup::RadioGroup(Control* parent, std::string name, Rect bounds, std::string caption,
                       std::vector<std::string> items)
    : Control(parent, std::move(name), Kind::RadioGroup, bounds),
      caption_(std::move(caption)),
      items_(std::move(items)) {}

void RadioGroup::SetItemIndex(std::int32_t index) {
    int count = static_cast<int>(items_.size());
    if (index < -1) index = -1;
    if (index >= count) index = count - 1;
    if (index == index_) return;
    index_ = index;
    Changed(Prop::Index);
}

void Memo::SetText(std::string text) {
    text_ = std::move(text);
    Changed(Prop::Text);
}

std::string Memo::ClipTyped(std::size_t keptBytes, const std::string& typed) const {
    if (maxLength == 0) return typed;
    if (keptBytes >= maxLength) return std::string();
    return std::string(text::CutBytes(typed, maxLength - keptBytes));
}

void ListBox::SetItems(std::vector<std::string> items) {
    items_ = std::move(items);
    if (index_ >= static_cast<int>(items_.size())) index_ = static_cast<int>(items_.size()) - 1;
    Changed(Prop::Items);
}

void ListBox::SetItemIndex(int index) {
    const int count = static_cast<int>(items_.size());
    if (index < -1) index = -1;
    if (index >= count) index = count - 1;
    if (index == index_) return;
    index_ = index;
    Changed(Prop::Index);
}

void ListBox::UserSelect(int index) {
    SetItemIndex(index);
    if (OnClick) OnClick(this);
}

void ListBox::UserDoubleClick() {
    if (index_ >= 0 && OnDblClick) OnDblClick(this);
}

}  // namespace ui
