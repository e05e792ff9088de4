#include "platform/win32/Peers.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/ui/Controls.h"
#include "platform/win32/Messages.h"
#include "platform/win32/Paint.h"
#include "platform/win32/Scoped.h"
#include "platform/win32/Wide.h"

namespace win32 {
namespace {

// Text of a window, already in CP932.
std::string TextOf(HWND h) { return A(WindowTextW(h)); }

// ---- Containers ------------------------------------------------------------------------

class PanelPeer : public Peer<PanelPeer, ui::Panel> {
public:
    using Peer::Peer;
    void Create(HWND parent) override {
        Make(kContainerClass, L"", WS_CLIPSIBLINGS | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, parent);
    }
};

class TabPeer : public Peer<TabPeer, ui::TabControl> {
public:
    using Peer::Peer;
    void Create(HWND parent) override {
        Make(WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP,
             WS_EX_CONTROLPARENT, parent);
        int i = 0;
        for (const std::string& t : Model().Tabs()) {
            std::wstring w = W(t);
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = w.data();
            SendMessageW(hwnd_, TCM_INSERTITEMW, i++, reinterpret_cast<LPARAM>(&item));
        }
        SelectTab(hwnd_, Model().TabIndex());
    }
    void UpdateState(ui::Prop what) override {
        if (what == ui::Prop::Index) SelectTab(hwnd_, Model().TabIndex());
    }
    LRESULT OnNotify(NMHDR* hdr) override {
        if (hdr->code == TCN_SELCHANGE) {
            int index = TabSelection(hwnd_);
            nf_.Raise([this, index] { Model().UserSelect(index); });
        }
        return 0;
    }
};

// ---- Simple controls ---------------------------------------------------------------------

// A label sized by its text unless it is of fixed size; lines break only at CR LF.
class LabelPeer : public Peer<LabelPeer, ui::Label> {
public:
    using Peer::Peer;
    void Create(HWND parent) override {
        Make(L"STATIC", W(Model().Caption()), SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, parent);
        Layout();
    }
    void Layout() override {
        PeerBase::Layout();
        if (Model().fixedSize) return;
        // Grow to the text, as the designer's auto-sized label does with any font.
        std::wstring text = W(Model().Caption());
        RECT r{0, 0, 0, 0};
        {
            WindowDC dc(hwnd_);
            Selected font(dc, nf_.Font(false));
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                      DT_CALCRECT | DT_NOPREFIX);
        }
        const ui::Rect& b = control_.Bounds();
        int w = std::max<int>(nf_.Scale(b.width), r.right);
        int h = std::max<int>(nf_.Scale(b.height), r.bottom);
        SetWindowPos(hwnd_, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void UpdateState(ui::Prop what) override {
        if (what != ui::Prop::Text) return;
        SetWindowTextW(hwnd_, W(Model().Caption()).c_str());
        if (!Model().fixedSize) Layout();
    }
};

class ButtonPeer : public Peer<ButtonPeer, ui::Button> {
public:
    using Peer::Peer;
    void Create(HWND parent) override {
        Make(L"BUTTON", W(Model().Caption()),
             WS_TABSTOP | (Model().isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, parent);
    }
    void OnCommand(HWND, int code) override {
        if (code == BN_CLICKED) nf_.Raise([this] { Model().UserClick(); });
    }
};

class CheckPeer : public Peer<CheckPeer, ui::CheckBox> {
public:
    using Peer::Peer;
    void Create(HWND parent) override {
        Make(L"BUTTON", W(Model().Caption()), WS_TABSTOP | BS_CHECKBOX, 0, parent);
        UpdateState(ui::Prop::Index);
    }
    void UpdateState(ui::Prop what) override {
        if (what == ui::Prop::Index) SetChecked(hwnd_, Model().Checked());
    }
    void OnCommand(HWND, int code) override {
        if (code == BN_CLICKED) nf_.Raise([this] { Model().UserToggle(); });
    }
};

class RadioPeer : public Peer<RadioPeer, ui::RadioGroup> {
public:
    using Peer::Peer;
    void Create(HWND parent) override {
        Make(kContainerClass, L"", WS_CLIPSIBLINGS | WS_TABSTOP, WS_EX_CONTROLPARENT, parent);
        frame_ = CreateWindowExW(0, L"BUTTON", W(Model().Caption()).c_str(),
                                 WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, 0, 0, 0, hwnd_, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        for (const std::string& item : Model().Items()) {
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
        int i = Model().ItemIndex();
        return buttons_.empty() ? hwnd_ : buttons_[static_cast<std::size_t>(i < 0 ? 0 : i)];
    }
    void Layout() override {
        PeerBase::Layout();
        const ui::Rect& b = control_.Bounds();
        int w = nf_.Scale(b.width), h = nf_.Scale(b.height);
        MoveWindow(frame_, 0, 0, w, h, TRUE);
        SetFont(frame_, nf_.Font(false));
        TEXTMETRICW tm{};
        {
            WindowDC dc(hwnd_);
            Selected font(dc, nf_.Font(false));
            GetTextMetricsW(dc, &tm);
        }
        int count = static_cast<int>(buttons_.size());
        for (int i = 0; i < count; ++i) {
            RadioLayout r = RadioItemPlace(w, h, tm.tmHeight, count, i);
            HWND btn = buttons_[static_cast<std::size_t>(i)];
            MoveWindow(btn, r.left, r.top, r.width, r.height, TRUE);
            SetFont(btn, nf_.Font(false));
        }
    }
    void UpdateState(ui::Prop what) override {
        if (what != ui::Prop::Index) return;
        for (std::size_t i = 0; i < buttons_.size(); ++i) {
            SetChecked(buttons_[i], static_cast<int>(i) == Model().ItemIndex());
        }
    }
    void OnCommand(HWND from, int code) override {
        if (code != BN_CLICKED) return;
        for (std::size_t i = 0; i < buttons_.size(); ++i) {
            if (buttons_[i] == from) {
                nf_.Raise([this, i] { Model().UserSelect(static_cast<int>(i)); });
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
        nf_.Raise([this, next] { Model().UserSelect(next); });
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
        return Peer::Message(h, msg, wp, lp);
    }
    void Forget(HWND h) override {
        buttons_.erase(std::remove(buttons_.begin(), buttons_.end(), h), buttons_.end());
    }

private:
    HWND frame_ = nullptr;
    std::vector<HWND> buttons_;
};

class MemoPeer : public Peer<MemoPeer, ui::Memo> {
public:
    using Peer::Peer;
    void Create(HWND parent) override {
        const DWORD lines = Model().singleLine
                                ? DWORD{ES_AUTOHSCROLL}
                                : DWORD{ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL};
        Make(L"EDIT", W(Model().Text()), WS_TABSTOP | lines, WS_EX_CLIENTEDGE, parent);
        Layout();
    }
    void Layout() override {
        PeerBase::Layout();
        SetFont(hwnd_, nf_.Font(Model().fixedPitch));
    }
    void UpdateState(ui::Prop what) override {
        if (what != ui::Prop::Text) return;
        Raised echo(echo_);
        SetWindowTextW(hwnd_, W(Model().Text()).c_str());
    }
    // Every change of the edit's text that the program did not make reaches the memo:
    // typing, IME composition, paste, cut, undo.
    void OnCommand(HWND, int code) override {
        if (code != EN_CHANGE || echo_) return;
        std::string text = TextOf(hwnd_);
        // The player's input never goes past the limit, whatever way it came in (a
        // composition the edit inserts by itself included): such a change is taken back.
        if (!external_ && Model().maxLength && text.size() > Model().maxLength &&
            text.size() > Model().Text().size()) {
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
        Model().UserSetText(std::move(text));
        if (W(Model().Text()) == shown) return;
        EditRange selection = EditSelection(hwnd_);
        UpdateState(ui::Prop::Text);
        SetEditSelection(hwnd_, selection);
    }
    // Bytes the text keeps when the selection is replaced.
    std::size_t KeptBytes() {
        auto [start, end] = EditSelection(hwnd_);
        std::wstring all = WindowTextW(hwnd_);
        if (end > all.size()) end = static_cast<DWORD>(all.size());
        if (start > end) start = end;
        return A(all.substr(0, start)).size() + A(all.substr(end)).size();
    }
    // Typed text within the memo's byte limit; the rest is dropped with a beep.
    bool Limit(const std::wstring& typed) {
        if (Model().maxLength == 0) return false;
        std::string bytes = A(typed);
        std::string fits = Model().ClipTyped(KeptBytes(), bytes);
        if (fits == bytes) return false;
        MessageBeep(MB_OK);
        if (!fits.empty())
            SendMessageW(hwnd_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(W(fits).c_str()));
        return true;
    }

protected:
    LRESULT Message(HWND h, UINT msg, WPARAM wp, LPARAM lp) override {
        if ((msg == WM_CHAR || msg == WM_IME_CHAR) && (wp >= 0x20 || wp == L'\r' || wp == L'\n') &&
            wp != 0x7F) {
            // Enter and Ctrl+Enter both break the line.
            std::wstring typed = wp == L'\r' || wp == L'\n'
                                     ? std::wstring(L"\r\n")
                                     : std::wstring(1, static_cast<wchar_t>(wp));
            if (Limit(typed)) return 0;
        } else if (msg == WM_PASTE && Model().maxLength) {
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
            LRESULT r;
            {
                Raised external(external_);
                r = DefSubclassProc(h, msg, wp, lp);
            }
            if (r) Take(TextOf(h));
            return r;
        }
        return DefSubclassProc(h, msg, wp, lp);
    }

private:
    bool external_ = false;
    bool echo_ = false;
};

// A list box of plain lines, its tab stops set from the control's 96-dpi pixels.
class ListPeer : public Peer<ListPeer, ui::ListBox> {
public:
    using Peer::Peer;
    void Create(HWND parent) override {
        Make(L"LISTBOX", L"",
             WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT,
             WS_EX_CLIENTEDGE, parent);
        Layout();
        UpdateState(ui::Prop::Items);
    }
    void Layout() override {
        PeerBase::Layout();
        if (Model().tabStops.empty()) return;
        // Tab stops count quarters of the font's average character width, which the list
        // box takes, as GdiGetCharDimensions does, over the Latin letters.
        WindowDC dc(hwnd_);
        Selected font(dc, nf_.Font(false));
        SIZE letters{};
        const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        GetTextExtentPoint32W(dc, kLetters, 52, &letters);
        const int average = letters.cx > 0 ? (letters.cx / 26 + 1) / 2 : 6;
        std::vector<INT> stops;
        for (int px : Model().tabStops) stops.push_back(MulDiv(nf_.Scale(px), 4, average));
        SendMessageW(hwnd_, LB_SETTABSTOPS, stops.size(), reinterpret_cast<LPARAM>(stops.data()));
    }
    void UpdateState(ui::Prop what) override {
        if (what == ui::Prop::Items) {
            SetRedraw(hwnd_, false);
            SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
            for (const std::string& line : Model().Items()) {
                SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(line).c_str()));
            }
            SetRedraw(hwnd_, true);
            InvalidateRect(hwnd_, nullptr, TRUE);
        }
        if (what == ui::Prop::Items || what == ui::Prop::Index) {
            SelectListLine(hwnd_, Model().ItemIndex());
        }
    }
    void OnCommand(HWND, int code) override {
        if (code == LBN_SELCHANGE) {
            const int index = ListSelection(hwnd_);
            nf_.Raise([this, index] { Model().UserSelect(index); });
        } else if (code == LBN_DBLCLK) {
            nf_.Raise([this] { Model().UserDoubleClick(); });
        }
    }
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

std::unique_ptr<PeerBase> MakePeer(NativeForm& nf, ui::Control& control) {
    switch (control.GetKind()) {
        case ui::Kind::Panel: return PanelPeer::New(nf, control);
        case ui::Kind::TabControl: return TabPeer::New(nf, control);
        case ui::Kind::Label: return LabelPeer::New(nf, control);
        case ui::Kind::Button: return ButtonPeer::New(nf, control);
        case ui::Kind::CheckBox: return CheckPeer::New(nf, control);
        case ui::Kind::RadioGroup: return RadioPeer::New(nf, control);
        case ui::Kind::Memo: return MemoPeer::New(nf, control);
        case ui::Kind::DriveComboBox: return NewDrivePeer(nf, control);
        case ui::Kind::DirectoryListBox: return NewDirPeer(nf, control);
        case ui::Kind::FileListBox: return NewFilePeer(nf, control);
        case ui::Kind::ValueListEditor: return NewGridPeer(nf, control);
        case ui::Kind::ListBox: return ListPeer::New(nf, control);
        default: return nullptr;
    }
}

bool RadioArrow(PeerBase* peer, HWND from, WPARAM key) {
    if (!peer || peer->Control().GetKind() != ui::Kind::RadioGroup) return false;
    return static_cast<RadioPeer*>(peer)->Arrow(from, key);
}

}  // namespace win32
