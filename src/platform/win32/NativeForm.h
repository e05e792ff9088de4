// The Windows side of a ui::Form: one HWND per control, a peer that mirrors the
// control's state and turns the player's input into the same calls a test makes.
#pragma once

#include <functional>

#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <memory>
#include <vector>

#include "platform/ui/Application.h"
#include "platform/ui/Form.h"
#include "platform/win32/Scoped.h"
#include "platform/win32/Win32System.h"

namespace win32 {

class PeerBase;

// The window class of the panels and of the radio groups' frames.
inline constexpr wchar_t kContainerClass[] = L"QxContainer";

// Every window and subclass procedure runs its body through this: a C++ exception that
// escapes the body is shown in the application's error box and the message gets its
// default handling, so none ever crosses into the system.
void ShowStrayError(ui::Application& app, const std::string& message) noexcept;

template <class Body, class Default>
LRESULT Guarded(ui::Application& app, Body&& body, Default&& byDefault) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        ShowStrayError(app, ui::ErrorText(e));
    } catch (...) {
        ShowStrayError(app, ui::UnexpectedErrorText());
    }
    try {
        return byDefault();
    } catch (...) {
        return 0;
    }
}

class NativeForm {
public:
    NativeForm(ui::Application& app, ui::Form& form, Win32System& system);
    ~NativeForm();
    NativeForm(const NativeForm&) = delete;
    NativeForm& operator=(const NativeForm&) = delete;

    // Creates the application window and the form's windows (hidden).
    bool Create();
    // Shows the form at its designed place and focuses the first control.
    void Show();
    // Shows `form` as a dialog of the window boxes now belong to, and runs its loop until
    // it has closed (the application's modal runner).
    void ShowModal(ui::Form& form);
    // Runs the event loop until the form has closed; returns the exit code.
    int Run();
    // The application's background runner: `job` on a thread of its own.
    static void RunInThread(std::function<void(sys::System&)> job);
    // Handles one keyboard message the way the form's rules say; true when consumed.
    bool PreTranslate(MSG& msg);

    HWND Handle() const { return hwnd_; }
    HWND AppHandle() const { return appHwnd_; }
    HWND HandleOf(const ui::Control& control) const;  // null when it has no window
    ui::Control* ControlOf(HWND hwnd) const;  // the control a window belongs to
    ui::Form& Form() { return form_; }
    ui::Application& App() { return app_; }
    int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }
    int Dpi() const { return dpi_; }
    HFONT Font(bool fixedPitch) const { return fixedPitch ? fixedFont_.Get() : font_.Get(); }
    HWND Tooltip() const { return tooltip_; }

    // Runs an event raised by the player: an error ends it and shows the error box.
    // While a handler's box or prompt is open, nothing the player does reaches another
    // handler: the application is modal (whatever still arrives, such as a message
    // another program posts, is dropped).
    template <class F>
    void Raise(F&& f) {
        if (system_.modalDepth > baseDepth_) return;
        app_.Dispatch(std::forward<F>(f));
    }

    static LRESULT CALLBACK ContainerProc(HWND, UINT, WPARAM, LPARAM);

