// Folder-list benchmark: how long the file list and the folder list take to fill from a
// big folder, against the bare enumeration of that folder.
//
//   lists_bench [--runs N] [--root FOLDER]
//
// Creates once, under FOLDER (default %TEMP%\qx-bench-lists):
//   files\    20,000 matching files (track00001.mp3 ..., some .wav, some Japanese names)
//             and 2,000 that do not match the mask
//   folders\  5,000 subfolders (some Japanese names)
// Then times, taking turns, N runs each after one warm-up round:
//   (a) bare FindFirstFileExW loop over files\ that only counts entries
//   (b) a fresh ui::FileListBox with mask "*.mp3;*.wav" set to the files folder
//   (c) a fresh ui::DirectoryListBox set to the folders folder, against the bare loop over it
// and breaks the folder read down into its steps.
// Finally the native side of a fill: LB_SETCOUNT on an LBS_NODATA list box and the
// first paint of the visible rows. Prints a Markdown section.
#include <windows.h>

#include "Clock.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/text/Cp932.h"
#include "platform/ui/Browse.h"
#include "platform/win32/Wide.h"
#include "platform/win32/Win32System.h"

using win32::A;
using win32::W;

namespace {

constexpr int kMatching = 20000;
constexpr int kOthers = 2000;
constexpr int kFolders = 5000;
constexpr const char* kMask = "*.mp3;*.wav";
constexpr const char16_t* kMaskW = u"*.mp3;*.wav";

std::wstring Format(const wchar_t* format, int n) {
    wchar_t buffer[128];
    _snwprintf(buffer, 128, format, n);
    buffer[127] = 0;
    return buffer;
}

// Names whose CP932 form has 0x5C as a second byte (ソ, 表, 能, 十, 予) are among them.
std::wstring FileName(int i) {
    if (i % 20 == 0) return Format(L"\u66F2%05d_\u30BD\u8868\u80FD.mp3", i);  // 曲…_ソ表能
    if (i % 20 == 10)
        return Format(L"\u30C8\u30E9\u30C3\u30AF%05d \u5341\u4E88.mp3", i);  // トラック… 十予
    if (i % 25 == 1) return Format(L"track%05d.wav", i);
    if (i % 7 == 3) return Format(L"Track%05d.MP3", i);
    return Format(L"track%05d.mp3", i);
}

std::wstring OtherName(int i) { return Format(i % 2 ? L"cover%05d.jpg" : L"notes%05d.txt", i); }

std::wstring FolderName(int i) {
    if (i % 10 == 0) return Format(L"\u30D5\u30A9\u30EB\u30C0%04d", i);  // フォルダ…
    return Format(L"album%04d", i);
}

bool Touch(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// Builds the two folders unless a previous run finished building them.
bool Prepare(const std::wstring& root) {
    std::wstring done = root + L"\\prepared-v1";
    if (GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    std::printf("lists_bench: creating %d files and %d folders under %s ...\n", kMatching + kOthers,
                kFolders, A(root).c_str());
    std::fflush(stdout);
    double t0 = Now();
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW((root + L"\\files").c_str(), nullptr);
    CreateDirectoryW((root + L"\\folders").c_str(), nullptr);
    for (int i = 1; i <= kMatching; ++i) {
        if (!Touch(root + L"\\files\\" + FileName(i))) return false;
    }
    for (int i = 1; i <= kOthers; ++i) {
        if (!Touch(root + L"\\files\\" + OtherName(i))) return false;
    }
    for (int i = 1; i <= kFolders; ++i) {
        std::wstring dir = root + L"\\folders\\" + FolderName(i);
        if (!CreateDirectoryW(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    std::printf("lists_bench: created in %.1f s\n", (Now() - t0) / 1000);
    return Touch(done);
}

// (a): what any program pays to read the folder at all.
int BareCount(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data,
                                FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) return -1;
    int n = 0;
    do {
        ++n;
    } while (FindNextFileW(h, &data));
    FindClose(h);
    return n;
}

struct Pair {
    std::vector<double> a, b;
};

// Runs a and b in turn, `runs` times each after one warm-up round.
Pair Alternate(int runs, const std::function<void()>& a, const std::function<void()>& b) {
    Pair out;
    for (int r = 0; r <= runs; ++r) {
        double t0 = Now();
        a();
        double t1 = Now();
        b();
        double t2 = Now();
        if (r == 0) continue;
        out.a.push_back(t1 - t0);
        out.b.push_back(t2 - t1);
    }
    return out;
}

// ---- The folder read, step by step -----------------------------------------------------
// The same steps as Win32System::ListFolder (and the list's filter after it), each timed on
// its own; and, for comparison, the sort done with one CompareStringW per comparison.

struct Wide {
    std::wstring name;
    DWORD attributes;
    std::string key;
};

struct Steps {
    double enumerate = 0, keys = 0, sort = 0, convert = 0, filter = 0;
    double compareSort = 0;  // the same sort, CompareStringW per comparison
    long long compares = 0;
    bool sameOrder = true;
};

bool IsDots(const wchar_t* n) { return n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0)); }

bool LessByCompareString(const Wide& a, const Wide& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.name.c_str(),
                          static_cast<int>(a.name.size()), b.name.c_str(),
                          static_cast<int>(b.name.size())) == CSTR_LESS_THAN;
}

Steps Breakdown(const std::wstring& folder, bool files) {
    Steps s;
    double t0 = Now();
    std::vector<Wide> found;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data,
                                FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!IsDots(data.cFileName))
                found.push_back({data.cFileName, data.dwFileAttributes, {}});
        } while (FindNextFileW(h, &data));
        FindClose(h);
    }
    double t1 = Now();

    // One sort key per name (same locale and flags as the comparison), then byte compares.
    for (Wide& w : found) {
        int n = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, w.name.c_str(),
                             static_cast<int>(w.name.size()), nullptr, 0);
        w.key.resize(static_cast<std::size_t>(n > 0 ? n : 0));
        if (n > 0) {
            LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, w.name.c_str(),
                         static_cast<int>(w.name.size()), reinterpret_cast<wchar_t*>(w.key.data()),
                         n);
        }
    }
    double t2 = Now();
    std::vector<Wide> byCompare = found;  // kept for the comparison below
    double t3 = Now();
    std::sort(found.begin(), found.end(), [](const Wide& a, const Wide& b) {
        int c = std::strcmp(a.key.c_str(), b.key.c_str());
        return c != 0 ? c < 0 : a.name < b.name;
    });
    double t4 = Now();

    std::vector<sys::FolderEntry> entries;
    entries.reserve(found.size());
    for (const Wide& w : found)
        entries.push_back({std::u16string(w.name.begin(), w.name.end()), w.attributes});
    double t5 = Now();

    std::vector<std::u16string> items;
    for (const sys::FolderEntry& e : entries) {
        bool hidden = e.attributes & (sys::kHidden | sys::kSystem);
        if (files) {
            if (!(e.attributes & sys::kDirectory) && !hidden && ui::MatchesMask(e.name, kMaskW)) {
                items.push_back(e.name);
            }
        } else if ((e.attributes & sys::kDirectory) && !hidden) {
            items.push_back(e.name);
        }
    }
    double t6 = Now();

    long long compares = 0;
    std::sort(byCompare.begin(), byCompare.end(), [&](const Wide& a, const Wide& b) {
        ++compares;
        return LessByCompareString(a, b);
    });
    double t7 = Now();
    for (std::size_t i = 0; i < found.size() && s.sameOrder; ++i) {
        // Names equal under the comparison may come in either order.
        s.sameOrder =
            found[i].name == byCompare[i].name || (!LessByCompareString(found[i], byCompare[i]) &&
                                                   !LessByCompareString(byCompare[i], found[i]));
    }

    s.enumerate = t1 - t0;
    s.keys = t2 - t1;
    s.sort = t4 - t3;
    s.convert = t5 - t4;
    s.filter = t6 - t5;
    s.compareSort = t7 - t6;
    s.compares = compares;
    return s;
}

