// TFormMain: the one window of QUAVERIX, its controls, the settings record, the tip
// list and every handler. The controls are the data store.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "apply/Apply.h"
#include "audio/Content.h"
#include "platform/ui/Application.h"
#include "platform/ui/Browse.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Form.h"
#include "platform/ui/Grid.h"
#include "sets/Set.h"
#include "settings/DataFolder.h"
#include "settings/Settings.h"

class TFormMain : public ui::Form {
public:
    // Builds the controls from the layout; FormCreate runs separately (see Create()).
    explicit TFormMain(ui::Application& application);
    ~TFormMain() override;

    // Builds the window's state as the application does: FormCreate, with an error in it
    // shown in the error box before the window is shown.
    void Create();

    ui::Application& Application() { return app_; }

    // The settings record: what handlers read, what user.ini keeps, what the settings tab
    // edits a copy of.
    settings::SettingsRecord Settings;
    sys::System& System() { return app_.System(); }

    // ---- Controls, in the layout's order --------------------------------------------
    ui::TabControl TabControl1;  // the strip: "メイン" (main) and "設定" (settings)
    ui::Panel Panel1;  // the main tab's page
    ui::Panel Panel2;  // the settings tab's page
    // Main tab
    ui::DriveComboBox DrvBox;  // drive picker
    ui::DirectoryListBox DirList;  // folder list
    ui::ValueListEditor ValListMp3;  // slot table: slot file name = chosen music
    ui::FileListBox FilList;  // music files of the folder, by the list file's mask
    ui::Button Button1;  // "再生": plays the selected file
    ui::Button BtnSets;  // "セット(&S)...": the music sets' dialog
    ui::Button BtnGo;  // "Bat作成(&G)": writes the batch file (default button)
    ui::Button BtnExit;  // "終了(&X)": closes the window (cancel button)
    ui::Memo MemoCopysaki;  // destination folder
    ui::Button BtnCopyGo;  // "コピー開始": copies the music into the destination
    ui::Button BtnCopySakiCopy;  // "→": the folder list's folder as destination
    ui::Label Label2;  // caption over the destination folder
    ui::Label LblTag;  // the mouse hint under the file list
    ui::Label LblMp3Tips;  // the current slot's tip, under the grid
    ui::Memo MemoBatDate;  // hidden: the batch file's text while it is written
    // Settings tab
    ui::RadioGroup RadioGFilListOneClk;  // action of a single click (with the action names)
    ui::RadioGroup RadioGFilListDblClk;  // action of a double click
    ui::Memo MemoMp3Play;  // the player program
    ui::Button Button2;  // " ? ": picks the player program
    ui::Memo MemoMp3Line;  // the player's command-line template
    ui::RadioGroup RadioGMp3Play;  // playback mode
    ui::Memo MemoSoftName;  // software name (the window caption)
    ui::RadioGroup RadioGFilListAltClk;  // action of an Alt+click
    ui::RadioGroup RadioGFilListCtrlClk;  // action of a Ctrl+click
    ui::CheckBox ChkDelReadOnly;  // "del /f" before each copy line of the batch file
    ui::CheckBox ChkKeepOriginals;  // keep the game's files before the direct copy
    ui::CheckBox ChkMatchLoudness;  // the direct copy matches each MP3 to the game's loudness
    ui::Button BtnRestore;  // "元に戻す": puts the kept originals back
    ui::Label LblMp3PlayApp;  // "再生ソフト", before the player program
    ui::Label Label3;  // caption over the command-line template
    // Not visible
    ui::OpenDialog OpenDlgMp3Play;  // the open dialog of Button2

    // The tip of each slot line, filled at start-up.
    std::vector<std::string> Mp3Tips;

