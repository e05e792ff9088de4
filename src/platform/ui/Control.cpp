#include "platform/ui/Control.h"

namespace ui {

Control::Control(Control* parent, std::string name, Kind kind, Rect bounds)
    : parent_(parent), name_(std::move(name)), kind_(kind), bounds_(bounds) {
    if (parent_) parent_->children_.push_back(this);
}

void Control::SetVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    Changed(Prop::Visible);
}

void Control::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    Changed(Prop::Enabled);
}

bool Control::Showing() const {
    for (const Control* c = this; c; c = c->parent_) {
        if (!c->visible_) return false;
    }
    return true;
}

}  // namespace ui
