// Peers of the drive picker, the folder list and the file list.
#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>

#include "platform/ui/Browse.h"
#include "platform/win32/Messages.h"
#include "platform/win32/Paint.h"
#include "platform/win32/Peers.h"
#include "platform/win32/Wide.h"

namespace win32 {
namespace {

// Our own small pictures (resource bitmaps 20, 21, 22: strips of 16, 24 and 32 px), in
// this order. Drawing the lists never has to load the shell.
enum Picture { kFolder, kFolderOpen, kDriveFixed, kDriveRemovable, kDriveCd, kDriveNet };
const int kPicturesId = 20;  // the first of the three strips in the resources
const int kLineHeight = 16;  // a drive's line in the picker, in 96-dpi pixels
const int kDropHeight = 220;  // the picker's dropped-down list, in 96-dpi pixels

HIMAGELIST Pictures(int size) {
    static HIMAGELIST lists[3] = {};
    int which = size >= 32 ? 2 : size >= 24 ? 1 : 0;
    if (!lists[which]) {
        static const int kSizes[3] = {16, 24, 32};
        int px = kSizes[which];
        HBITMAP strip = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr),
                                                        MAKEINTRESOURCEW(kPicturesId + which),
                                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        lists[which] = ImageList_Create(px, px, ILC_COLOR24 | ILC_MASK, 6, 0);
        if (strip) {
            ImageList_AddMasked(lists[which], strip, RGB(255, 0, 255));
            DeleteObject(strip);
        }
    }
    return lists[which];
}

// Draws a picture at the left of a line, centred in its height.
void DrawPicture(HDC dc, Picture picture, int x, const RECT& rc, int size) {
    HIMAGELIST list = Pictures(size);
    int w = 0, h = 0;
    ImageList_GetIconSize(list, &w, &h);
    int y = rc.top + (rc.bottom - rc.top - h) / 2;
    ImageList_Draw(list, picture, dc, x, y, ILD_TRANSPARENT);
}

Picture DrivePicture(sys::DriveKind kind) {
    switch (kind) {
        case sys::DriveKind::Removable: return kDriveRemovable;
        case sys::DriveKind::CdRom: return kDriveCd;
        case sys::DriveKind::Remote: return kDriveNet;
        default: return kDriveFixed;
    }
}

// An owner-drawn line: the row, its text from `left`, and the focus frame when it has it.
void DrawListText(const DRAWITEMSTRUCT* dis, const std::wstring& text, int left) {
    RECT area = dis->rcItem;
    area.left += left;
    PaintRow(dis->hDC, dis->rcItem, (dis->itemState & ODS_SELECTED) != 0, text, area);
    if (dis->itemState & ODS_FOCUS) DrawFocusRect(dis->hDC, &dis->rcItem);
}

// ---- Drive picker ----------------------------------------------------------------------

class DrivePeer : public Peer<DrivePeer, ui::DriveComboBox> {
public:
    using Peer::Peer;
    void Create(HWND parent) override {
        Make(WC_COMBOBOXW, L"",
             WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS, 0,
             parent);
        Layout();
    }
    void Layout() override {
        const ui::Rect& b = control_.Bounds();
        // The window's height includes the drop-down list.
        SetWindowPos(hwnd_, nullptr, nf_.Scale(b.left), nf_.Scale(b.top), nf_.Scale(b.width),
                     nf_.Scale(b.height + kDropHeight), SWP_NOZORDER | SWP_NOACTIVATE);
        SetFont(hwnd_, nf_.Font(false));
        SendMessageW(hwnd_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), nf_.Scale(b.height - 6));
        SendMessageW(hwnd_, CB_SETITEMHEIGHT, 0, nf_.Scale(kLineHeight));
    }
    void UpdateState(ui::Prop what) override {
        if (what == ui::Prop::Items) {
            SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
            for (const sys::DriveInfo& d : Model().Drives()) {
                SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Text(d).c_str()));
            }
        }
        Select();
    }
    void OnMeasureItem(MEASUREITEMSTRUCT* mis) override {
        mis->itemHeight = static_cast<UINT>(mis->itemID == static_cast<UINT>(-1)
                                                ? nf_.Scale(control_.Bounds().height - 6)
                                                : nf_.Scale(kLineHeight));
    }
    void OnDrawItem(DRAWITEMSTRUCT* dis) override {
        if (dis->itemID == static_cast<UINT>(-1)) return;
        const auto& drives = Model().Drives();
        if (dis->itemID >= drives.size()) return;
        const sys::DriveInfo& d = drives[dis->itemID];
        int size = std::min<int>(nf_.Scale(kLineHeight), dis->rcItem.bottom - dis->rcItem.top);
        RECT area = dis->rcItem;
        area.left += size + 6;
        PaintRow(dis->hDC, dis->rcItem, (dis->itemState & ODS_SELECTED) != 0, Text(d), area);
        DrawPicture(dis->hDC, DrivePicture(d.kind), dis->rcItem.left + 2, dis->rcItem, size);
    }
    void OnCommand(HWND, int code) override {
        if (code == CBN_DROPDOWN) {
            Model().Refresh();  // a stick or disc may have come since
        } else if (code == CBN_SELCHANGE) {
            int i = ComboSelection(hwnd_);
            const auto& drives = Model().Drives();
            if (i < 0 || i >= static_cast<int>(drives.size())) return;
            char letter = drives[static_cast<std::size_t>(i)].letter;
            nf_.Raise([this, letter] { Model().UserSelect(letter); });
            Select();  // back where the model is, if the drive was not ready
        }
    }

