// The top-level window as a control: caption, closing, and the keyboard rules that
// decide which button a key presses.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"

namespace ui {

enum class Key { Enter, Escape };

class Form : public Control {
public:
    // bounds: the window's position on screen and its client size.
    Form(std::string name, Rect bounds);

    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption);

    std::string fontName;
    int fontHeight = 12;  // pixels at 96 dpi

    Notify OnClose;
    // The session ends (logoff, shutdown): the process will not get to close the window.
    Notify OnEndSession;

    // Asks the window to close, exactly as its close box does.
    void Close();
    // The window is closing (its close box, the system menu, Alt+F4, the taskbar, another
    // program, or Close()): runs OnClose once; an error leaves the window open.
    void UserClose();
    bool Closed() const { return closed_; }
    // The session is ending for sure: runs OnEndSession once, unless the window has
    // already closed, and counts as closed from then on. Nothing it raises gets out: there
    // is no one left to tell.
    void EndSession();
    // Set by the Windows side so that Close() goes through the window's own close.
    std::function<void()> closeRequester;

    // The button Enter or Esc presses, or null. `mods` is the set of held keys (kShift, kAlt, kCtrl);
    // `focused` is the control with the keyboard focus (may be null).
    Button* ButtonForKey(Key key, unsigned mods, const Control* focused) const;
    // The showing button or check box whose caption marks `letter` with '&', or null.
    Control* AcceleratorTarget(char letter) const;
    // Presses a button or toggles a check box, as its accelerator does.
    static void Press(Control* target);

    // Every control below the form, depth first in creation order.
    std::vector<Control*> AllControls() const;
    // The controls that take the focus, in keyboard tab order (showing ones only).
    std::vector<Control*> FocusOrder() const;

private:
    std::string caption_;
    bool closed_ = false;
};

}  // namespace ui
