// The controls of the window as C++ objects that own their state and rules.
// A control may have a native peer (the Windows side) that mirrors its state and turns
// the user's input into the same calls a test makes. Without a peer it works headless.
//
// The event rule, for every control:
//   Set…   a change the program makes. It updates the control and its peer and raises no
//          event, except where the toolkit's control raises one on a program change too:
//            - ValueListEditor::SetRow raises OnClick when the row really changes;
//            - DirectoryListBox::SetDirectory and SetDrive raise OnChange after every change
//              of the folder;
//            - DriveComboBox::Ready raises OnChange once, for the initial drive.
//   User…  the player's input as a peer reports it (a test calls it to act as the player).
//          It updates the control, shows the change in the peer, and raises the control's
//          event if it has one. Where the peer's window already holds the input (a memo's
//          text, the grid's value cell) the peer is not told again: rewriting the window's
//          text would move the caret.
// A peer may use a Set… call to bring the control up to what its window already shows
// when no event belongs to that (the file list's selection at a mouse press, ahead of the
// press's own event). Events run through ui::Application::Dispatch; none is raised while
// a peer creates its window.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ui {

class Control;

// What changed, so a peer updates only that.
enum class Prop {
    Visible,
    Text,  // caption or text
    Items,  // list items, radio items, tabs, grid lines
    Index,  // selected item, tab, radio index, check state, grid row
    Enabled,
};

class Peer {
public:
    virtual ~Peer() = default;
    virtual void Update(Prop what) = 0;
    // Makes the windows this control's children are still waiting for (a page made on
    // first show), all of them or none: a failure leaves them waiting and raises.
    virtual void Realize() {}
};

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
};

enum class Kind {
    Form,
    TabControl,
    Panel,
    Label,
    Button,
    CheckBox,
    RadioGroup,
    Memo,
    DriveComboBox,
    DirectoryListBox,
    FileListBox,
    ValueListEditor,
    ListBox,
};

// What is held at a mouse press or a key, as a set of flags.
enum ShiftFlag : unsigned {
    kShift = 1,
    kAlt = 2,
    kCtrl = 4,
    kLeft = 8,
    kRight = 16,
    kMiddle = 32,
    kDouble = 64,  // the second press of a double click
};

// The sender handed to every event handler.
using Notify = std::function<void(Control* sender)>;
// Files and folders dropped onto a control: their full paths as the system spells them,
// and for the grid the row under the drop point (0 when there is none).
using DropNotify =
    std::function<void(Control* sender, const std::vector<std::u16string>& paths, int row)>;

class Control {
public:
    Control(Control* parent, std::string name, Kind kind, Rect bounds);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    const std::string& Name() const { return name_; }
    Kind GetKind() const { return kind_; }
    Control* Parent() const { return parent_; }
    const std::vector<Control*>& Children() const { return children_; }
    const Rect& Bounds() const { return bounds_; }

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    // Visible, and every container above it visible too: what the player can see.
    bool Showing() const;
    // A disabled control shows greyed and takes no input, no focus, no key.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Showing and enabled: what the player can use.
    bool Usable() const { return enabled_ && Showing(); }

    std::string hint;  // tooltip text; empty for none
    int tabOrder = -1;  // position in the keyboard tab order; -1 takes no focus

    // The player dropped files or folders onto the control: raises OnDropFiles.
    void UserDropFiles(const std::vector<std::u16string>& paths, int row) {
        if (OnDropFiles) OnDropFiles(this, paths, row);
    }
    DropNotify OnDropFiles;

    // Its native windows and its children's made now, before they are first shown; a
    // failure raises and changes nothing.
    void Realize() {
        if (peer_) peer_->Realize();
    }

    void AttachPeer(Peer* peer) { peer_ = peer; }
    Peer* GetPeer() const { return peer_; }

protected:
    void Changed(Prop what) {
        if (peer_) peer_->Update(what);
    }

private:
    Control* parent_;
    std::string name_;
    Kind kind_;
    Rect bounds_;
    bool visible_ = true;
    bool enabled_ = true;
    std::vector<Control*> children_;
    Peer* peer_ = nullptr;
};

}  // namespace ui
