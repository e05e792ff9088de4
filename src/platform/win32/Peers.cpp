#include "platform/win32/Peers.h"

#include <commctrl.h>

#include "platform/ui/Controls.h"
#include "platform/win32/Wide.h"

#include <algorithm>

namespace win32 {
namespace {


// Text of a window, already in CP932.
std::string TextOf(HWND h) { return A(WindowTextW(h)); }

// ---- Containers ------------------------------------------------------------------------

class PanelPeer : public PeerBase {
public:
    using PeerBase::PeerBase;
    void Create(HWND parent) override {
        Make(kContainerClass, L"", WS_CLIPSIBLINGS | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, parent);
    }
};

class TabPeer : public PeerBase {
public:
    using PeerBase::PeerBase;
    ui::TabControl& Tab() { return static_cast<ui::TabControl&>(control_); }
    void Create(HWND parent) override {
        Make(WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP, WS_EX_CONTROLPARENT,
             parent);
        int i = 0;
        for (const std::string& t : Tab().Tabs()) {
            std::wstring w = W(t);
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = w.data();
            SendMessageW(hwnd_, TCM_INSERTITEMW, i++, reinterpret_cast<LPARAM>(&item));
        }
        SendMessageW(hwnd_, TCM_SETCURSEL, Tab().TabIndex(), 0);
    }
    void UpdateState(ui::Prop what) override {
        if (what == ui::Prop::Index) SendMessageW(hwnd_, TCM_SETCURSEL, Tab().TabIndex(), 0);
    }
    LRESULT OnNotify(NMHDR* hdr) override {
        if (hdr->code == TCN_SELCHANGE) {
            int index = static_cast<int>(SendMessageW(hwnd_, TCM_GETCURSEL, 0, 0));
            nf_.Raise([this, index] { Tab().UserSelect(index); });
        }
        return 0;
    }

};

// ---- Simple controls ---------------------------------------------------------------------

// A label sized by its text unless it is of fixed size; lines break only at CR LF.
class LabelPeer : public PeerBase {
public:
    using PeerBase::PeerBase;
    ui::Label& Label() { return static_cast<ui::Label&>(control_); }
    void Create(HWND parent) override {
        Make(L"STATIC", W(Label().Caption()), SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, parent);
        Layout();
    }
    void Layout() override {
        PeerBase::Layout();
        if (Label().fixedSize) return;
        // Grow to the text, as the designer's auto-sized label does with any font.
        std::wstring text = W(Label().Caption());
        HDC dc = GetDC(hwnd_);
        HGDIOBJ old = SelectObject(dc, nf_.Font(false));
        RECT r{0, 0, 0, 0};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_NOPREFIX);
        SelectObject(dc, old);
        ReleaseDC(hwnd_, dc);
        const ui::Rect& b = control_.Bounds();
        int w = std::max<int>(nf_.Scale(b.width), r.right);
        int h = std::max<int>(nf_.Scale(b.height), r.bottom);
        SetWindowPos(hwnd_, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void UpdateState(ui::Prop what) override {
        if (what != ui::Prop::Text) return;
        SetWindowTextW(hwnd_, W(Label().Caption()).c_str());
        if (!Label().fixedSize) Layout();
    }
};

class ButtonPeer : public PeerBase {
public:
    using PeerBase::PeerBase;
    ui::Button& Button() { return static_cast<ui::Button&>(control_); }
    void Create(HWND parent) override {
        Make(L"BUTTON", W(Button().Caption()),
             WS_TABSTOP | (Button().isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, parent);
    }
    void OnCommand(HWND, int code) override {
        if (code == BN_CLICKED) nf_.Raise([this] { Button().UserClick(); });
    }
};

class CheckPeer : public PeerBase {
public:
    using PeerBase::PeerBase;
    ui::CheckBox& Check() { return static_cast<ui::CheckBox&>(control_); }
    void Create(HWND parent) override {
        Make(L"BUTTON", W(Check().Caption()), WS_TABSTOP | BS_CHECKBOX, 0, parent);
        UpdateState(ui::Prop::Index);
    }
    void UpdateState(ui::Prop what) override {
        if (what == ui::Prop::Index) {
            SendMessageW(hwnd_, BM_SETCHECK, Check().Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
    void OnCommand(HWND, int code) override {
        if (code == BN_CLICKED) nf_.Raise([this] { Check().UserToggle(); });
    }
};

class RadioPeer : public PeerBase {
public:
    using PeerBase::PeerBase;
    ui::RadioGroup& Group() { return static_cast<ui::RadioGroup&>(control_); }
    void Create(HWND parent) override {
        Make(kContainerClass, L"", WS_CLIPSIBLINGS | WS_TABSTOP, WS_EX_CONTROLPARENT, parent);
        frame_ = CreateWindowExW(0, L"BUTTON", W(Group().Caption()).c_str(),
                                 WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, 0, 0, 0, hwnd_, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        for (const std::string& item : Group().Items()) {
            HWND b = CreateWindowExW(0, L"BUTTON", W(item).c_str(),
                                     WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON, 0, 0, 0, 0, hwnd_,
                                     nullptr, GetModuleHandleW(nullptr), nullptr);
            Register(b);
            buttons_.push_back(b);
        }
        Layout();
        UpdateState(ui::Prop::Index);
    }
    HWND FocusTarget() override {
        int i = Group().ItemIndex();
        return buttons_.empty() ? hwnd_ : buttons_[static_cast<std::size_t>(i < 0 ? 0 : i)];
    }
    void Layout() override {
        PeerBase::Layout();
        const ui::Rect& b = control_.Bounds();
        int w = nf_.Scale(b.width), h = nf_.Scale(b.height);
        MoveWindow(frame_, 0, 0, w, h, TRUE);
        SendMessageW(frame_, WM_SETFONT, reinterpret_cast<WPARAM>(nf_.Font(false)), TRUE);
        HDC dc = GetDC(hwnd_);
        HGDIOBJ old = SelectObject(dc, nf_.Font(false));
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        SelectObject(dc, old);
        ReleaseDC(hwnd_, dc);
        int count = static_cast<int>(buttons_.size());
        for (int i = 0; i < count; ++i) {
            RadioLayout r = RadioItemPlace(w, h, tm.tmHeight, count, i);
            HWND btn = buttons_[static_cast<std::size_t>(i)];
            MoveWindow(btn, r.left, r.top, r.width, r.height, TRUE);
            SendMessageW(btn, WM_SETFONT, reinterpret_cast<WPARAM>(nf_.Font(false)), TRUE);
        }
    }
    void UpdateState(ui::Prop what) override {
        if (what != ui::Prop::Index) return;
        for (std::size_t i = 0; i < buttons_.size(); ++i) {
            SendMessageW(buttons_[i], BM_SETCHECK,
                         static_cast<int>(i) == Group().ItemIndex() ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
    void OnCommand(HWND from, int code) override {
        if (code != BN_CLICKED) return;
        for (std::size_t i = 0; i < buttons_.size(); ++i) {
            if (buttons_[i] == from) {
                nf_.Raise([this, i] { Group().UserSelect(static_cast<int>(i)); });
            }
        }
    }
    // Arrow keys move the choice within the group, as in a dialog.
    bool Arrow(HWND from, WPARAM key) {
        int n = static_cast<int>(buttons_.size());
        int i = 0;
        for (; i < n && buttons_[static_cast<std::size_t>(i)] != from; ++i) {
        }
        if (i == n) return false;
        int next = (key == VK_UP || key == VK_LEFT) ? i - 1 : i + 1;
        if (next < 0 || next >= n) return true;
        nf_.Raise([this, next] { Group().UserSelect(next); });
        SetFocus(buttons_[static_cast<std::size_t>(next)]);
        return true;
    }

protected:
    // The group's own window hands the focus on to its chosen button.
    LRESULT Message(HWND h, UINT msg, WPARAM wp, LPARAM lp) override {
        if (h == hwnd_ && msg == WM_SETFOCUS) {
            SetFocus(FocusTarget());
            return 0;
        }
        return PeerBase::Message(h, msg, wp, lp);
    }
    void Forget(HWND h) override {
        buttons_.erase(std::remove(buttons_.begin(), buttons_.end(), h), buttons_.end());
    }

private:
    HWND frame_ = nullptr;
    std::vector<HWND> buttons_;
};

class MemoPeer : public PeerBase {
public:
    using PeerBase::PeerBase;
    ui::Memo& Memo() { return static_cast<ui::Memo&>(control_); }
    void Create(HWND parent) override {
        Make(L"EDIT", W(Memo().Text()), WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL,
             WS_EX_CLIENTEDGE, parent);
        Layout();
    }
    void Layout() override {
        PeerBase::Layout();
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(nf_.Font(Memo().fixedPitch)), TRUE);
    }
    void UpdateState(ui::Prop what) override {
        if (what != ui::Prop::Text) return;
        echo_ = true;
        SetWindowTextW(hwnd_, W(Memo().Text()).c_str());
        echo_ = false;
    }
    // Every change of the edit's text that the program did not make reaches the memo:
    // typing, IME composition, paste, cut, undo.
    void OnCommand(HWND, int code) override {
        if (code != EN_CHANGE || echo_) return;
        std::string text = TextOf(hwnd_);
        // The player's input never goes past the limit, whatever way it came in (a
        // composition the edit inserts by itself included): such a change is taken back.
        if (!external_ && Memo().maxLength && text.size() > Memo().maxLength &&
            text.size() > Memo().Text().size()) {
            MessageBeep(MB_OK);
            UpdateState(ui::Prop::Text);
            return;
        }
        Take(std::move(text));
    }

private:
    // The memo keeps CP932: where the edit shows a character CP932 has not ("é" typed or
    // set from outside), it is shown as kept ("?"), so what is shown is what is used.
    void Take(std::string text) {
        std::wstring shown = WindowTextW(hwnd_);
        Memo().UserSetText(std::move(text));
        if (W(Memo().Text()) == shown) return;
        DWORD start = 0, end = 0;
        SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        UpdateState(ui::Prop::Text);
        SendMessageW(hwnd_, EM_SETSEL, start, end);
    }
    // Bytes the text keeps when the selection is replaced.
    std::size_t KeptBytes() {
        DWORD start = 0, end = 0;
        SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        std::wstring all = WindowTextW(hwnd_);
        if (end > all.size()) end = static_cast<DWORD>(all.size());
        if (start > end) start = end;
        return A(all.substr(0, start)).size() + A(all.substr(end)).size();
    }
    // Typed text within the memo's byte limit; the rest is dropped with a beep.
    bool Limit(const std::wstring& typed) {
        if (Memo().maxLength == 0) return false;
        std::string bytes = A(typed);
        std::string fits = Memo().ClipTyped(KeptBytes(), bytes);
        if (fits == bytes) return false;
        MessageBeep(MB_OK);
        if (!fits.empty()) SendMessageW(hwnd_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(W(fits).c_str()));
        return true;
    }

protected:
    LRESULT Message(HWND h, UINT msg, WPARAM wp, LPARAM lp) override {
        if ((msg == WM_CHAR || msg == WM_IME_CHAR) && (wp >= 0x20 || wp == L'\r' || wp == L'\n') &&
            wp != 0x7F) {
            // Enter and Ctrl+Enter both break the line.
            std::wstring typed = wp == L'\r' || wp == L'\n' ? std::wstring(L"\r\n")
                                                             : std::wstring(1, static_cast<wchar_t>(wp));
            if (Limit(typed)) return 0;
        } else if (msg == WM_PASTE && Memo().maxLength) {
            std::wstring clip;
            if (OpenClipboard(h)) {
                if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                    if (auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
                        clip = p;
                        GlobalUnlock(data);
                    }
                }
                CloseClipboard();
            }
            if (Limit(clip)) return 0;
        } else if (msg == WM_SETTEXT && !echo_) {
            // Text set by another program (or anyone but the memo itself) is taken as a
            // handler's would be: whole, not cut to the typing limit. A multi-line edit
            // sends no EN_CHANGE for it.
            external_ = true;
            LRESULT r = DefSubclassProc(h, msg, wp, lp);
            external_ = false;
            if (r) Take(TextOf(h));
            return r;
        }
        return DefSubclassProc(h, msg, wp, lp);
    }

private:
    bool external_ = false;
    bool echo_ = false;
};

}  // namespace

RadioLayout RadioItemPlace(int groupWidth, int groupHeight, int textHeight, int count, int index) {
    // One column: the space under the caption shared evenly, the remainder split above.
    if (count <= 0) return {8, textHeight, groupWidth - 10, 0};
    int space = groupHeight - textHeight - 5;
    int height = space / count;
    int top = textHeight + 1 + (space % count) / 2;
    return {8, top + index * height, groupWidth - 10, height};
}

std::unique_ptr<PeerBase> MakeBrowsePeer(NativeForm& nf, ui::Control& control);

std::unique_ptr<PeerBase> MakePeer(NativeForm& nf, ui::Control& control) {
    switch (control.GetKind()) {
        case ui::Kind::Panel: return std::make_unique<PanelPeer>(nf, control);
        case ui::Kind::TabControl: return std::make_unique<TabPeer>(nf, control);
        case ui::Kind::Label: return std::make_unique<LabelPeer>(nf, control);
        case ui::Kind::Button: return std::make_unique<ButtonPeer>(nf, control);
        case ui::Kind::CheckBox: return std::make_unique<CheckPeer>(nf, control);
        case ui::Kind::RadioGroup: return std::make_unique<RadioPeer>(nf, control);
        case ui::Kind::Memo: return std::make_unique<MemoPeer>(nf, control);
        default: return MakeBrowsePeer(nf, control);
    }
}

bool RadioArrow(PeerBase* peer, HWND from, WPARAM key) {
    if (!peer || peer->Control().GetKind() != ui::Kind::RadioGroup) return false;
    return static_cast<RadioPeer*>(peer)->Arrow(from, key);
}

}  // namespace win32
