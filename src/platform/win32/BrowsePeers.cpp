// Peers of the drive picker, the folder list, the file list and the name=value grid.
#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>

#include "platform/ui/Browse.h"
#include "platform/ui/Grid.h"
#include "platform/win32/Peers.h"
#include "platform/win32/Wide.h"

namespace win32 {
namespace {

// Our own small pictures (resource bitmaps 20, 21, 22: strips of 16, 24 and 32 px), in
// this order. Drawing the lists never has to load the shell.
enum Picture { kFolder, kFolderOpen, kDriveFixed, kDriveRemovable, kDriveCd, kDriveNet };

HIMAGELIST Pictures(int size) {
    static HIMAGELIST lists[3] = {};
    int which = size >= 32 ? 2 : size >= 24 ? 1 : 0;
    if (!lists[which]) {
        static const int kSizes[3] = {16, 24, 32};
        int px = kSizes[which];
        HBITMAP strip = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr),
                                                        MAKEINTRESOURCEW(20 + which), IMAGE_BITMAP,
                                                        0, 0, LR_CREATEDIBSECTION));
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

void DrawListText(HDC dc, const DRAWITEMSTRUCT* dis, const std::wstring& text, int left) {
    bool selected = (dis->itemState & ODS_SELECTED) != 0;
    FillRect(dc, &dis->rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT r = dis->rcItem;
    r.left += left;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (dis->itemState & ODS_FOCUS) DrawFocusRect(dc, &dis->rcItem);
}

// ---- Drive picker ----------------------------------------------------------------------

class DrivePeer : public PeerBase {
public:
    using PeerBase::PeerBase;
    ui::DriveComboBox& Box() { return static_cast<ui::DriveComboBox&>(control_); }
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
                     nf_.Scale(b.height + 220), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(nf_.Font(false)), TRUE);
        SendMessageW(hwnd_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), nf_.Scale(b.height - 6));
        SendMessageW(hwnd_, CB_SETITEMHEIGHT, 0, nf_.Scale(16));
    }
    void UpdateState(ui::Prop what) override {
        if (what == ui::Prop::Items) {
            SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
            for (const sys::DriveInfo& d : Box().Drives()) {
                SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Text(d).c_str()));
            }
        }
        Select();
    }
    void OnMeasureItem(MEASUREITEMSTRUCT* mis) override {
        mis->itemHeight = static_cast<UINT>(mis->itemID == static_cast<UINT>(-1)
                                                ? nf_.Scale(control_.Bounds().height - 6)
                                                : nf_.Scale(16));
    }
    void OnDrawItem(DRAWITEMSTRUCT* dis) override {
        if (dis->itemID == static_cast<UINT>(-1)) return;
        const auto& drives = Box().Drives();
        if (dis->itemID >= drives.size()) return;
        const sys::DriveInfo& d = drives[dis->itemID];
        bool selected = (dis->itemState & ODS_SELECTED) != 0;
        FillRect(dis->hDC, &dis->rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        int size = std::min<int>(nf_.Scale(16), dis->rcItem.bottom - dis->rcItem.top);
        DrawPicture(dis->hDC, DrivePicture(d.kind), dis->rcItem.left + 2, dis->rcItem, size);
        SetBkMode(dis->hDC, TRANSPARENT);
        SetTextColor(dis->hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        RECT r = dis->rcItem;
        r.left += size + 6;
        std::wstring t = Text(d);
        DrawTextW(dis->hDC, t.c_str(), static_cast<int>(t.size()), &r,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    void OnCommand(HWND, int code) override {
        if (code == CBN_DROPDOWN) {
            Box().Refresh();  // a stick or disc may have come since
        } else if (code == CBN_SELCHANGE) {
            int i = static_cast<int>(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0));
            const auto& drives = Box().Drives();
            if (i < 0 || i >= static_cast<int>(drives.size())) return;
            char letter = drives[static_cast<std::size_t>(i)].letter;
            nf_.Raise([this, letter] { Box().UserSelect(letter); });
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
        const auto& drives = Box().Drives();
        for (std::size_t i = 0; i < drives.size(); ++i) {
            if (drives[i].letter == Box().Drive()) SendMessageW(hwnd_, CB_SETCURSEL, i, 0);
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
        SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
        SendMessageW(hwnd_, LB_SETCOUNT, Count(), 0);
        SendMessageW(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(Selected()), 0);
        SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
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

class DirPeer : public NoDataListPeer {
public:
    using NoDataListPeer::NoDataListPeer;
    ui::DirectoryListBox& List() { return static_cast<ui::DirectoryListBox&>(control_); }
    void UpdateState(ui::Prop what) override {
        if (what == ui::Prop::Items || what == ui::Prop::Index) Refill();
    }
    void OnDrawItem(DRAWITEMSTRUCT* dis) override {
        if (BeyondEnd(dis)) return;
        const ui::DirectoryListBox::Item& item = List().Items()[dis->itemID];
        int size = std::min<int>(nf_.Scale(16), dis->rcItem.bottom - dis->rcItem.top);
        int indent = nf_.Scale(2) + item.level * nf_.Scale(7);
        DrawListText(dis->hDC, dis, W(item.name), indent + size + nf_.Scale(3));
        Picture picture = item.level == 0 ? kDriveFixed : item.open ? kFolderOpen : kFolder;
        DrawPicture(dis->hDC, picture, dis->rcItem.left + indent, dis->rcItem, size);
    }
    void OnCommand(HWND, int code) override {
        if (code == LBN_DBLCLK) Open();
    }

protected:
    int ItemHeight() override { return List().itemHeight; }
    std::size_t Count() override { return List().Items().size(); }
    int Selected() override { return List().ItemIndex(); }
    std::wstring ItemText(std::size_t i) override { return W(List().Items()[i].name); }
    // Enter opens the selected line, as a double click does.
    bool Intercept(UINT msg, WPARAM wp, LPARAM, LRESULT&) override {
        if (msg != WM_KEYDOWN || wp != VK_RETURN) return false;
        Open();
        return true;
    }

private:
    void Open() {
        int i = static_cast<int>(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0));
        nf_.Raise([this, i] { List().UserOpen(i); });
        Refill();  // a folder that failed to open: back to the current line
    }
};

// ---- File list -------------------------------------------------------------------------

class FilePeer : public NoDataListPeer {
public:
    using NoDataListPeer::NoDataListPeer;
    ui::FileListBox& List() { return static_cast<ui::FileListBox&>(control_); }
    void UpdateState(ui::Prop what) override {
        if (what == ui::Prop::Items) {
            Refill();
        } else if (what == ui::Prop::Index) {
            SendMessageW(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(List().ItemIndex()), 0);
        }
    }
    void OnDrawItem(DRAWITEMSTRUCT* dis) override {
        if (BeyondEnd(dis)) return;
        DrawListText(dis->hDC, dis, W(List().Items()[dis->itemID]), nf_.Scale(2));
    }
    void OnCommand(HWND, int code) override {
        if (code == LBN_SELCHANGE) {
            int i = static_cast<int>(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0));
            nf_.Raise([this, i] { List().UserSelect(i); });
        } else if (code == LBN_DBLCLK) {
            nf_.Raise([this] { List().UserDoubleClick(); });
        }
    }

protected:
    int ItemHeight() override { return List().itemHeight; }
    std::size_t Count() override { return List().Items().size(); }
    int Selected() override { return List().ItemIndex(); }
    std::wstring ItemText(std::size_t i) override { return W(List().Items()[i]); }

    // The list takes the press first (so the file under the pointer is selected), then
    // the press is reported with the buttons and keys held.
    bool Intercept(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override {
        ui::MouseButton button;
        unsigned shift = 0;
        switch (msg) {
            case WM_LBUTTONDOWN: button = ui::MouseButton::Left; break;
            case WM_LBUTTONDBLCLK: button = ui::MouseButton::Left; shift = ui::kDouble; break;
            case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK: button = ui::MouseButton::Right; break;
            case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK: button = ui::MouseButton::Middle; break;
            default: return false;
        }
        // Right and middle presses leave the selection alone.
        if (button == ui::MouseButton::Left) {
            result = DefSubclassProc(hwnd_, msg, wp, lp);
            // The list selects the line at the press but reports it (LBN_SELCHANGE) only
            // at the release; the press's handler must already work on that file.
            List().SetItemIndex(static_cast<int>(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0)));
        } else {
            SetFocus(hwnd_);
        }
        if (wp & MK_SHIFT) shift |= ui::kShift;
        if (wp & MK_CONTROL) shift |= ui::kCtrl;
        if (GetKeyState(VK_MENU) & 0x8000) shift |= ui::kAlt;
        if (wp & MK_LBUTTON) shift |= ui::kLeft;
        if (wp & MK_RBUTTON) shift |= ui::kRight;
        if (wp & MK_MBUTTON) shift |= ui::kMiddle;
        int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
        nf_.Raise([this, button, shift, x, y] { List().UserMouseDown(button, shift, x, y); });
        return true;
    }
};

// ---- Name=value grid ---------------------------------------------------------------------

// A virtual report-view list (it stores nothing: rows are drawn and described straight
// from the control's lines) with a header as the title row, and an edit box kept open on
// the value cell of the current row.
class GridPeer : public PeerBase {
public:
    using PeerBase::PeerBase;
    ui::ValueListEditor& Grid() { return static_cast<ui::ValueListEditor&>(control_); }
    HWND FocusTarget() override { return editor_; }

    void Create(HWND parent) override {
        Make(WC_LISTVIEWW, L"",
             WS_TABSTOP | WS_BORDER | WS_CLIPCHILDREN | LVS_REPORT | LVS_SINGLESEL |
                 LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | LVS_OWNERDATA,
             0, parent);
        ListView_SetExtendedListViewStyle(hwnd_, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES |
                                                     LVS_EX_DOUBLEBUFFER);
        std::wstring name = W(Grid().titleName), value = W(Grid().titleValue);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = name.data();
        col.cx = nf_.Scale(Grid().colWidths[0]);
        ListView_InsertColumn(hwnd_, 0, &col);
        col.pszText = value.data();
        col.cx = nf_.Scale(Grid().colWidths[1]);
        ListView_InsertColumn(hwnd_, 1, &col);
        editor_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0, 0, 0,
                                  hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
        Register(editor_);
        Layout();
        UpdateState(ui::Prop::Items);
    }
    void Layout() override {
        PeerBase::Layout();
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(nf_.Font(true)), TRUE);
        SendMessageW(editor_, WM_SETFONT, reinterpret_cast<WPARAM>(nf_.Font(true)), TRUE);
        // The row height comes from the small image list's height.
        if (images_) ImageList_Destroy(images_);
        images_ = ImageList_Create(1, nf_.Scale(Grid().defaultRowHeight), ILC_COLOR, 1, 0);
        ListView_SetImageList(hwnd_, images_, LVSIL_SMALL);
        ListView_SetColumnWidth(hwnd_, 0, nf_.Scale(Grid().colWidths[0]));
        ListView_SetColumnWidth(hwnd_, 1, nf_.Scale(Grid().colWidths[1]));
        PlaceEditor();
    }
    void UpdateState(ui::Prop what) override {
        if (what == ui::Prop::Items) {
            Fill();
        } else if (what == ui::Prop::Index) {
            SelectCurrent();
        }
    }
    LRESULT OnNotify(NMHDR* hdr) override {
        if (hdr->code == NM_CUSTOMDRAW) return Draw(reinterpret_cast<NMLVCUSTOMDRAW*>(hdr));
        if (hdr->code == LVN_GETDISPINFOW) {
            auto* di = reinterpret_cast<NMLVDISPINFOW*>(hdr);
            if ((di->item.mask & LVIF_TEXT) && di->item.pszText && di->item.cchTextMax > 0) {
                int i = di->item.iItem;
                std::wstring text = i < Grid().Count() ? W(di->item.iSubItem == 0 ? Grid().Name(i)
                                                                                 : Grid().Value(i))
                                                       : std::wstring();
                lstrcpynW(di->item.pszText, text.c_str(), di->item.cchTextMax);
            }
            return 0;
        }
        if (hdr->code == LVN_ITEMCHANGED) {
            auto* nm = reinterpret_cast<NMLISTVIEW*>(hdr);
            if (!filling_ && (nm->uChanged & LVIF_STATE) && (nm->uNewState & LVIS_SELECTED) &&
                !(nm->uOldState & LVIS_SELECTED)) {
                int row = nm->iItem + 1;
                nf_.Raise([this, row] { Grid().UserSelect(row); });
                SelectCurrent();
            }
        }
        return 0;
    }
    void OnDropFiles(const std::vector<std::u16string>& paths, POINT at) override {
        LVHITTESTINFO hit{};
        hit.pt = at;
        int item = ListView_HitTest(hwnd_, &hit);
        int row = item >= 0 && (hit.flags & LVHT_ONITEM) ? item + 1 : 0;
        nf_.Raise([&] { Grid().UserDropFiles(paths, row); });
    }
    void OnCommand(HWND from, int code) override {
        if (from == editor_ && code == EN_CHANGE && !echo_) {
            int row = Grid().Row();
            std::string value = A(WindowTextW(editor_));
            Grid().UserSetValue(row, value);
            ListView_RedrawItems(hwnd_, row - 1, row - 1);
        }
    }

private:
    // Cells drawn with a grid's narrow padding, so short slot names fit their column.
    LRESULT Draw(NMLVCUSTOMDRAW* cd) {
        switch (cd->nmcd.dwDrawStage) {
            case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
            case CDDS_ITEMPREPAINT: return CDRF_NOTIFYSUBITEMDRAW;
            case CDDS_ITEMPREPAINT | CDDS_SUBITEM: break;
            default: return CDRF_DODEFAULT;
        }
        int item = static_cast<int>(cd->nmcd.dwItemSpec);
        int column = cd->iSubItem;
        RECT r{}, value{};
        ListView_GetSubItemRect(hwnd_, item, 1, LVIR_BOUNDS, &value);
        if (column == 0) {
            ListView_GetSubItemRect(hwnd_, item, 0, LVIR_BOUNDS, &r);
            r.right = value.left;
        } else {
            r = value;
        }
        bool real = item < Grid().Count();
        bool current = item == Grid().Row() - 1;
        std::wstring text = !real ? std::wstring() : W(column == 0 ? Grid().Name(item) : Grid().Value(item));
        HDC dc = cd->nmcd.hdc;
        SelectObject(dc, nf_.Font(true));
        bool mark = current && column == 0;
        RECT fill{r.left, r.top, r.right - 1, r.bottom - 1};
        FillRect(dc, &fill, GetSysColorBrush(mark ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(mark ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        RECT t{r.left + 2, r.top, r.right - 2, r.bottom};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &t,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
        return CDRF_SKIPDEFAULT;
    }
    void Fill() {
        filling_ = true;
        // The list holds only a count; a changed line needs a repaint, not a new count.
        int rows = Grid().RowCount() - 1;
        if (ListView_GetItemCount(hwnd_) != rows) ListView_SetItemCountEx(hwnd_, rows, LVSICF_NOSCROLL);
        InvalidateRect(hwnd_, nullptr, FALSE);
        filling_ = false;
        SelectCurrent();
    }
    void SelectCurrent() {
        filling_ = true;
        int item = Grid().Row() - 1;
        ListView_SetItemState(hwnd_, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(hwnd_, item, FALSE);
        filling_ = false;
        PlaceEditor();
    }
    // The editor sits on the value cell of the current row and shows its value.
    void PlaceEditor() {
        if (!editor_) return;
        int item = Grid().Row() - 1;
        RECT cell{};
        cell.top = 1;
        cell.left = LVIR_BOUNDS;
        bool shown = SendMessageW(hwnd_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(item),
                                  reinterpret_cast<LPARAM>(&cell)) != 0;
        RECT client;
        GetClientRect(hwnd_, &client);
        RECT header{};
        GetWindowRect(ListView_GetHeader(hwnd_), &header);
        int headerHeight = header.bottom - header.top;
        if (!shown || cell.top < headerHeight || cell.bottom > client.bottom) {
            ShowWindow(editor_, SW_HIDE);
        } else {
            RECT place{cell.left + 2, cell.top + 1, cell.right - 1, cell.bottom};
            RECT now{};
            GetWindowRect(editor_, &now);
            MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&now), 2);
            if (!EqualRect(&now, &place)) {
                MoveWindow(editor_, place.left, place.top, place.right - place.left,
                           place.bottom - place.top, TRUE);
            }
            if (!IsWindowVisible(editor_)) ShowWindow(editor_, SW_SHOWNA);
        }
        std::wstring value = item < Grid().Count() ? W(Grid().Value(item)) : std::wstring();
        if (WindowTextW(editor_) != value) {
            echo_ = true;
            SetWindowTextW(editor_, value.c_str());
            echo_ = false;
        }
        // The blank row of an empty table holds no line to type into.
        bool readOnly = item >= Grid().Count();
        if (((GetWindowLongW(editor_, GWL_STYLE) & ES_READONLY) != 0) != readOnly) {
            SendMessageW(editor_, EM_SETREADONLY, readOnly, 0);
        }
    }

protected:
    LRESULT Message(HWND h, UINT msg, WPARAM wp, LPARAM lp) override {
        if (h == editor_) return EditMessage(h, msg, wp, lp);
        return ListMessage(h, msg, wp, lp);
    }
    void Forget(HWND h) override {
        if (h == editor_) editor_ = nullptr;
    }

private:
    LRESULT ListMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        switch (msg) {
            case WM_COMMAND:  // the editor reports to the list; hand it to the peer
                if (editor_ && reinterpret_cast<HWND>(lp) == editor_) {
                    OnCommand(editor_, HIWORD(wp));
                    return 0;
                }
                break;
            case WM_SETFOCUS:
                if (IsWindowVisible(editor_)) SetFocus(editor_);
                break;
            case WM_VSCROLL:
            case WM_HSCROLL:
            case WM_MOUSEWHEEL:
            case WM_SIZE: {
                LRESULT r = DefSubclassProc(h, msg, wp, lp);
                PlaceEditor();
                return r;
            }
            case WM_NOTIFY: {
                LRESULT r = DefSubclassProc(h, msg, wp, lp);
                auto* hdr = reinterpret_cast<NMHDR*>(lp);
                if (hdr->code == HDN_ITEMCHANGEDW || hdr->code == HDN_ITEMCHANGEDA ||
                    hdr->code == HDN_ENDTRACKW || hdr->code == HDN_ENDTRACKA) {
                    PlaceEditor();
                }
                return r;
            }
            default:
                break;
        }
        return DefSubclassProc(h, msg, wp, lp);
    }
    LRESULT EditMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_KEYDOWN && (wp == VK_UP || wp == VK_DOWN || wp == VK_PRIOR || wp == VK_NEXT)) {
            int step = wp == VK_UP ? -1 : wp == VK_DOWN ? 1 : wp == VK_PRIOR ? -10 : 10;
            int row = std::clamp(Grid().Row() + step, 1, Grid().RowCount() - 1);
            nf_.Raise([this, row] { Grid().UserSelect(row); });
            return 0;
        }
        if (msg == WM_CHAR && (wp == L'\r' || wp == L'\n')) return 0;  // one-line cell
        return DefSubclassProc(h, msg, wp, lp);
    }

    HWND editor_ = nullptr;
    HIMAGELIST images_ = nullptr;
    bool filling_ = false;
    bool echo_ = false;
};

}  // namespace

std::unique_ptr<PeerBase> MakeBrowsePeer(NativeForm& nf, ui::Control& control) {
    switch (control.GetKind()) {
        case ui::Kind::DriveComboBox: return std::make_unique<DrivePeer>(nf, control);
        case ui::Kind::DirectoryListBox: return std::make_unique<DirPeer>(nf, control);
        case ui::Kind::FileListBox: return std::make_unique<FilePeer>(nf, control);
        case ui::Kind::ValueListEditor: return std::make_unique<GridPeer>(nf, control);
        default: return nullptr;
    }
}

}  // namespace win32
