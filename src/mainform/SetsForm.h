// The music sets' dialog ("曲のセット", opened by セット(&S)...) and its name prompt: the
// saved sets in a list, and what can be done with them. The sets themselves are
// src/sets; the table they come from and go into is the main window's.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"
#include "platform/ui/Form.h"
#include "sets/Set.h"

class TFormMain;

// A name asked for: the edit, OK and キャンセル. OK takes a usable name only (a box says
// what is wrong with another); `chosen` is set then.
class TFormSetName : public ui::Form {
public:
    TFormSetName(TFormMain& main, const std::string& caption, const std::string& name);
    ui::Label LblName;
    ui::Memo EditName;
    ui::Button BtnOk;
    ui::Button BtnCancel;
    std::optional<std::string> chosen;

private:
    void BtnOkClick(ui::Control* Sender);
    TFormMain& main_;
};

class TFormSets : public ui::Form {
public:
    explicit TFormSets(TFormMain& main);

    ui::ListBox ListSets;  // one line a set: name, slots, when saved
    ui::Button BtnSetOpen;  // "開く(&O)" (Enter, and a double click on a line)
    ui::Button BtnSetSave;  // "今の割り当てを保存(&S)..."
    ui::Button BtnSetRename;  // "名前の変更(&R)..."
    ui::Button BtnSetDelete;  // "削除(&D)"
    ui::Button BtnSetExport;  // "書き出し(&E)..."
    ui::Button BtnSetImport;  // "取り込み(&I)..."
    ui::Button BtnSetClose;  // "閉じる" (Esc)

    // The list read again from the sets folder, `select` chosen (else the line chosen so
    // far, as far as it still goes).
    void Refresh(const std::string& select = "");
    // The sets as listed, by line.
    const std::vector<sets::Listed>& Listed() const { return listed_; }

    void BtnSetOpenClick(ui::Control* Sender);
    void BtnSetSaveClick(ui::Control* Sender);
    void BtnSetRenameClick(ui::Control* Sender);
    void BtnSetDeleteClick(ui::Control* Sender);
    void BtnSetExportClick(ui::Control* Sender);
    void BtnSetImportClick(ui::Control* Sender);

private:
    // The chosen set's name, or nothing (no line chosen).
    std::optional<std::string> Chosen() const;
    // The buttons that need a chosen set, enabled while one is.
    void EnableButtons();
    // A name asked for in the prompt; nothing when the player cancelled.
    std::optional<std::string> AskName(const std::string& caption, const std::string& name);
    // Asks whether the set `name` may be replaced.
    bool MayReplace(const std::string& name);
    TFormMain& main_;
    std::vector<sets::Listed> listed_;
};

// The line the list shows for a set: its name, its slot count, when it was saved (tab
// separated), or why it cannot be read.
std::string ListedText(sys::System& system, const sets::Listed& set);
