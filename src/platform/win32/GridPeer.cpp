// The peer of the name=value grid.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "platform/ui/Grid.h"
#include "platform/win32/Messages.h"
#include "platform/win32/Paint.h"
#include "platform/win32/Peers.h"
#include "platform/win32/Scoped.h"
#include "platform/win32/Wide.h"

namespace win32 {
namespace {

const COLORREF kWarningText = RGB(0xC8, 0x00, 0x00);  // a value whose file may not play

// A virtual report-view list (it stores nothing: rows are drawn and described straight
// from the control's lines) with a header as the title row, and an edit box kept open on
// the value cell of the current row.
class GridPeer : public Peer<GridPeer, ui::ValueListEditor> {
public:
    using Peer::Peer;
    HWND FocusTarget() override { return editor_; }

    void Create(HWND parent) override {
        Make(WC_LISTVIEWW, L"",
             WS_TABSTOP | WS_BORDER | WS_CLIPCHILDREN | LVS_REPORT | LVS_SINGLESEL |
                 LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | LVS_OWNERDATA,
             0, parent);
        ListView_SetExtendedListViewStyle(
            hwnd_, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
        std::wstring name = W(Model().titleName), value = W(Model().titleValue);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = name.data();
        col.cx = nf_.Scale(Model().colWidths[0]);
        ListView_InsertColumn(hwnd_, 0, &col);
        col.pszText = value.data();
        col.cx = nf_.Scale(Model().colWidths[1]);
        ListView_InsertColumn(hwnd_, 1, &col);
        editor_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0, 0,
                                  0, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
        Register(editor_);
        Layout();
        UpdateState(ui::Prop::Items);
    }
    void Layout() override {
        PeerBase::Layout();
        SetFont(hwnd_, nf_.Font(true));
        SetFont(editor_, nf_.Font(true));
        // The row height comes from the small image list's height.
        if (images_) ImageList_Destroy(images_);
        images_ = ImageList_Create(1, nf_.Scale(Model().defaultRowHeight), ILC_COLOR, 1, 0);
        ListView_SetImageList(hwnd_, images_, LVSIL_SMALL);
        ListView_SetColumnWidth(hwnd_, 0, nf_.Scale(Model().colWidths[0]));
        ListView_SetColumnWidth(hwnd_, 1, nf_.Scale(Model().colWidths[1]));
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
                std::wstring text =
                    i < Model().Count()
                        ? W(di->item.iSubItem == 0 ? Model().Name(i) : Model().Value(i))
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
                nf_.Raise([this, row] { Model().UserSelect(row); });
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
        nf_.Raise([&] { Model().UserDropFiles(paths, row); });
    }
    void OnCommand(HWND from, int code) override {
        if (from == editor_ && code == EN_CHANGE && !echo_) {
            int row = Model().Row();
            std::string value = A(WindowTextW(editor_));
            Model().UserSetValue(row, value);
            ListView_RedrawItems(hwnd_, row - 1, row - 1);
        }
    }

private:
    // Rows drawn whole, both cells at once, with a grid's narrow padding so short slot
    // names fit their column (one notification a row, and one question for its place).
    LRESULT Draw(NMLVCUSTOMDRAW* cd) {
        switch (cd->nmcd.dwDrawStage) {
            case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
            case CDDS_ITEMPREPAINT: break;
            default: return CDRF_DODEFAULT;
        }
        int item = static_cast<int>(cd->nmcd.dwItemSpec);
        RECT value{};
        ListView_GetSubItemRect(hwnd_, item, 1, LVIR_BOUNDS, &value);
        RECT name = value;
        name.right = value.left;
        name.left = value.left - ListView_GetColumnWidth(hwnd_, 0);
        bool real = item < Model().Count();
        bool current = item == Model().Row() - 1;
        Selected font(cd->nmcd.hdc, nf_.Font(true));
        for (int column = 0; column < 2; ++column) {
            const RECT& r = column == 0 ? name : value;
            std::wstring text =
                !real ? std::wstring() : W(column == 0 ? Model().Name(item) : Model().Value(item));
            RECT fill{r.left, r.top, r.right - 1, r.bottom - 1};
            // A value whose file may not play in its slot is drawn in the warning colour.
            COLORREF color =
                column == 1 && real && Model().Warned(item) ? kWarningText : CLR_INVALID;
            PaintRow(cd->nmcd.hdc, fill, current && column == 0, text,
                     {r.left + 2, r.top, r.right - 2, r.bottom}, color);
        }
        return CDRF_SKIPDEFAULT;
    }
    void Fill() {
        {
            Raised filling(filling_);
            // The list holds only a count; a changed line needs a repaint, not a new count.
            int rows = Model().RowCount() - 1;
            if (ListView_GetItemCount(hwnd_) != rows)
                ListView_SetItemCountEx(hwnd_, rows, LVSICF_NOSCROLL);
            InvalidateRect(hwnd_, nullptr, FALSE);
            if (editor_) InvalidateRect(editor_, nullptr, TRUE);  // its colour may have changed
        }
        SelectCurrent();
    }
    void SelectCurrent() {
        {
            Raised filling(filling_);
            int item = Model().Row() - 1;
            ListView_SetItemState(hwnd_, item, LVIS_SELECTED | LVIS_FOCUSED,
                                  LVIS_SELECTED | LVIS_FOCUSED);
            ListView_EnsureVisible(hwnd_, item, FALSE);
        }
        PlaceEditor();
    }
    // The editor sits on the value cell of the current row and shows its value.
    void PlaceEditor() {
        if (!editor_) return;
        int item = Model().Row() - 1;
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
        std::wstring value = item < Model().Count() ? W(Model().Value(item)) : std::wstring();
        if (WindowTextW(editor_) != value) {
            Raised echo(echo_);
            SetWindowTextW(editor_, value.c_str());
        }
        // The blank row of an empty table holds no line to type into.
        bool readOnly = item >= Model().Count();
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
            case WM_CTLCOLOREDIT:
                // The current row's value is shown by the editor: in the warning colour too.
                if (editor_ && reinterpret_cast<HWND>(lp) == editor_ &&
                    Model().Warned(Model().Row() - 1)) {
                    HDC dc = reinterpret_cast<HDC>(wp);
                    SetTextColor(dc, kWarningText);
                    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
                }
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
            default: break;
        }
        return DefSubclassProc(h, msg, wp, lp);
    }
    LRESULT EditMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_KEYDOWN &&
            (wp == VK_UP || wp == VK_DOWN || wp == VK_PRIOR || wp == VK_NEXT)) {
            int step = wp == VK_UP ? -1 : wp == VK_DOWN ? 1 : wp == VK_PRIOR ? -10 : 10;
            int row = std::clamp(Model().Row() + step, 1, Model().RowCount() - 1);
            nf_.Raise([this, row] { Model().UserSelect(row); });
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

std::unique_ptr<PeerBase> NewGridPeer(NativeForm& nf, ui::Control& c) {
    return GridPeer::New(nf, c);
}

}  // namespace win32
