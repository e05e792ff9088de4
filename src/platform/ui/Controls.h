// The simple controls: containers, labels, buttons, check box, radio group, memo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/Control.h"

namespace ui {

class Panel : public Control {
public:
    Panel(Control* parent, std::string name, Rect bounds)
        : Control(parent, std::move(name), Kind::Panel, bounds) {}
};

// A tab strip that reports the selected tab; switching pages is the handler's job.
class TabControl : public Control {
public:
    TabControl(Control* parent, std::string name, Rect bounds, std::vector<std::string> tabs);
    const std::vector<std::string>& Tabs() const { return tabs_; }
    int TabIndex() const { return index_; }
    // The player selected a tab: raises OnChange when the index really changed.
    void UserSelect(int index);
    // The program chooses a tab: no event.
    void SetTabIndex(int index);
    Notify OnChange;

private:
    std::vector<std::string> tabs_;
    int index_ = 0;
};

class Label : public Control {
public:
    Label(Control* parent, std::string name, Rect bounds, std::string caption)
        : Control(parent, std::move(name), Kind::Label, bounds), caption_(std::move(caption)) {}
    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption);
    // A fixed-size label keeps its bounds; any other grows to fit its text.
    bool fixedSize = false;

private:
    std::string caption_;
};

// The letter after a single '&' in a caption, upper-cased; 0 when there is none.
char AcceleratorOf(const std::string& caption);

class Button : public Control {
public:
    Button(Control* parent, std::string name, Rect bounds, std::string caption)
        : Control(parent, std::move(name), Kind::Button, bounds), caption_(std::move(caption)) {}
    const std::string& Caption() const { return caption_; }
    bool isDefault = false;  // pressed by Enter
    bool isCancel = false;  // pressed by Esc
    // The player pressed the button (a click, Enter or Esc by its role, its accelerator).
    void UserClick();
    Notify OnClick;

private:
    std::string caption_;
};

class CheckBox : public Control {
public:
    CheckBox(Control* parent, std::string name, Rect bounds, std::string caption)
        : Control(parent, std::move(name), Kind::CheckBox, bounds), caption_(std::move(caption)) {}
    const std::string& Caption() const { return caption_; }
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    // The player clicked the box (it has no event of its own).
    void UserToggle() { SetChecked(!checked_); }

private:
    std::string caption_;
    bool checked_ = false;
};

class RadioGroup : public Control {
public:
    RadioGroup(Control* parent, std::string name, Rect bounds, std::string caption,
               std::vector<std::string> items);
    const std::string& Caption() const { return caption_; }
    const std::vector<std::string>& Items() const { return items_; }
    int ItemIndex() const { return index_; }
    // Below -1 gives -1 (no button on); at or above the item count gives the last item.
    void SetItemIndex(std::int32_t index);
    // The player chose item `index` (the group has no event of its own).
    void UserSelect(int index) { SetItemIndex(index); }

private:
    std::string caption_;
    std::vector<std::string> items_;
    int index_ = -1;
};

// A multi-line text box one line high. Enter types CR LF into it, unless it is a one-line
// edit (`singleLine`): there Enter presses the default button.
class Memo : public Control {
public:
    Memo(Control* parent, std::string name, Rect bounds, std::string text = "")
        : Control(parent, std::move(name), Kind::Memo, bounds), text_(std::move(text)) {}
    const std::string& Text() const { return text_; }
    // Set by the program: never cut to the typing limit.
    void SetText(std::string text);
    // What the player typed, already limited by the peer; does not notify the peer back.
    void UserSetText(std::string text) { text_ = std::move(text); }

    // Limit on typing, in CP932 bytes; 0 for none.
    std::size_t maxLength = 0;
    bool fixedPitch = false;
    bool singleLine = false;
    // How much of `typed` may go in when the text keeps `keptBytes` bytes besides it
    // (the selection being replaced already taken out). Whole characters only.
    std::string ClipTyped(std::size_t keptBytes, const std::string& typed) const;

private:
    std::string text_;
};

// A list of lines to choose one from.
class ListBox : public Control {
public:
    ListBox(Control* parent, std::string name, Rect bounds)
        : Control(parent, std::move(name), Kind::ListBox, bounds) {}
    const std::vector<std::string>& Items() const { return items_; }
    // New lines; the selection keeps its index where the list still reaches it.
    void SetItems(std::vector<std::string> items);
    int ItemIndex() const { return index_; }
    // Below -1 gives -1 (nothing selected); at or above the count gives the last line.
    void SetItemIndex(int index);
    // Tab stops in the lines' text ('\t'), in 96-dpi pixels from the left.
    std::vector<int> tabStops;
    // The player selected line `index` (raises OnClick) or double-clicked the selected one
    // (raises OnDblClick).
    void UserSelect(int index);
    void UserDoubleClick();
    Notify OnClick;
    Notify OnDblClick;

private:
    std::vector<std::string> items_;
    int index_ = -1;
};

}  // namespace ui
