// TFormMain: layout, start-up, close, the tab switch, browsing and exit.
#include "mainform/MainForm.h"

#include <algorithm>

#include "platform/Error.h"
#include "platform/ini/IniFile.h"
#include "originals/Store.h"
#include "settings/DataFolder.h"
#include "platform/text/Cp932.h"
#include "slots/Slots.h"

TFormMain* FormMain = nullptr;

namespace {

// clang-format off
const std::vector<std::string> kDesignRows = {
    "01.mp3=", "03.mp3=", "05.mp3=", "08.mp3=", "09.mp3=", "11.mp3=", "12.mp3=",
    "13.mp3=", "14.mp3=", "15.mp3=", "16.mp3=", "17.mp3=", "19.mp3=", "20.mp3=",
    "21.mp3=", "22.mp3=", "23.mp3=", "24.mp3=", "25.mp3=", "Msg_NewMsg.wav=",
};
// clang-format on

const std::vector<std::string> kClickActions = {
    "登録", "登録とフォーカス1段下げ", "再生", "再生と登録", "何もしない",
};
const std::vector<std::string> kBlankItems(5);

}  // namespace

std::string MouseHintText() {
    return "↑のファイルリストを\r\n右クリックで\r\n　フォーカス一段下げ\r\n中クリックで再生(難)";
}

TFormMain::TFormMain(ui::Application& application)
    : ui::Form("FormMain", {414, 116, 511, 506}),
      TabControl1(this, "TabControl1", {0, 6, 505, 499}, {"メイン", "設定"}),
      Panel1(&TabControl1, "Panel1", {8, 24, 489, 473}),
      Panel2(&TabControl1, "Panel2", {8, 24, 489, 473}),
      DrvBox(&Panel1, "DrvBox", {8, 8, 153, 18}, application.System()),
      DirList(&Panel1, "DirList", {8, 32, 153, 161}, application.System()),
      ValListMp3(&Panel1, "ValListMp3", {168, 48, 313, 361}, kDesignRows),
      FilList(&Panel1, "FilList", {8, 200, 153, 177}, application.System()),
      Button1(&Panel1, "Button1", {168, 416, 33, 25}, "再生"),
      BtnSets(&Panel1, "BtnSets", {206, 416, 66, 25}, "セット(&S)..."),
      BtnGo(&Panel1, "BtnGo", {352, 416, 74, 25}, "Bat作成(&G)"),
      BtnExit(&Panel1, "BtnExit", {432, 416, 49, 25}, "終了(&X)"),
      MemoCopysaki(&Panel1, "MemoCopysaki", {192, 24, 289, 17}),
      BtnCopyGo(&Panel1, "BtnCopyGo", {277, 416, 70, 25}, "コピー開始"),
      BtnCopySakiCopy(&Panel1, "BtnCopySakiCopy", {168, 24, 17, 17}, "→"),
      Label2(&Panel1, "Label2", {168, 8, 185, 12}, "対象ファイルを下記フォルダにコピー"),
      LblTag(&Panel1, "LblTag", {8, 384, 153, 57}, "タグ予定地"),
      LblMp3Tips(&Panel1, "LblMp3Tips", {168, 448, 313, 26}, ""),
      MemoBatDate(&Panel1, "MemoBatDate", {424, 8, 41, 17}),
      RadioGFilListOneClk(&Panel2, "RadioGFilListOneClk", {8, 8, 169, 121},
                          "ファイルリストを1クリックで", kClickActions),
      RadioGFilListDblClk(&Panel2, "RadioGFilListDblClk", {184, 8, 49, 121}, "DblClk", kBlankItems),
      MemoMp3Play(&Panel2, "MemoMp3Play", {72, 208, 329, 17}),
      Button2(&Panel2, "Button2", {408, 208, 33, 17}, " ? "),
      MemoMp3Line(&Panel2, "MemoMp3Line", {8, 248, 393, 17}),
      RadioGMp3Play(&Panel2, "RadioGMp3Play", {8, 136, 473, 65},
                    "Playボタン及び上記設定で再生をする場合、",
                    {"再生しない", "関連付けで再生", "指定したツールで再生"}),
      MemoSoftName(&Panel2, "MemoSoftName", {8, 448, 217, 17}),
      RadioGFilListAltClk(&Panel2, "RadioGFilListAltClk", {240, 8, 49, 121}, "AltClk", kBlankItems),
      RadioGFilListCtrlClk(&Panel2, "RadioGFilListCtrlClk", {296, 8, 49, 121}, "CtrlClk",
                           kBlankItems),
      ChkDelReadOnly(
          &Panel2, "ChkDelReadOnly", {8, 280, 441, 17},
          "（*.batファイル限定）コピー先のファイルが読み取り専用でも問答無用で上書き(&R)"),
      ChkKeepOriginals(&Panel2, "ChkKeepOriginals", {8, 304, 441, 17},
                       "（コピー開始のみ）上書きする前に元のファイルを保存する"),
      ChkMatchLoudness(&Panel2, "ChkMatchLoudness", {8, 328, 441, 17},
                       "（コピー開始のみ）音量をゲームの元の曲に合わせる"),
      BtnRestore(&Panel2, "BtnRestore", {8, 352, 89, 25}, "元に戻す"),
      LblMp3PlayApp(&Panel2, "LblMp3PlayApp", {8, 210, 52, 12}, "再生ソフト"),
      Label3(&Panel2, "Label3", {8, 232, 359, 12},
             "コマンドライン(ファイル名を入れるところは[FileName]と半角10文字で。)"),
      OpenDlgMp3Play("OpenDlgMp3Play",
                     "実行ファイル(*.exe)|*.exe|全てのファイル(*.*)|*.*|顔(*.*)|*.*"),
      app_(application),
      data_(application.System().ExeFolder()) {
    FormMain = this;
    fontName = "ＭＳ Ｐゴシック";
    fontHeight = 12;
    SetTabOrder();
    SetLooks();
    // Folder list and file list start at the process's current folder. A folder that
    // cannot be read leaves them empty; the player can still pick a drive.
    std::string start = System().CurrentFolder();
    try {
        DirList.SetDirectory(start);
        FilList.SetDirectory(DirList.Directory(), DirList.Files());
    } catch (const platform::Error&) {
    }
    BindEvents();
    // The settings page shows when its tab is chosen (FormCreate hides it as well); hidden
    // from the start, its windows are made only when it first shows.
    Panel2.SetVisible(false);
}

