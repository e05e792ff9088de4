#include "platform/ui/Form.h"

#include <algorithm>

namespace ui {
namespace {

void Collect(const Control* c, std::vector<Control*>& out) {
    for (Control* child : c->Children()) {
        out.push_back(child);
        Collect(child, out);
    }
}

void CollectFocus(const Control* c, std::vector<Control*>& out) {
    std::vector<Control*> kids = c->Children();
    std::stable_sort(kids.begin(), kids.end(), [](const Control* a, const Control* b) {
        // Containers without a tab position (labels, say) sort last, as in the designer.
        int ta = a->tabOrder < 0 ? 1 << 20 : a->tabOrder;
        int tb = b->tabOrder < 0 ? 1 << 20 : b->tabOrder;
        return ta < tb;
    });
    for (Control* k : kids) {
        if (!k->Showing()) continue;
        bool container = k->GetKind() == Kind::Panel;
        if (!container && k->tabOrder >= 0 && k->Enabled()) out.push_back(k);
        // A radio group is one stop; the tab strip is a stop and a container.
        if (k->GetKind() != Kind::RadioGroup) CollectFocus(k, out);
    }
}

}  // namespace

Form::Form(std::string name, Rect bounds) : Control(nullptr, std::move(name), Kind::Form, bounds) {}

void Form::SetCaption(std::string caption) {
    caption_ = std::move(caption);
    Changed(Prop::Text);
}

void Form::Close() {
    if (closeRequester) {
        closeRequester();
    } else {
        UserClose();
    }
}

void Form::UserClose() {
    if (closed_) return;
    if (OnClose) OnClose(this);
    closed_ = true;
}

void Form::EndSession() {
    if (closed_) return;
    closed_ = true;
    try {
        if (OnEndSession) OnEndSession(this);
    } catch (...) {
    }
}

Button* Form::ButtonForKey(Key key, unsigned mods, const Control* focused) const {
    if (mods != 0) return nullptr;
    if (key == Key::Enter && focused) {
        switch (focused->GetKind()) {
            case Kind::Memo:  // Enter is a line break there (a one-line edit has none)
                if (static_cast<const Memo*>(focused)->singleLine) break;
                return nullptr;
            case Kind::DirectoryListBox:  // Enter opens the folder
            case Kind::ValueListEditor:  // Enter ends the cell edit
                return nullptr;
            case Kind::Button:
                if (focused->Usable()) {
                    return static_cast<Button*>(const_cast<Control*>(focused));
                }
                break;
            default: break;
        }
    }
    for (Control* c : AllControls()) {
        if (c->GetKind() != Kind::Button || !c->Usable()) continue;
        auto* b = static_cast<Button*>(c);
        if ((key == Key::Enter && b->isDefault) || (key == Key::Escape && b->isCancel)) return b;
    }
    return nullptr;
}

Control* Form::AcceleratorTarget(char letter) const {
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    for (Control* c : AllControls()) {
        if (!c->Usable()) continue;
        if (c->GetKind() == Kind::Button &&
            AcceleratorOf(static_cast<Button*>(c)->Caption()) == letter) {
            return c;
        }
        if (c->GetKind() == Kind::CheckBox &&
            AcceleratorOf(static_cast<CheckBox*>(c)->Caption()) == letter) {
            return c;
        }
    }
    return nullptr;
}

void Form::Press(Control* target) {
    if (!target) return;
    if (target->GetKind() == Kind::Button) static_cast<Button*>(target)->UserClick();
    if (target->GetKind() == Kind::CheckBox) static_cast<CheckBox*>(target)->UserToggle();
}

std::vector<Control*> Form::AllControls() const {
    std::vector<Control*> out;
    Collect(this, out);
    return out;
}

std::vector<Control*> Form::FocusOrder() const {
    std::vector<Control*> out;
    CollectFocus(this, out);
    return out;
}

}  // namespace ui
