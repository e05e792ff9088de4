#include "platform/win32/NativeForm.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/Error.h"
#include "platform/win32/Messages.h"
#include "platform/win32/Modal.h"
#include "platform/win32/Paint.h"
#include "platform/win32/Peers.h"
#include "platform/win32/Wide.h"
#include "platform/win32/Win32System.h"

namespace win32 {
namespace {

const wchar_t* const kPeerProp = L"QxPeer";
const UINT kPostedWork = WM_APP + 1;  // the application's posted work waits
const wchar_t* const kAppClass = L"QxApplication";
const UINT_PTR kSubclassId = 1;
const int kIconId = 1;  // the program's icon in the resources
const int kTipWidth = 420;  // longest tooltip line, in 96-dpi pixels

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

int DpiAt(POINT pt) {
    static auto fn = reinterpret_cast<GetDpiForMonitorFn>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"shcore.dll"), "GetDpiForMonitor")));
    if (fn) {
        UINT x = 96, y = 96;
        if (SUCCEEDED(fn(MonitorFromPoint(pt, MONITOR_DEFAULTTONEAREST), 0, &x, &y))) {
            return static_cast<int>(y);
        }
    }
    int dpi = GetDeviceCaps(WindowDC(nullptr), LOGPIXELSY);
    return dpi > 0 ? dpi : 96;
}

int DpiOf(HWND hwnd) {
    static auto fn = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (fn) {
        UINT d = fn(hwnd);
        if (d) return static_cast<int>(d);
    }
    RECT r;
    GetWindowRect(hwnd, &r);
    return DpiAt({r.left, r.top});
}

void AdjustRect(RECT& r, DWORD style, DWORD ex, int dpi) {
    static auto fn = reinterpret_cast<AdjustForDpiFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (fn) {
        fn(&r, style, FALSE, ex, static_cast<UINT>(dpi));
    } else {
        AdjustWindowRectEx(&r, style, FALSE, ex);
    }
}

int CALLBACK FontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FontInstalled(const std::wstring& face) {
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(WindowDC(nullptr), &lf, FontFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// True for a combo box whose list is dropped down (the focus is on the combo box or on
// the edit inside it).
bool DroppedDown(HWND focus) {
    for (HWND h = focus; h; h = GetParent(h)) {
        wchar_t cls[16] = {};
        GetClassNameW(h, cls, 16);
        if (_wcsicmp(cls, L"ComboBox") == 0) return SendMessageW(h, CB_GETDROPPEDSTATE, 0, 0) != 0;
        if (!(GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) break;
    }
    return false;
}

PeerBase* PeerOf(HWND h) { return h ? static_cast<PeerBase*>(GetPropW(h, kPeerProp)) : nullptr; }
PeerBase* PeerOf(const ui::Control& control) { return static_cast<PeerBase*>(control.GetPeer()); }

std::string CreateFailedText() { return "画面の部品のウィンドウを作成できません"; }

const DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// Files dropped anywhere on the window come to the form, which hands them to the control
// under the drop point (see NativeForm::Dropped).
const DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES;
// A dialog the window opens (NativeForm::ShowModal) takes no drops.
const DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// The form itself as a peer: its caption.
class FormPeer : public Peer<FormPeer, ui::Form> {
public:
    using Peer::Peer;
    void Create(HWND) override {}
    void Layout() override {}
    void UpdateState(ui::Prop what) override {
        if (what == ui::Prop::Text) {
            SetWindowTextW(nf_.Handle(), W(Model().Caption()).c_str());
        }
    }
};

}  // namespace

// ---- PeerBase ------------------------------------------------------------------------

void ShowStrayError(ui::Application& app, const std::string& message) noexcept {
    try {
        app.ShowError(message);
    } catch (...) {
    }
}

PeerBase::~PeerBase() {
    for (HWND h : windows_) {
        RemoveWindowSubclass(h, SubclassProc, kSubclassId);
        RemovePropW(h, kPeerProp);
    }
    if (control_.GetPeer() == this) control_.AttachPeer(nullptr);
}

void PeerBase::Register(HWND h) {
    if (!h) return;
    SetPropW(h, kPeerProp, this);
    SetWindowSubclass(h, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    windows_.push_back(h);
}

void PeerBase::Release(HWND h) {
    RemoveWindowSubclass(h, SubclassProc, kSubclassId);
    RemovePropW(h, kPeerProp);
    windows_.erase(std::remove(windows_.begin(), windows_.end(), h), windows_.end());
    Forget(h);
    if (h != hwnd_) return;
    // The control's own window is gone: the control goes on without a peer.
    hwnd_ = nullptr;
    if (control_.GetPeer() == this) control_.AttachPeer(nullptr);
}

LRESULT PeerBase::Message(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    return DefSubclassProc(h, msg, wp, lp);
}

LRESULT CALLBACK PeerBase::SubclassProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                        DWORD_PTR ref) {
    auto* self = reinterpret_cast<PeerBase*>(ref);
    if (msg == WM_NCDESTROY) {
        self->Release(h);
        return DefSubclassProc(h, msg, wp, lp);
    }
    return Guarded(
        self->nf_.App(), [&] { return self->Message(h, msg, wp, lp); },
        [&] { return DefSubclassProc(h, msg, wp, lp); });
}

HWND PeerBase::Make(const wchar_t* cls, const std::wstring& text, DWORD style, DWORD exStyle,
                    HWND parent) {
    id_ = nf_.nextId_++;
    const ui::Rect& b = control_.Bounds();
    hwnd_ = CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | style, nf_.Scale(b.left),
                            nf_.Scale(b.top), nf_.Scale(b.width), nf_.Scale(b.height), parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)),
                            GetModuleHandleW(nullptr), nullptr);
    Register(hwnd_);
    SetFont(hwnd_, nf_.Font(false), false);
    if (!control_.Enabled()) EnableWindow(hwnd_, FALSE);
    if (control_.Visible()) ShowWindow(hwnd_, SW_SHOWNA);
    AddTooltip();
    return hwnd_;
}