Steps MedianSteps(const std::vector<Steps>& runs) {
    Steps m = runs.front();
    auto pick = [&](double Steps::*field) {
        std::vector<double> v;
        for (const Steps& s : runs) v.push_back(s.*field);
        m.*field = Median(v);
    };
    pick(&Steps::enumerate);
    pick(&Steps::keys);
    pick(&Steps::sort);
    pick(&Steps::convert);
    pick(&Steps::filter);
    pick(&Steps::compareSort);
    for (const Steps& s : runs) m.sameOrder = m.sameOrder && s.sameOrder;
    return m;
}

void PrintSteps(const char* title, const Steps& s, double bare, bool files) {
    double total = s.enumerate + s.keys + s.sort + s.convert + s.filter;
    std::printf("\n%s (medians, ms; the bare loop took %.1f):\n\n", title, bare);
    std::printf("| step | ms | share |\n|---|---:|---:|\n");
    auto row = [&](const char* name, double ms) {
        std::printf("| %s | %.1f | %.0f%% |\n", name, ms, total > 0 ? 100 * ms / total : 0);
    };
    row("enumerate (FindFirstFileExW loop, names copied)", s.enumerate);
    row("sort keys (LCMapStringW, one per name)", s.keys);
    row("sort (byte compare of the keys)", s.sort);
    row("entries handed over (UTF-16 kept, no conversion)", s.convert);
    row(files ? "mask match" : "folder filter", s.filter);
    std::printf("| total | %.1f | %.2fx bare |\n", total, bare > 0 ? total / bare : 0);
    std::printf(
        "\nFor comparison, the same sort with CompareStringW per comparison: %.1f ms "
        "(%lld comparisons, %.2f us each) instead of %.1f ms for keys and sort; "
        "the orders are %s.\n",
        s.compareSort, s.compares,
        s.compares ? 1000 * s.compareSort / static_cast<double>(s.compares) : 0, s.keys + s.sort,
        s.sameOrder ? "the same" : "DIFFERENT");
}