    // ---- Handlers -------------------------------------------------------------------
    void FormCreate(ui::Control* Sender);
    void FormClose(ui::Control* Sender);
    void FormEndSession(ui::Control* Sender);
    void TabControl1Change(ui::Control* Sender);
    void DrvBoxChange(ui::Control* Sender);
    void DirListChange(ui::Control* Sender);
    void BtnCopySakiCopyClick(ui::Control* Sender);
    void BtnExitClick(ui::Control* Sender);
    void ValListMp3Click(ui::Control* Sender);
    void FilListClick(ui::Control* Sender);
    void FilListDblClick(ui::Control* Sender);
    void FilListMouseDown(ui::Control* Sender, ui::MouseButton Button, unsigned Shift, int X,
                          int Y);
    void Button1Click(ui::Control* Sender);
    void BtnSetsClick(ui::Control* Sender);
    void Button2Click(ui::Control* Sender);
    void BtnGoClick(ui::Control* Sender);
    void BtnCopyGoClick(ui::Control* Sender);
    void BtnRestoreClick(ui::Control* Sender);
    void ValListMp3DropFiles(ui::Control* Sender, const std::vector<std::u16string>& Paths,
                             int Row);
    void MemoCopysakiDropFiles(ui::Control* Sender, const std::vector<std::u16string>& Paths,
                               int Row);
    void DirListDropFiles(ui::Control* Sender, const std::vector<std::u16string>& Paths, int Row);

    // ---- Routines of the unit -------------------------------------------------------
    // Loads the list file into the slot table, the file mask and the slot count.
    void LoadListFile(const std::string& name);
    // `action` is a settings::ClickAction and `mode` a settings::PlaybackMode as kept in
    // user.ini; numbers outside their range do nothing.
    // The settings tab's two moves: the record into its controls, and back.
    void LoadSettingsTab();
    void CommitSettingsTab();
    void FilListAction(std::int32_t action, std::int32_t mode, const std::string& tool,
                       const std::string& line);
    void RegisterFile();
    void RegisterAndStepDown();
    void PlayFile(std::int32_t mode, const std::string& tool, const std::string& line);
    // `why`, when given, receives the reason of a failure.
    bool CopyOneFile(const std::string& source, const std::string& destination, bool Overwrite,
                     sys::FileError* why = nullptr);