private:
    static std::wstring Text(const sys::DriveInfo& d) {
        std::wstring t = {static_cast<wchar_t>(d.letter), L':'};
        if (!d.label.empty()) t += L" " + W(d.label);  // the label as the system spells it
        return t;
    }
    void Select() {
        const auto& drives = Model().Drives();
        for (std::size_t i = 0; i < drives.size(); ++i) {
            if (drives[i].letter == Model().Drive()) SelectComboLine(hwnd_, static_cast<int>(i));
        }
    }
};

// ---- Owner-drawn lists ---------------------------------------------------------------

// A list box with LBS_NODATA: it holds only a count and draws straight from the control's
// items, so a fill costs nothing beyond reading the folder. It still answers LB_GETTEXT and
// LB_GETTEXTLEN, from the items, so that screen readers and other programs can read it.
class NoDataListPeer : public PeerBase {
public:
    using PeerBase::PeerBase;
    void Create(HWND parent) override {
        Make(L"LISTBOX", L"",
             WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_NODATA |
                 LBS_NOINTEGRALHEIGHT,
             WS_EX_CLIENTEDGE, parent);
        // LBS_NODATA cannot be created with LBS_HASSTRINGS, but the system looks at the
        // window's style to decide whether LB_GETTEXT carries text across processes and
        // code pages; the list box itself keeps the style it was created with.
        SetWindowLongW(hwnd_, GWL_STYLE, GetWindowLongW(hwnd_, GWL_STYLE) | LBS_HASSTRINGS);
        Layout();
        Refill();
    }
    void Layout() override {
        PeerBase::Layout();
        SendMessageW(hwnd_, LB_SETITEMHEIGHT, 0, nf_.Scale(ItemHeight()));
    }
    void OnMeasureItem(MEASUREITEMSTRUCT* mis) override {
        mis->itemHeight = static_cast<UINT>(nf_.Scale(ItemHeight()));
    }

protected:
    virtual int ItemHeight() = 0;
    virtual std::size_t Count() = 0;
    virtual int Selected() = 0;
    virtual std::wstring ItemText(std::size_t index) = 0;
    // Messages the list box gets before its own handling; true when handled.
    virtual bool Intercept(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) { return false; }
    void Refill() {
        SetRedraw(hwnd_, false);
        SendMessageW(hwnd_, LB_SETCOUNT, Count(), 0);
        SelectListLine(hwnd_, Selected());
        SetRedraw(hwnd_, true);
        InvalidateRect(hwnd_, nullptr, TRUE);
    }
    // The blank area below the last line (a line past the end) is only cleared.
    bool BeyondEnd(DRAWITEMSTRUCT* dis) {
        if (dis->itemID < Count()) return false;
        FillRect(dis->hDC, &dis->rcItem, GetSysColorBrush(COLOR_WINDOW));
        return true;
    }

private:
    LRESULT AnswerText(UINT msg, WPARAM index, LPARAM buffer) {
        if (index >= Count()) return LB_ERR;
        std::wstring text = ItemText(index);
        if (msg == LB_GETTEXT) {
            if (!buffer) return LB_ERR;
            std::memcpy(reinterpret_cast<wchar_t*>(buffer), text.c_str(),
                        (text.size() + 1) * sizeof(wchar_t));
        }
        return static_cast<LRESULT>(text.size());
    }

protected:
    LRESULT Message(HWND h, UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == LB_GETTEXT || msg == LB_GETTEXTLEN) return AnswerText(msg, wp, lp);
        LRESULT result = 0;
        if (Intercept(msg, wp, lp, result)) return result;
        return PeerBase::Message(h, msg, wp, lp);
    }
};

// ---- Folder list -----------------------------------------------------------------------