// ---- Native side --------------------------------------------------------------------------

const std::vector<std::u16string>* g_items = nullptr;

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DRAWITEM) {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        FillRect(dis->hDC, &dis->rcItem, GetSysColorBrush(COLOR_WINDOW));
        if (g_items && dis->itemID < g_items->size()) {
            std::wstring text = W((*g_items)[dis->itemID]);
            RECT r = dis->rcItem;
            r.left += 2;
            DrawTextW(dis->hDC, text.c_str(), static_cast<int>(text.size()), &r,
                      DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        }
        return TRUE;
    }
    if (msg == WM_MEASUREITEM) {
        reinterpret_cast<MEASUREITEMSTRUCT*>(lp)->itemHeight = 16;
        return TRUE;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// What the file list's native peer does on a new list: the count, the selection, and the
// repaint (only the visible rows are drawn).
std::vector<double> NativeFill(const std::vector<std::u16string>& items, int runs) {
    std::vector<double> out;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"QxBenchHost";
    RegisterClassExW(&wc);
    HWND host = CreateWindowExW(0, wc.lpszClassName, L"lists", WS_OVERLAPPEDWINDOW, 0, 0, 400, 400,
                                nullptr, nullptr, wc.hInstance, nullptr);
    HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY |
                                    LBS_OWNERDRAWFIXED | LBS_NODATA | LBS_NOINTEGRALHEIGHT,
                                8, 8, 360, 340, host, nullptr, wc.hInstance, nullptr);
    if (!host || !list) return out;
    ShowWindow(host, SW_SHOWNORMAL);
    UpdateWindow(host);
    g_items = &items;
    for (int r = 0; r <= runs; ++r) {
        SendMessageW(list, LB_SETCOUNT, 0, 0);
        UpdateWindow(list);
        double t0 = Now();
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        SendMessageW(list, LB_SETCOUNT, items.size(), 0);
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
        UpdateWindow(list);
        double t1 = Now();
        if (r > 0) out.push_back(t1 - t0);
    }
    g_items = nullptr;
    DestroyWindow(host);
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = 9;
    std::wstring root;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--runs" && i + 1 < argc)
            runs = _wtoi(argv[++i]);
        else if (a == L"--root" && i + 1 < argc)
            root = argv[++i];
    }
    if (root.empty()) {
        wchar_t temp[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        root.assign(temp, n);
        while (!root.empty() && root.back() == L'\\') root.pop_back();
        root += L"\\qx-bench-lists";
    }
    if (!Prepare(root)) {
        std::fprintf(stderr, "lists_bench: cannot create the test folders under %s\n",
                     A(root).c_str());
        return 1;
    }
    const std::wstring filesW = root + L"\\files", foldersW = root + L"\\folders";
    const std::string files = A(filesW), folders = A(foldersW);
    win32::Win32System system;

    // (a) against (b)
    int bareFiles = 0;
    std::size_t listed = 0;
    std::vector<std::u16string> fileItems;
    Pair fileRuns = Alternate(
        runs, [&] { bareFiles = BareCount(filesW); },
        [&] {
            ui::FileListBox list(nullptr, "FilList", {}, system);
            list.SetMask(kMask);
            list.SetDirectory(files);
            listed = list.Items().size();
            fileItems = list.Items();
        });

    // bare against (c)
    int bareFolders = 0;
    std::size_t folderLines = 0;
    Pair folderRuns = Alternate(
        runs, [&] { bareFolders = BareCount(foldersW); },
        [&] {
            ui::DirectoryListBox list(nullptr, "DirList", {}, system);
            list.SetDirectory(folders);
            folderLines = list.Items().size();
        });

    // The steps, each round beside a bare loop of its own (the machine may be busier now).
    std::vector<Steps> fileSteps, folderSteps;
    std::vector<double> fileBare, folderBare;
    for (int r = 0; r < runs; ++r) {
        double t0 = Now();
        BareCount(filesW);
        fileBare.push_back(Now() - t0);
        fileSteps.push_back(Breakdown(filesW, true));
        t0 = Now();
        BareCount(foldersW);
        folderBare.push_back(Now() - t0);
        folderSteps.push_back(Breakdown(foldersW, false));
    }
    std::vector<double> native = NativeFill(fileItems, runs);

    double bareF = Median(fileRuns.a), fillF = Median(fileRuns.b);
    double bareD = Median(folderRuns.a), fillD = Median(folderRuns.b);
    double ratioF = bareF > 0 ? fillF / bareF : 0, ratioD = bareD > 0 ? fillD / bareD : 0;

    std::printf("## Lists\n\n");
    std::printf("%d runs of each, taking turns, after one warm-up round. Medians in ms.\n\n", runs);
    std::printf(
        "| case | entries | bare loop | fill | ratio | target 1.5x "
        "|\n|---|---:|---:|---:|---:|---|\n");
    std::printf("| file list, mask %s | %d read, %zu listed | %.1f | %.1f | %.2fx | %s |\n", kMask,
                bareFiles, listed, bareF, fillF, ratioF, ratioF <= 1.5 ? "met" : "MISSED");
    std::printf("| folder list | %d read, %zu lines | %.1f | %.1f | %.2fx | %s |\n", bareFolders,
                folderLines, bareD, fillD, ratioD, ratioD <= 1.5 ? "met" : "MISSED");
    std::printf(
        "\nNative side of the file list (LB_SETCOUNT %zu on an LBS_NODATA list box, selection, "
        "repaint of the visible rows): %.2f ms.\n",
        fileItems.size(), Median(native));
    std::printf("Model plus native: %.1f ms, %.2fx the bare loop.\n", fillF + Median(native),
                bareF > 0 ? (fillF + Median(native)) / bareF : 0);

    PrintSteps("Where the file list's time goes", MedianSteps(fileSteps), Median(fileBare), true);
    PrintSteps("Where the folder list's time goes", MedianSteps(folderSteps), Median(folderBare),
               false);
    std::printf("\nratio files %.3f\nratio folders %.3f\n", ratioF, ratioD);
    return 0;
}