private:
    friend class PeerBase;
    // The window procedure of the form and of the application window: binds the window to
    // this object at WM_NCCREATE and lets go of it at WM_NCDESTROY.
    template <LRESULT (NativeForm::*Handler)(HWND, UINT, WPARAM, LPARAM)>
    static LRESULT CALLBACK Thunk(HWND, UINT, WPARAM, LPARAM);
    // What a container does with its children's messages: hands them to their peers.
    static LRESULT ContainerMessage(HWND, UINT, WPARAM, LPARAM);
    // Registers the window classes; returns the form's class name.
    std::wstring RegisterClasses(HICON icon);
    // The form's window, owned by `owner` (the application's window, or for a dialog the
    // window it belongs to), and then its controls' windows.
    bool MakeWindow(const std::wstring& formClass, HWND owner, DWORD exStyle);
    bool MakeControls();
    // Makes the peers and windows of parent's children, all or none: when one fails, those
    // already made go again and the error goes on to the caller.
    void CreatePeers(ui::Control& parent, HWND parentHwnd);
    void MakePeers(ui::Control& parent, HWND parentHwnd,
                   std::vector<std::unique_ptr<PeerBase>>& made);
    bool KeyDown(WPARAM key, unsigned mods);  // a WM_KEYDOWN as PreTranslate takes it
    void MakeFonts();
    void ApplyDpi(int dpi);
    void MoveFocus(bool backwards);
    void FocusControl(ui::Control* control);
    LRESULT FormMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT AppMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void Dropped(HDROP drop);

    ui::Application& app_;
    ui::Form& form_;
    Win32System& system_;
    HWND appHwnd_ = nullptr;
    HWND hwnd_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND lastFocus_ = nullptr;
    FontHandle font_;  // deleted after the windows (members go after the destructor's body)
    FontHandle fixedFont_;
    int dpi_ = 96;
    int nextId_ = 100;
    // A dialog of another form (ShowModal): no application window, no quitting at close.
    bool owned_ = false;
    // The modal depth at which this form takes input: boxes and dialogs it opens go deeper.
    int baseDepth_ = 0;
    std::vector<std::unique_ptr<PeerBase>> peers_;
    std::unique_ptr<PeerBase> formPeer_;
};

// The base of every control's peer. Each window a peer registers carries the peer as a
// window property and is subclassed to the peer's Message; both come off again when the
// window goes (WM_NCDESTROY) or when the peer goes, whichever is first, so a window never
// reaches a freed peer and a peer never touches a destroyed window.
class PeerBase : public ui::Peer {
    friend class NativeForm;

public:
    PeerBase(NativeForm& nf, ui::Control& control) : nf_(nf), control_(control) {}
    ~PeerBase() override;

    ui::Control& Control() { return control_; }
    HWND Hwnd() const { return hwnd_; }
    // The window that takes the focus for this control.
    virtual HWND FocusTarget() { return hwnd_; }
    virtual void Create(HWND parent) = 0;
    // Places the window from the control's 96-dpi bounds and sets the font.
    virtual void Layout();
    void Update(ui::Prop what) override;
    void Realize() override;
    virtual void UpdateState(ui::Prop what) {}

    virtual void OnCommand(HWND from, int code) {}
    virtual LRESULT OnNotify(NMHDR* hdr) { return 0; }
    virtual void OnDrawItem(DRAWITEMSTRUCT* dis) {}
    virtual void OnMeasureItem(MEASUREITEMSTRUCT* mis) {}
    // Files dropped onto the control's window, `at` in its client coordinates.
    virtual void OnDropFiles(const std::vector<std::u16string>& paths, POINT at);

protected:
    HWND Make(const wchar_t* cls, const std::wstring& text, DWORD style, DWORD exStyle,
              HWND parent);
    void Register(HWND h);  // maps h to this peer and subclasses it
    void AddTooltip();
    void RemoveTooltip();
    // A message to one of the peer's registered windows, before the window's own handling.
    virtual LRESULT Message(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    // One of the registered windows is being destroyed; it is no longer the peer's.
    virtual void Forget(HWND h) {}

    NativeForm& nf_;
    ui::Control& control_;
    HWND hwnd_ = nullptr;
    int id_ = 0;

private:
    static LRESULT CALLBACK SubclassProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                         DWORD_PTR ref);
    void Release(HWND h);  // takes the property and the subclass off h
    std::vector<HWND> windows_;
    bool childrenWaiting_ = false;  // the children's windows come when the control shows
};

// The base of the peer of one kind of control (CRTP, as LearnWin32's BaseWindow): Model()
// is the control as its own type, and New makes the peer for the factory. Base is the
// peer class it builds on (PeerBase, or a shared kind such as the owner-drawn lists).
template <class Self, class ModelT, class Base = PeerBase>
class Peer : public Base {
public:
    Peer(NativeForm& nf, ui::Control& control) : Base(nf, control) {}
    static std::unique_ptr<PeerBase> New(NativeForm& nf, ui::Control& control) {
        return std::make_unique<Self>(nf, control);
    }

protected:
    ModelT& Model() { return static_cast<ModelT&>(this->control_); }
};

}  // namespace win32