class DirPeer : public Peer<DirPeer, ui::DirectoryListBox, NoDataListPeer> {
public:
    using Peer::Peer;
    void UpdateState(ui::Prop what) override {
        if (what == ui::Prop::Items || what == ui::Prop::Index) Refill();
    }
    void OnDrawItem(DRAWITEMSTRUCT* dis) override {
        if (BeyondEnd(dis)) return;
        const ui::DirectoryListBox::Item& item = Model().Items()[dis->itemID];
        int size = std::min<int>(nf_.Scale(kLineHeight), dis->rcItem.bottom - dis->rcItem.top);
        int indent = nf_.Scale(2) + item.level * nf_.Scale(7);
        DrawListText(dis, W(item.name), indent + size + nf_.Scale(3));
        Picture picture = item.level == 0 ? kDriveFixed : item.open ? kFolderOpen : kFolder;
        DrawPicture(dis->hDC, picture, dis->rcItem.left + indent, dis->rcItem, size);
    }
    void OnCommand(HWND, int code) override {
        if (code == LBN_DBLCLK) Open();
    }

protected:
    int ItemHeight() override { return Model().itemHeight; }
    std::size_t Count() override { return Model().Items().size(); }
    int Selected() override { return Model().ItemIndex(); }
    std::wstring ItemText(std::size_t i) override { return W(Model().Items()[i].name); }
    // Enter opens the selected line, as a double click does.
    bool Intercept(UINT msg, WPARAM wp, LPARAM, LRESULT&) override {
        if (msg != WM_KEYDOWN || wp != VK_RETURN) return false;
        Open();
        return true;
    }

private:
    void Open() {
        int i = ListSelection(hwnd_);
        nf_.Raise([this, i] { Model().UserOpen(i); });
        Refill();  // a folder that failed to open: back to the current line
    }
};

// ---- File list -------------------------------------------------------------------------

class FilePeer : public Peer<FilePeer, ui::FileListBox, NoDataListPeer> {
public:
    using Peer::Peer;
    void UpdateState(ui::Prop what) override {
        if (what == ui::Prop::Items) {
            Refill();
        } else if (what == ui::Prop::Index) {
            SelectListLine(hwnd_, Model().ItemIndex());
        }
    }
    void OnDrawItem(DRAWITEMSTRUCT* dis) override {
        if (BeyondEnd(dis)) return;
        DrawListText(dis, W(Model().Items()[dis->itemID]), nf_.Scale(2));
    }
    void OnCommand(HWND, int code) override {
        if (code == LBN_SELCHANGE) {
            int i = ListSelection(hwnd_);
            nf_.Raise([this, i] { Model().UserSelect(i); });
        } else if (code == LBN_DBLCLK) {
            nf_.Raise([this] { Model().UserDoubleClick(); });
        }
    }

protected:
    int ItemHeight() override { return Model().itemHeight; }
    std::size_t Count() override { return Model().Items().size(); }
    int Selected() override { return Model().ItemIndex(); }
    std::wstring ItemText(std::size_t i) override { return W(Model().Items()[i]); }

    // The list takes the press first (so the file under the pointer is selected), then
    // the press is reported with the buttons and keys held.
    bool Intercept(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override {
        ui::MouseButton button;
        unsigned shift = 0;
        switch (msg) {
            case WM_LBUTTONDOWN: button = ui::MouseButton::Left; break;
            case WM_LBUTTONDBLCLK:
                button = ui::MouseButton::Left;
                shift = ui::kDouble;
                break;
            case WM_RBUTTONDOWN:
            case WM_RBUTTONDBLCLK: button = ui::MouseButton::Right; break;
            case WM_MBUTTONDOWN:
            case WM_MBUTTONDBLCLK: button = ui::MouseButton::Middle; break;
            default: return false;
        }
        // Right and middle presses leave the selection alone.
        if (button == ui::MouseButton::Left) {
            result = DefSubclassProc(hwnd_, msg, wp, lp);
            // The list selects the line at the press but reports it (LBN_SELCHANGE) only
            // at the release; the press's handler must already work on that file.
            Model().SetItemIndex(ListSelection(hwnd_));
        } else {
            SetFocus(hwnd_);
        }
        if (wp & MK_SHIFT) shift |= ui::kShift;
        if (wp & MK_CONTROL) shift |= ui::kCtrl;
        if (KeyHeld(VK_MENU)) shift |= ui::kAlt;
        if (wp & MK_LBUTTON) shift |= ui::kLeft;
        if (wp & MK_RBUTTON) shift |= ui::kRight;
        if (wp & MK_MBUTTON) shift |= ui::kMiddle;
        int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
        nf_.Raise([this, button, shift, x, y] { Model().UserMouseDown(button, shift, x, y); });
        return true;
    }
};

}  // namespace

std::unique_ptr<PeerBase> NewDrivePeer(NativeForm& nf, ui::Control& c) {
    return DrivePeer::New(nf, c);
}
std::unique_ptr<PeerBase> NewDirPeer(NativeForm& nf, ui::Control& c) { return DirPeer::New(nf, c); }
std::unique_ptr<PeerBase> NewFilePeer(NativeForm& nf, ui::Control& c) {
    return FilePeer::New(nf, c);
}

}  // namespace win32