void TFormMain::SetTabOrder() {
    TabControl1.tabOrder = 0;
    Panel1.tabOrder = 0;
    Panel2.tabOrder = 1;

    int order = 0;
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &DrvBox, &DirList, &ValListMp3, &FilList, &Button1, &BtnSets, &BtnGo, &BtnExit,
             &MemoCopysaki, &BtnCopyGo, &BtnCopySakiCopy}) {
        c->tabOrder = order++;
    }
    order = 0;
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &RadioGFilListOneClk, &RadioGFilListDblClk, &MemoMp3Play, &Button2, &MemoMp3Line,
             &RadioGMp3Play, &MemoSoftName, &RadioGFilListAltClk, &RadioGFilListCtrlClk,
             &ChkDelReadOnly, &ChkKeepOriginals, &ChkMatchLoudness, &BtnRestore}) {
        c->tabOrder = order++;
    }
}

void TFormMain::SetLooks() {
    DirList.hint = "音楽ファイルがある場所を指定してください";
    BtnGo.hint = "バッチファイル作成";
    BtnGo.isDefault = true;
    BtnExit.isCancel = true;
    MemoCopysaki.hint =
        "コピー先フォルダ。標準以外のフォルダに入れてる場合、左の[→]ボタンで何とかしてくれ";
    MemoCopysaki.fixedPitch = true;
    BtnCopySakiCopy.hint =
        "ここ押すとコピー先フォルダを左のディレクトリボックスのアドレスに変更します。"
        "手打ちが面倒なら。（フォルダの参照ダイアログ?方法知らんのだよ）";
    MemoBatDate.SetVisible(false);
    MemoMp3Line.hint = "よくわからなければ諦めて。";
    MemoSoftName.hint = "ソフト名です。自由に変更可能(改行不可)";
    MemoSoftName.maxLength = 32;
    MemoSoftName.SetVisible(false);
    ChkDelReadOnly.hint = "batファイルにdel /f E:\\bgm\\01.mp3といった文を付け加えます";
    ChkMatchLoudness.hint =
        "コピー開始で、MP3 の音量をゲームの元の曲に合わせてコピーします (コピー元のファイルは"
        "そのままです)";
    BtnRestore.hint = "コピー先フォルダのファイルを、保存しておいた元のファイルに戻します";
    ValListMp3.titleValue = "対象ファイル名";
    LblTag.fixedSize = true;
    LblMp3Tips.fixedSize = true;
    FilList.SetMask(apply::WithConvertible("*.mp3"));
}