void PeerBase::OnDropFiles(const std::vector<std::u16string>& paths, POINT) {
    nf_.Raise([&] { control_.UserDropFiles(paths, 0); });
}

void PeerBase::AddTooltip() {
    if (control_.hint.empty() || !nf_.Tooltip()) return;
    std::wstring tip = W(control_.hint);
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = GetParent(hwnd_);
    ti.uId = reinterpret_cast<UINT_PTR>(hwnd_);
    ti.lpszText = tip.data();
    SendMessageW(nf_.Tooltip(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void PeerBase::RemoveTooltip() {
    if (control_.hint.empty() || !nf_.Tooltip() || !hwnd_) return;
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = GetParent(hwnd_);
    ti.uId = reinterpret_cast<UINT_PTR>(hwnd_);
    SendMessageW(nf_.Tooltip(), TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void PeerBase::Layout() {
    if (!hwnd_) return;
    const ui::Rect& b = control_.Bounds();
    SetWindowPos(hwnd_, nullptr, nf_.Scale(b.left), nf_.Scale(b.top), nf_.Scale(b.width),
                 nf_.Scale(b.height), SWP_NOZORDER | SWP_NOACTIVATE);
    SetFont(hwnd_, nf_.Font(false));
}

void PeerBase::Realize() {
    if (!childrenWaiting_ || !hwnd_) return;
    nf_.CreatePeers(control_, hwnd_);
    childrenWaiting_ = false;
}

void PeerBase::Update(ui::Prop what) {
    if (what == ui::Prop::Visible && hwnd_) {
        if (control_.Visible()) Realize();
        // A control that hides while it holds the focus hands it on.
        HWND focus = GetFocus();
        bool hadFocus = focus && (focus == hwnd_ || IsChild(hwnd_, focus));
        ShowWindow(hwnd_, control_.Visible() ? SW_SHOWNA : SW_HIDE);
        if (hadFocus && !control_.Visible()) nf_.MoveFocus(false);
        return;
    }
    if (what == ui::Prop::Enabled && hwnd_) {
        HWND focus = GetFocus();
        bool hadFocus = focus && (focus == hwnd_ || IsChild(hwnd_, focus));
        if (hadFocus && !control_.Enabled()) nf_.MoveFocus(false);
        EnableWindow(hwnd_, control_.Enabled() ? TRUE : FALSE);
        return;
    }
    UpdateState(what);
}

// ---- NativeForm ----------------------------------------------------------------------

NativeForm::NativeForm(ui::Application& app, ui::Form& form, Win32System& system)
    : app_(app), form_(form), system_(system) {}

namespace {

DWORD WINAPI BackgroundThread(void* p) {
    std::unique_ptr<std::function<void(sys::System&)>> work(
        static_cast<std::function<void(sys::System&)>*>(p));
    Win32System own;
    (*work)(own);
    return 0;
}

}  // namespace

// Work that must not hold the window up, on a thread of its own with a system of its own;
// what it posts back is dropped once the window is gone (ui::Application::Background).
void NativeForm::RunInThread(std::function<void(sys::System&)> job) {
    auto* owned = new std::function<void(sys::System&)>(std::move(job));
    HANDLE thread = CreateThread(nullptr, 0, BackgroundThread, owned, 0, nullptr);
    if (thread) {
        CloseHandle(thread);
    } else {
        BackgroundThread(owned);  // no thread to be had: the work runs here after all
    }
}

NativeForm::~NativeForm() {
    // The peers go first and take themselves off their windows, so nothing the windows
    // send while they are destroyed reaches a peer or a handler.
    form_.closeRequester = nullptr;
    if (!owned_) {
        app_.SetPoster(nullptr);
        app_.backgroundRunner = nullptr;
        app_.modalRunner = nullptr;
    }
    peers_.clear();
    if (hwnd_) RemovePropW(hwnd_, kPeerProp);
    formPeer_.reset();
    if (hwnd_) DestroyWindow(hwnd_);
    if (appHwnd_) DestroyWindow(appHwnd_);
}

void NativeForm::MakeFonts() {
    // The designed font, or the first Japanese UI font this system has.
    std::wstring face = W(form_.fontName);
    if (!FontInstalled(face)) {
        for (const wchar_t* f :
             {L"MS PGothic", L"IPAPGothic", L"Meiryo UI", L"Yu Gothic UI", L"Noto Sans CJK JP",
              L"Noto Sans JP", L"Droid Sans Fallback", L"MS Shell Dlg 2"}) {
            if (FontInstalled(f)) {
                face = f;
                break;
            }
        }
    }
    LOGFONTW lf{};
    lf.lfHeight = -Scale(form_.fontHeight);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    font_.Reset(CreateFontIndirectW(&lf));
    // Fixed pitch: the proportional Gothic's monospaced sister, as Windows' mapper picks.
    lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    std::wstring fixedFace = face;
    if (face == W("ＭＳ Ｐゴシック")) fixedFace = W("ＭＳ ゴシック");
    if (face == L"MS PGothic") fixedFace = L"MS Gothic";
    if (face == L"IPAPGothic") fixedFace = L"IPAGothic";
    if (FontInstalled(fixedFace)) wcsncpy(lf.lfFaceName, fixedFace.c_str(), LF_FACESIZE - 1);
    fixedFont_.Reset(CreateFontIndirectW(&lf));
}

std::wstring NativeForm::RegisterClasses(HICON icon) {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES |
                                             ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpfnWndProc = ContainerProc;
    wc.lpszClassName = kContainerClass;
    RegisterClassExW(&wc);
    wc.lpfnWndProc = Thunk<&NativeForm::FormMessage>;
    const std::wstring formClass = L"T" + W(form_.Name());  // the class is named after the form
    wc.lpszClassName = formClass.c_str();
    wc.hIcon = icon;
    wc.hIconSm = icon;
    RegisterClassExW(&wc);  // fails, harmlessly, when the class is there already
    wc.lpfnWndProc = Thunk<&NativeForm::AppMessage>;
    wc.lpszClassName = kAppClass;
    RegisterClassExW(&wc);
    return formClass;
}

bool NativeForm::Create() {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    HICON icon = LoadIconW(inst, MAKEINTRESOURCEW(kIconId));
    const std::wstring formClass = RegisterClasses(icon);

    // The application's own window carries the title in the taskbar and owns the form.
    int cx = GetSystemMetrics(SM_CXSCREEN) / 2, cy = GetSystemMetrics(SM_CYSCREEN) / 2;
    appHwnd_ =
        CreateWindowExW(0, kAppClass, W(app_.title).c_str(),
                        WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, cx,
                        cy, 0, 0, nullptr, nullptr, inst, this);
    if (!appHwnd_) return false;
    if (!MakeWindow(formClass, appHwnd_, kFormExStyle)) return false;
    system_.owner = hwnd_;
    system_.appWindow = appHwnd_;
    SendMessageW(appHwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    if (!MakeControls()) return false;
    app_.SetPoster([this] { PostMessageW(hwnd_, kPostedWork, 0, 0); });
    app_.backgroundRunner = RunInThread;
    app_.modalRunner = [this](ui::Form& form) { ShowModal(form); };
    return true;
}

bool NativeForm::MakeWindow(const std::wstring& formClass, HWND owner, DWORD exStyle) {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    const ui::Rect& b = form_.Bounds();
    POINT at{b.left, b.top};
    if (owned_) {
        // A dialog opens centred over the window it belongs to, inside that screen.
        RECT o{};
        GetWindowRect(owner, &o);
        at = {(o.left + o.right) / 2, (o.top + o.bottom) / 2};
    }
    dpi_ = DpiAt(at);
    MakeFonts();
    RECT r{0, 0, Scale(b.width), Scale(b.height)};
    AdjustRect(r, kFormStyle, exStyle, dpi_);
    if (owned_) at = {at.x - (r.right - r.left) / 2, at.y - (r.bottom - r.top) / 2};
    hwnd_ =
        CreateWindowExW(exStyle, formClass.c_str(), W(form_.Caption()).c_str(), kFormStyle, at.x,
                        at.y, r.right - r.left, r.bottom - r.top, owner, nullptr, inst, this);
    if (!hwnd_) return false;
    int actual = DpiOf(hwnd_);
    if (actual != dpi_) {
        dpi_ = actual;
        MakeFonts();
        RECT a{0, 0, Scale(b.width), Scale(b.height)};
        AdjustRect(a, kFormStyle, exStyle, dpi_);
        SetWindowPos(hwnd_, nullptr, 0, 0, a.right - a.left, a.bottom - a.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (owned_) {
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        RECT w{};
        GetWindowRect(hwnd_, &w);
        if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &mi)) {
            const RECT& area = mi.rcWork;
            LONG x = std::max(area.left, std::min(w.left, area.right - (w.right - w.left)));
            LONG y = std::max(area.top, std::min(w.top, area.bottom - (w.bottom - w.top)));
            SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    return true;
}

bool NativeForm::MakeControls() {
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    SetTipWidth(tooltip_, Scale(kTipWidth));

    formPeer_ = std::make_unique<FormPeer>(*this, form_);
    form_.AttachPeer(formPeer_.get());
    SetPropW(hwnd_, kPeerProp, formPeer_.get());
    if (!app_.Dispatch([this] { CreatePeers(form_, hwnd_); })) return false;
    form_.closeRequester = [this] { PostMessageW(hwnd_, WM_CLOSE, 0, 0); };
    return true;
}

void NativeForm::ShowModal(ui::Form& form) {
    // The window the dialog belongs to: the one boxes belong to now (the main window, or
    // a dialog a dialog opened).
    const HWND owner = system_.owner;
    // Every other window of the program takes no input meanwhile; the owner too.
    ModalScope modal(system_, owner);
    NativeForm dialog(app_, form, system_);
    const BOOL ownerWasEnabled = owner ? !EnableWindow(owner, FALSE) : FALSE;
    // Before the dialog's window goes (the members go in reverse), the owner is enabled
    // again, so that Windows activates it, and boxes belong to it again.
    struct Restore {
        Win32System& system;
        HWND owner;
        BOOL enable;
        ~Restore() {
            if (enable && IsWindow(owner)) EnableWindow(owner, TRUE);
            system.owner = owner;
        }
    } restore{system_, owner, ownerWasEnabled};
    dialog.owned_ = true;
    dialog.baseDepth_ = system_.modalDepth;
    const std::wstring formClass = dialog.RegisterClasses(nullptr);
    if (!dialog.MakeWindow(formClass, owner, kDialogExStyle) || !dialog.MakeControls()) {
        throw platform::Error(CreateFailedText());
    }
    system_.owner = dialog.hwnd_;
    dialog.Show();
    MSG msg;
    while (!form.Closed()) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // The program is told to end: the main loop must see that too.
            if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (dialog.PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void NativeForm::CreatePeers(ui::Control& parent, HWND parentHwnd) {
    std::vector<std::unique_ptr<PeerBase>> made;
    try {
        MakePeers(parent, parentHwnd, made);
        peers_.reserve(peers_.size() + made.size());
    } catch (...) {
        // Nothing half made stays: newest first, each peer lets go of its control and its
        // windows, then the windows go (a window's children with it).
        while (!made.empty()) {
            std::unique_ptr<PeerBase> peer = std::move(made.back());
            made.pop_back();
            HWND h = peer->Hwnd();
            peer->RemoveTooltip();
            if (peer->Control().GetPeer() == peer.get()) peer->Control().AttachPeer(nullptr);
            peer.reset();
            if (h) DestroyWindow(h);
        }
        throw;
    }
    for (auto& peer : made) peers_.push_back(std::move(peer));
}

void NativeForm::MakePeers(ui::Control& parent, HWND parentHwnd,
                           std::vector<std::unique_ptr<PeerBase>>& made) {
    for (ui::Control* c : parent.Children()) {
        std::unique_ptr<PeerBase> peer = MakePeer(*this, *c);
        if (!peer) continue;
        PeerBase* p = peer.get();
        made.push_back(std::move(peer));
        p->Create(parentHwnd);
        if (!p->Hwnd()) throw platform::Error(CreateFailedText());
        c->AttachPeer(p);
        if (c->GetKind() == ui::Kind::RadioGroup) continue;  // its buttons are its own
        // A hidden panel (a tab's page not chosen yet) gets its controls' windows when it is
        // first shown: most starts never show it, and its windows cost start-up time.
        if (c->GetKind() == ui::Kind::Panel && !c->Visible()) {
            p->childrenWaiting_ = true;
        } else {
            MakePeers(*c, p->Hwnd(), made);
        }
    }
}

void NativeForm::Show() {
    if (appHwnd_) ShowWindow(appHwnd_, SW_SHOWNORMAL);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
    std::vector<ui::Control*> order = form_.FocusOrder();
    if (!order.empty()) FocusControl(order.front());
    UpdateWindow(hwnd_);
}

HWND NativeForm::HandleOf(const ui::Control& control) const {
    PeerBase* peer = PeerOf(control);
    return peer ? peer->Hwnd() : nullptr;
}

ui::Control* NativeForm::ControlOf(HWND h) const {
    for (; h && h != hwnd_; h = GetParent(h)) {
        if (PeerBase* p = PeerOf(h)) return &p->Control();
    }
    return nullptr;
}

void NativeForm::FocusControl(ui::Control* control) {
    if (!control) return;
    PeerBase* peer = PeerOf(*control);
    if (peer && peer->FocusTarget()) SetFocus(peer->FocusTarget());
}

void NativeForm::MoveFocus(bool backwards) {
    std::vector<ui::Control*> order = form_.FocusOrder();
    if (order.empty()) return;
    ui::Control* current = ControlOf(GetFocus());
    int n = static_cast<int>(order.size());
    int at = -1;
    for (int i = 0; i < n; ++i) {
        if (order[static_cast<std::size_t>(i)] == current) at = i;
    }
    int next = at < 0 ? (backwards ? n - 1 : 0) : (at + (backwards ? n - 1 : 1)) % n;
    FocusControl(order[static_cast<std::size_t>(next)]);
}

bool NativeForm::PreTranslate(MSG& msg) {
    if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
    bool alt = KeyHeld(VK_MENU), ctrl = KeyHeld(VK_CONTROL), shift = KeyHeld(VK_SHIFT);
    unsigned mods = (shift ? unsigned{ui::kShift} : 0u) | (alt ? unsigned{ui::kAlt} : 0u) |
                    (ctrl ? unsigned{ui::kCtrl} : 0u);

    if (msg.message == WM_KEYDOWN) return KeyDown(msg.wParam, mods);
    // Alt+F4 closes whatever has the focus: some controls (Wine's combo box) eat every
    // Alt key instead of leaving it to the system.
    if (msg.message == WM_SYSKEYDOWN && msg.wParam == VK_F4 && alt && !ctrl) {
        PostMessageW(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }
    // Alt+letter: the accelerator of a showing button or check box.
    if (msg.message == WM_SYSKEYDOWN && alt && msg.wParam >= 'A' && msg.wParam <= 'Z') {
        ui::Control* target = form_.AcceleratorTarget(static_cast<char>(msg.wParam));
        if (target) {
            if (target->GetKind() == ui::Kind::CheckBox) FocusControl(target);
            Raise([target] { ui::Form::Press(target); });
        }
        return true;  // no menu to open: no beep either
    }
    if (msg.message == WM_SYSCHAR) return msg.wParam != VK_SPACE;  // keep Alt+Space: system menu
    return false;
}

bool NativeForm::KeyDown(WPARAM key, unsigned mods) {
    bool alt = (mods & ui::kAlt) != 0, ctrl = (mods & ui::kCtrl) != 0,
         shift = (mods & ui::kShift) != 0;
    ui::Control* focused = ControlOf(GetFocus());
    switch (key) {
        case VK_TAB:
            if (alt || ctrl) return false;
            MoveFocus(shift);
            return true;
        case VK_RETURN:
        case VK_ESCAPE: {
            // A dropped-down list takes Enter (choose and close) and Esc (close).
            if (DroppedDown(GetFocus())) return false;
            ui::Key which = key == VK_RETURN ? ui::Key::Enter : ui::Key::Escape;
            ui::Button* b = form_.ButtonForKey(which, mods, focused);
            if (b) {
                Raise([b] { b->UserClick(); });
                return true;
            }
            // Keys the focused control does not take are swallowed, without a beep.
            // Esc never reaches a memo: a multi-line edit may close its parent on it.
            if (which == ui::Key::Escape) return true;
            if (focused && focused->GetKind() != ui::Kind::Memo &&
                focused->GetKind() != ui::Kind::DirectoryListBox &&
                focused->GetKind() != ui::Kind::ValueListEditor) {
                return true;
            }
            return false;
        }
        case VK_UP:
        case VK_DOWN:
        case VK_LEFT:
        case VK_RIGHT: return !(alt || ctrl) && RadioArrow(PeerOf(GetFocus()), GetFocus(), key);
        default: return false;
    }
}

int NativeForm::Run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

void NativeForm::ApplyDpi(int dpi) {
    dpi_ = dpi;
    MakeFonts();
    for (auto& p : peers_) p->Layout();
    SetTipWidth(tooltip_, Scale(kTipWidth));
    InvalidateRect(hwnd_, nullptr, TRUE);
}

LRESULT NativeForm::FormMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_NCDESTROY:
            RemovePropW(hwnd, kPeerProp);
            hwnd_ = nullptr;
            if (form_.GetPeer() == formPeer_.get()) form_.AttachPeer(nullptr);
            break;
        case WM_CLOSE:
            // Every way of closing comes here: the close box, the system menu, Alt+F4, the
            // taskbar window, another program. While a handler's box is open it does
            // nothing: the close would run inside that handler.
            if (system_.modalDepth > baseDepth_) return 0;
            Raise([this] { form_.UserClose(); });
            if (form_.Closed()) {
                ShowWindow(hwnd_, SW_HIDE);
                // A dialog's loop (ShowModal) ends when its form has closed.
                if (!owned_) PostQuitMessage(0);
            }
            return 0;
        case WM_ENDSESSION:
            // The session ends for real (wp): Windows ends the process once this returns,
            // with no WM_CLOSE. Also while a handler's box is open, and never with a box.
            if (wp) form_.EndSession();
            return 0;
        case WM_DROPFILES: Dropped(reinterpret_cast<HDROP>(wp)); return 0;
        case kPostedWork:
            // What the last event changed is drawn first; then the work that follows it.
            UpdateWindow(hwnd_);
            app_.RunPosted();
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wp) == WA_INACTIVE) {
                lastFocus_ = GetFocus();
            } else if (lastFocus_ && IsWindow(lastFocus_) && IsWindowVisible(lastFocus_)) {
                SetFocus(lastFocus_);
                return 0;
            }
            break;
        case WM_DPICHANGED: {
            const RECT* r = reinterpret_cast<const RECT*>(lp);
            SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            ApplyDpi(HIWORD(wp));
            return 0;
        }
        default: break;
    }
    return ContainerMessage(hwnd, msg, wp, lp);
}

void NativeForm::Dropped(HDROP drop) {
    using QueryFn = UINT(WINAPI*)(HDROP, UINT, LPWSTR, UINT);
    using PointFn = BOOL(WINAPI*)(HDROP, POINT*);
    using FinishFn = void(WINAPI*)(HDROP);
    static const auto query = Late<QueryFn>(L"shell32.dll", "DragQueryFileW");
    static const auto point = Late<PointFn>(L"shell32.dll", "DragQueryPoint");
    static const auto finish = Late<FinishFn>(L"shell32.dll", "DragFinish");
    if (!query || !point || !finish) return;
    std::vector<std::u16string> paths;
    UINT n = query(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < n; ++i) {
        std::wstring path(query(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(query(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.emplace_back(path.begin(), path.end());
    }
    POINT at{};
    point(drop, &at);
    finish(drop);
    // The deepest showing window under the point, and the first control at or above it.
    HWND target = hwnd_;
    for (;;) {
        POINT local = at;
        MapWindowPoints(hwnd_, target, &local, 1);
        HWND child = ChildWindowFromPointEx(target, local, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
        if (!child || child == target) break;
        target = child;
    }
    for (HWND h = target; h && h != hwnd_; h = GetParent(h)) {
        if (PeerBase* peer = PeerOf(h); peer && peer != formPeer_.get()) {
            MapWindowPoints(hwnd_, peer->Hwnd(), &at, 1);
            peer->OnDropFiles(paths, at);
            return;
        }
    }
}

LRESULT CALLBACK NativeForm::ContainerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    PeerBase* own = PeerOf(hwnd);
    if (!own) return DefWindowProcW(hwnd, msg, wp, lp);  // not ours yet, or no longer
    return Guarded(
        own->nf_.App(), [&] { return ContainerMessage(hwnd, msg, wp, lp); },
        [&] { return DefWindowProcW(hwnd, msg, wp, lp); });
}

LRESULT NativeForm::ContainerMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (lp) {
                if (PeerBase* p = PeerOf(reinterpret_cast<HWND>(lp))) {
                    p->OnCommand(reinterpret_cast<HWND>(lp), HIWORD(wp));
                    return 0;
                }
            }
            break;
        case WM_NOTIFY: {
            auto* hdr = reinterpret_cast<NMHDR*>(lp);
            if (PeerBase* p = PeerOf(hdr->hwndFrom)) return p->OnNotify(hdr);
            break;
        }
        case WM_DRAWITEM: {
            auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
            if (PeerBase* p = PeerOf(dis->hwndItem)) {
                p->OnDrawItem(dis);
                return TRUE;
            }
            break;
        }
        case WM_MEASUREITEM: {
            auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
            HWND item = GetDlgItem(hwnd, static_cast<int>(mis->CtlID));
            if (PeerBase* p = PeerOf(item)) {
                p->OnMeasureItem(mis);
                return TRUE;
            }
            break;
        }
        default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

template <LRESULT (NativeForm::*Handler)(HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK NativeForm::Thunk(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<NativeForm*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        if (Handler == &NativeForm::FormMessage) self->hwnd_ = hwnd;
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    auto* self = reinterpret_cast<NativeForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return Guarded(
        self->app_, [&] { return (self->*Handler)(hwnd, msg, wp, lp); },
        [&] { return DefWindowProcW(hwnd, msg, wp, lp); });
}

LRESULT NativeForm::AppMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCDESTROY) appHwnd_ = nullptr;
    if (hwnd_) {
        switch (msg) {
            case WM_CLOSE:  // from the taskbar: close the form the usual way
                PostMessageW(hwnd_, WM_CLOSE, 0, 0);
                return 0;
            case WM_SETFOCUS:
            case WM_ACTIVATE:
                if (msg == WM_SETFOCUS || LOWORD(wp) != WA_INACTIVE) {
                    if (IsWindowVisible(hwnd_) && IsWindowEnabled(hwnd_)) SetActiveWindow(hwnd_);
                }
                return 0;
            default: break;
        }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace win32