    // The destination folder of MemoCopysaki as the batch file, the copy and the restore
    // use it (outer quotes dropped); an error for a folder name holding a '"'.
    std::string Destination();
    // Where user.ini and originals live (settings::ChooseDataFolder, decided at start-up).
    const settings::DataFolder& Data() const { return data_; }
    std::string UserIniPath() const { return data_.UserIni(); }
    std::string OriginalsFolder() const { return data_.Originals(); }
    // Writes user.ini from the record and the destination folder (ini::WriteError when a
    // write fails); does nothing when it could not be read at start.
    void SaveSettings();
    // The content check of the slots' files (ContentCheck.cpp): a file read in part, one
    // line's check (marks the row, refreshes the tip), a check after the row is drawn, the
    // tip text of a row with its check's line, and the question before applying (false:
    // the player said キャンセル).
    audio::Finding InspectFile(const std::string& path);
    void CheckSlot(int line);
    void QueueCheck(int line);
    std::string TipText(int line);
    bool ConfirmPlayable();
    // After a game update (Reapply.cpp): the start's comparison of the game's folder with
    // the record of what was applied (off the window's thread), the one question, and the
    // copy of a chosen assignment through the same run as コピー開始 (DirectCopy.cpp).
    void CheckApplied();
    void AskReapply(const std::string& folder, const std::vector<apply::Applied>& entries,
                    const std::vector<apply::Now>& found, int runs);
    // The copies and restores this window has run: a start's check that began before one
    // of them is out of date.
    int runs_ = 0;
    void CopyAssignment(const std::string& folder, const apply::Assignment& slots);
    // What the game's folder holds of each recorded slot, by line: shown under the table
    // while the slot's value is empty. Brought up to date by the runs.
    struct AppliedState {
        std::string source;  // the music's file name
        apply::Now now = apply::Now::Same;
    };
    std::map<int, AppliedState> applied_;
    void NoteApplied(const std::string& folder, const apply::Assignment& copied);
    // Each line's copy prepared (Prepare.cpp): its file converted where the slot needs it,
    // and, while matching loudness is on, each assigned ".mp3" line's file and the game's
    // track it replaces measured, one line at a time off the window's thread; コピー開始 and
    // Bat作成 wait for what is still in hand, the caption telling how far it is.
    void SetMatchLoudness(bool on);
    void QueuePrepare(int line);
    struct WaitingRun {
        bool batch = false;  // Bat作成 (to `batchPath`), else コピー開始
        std::string folder;
        apply::Assignment slots;
        std::string batchPath = {};
        std::size_t total = 0;
    };
    void RunWhenPrepared(WaitingRun run);
    // The tip's words for the line's measured difference, "" while there is none.
    std::string LevelText(int line);
    bool RunWaiting() const { return waitingRun_.has_value(); }
    // One run at a time: while a copy or batch file waits for what it needs, コピー開始,
    // Bat作成 and 元に戻す are refused with a box saying so (true then). A copy or restore
    // in hand holds the window in its boxes anyway.
    bool RefusedWhileRunWaits();
    // Bat作成's writing, once its lines' conversions are made: the converted files into a
    // folder beside the batch file, named after it, and the batch file copying from there.
    void WriteBatch(const std::string& path, const std::string& folder, apply::Assignment slots);
    // Music sets (Sets.cpp): the table as a set (each file's fingerprint read now), whether
    // it holds values no saved set holds, the table filled from a saved set (false when it
    // could not be read or the player kept the table), and the table kept at close as
    // the set "（前回の割り当て）" (`quiet`: no box when that fails).
    sets::Set TableSet(const std::string& name);
    std::string currentSet;  // the set last opened, saved or taken in: the dialog's choice
    bool TableUnsaved();
    bool OpenSet(const std::string& name);
    void KeepLastTable(bool quiet);
    // Raises the use counter, stopping at the largest value instead of overflowing.
    void AddExperience(std::int32_t n);
    // What start-up has to tell the player about the list file; shown once the window
    // is whole.
    std::string startupNote;

private:
    // The first folder among dropped paths, as a path the system can use.
    std::optional<std::string> DroppedFolder(const std::vector<std::u16string>& paths);
    void PrepareRows();
    void StepRowDown(bool wrap);
    // The constructor's parts: keyboard order, hints and fixed looks, events.
    void SetTabOrder();
    void SetLooks();
    void BindEvents();

    ui::Application& app_;
    settings::DataFolder data_;
    // False when user.ini was there but unreadable at start: this run keeps its hands off it.
    bool saveUserIni_ = true;
    // The last check of each line's file, for the value it was made for.
    struct SlotCheck {
        std::string value;
        audio::Verdict verdict{audio::Fit::Fits, ""};
        apply::Target target = apply::Target::AsIs;  // what the copy turns the file into
    };
    std::vector<SlotCheck> checks_;
    std::set<int> pendingChecks_;
    // The last preparation of each line, for the value (and what was asked) it was made for.
    struct SlotPrep {
        std::string value;
        bool done = false;
        bool measure = false;  // measured for matching loudness
        apply::Target target = apply::Target::AsIs;  // converted into
        apply::SlotLoudness level;
        apply::Converted converted;
    };
    std::vector<SlotPrep> preps_;
    std::deque<int> prepQueue_;
    int preparingLine_ = -1;  // the line in hand now, -1 while none is
    apply::Target TargetOf(int line, const std::string& value);
    void PrepareNext();
    void Prepared(int line, SlotPrep result);
    // "変換しています" while a conversion is still to come, else "音量を測っています".
    std::string WaitingWhat() const;
    // The line's verdict when its file is converted: in hand, made, or why not.
    audio::Verdict PreparedVerdict(int line, const audio::Finding& f, apply::Target target);
    std::optional<WaitingRun> waitingRun_;
    bool toldBatchLevel_ = false;  // Bat作成 said once that its copies keep their level
};

// The one window; set while a TFormMain exists.
extern TFormMain* FormMain;

// The mouse hint shown in LblTag.
std::string MouseHintText();