void TFormMain::BindEvents() {
    OnClose = [this](ui::Control* s) { FormClose(s); };
    OnEndSession = [this](ui::Control* s) { FormEndSession(s); };
    TabControl1.OnChange = [this](ui::Control* s) { TabControl1Change(s); };
    DrvBox.OnChange = [this](ui::Control* s) { DrvBoxChange(s); };
    DirList.OnChange = [this](ui::Control* s) { DirListChange(s); };
    BtnCopySakiCopy.OnClick = [this](ui::Control* s) { BtnCopySakiCopyClick(s); };
    BtnExit.OnClick = [this](ui::Control* s) { BtnExitClick(s); };
    ValListMp3.OnClick = [this](ui::Control* s) { ValListMp3Click(s); };
    ValListMp3.OnValueChange = [this](ui::Control*, int line) { QueueCheck(line); };
    FilList.OnClick = [this](ui::Control* s) { FilListClick(s); };
    FilList.OnDblClick = [this](ui::Control* s) { FilListDblClick(s); };
    FilList.OnMouseDown = [this](ui::Control* s, ui::MouseButton b, unsigned sh, int x, int y) {
        FilListMouseDown(s, b, sh, x, y);
    };
    Button1.OnClick = [this](ui::Control* s) { Button1Click(s); };
    BtnSets.OnClick = [this](ui::Control* s) { BtnSetsClick(s); };
    Button2.OnClick = [this](ui::Control* s) { Button2Click(s); };
    BtnGo.OnClick = [this](ui::Control* s) { BtnGoClick(s); };
    BtnCopyGo.OnClick = [this](ui::Control* s) { BtnCopyGoClick(s); };
    BtnRestore.OnClick = [this](ui::Control* s) { BtnRestoreClick(s); };
    ValListMp3.OnDropFiles = [this](ui::Control* s, const auto& p, int r) {
        ValListMp3DropFiles(s, p, r);
    };
    MemoCopysaki.OnDropFiles = [this](ui::Control* s, const auto& p, int r) {
        MemoCopysakiDropFiles(s, p, r);
    };
    DirList.OnDropFiles = [this](ui::Control* s, const auto& p, int r) {
        DirListDropFiles(s, p, r);
    };
}

TFormMain::~TFormMain() {
    if (FormMain == this) FormMain = nullptr;
}

void TFormMain::Create() {
    app_.Dispatch([this] { FormCreate(this); });
    // The drive picker reports its first drive once it is ready; that changes nothing.
    app_.Dispatch([this] {
        DrvBox.Ready(DirList.Directory().empty() ? System().CurrentFolder() : DirList.Directory());
    });
}

std::string TFormMain::Destination() {
    std::optional<std::string> folder = slots::DestinationFolder(MemoCopysaki.Text());
    if (!folder) {
        throw platform::Error("コピー先のフォルダ " + MemoCopysaki.Text() +
                              " には、フォルダの名前に使えない文字 (\") があります");
    }
    return *folder;
}

void TFormMain::AddExperience(std::int32_t n) {
    Settings.Experience = Settings.Experience > INT32_MAX - n ? INT32_MAX : Settings.Experience + n;
}

void TFormMain::FormCreate(ui::Control*) {
    startupNote.clear();
    data_ = settings::ChooseDataFolder(System());
    {
        ini::IniFile userIni(System(), UserIniPath());
        MemoCopysaki.SetText(settings::LoadUserIni(userIni, System().ExeFolder(), Settings));
        // A file that is there but unreadable holds the player's settings: the defaults
        // of this run must not be written over them.
        sys::FileError why;
        saveUserIni_ = !userIni.Unreadable(&why);
        if (!saveUserIni_) {
            System().ShowBox(sys::BoxKind::Warning, app_.title,
                             settings::ReadFailedText(UserIniPath(), why));
        }
    }
    LoadListFile(Settings.SeleLst);
    PrepareRows();
    AddExperience(1);
    SetCaption(Settings.SoftName);
    LblTag.SetCaption(MouseHintText());
    Panel1.SetVisible(true);
    Panel2.SetVisible(false);
    // Once the window is shown and drawn: has a game update put the game's music back?
    Application().Post([this] { CheckApplied(); });
    // The window is whole by now; tell the player what was wrong with the list file.
    if (!startupNote.empty()) throw platform::Error(startupNote);
}

namespace {

void AddNote(std::string& note, const std::string& line) {
    if (!note.empty()) note += "\r\n";
    note += line;
}

// Why the list file could not be read, in the player's words.
std::string UnreadableListFile(sys::System& system, const std::string& path,
                               const sys::FileError& why) {
    const std::uint32_t attributes = system.Attributes(path);
    if (attributes != sys::kNoFile && (attributes & sys::kDirectory)) {
        return platform::Format("リストファイル %s はフォルダです", path);
    }
    switch (why.fault) {
        case sys::Fault::SourceMissing:
        case sys::Fault::FolderMissing:
            return platform::Format("リストファイル %s が見つかりません", path);
        case sys::Fault::InUse:
            return platform::Format("リストファイル %s はほかのプログラムが使用中のため読めません",
                                    path);
        default:
            return platform::Format("リストファイル %s を読めません", path) + " (" +
                   sys::ReasonText(why) + ")";
    }
}

// A slot line as the box quotes it: long ones shortened.
std::string Quoted(int index, const std::string& line) {
    constexpr std::size_t kShown = 40;
    std::string shown(text::CutBytes(line, kShown));
    if (shown.size() < line.size()) shown += "…";
    return std::to_string(index + 1) + " 行目「" + shown + "」";
}

// The lines that give no slot a name it could be written under, at most ten of them named.
std::string UnnamedLines(const std::string& list, const std::vector<std::string>& lines,
                         std::size_t count) {
    constexpr int kNamed = 10;
    std::string note;
    int found = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string name = slots::NameOf(lines[i]);
        if (slots::IsUsableSlotName(name)) continue;
        if (++found > kNamed) continue;
        AddNote(note, Quoted(static_cast<int>(i), lines[i]) + ": " +
                          (name.empty() ? "名前がありません" : slots::kUnusableSlotName));
    }
    if (found == 0) return std::string();
    if (found > kNamed) AddNote(note, "ほか " + std::to_string(found - kNamed) + " 行");
    return "リストファイル " + list +
           " の次の行にはスロットのファイル名として使える名前がないため、その行には何も適用しませ"
           "ん:\r\n" +
           note;
}

}  // namespace

void TFormMain::LoadListFile(const std::string& name) {
    std::string path = System().ExeFolder() + name;
    slots::ListFile list;
    bool read = false;
    if (!slots::IsSafeListName(name)) {
        AddNote(
            startupNote,
            platform::Format(
                "リストファイル名 %s は使えません (exe のフォルダの中の名前にしてください)", name));
    } else {
        std::string bytes;
        sys::FileError why;
        read = System().ReadFile(path, bytes, &why);
        if (read) {
            list = slots::ReadListFile(bytes);
        } else {
            AddNote(startupNote, UnreadableListFile(System(), path, why));
        }
    }
    ValListMp3.SetText(slots::LinesText(list.nametips));
    FilList.SetMask(apply::WithConvertible(list.mask));
    ValListMp3.tag = list.number;
    if (!read) return;  // the defaults are in use, and the player has been told why

    // Each line is a slot: say which give none, and what was lost past the read's limit.
    const std::vector<std::string>& lines = ValListMp3.Lines();
    const std::size_t whole = lines.size() - (list.cutMidLine ? 1 : 0);
    if (!list.hasNametips) {
        AddNote(startupNote, "リストファイル " + name + " に nametips がありません");
    } else if (std::string unnamed = UnnamedLines(name, lines, whole); !unnamed.empty()) {
        AddNote(startupNote, unnamed);
    }
    if (list.cut) {
        const std::string cut = "リストファイル " + name + " の nametips が " +
                                std::to_string(ini::kMaxValueBytes) + " バイトを超えているため、";
        AddNote(startupNote,
                list.cutMidLine
                    ? cut + Quoted(static_cast<int>(whole), lines.back()) + "から後が切れています"
                    : cut + std::to_string(whole + 1) + " 行目から後の行がありません");
    }
    // The slot count should match the lines; PrepareRows treats only lines that exist.
    const std::int32_t n = list.number;
    const int count = ValListMp3.Count();
    if (n < 0 || n > count) {
        AddNote(startupNote, "リストファイル " + name + " の number (" + std::to_string(n) +
                                 ") が行の数 (" + std::to_string(count) + ") と合いません。" +
                                 std::to_string(std::clamp(n, 0, count)) +
                                 " 行分のヒントを使います");
    }
}

void TFormMain::PrepareRows() {
    // Only lines that exist are treated (LoadListFile has told of a count that differs).
    const int n = std::clamp(ValListMp3.tag, 0, ValListMp3.Count());
    Mp3Tips.assign(static_cast<std::size_t>(n), std::string());
    for (int i = 0; i < n; ++i)
        Mp3Tips[static_cast<std::size_t>(i)] = slots::TipOf(ValListMp3.Line(i));
    ValListMp3.EmptyValues(n);
}

void TFormMain::SaveSettings() {
    if (!saveUserIni_) return;
    ini::IniFile userIni(System(), UserIniPath());
    settings::SaveUserIni(userIni, Settings, MemoCopysaki.Text());
}

void TFormMain::FormClose(ui::Control*) {
    // The window closes whatever happens: a player who cannot save is asked once per try,
    // never kept in a window that cannot be closed.
    try {
        KeepLastTable(false);
    } catch (...) {
    }
    for (;;) {
        std::string reason;
        try {
            SaveSettings();
            return;
        } catch (const ini::WriteError& e) {
            reason = settings::FileReason(e.Why());
        } catch (const std::exception& e) {
            reason = ui::ErrorText(e) + "。";
        } catch (...) {
            reason = ui::UnexpectedErrorText() + "。";
        }
        if (System().ShowBox(sys::BoxKind::RetryCancel, app_.title,
                             settings::SaveFailedText(UserIniPath(), reason)) !=
            sys::BoxResult::Retry) {
            return;
        }
    }
}

void TFormMain::FormEndSession(ui::Control*) {
    // No box: the session is going, and nobody would answer it.
    try {
        KeepLastTable(true);
    } catch (...) {
    }
    try {
        SaveSettings();
    } catch (...) {
    }
}

void TFormMain::TabControl1Change(ui::Control*) {
    if (TabControl1.TabIndex() == 1) {
        // The page's windows are all made before anything is loaded into them. A load that
        // fails on the way leaves the main tab chosen, so no commit follows it.
        try {
            Panel2.Realize();
            LoadSettingsTab();
        } catch (...) {
            TabControl1.SetTabIndex(0);
            Panel2.SetVisible(false);
            Panel1.SetVisible(true);
            throw;
        }
    } else {
        CommitSettingsTab();
    }
}

void TFormMain::LoadSettingsTab() {
    ChkDelReadOnly.SetChecked(Settings.DelReadOnly);
    ChkKeepOriginals.SetChecked(Settings.KeepOriginals);
    ChkMatchLoudness.SetChecked(Settings.MatchLoudness);
    RadioGFilListOneClk.SetItemIndex(Settings.List1Clk);
    RadioGFilListDblClk.SetItemIndex(Settings.List2Clk);
    RadioGFilListAltClk.SetItemIndex(Settings.List3Clk);
    RadioGFilListCtrlClk.SetItemIndex(Settings.List4Clk);
    MemoMp3Play.SetText(Settings.Mp3Tool);
    MemoMp3Line.SetText(Settings.Mp3Line);
    RadioGMp3Play.SetItemIndex(Settings.Mp3Play);
    if (Settings.Experience > 11) MemoSoftName.SetVisible(true);
    MemoSoftName.SetText(Settings.SoftName);
    Panel1.SetVisible(false);
    Panel2.SetVisible(true);
}

void TFormMain::CommitSettingsTab() {
    Settings.DelReadOnly = ChkDelReadOnly.Checked();
    Settings.KeepOriginals = ChkKeepOriginals.Checked();
    SetMatchLoudness(ChkMatchLoudness.Checked());
    // The memos take Enter; a line break in a path or a command line only breaks playback.
    Settings.Mp3Tool = text::RemoveLineBreaks(MemoMp3Play.Text());
    Settings.List1Clk = RadioGFilListOneClk.ItemIndex();
    Settings.List2Clk = RadioGFilListDblClk.ItemIndex();
    Settings.List3Clk = RadioGFilListAltClk.ItemIndex();
    Settings.List4Clk = RadioGFilListCtrlClk.ItemIndex();
    Settings.Mp3Play = RadioGMp3Play.ItemIndex();
    Settings.Mp3Line = text::RemoveLineBreaks(MemoMp3Line.Text());
    Settings.SoftName = text::RemoveCrLf(MemoSoftName.Text());
    Panel1.SetVisible(true);
    Panel2.SetVisible(false);
    SetCaption(Settings.SoftName);
}

void TFormMain::DrvBoxChange(ui::Control*) {
    char before = DirList.Drive();
    try {
        DirList.SetDrive(DrvBox.Drive());
    } catch (...) {
        // The drive is not ready: the picker goes back to where the lists still are.
        if (before) DrvBox.SetDrive(before);
        throw;
    }
}

// The folder list has just read the folder: its files go to the file list without a second
// read (a network folder costs a round trip per read).
void TFormMain::DirListChange(ui::Control*) {
    FilList.SetDirectory(DirList.Directory(), DirList.Files());
}

void TFormMain::BtnCopySakiCopyClick(ui::Control*) { MemoCopysaki.SetText(DirList.Directory()); }

void TFormMain::BtnExitClick(ui::Control*) { Close(); }

void TFormMain::ValListMp3Click(ui::Control*) {
    LblMp3Tips.SetCaption(TipText(ValListMp3.Row() - 1));
}
