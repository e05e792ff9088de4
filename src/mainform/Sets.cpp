// Music sets from the window: the dialog and its prompt, the table kept as a set and
// filled from one, and the last table kept at close.
#include <algorithm>

#include "mainform/MainForm.h"
#include "mainform/SetsForm.h"
#include "platform/text/Cp932.h"
#include "sets/Zip.h"
#include "slots/Slots.h"

namespace {

constexpr char kSetFilter[] = "曲のセット (*.zip)|*.zip|全てのファイル (*.*)|*.*";
constexpr char kImportFilter[] = "曲のセット (*.zip;*.txt)|*.zip;*.txt|全てのファイル (*.*)|*.*";

std::string Quoted(const std::string& name) { return "「" + name + "」"; }

// Slot and file of each entry: what a table and a set are compared by.
using Pairs = std::vector<std::pair<std::string, std::string>>;
Pairs PairsOf(const std::vector<sets::Entry>& entries) {
    Pairs out;
    for (const sets::Entry& e : entries)
        out.emplace_back(text::UpperAscii(e.slot), text::UpperAscii(e.file));
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

std::string ListedText(sys::System& system, const sets::Listed& set) {
    if (!set.problem.empty()) return set.name + "\t（読めません）\t" + set.problem;
    return set.name + "\t" + std::to_string(set.slots) + " 曲\t" +
           system.LocalTimeText(set.stamp.time);
}

// ---- The name prompt ---------------------------------------------------------------

TFormSetName::TFormSetName(TFormMain& main, const std::string& caption, const std::string& name)
    : ui::Form("FormSetName", {0, 0, 316, 92}),
      LblName(this, "LblName", {8, 10, 300, 12}, "セットの名前:"),
      EditName(this, "EditName", {8, 28, 300, 20}, name),
      BtnOk(this, "BtnOk", {152, 59, 75, 25}, "OK"),
      BtnCancel(this, "BtnCancel", {233, 59, 75, 25}, "キャンセル"),
      main_(main) {
    SetCaption(caption);
    fontName = main.fontName;
    fontHeight = main.fontHeight;
    EditName.singleLine = true;
    EditName.maxLength = sets::kMaxNameBytes;
    EditName.tabOrder = 0;
    BtnOk.tabOrder = 1;
    BtnCancel.tabOrder = 2;
    BtnOk.isDefault = true;
    BtnCancel.isCancel = true;
    BtnOk.OnClick = [this](ui::Control* s) { BtnOkClick(s); };
    BtnCancel.OnClick = [this](ui::Control*) { Close(); };
}

void TFormSetName::BtnOkClick(ui::Control*) {
    const std::string name = EditName.Text();
    if (std::string problem = sets::NameProblem(name); !problem.empty()) {
        main_.System().ShowBox(sys::BoxKind::Error, Caption(), problem);
        return;
    }
    chosen = name;
    Close();
}

// ---- The dialog --------------------------------------------------------------------

TFormSets::TFormSets(TFormMain& main)
    : ui::Form("FormSets", {0, 0, 512, 262}),
      ListSets(this, "ListSets", {8, 8, 352, 246}),
      BtnSetOpen(this, "BtnSetOpen", {368, 8, 136, 25}, "開く(&O)"),
      BtnSetSave(this, "BtnSetSave", {368, 48, 136, 25}, "今の割り当てを保存(&S)..."),
      BtnSetRename(this, "BtnSetRename", {368, 80, 136, 25}, "名前の変更(&R)..."),
      BtnSetDelete(this, "BtnSetDelete", {368, 112, 136, 25}, "削除(&D)"),
      BtnSetExport(this, "BtnSetExport", {368, 152, 136, 25}, "書き出し(&E)..."),
      BtnSetImport(this, "BtnSetImport", {368, 184, 136, 25}, "取り込み(&I)..."),
      BtnSetClose(this, "BtnSetClose", {368, 229, 136, 25}, "閉じる"),
      main_(main) {
    SetCaption("曲のセット");
    fontName = main.fontName;
    fontHeight = main.fontHeight;
    ListSets.tabStops = {176, 222};
    int order = 0;
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &ListSets, &BtnSetOpen, &BtnSetSave, &BtnSetRename, &BtnSetDelete, &BtnSetExport,
             &BtnSetImport, &BtnSetClose}) {
        c->tabOrder = order++;
    }
    BtnSetOpen.isDefault = true;
    BtnSetClose.isCancel = true;
    ListSets.OnClick = [this](ui::Control*) { EnableButtons(); };
    ListSets.OnDblClick = [this](ui::Control* s) { BtnSetOpenClick(s); };
    BtnSetOpen.OnClick = [this](ui::Control* s) { BtnSetOpenClick(s); };
    BtnSetSave.OnClick = [this](ui::Control* s) { BtnSetSaveClick(s); };
    BtnSetRename.OnClick = [this](ui::Control* s) { BtnSetRenameClick(s); };
    BtnSetDelete.OnClick = [this](ui::Control* s) { BtnSetDeleteClick(s); };
    BtnSetExport.OnClick = [this](ui::Control* s) { BtnSetExportClick(s); };
    BtnSetImport.OnClick = [this](ui::Control* s) { BtnSetImportClick(s); };
    BtnSetClose.OnClick = [this](ui::Control*) { Close(); };
    Refresh(main.currentSet);
}

void TFormSets::Refresh(const std::string& select) {
    listed_ = sets::List(main_.System(), main_.Data());
    // The table kept at close comes first: it is the one a player looks for after a start.
    std::stable_partition(listed_.begin(), listed_.end(),
                          [](const sets::Listed& l) { return l.name == sets::kLastTable; });
    std::vector<std::string> lines;
    int index = ListSets.ItemIndex();
    for (const sets::Listed& l : listed_) {
        if (!select.empty() && l.name == select) index = static_cast<int>(lines.size());
        lines.push_back(ListedText(main_.System(), l));
    }
    ListSets.SetItems(std::move(lines));
    ListSets.SetItemIndex(index < 0 ? 0 : index);
    EnableButtons();
}

std::optional<std::string> TFormSets::Chosen() const {
    const int i = ListSets.ItemIndex();
    if (i < 0 || i >= static_cast<int>(listed_.size())) return std::nullopt;
    return listed_[static_cast<std::size_t>(i)].name;
}

void TFormSets::EnableButtons() {
    const bool chosen = Chosen().has_value();
    for (ui::Button* b : {&BtnSetOpen, &BtnSetRename, &BtnSetDelete, &BtnSetExport})
        b->SetEnabled(chosen);
}

std::optional<std::string> TFormSets::AskName(const std::string& caption, const std::string& name) {
    TFormSetName prompt(main_, caption, name);
    main_.Application().ShowModal(prompt);
    return prompt.chosen;
}

bool TFormSets::MayReplace(const std::string& name) {
    return main_.System().ShowBox(sys::BoxKind::Confirm, Caption(),
                                  "セット" + Quoted(name) + "はもうあります。置き換えますか？") ==
           sys::BoxResult::Ok;
}

void TFormSets::BtnSetOpenClick(ui::Control*) {
    const std::optional<std::string> name = Chosen();
    if (!name) return;
    if (main_.OpenSet(*name)) Close();
}

void TFormSets::BtnSetSaveClick(ui::Control*) {
    sets::Set set = main_.TableSet("");
    if (set.entries.empty()) {
        main_.System().ShowBox(sys::BoxKind::Plain, Caption(),
                               "曲を入れたスロットがないため、保存するものがありません。");
        return;
    }
    const std::optional<std::string> name = AskName("今の割り当てを保存", "");
    if (!name) return;
    set.name = *name;
    sets::Outcome done = sets::Save(main_.System(), main_.Data(), set);
    if (done.status == sets::Status::Exists) {
        if (!MayReplace(*name)) return;
        done = sets::Save(main_.System(), main_.Data(), set, true);
    }
    if (done.status == sets::Status::Refused) {
        main_.System().ShowBox(sys::BoxKind::Error, Caption(), done.error);
        return;
    }
    main_.currentSet = *name;
    Refresh(*name);
}

void TFormSets::BtnSetRenameClick(ui::Control*) {
    const std::optional<std::string> from = Chosen();
    if (!from) return;
    const std::optional<std::string> to = AskName("名前の変更", *from);
    if (!to || *to == *from) return;
    sets::Outcome done = sets::Rename(main_.System(), main_.Data(), *from, *to);
    if (done.status == sets::Status::Exists) {
        if (!MayReplace(*to)) return;
        done = sets::Rename(main_.System(), main_.Data(), *from, *to, true);
    }
    if (done.status == sets::Status::Refused) {
        main_.System().ShowBox(sys::BoxKind::Error, Caption(), done.error);
    } else if (main_.currentSet == *from) {
        main_.currentSet = *to;
    }
    Refresh(*to);
}

void TFormSets::BtnSetDeleteClick(ui::Control*) {
    const std::optional<std::string> name = Chosen();
    if (!name) return;
    if (main_.System().ShowBox(
            sys::BoxKind::Confirm, Caption(),
            "セット" + Quoted(*name) + "を削除しますか？\r\n(曲のファイルは消しません)") !=
        sys::BoxResult::Ok) {
        return;
    }
    const sets::Outcome done = sets::Remove(main_.System(), main_.Data(), *name);
    if (done.status == sets::Status::Refused) {
        main_.System().ShowBox(sys::BoxKind::Error, Caption(), done.error);
    }
    Refresh();
}

void TFormSets::BtnSetExportClick(ui::Control*) {
    const std::optional<std::string> name = Chosen();
    if (!name) return;
    const sets::Loaded loaded = sets::Load(main_.System(), main_.Data(), *name);
    if (loaded.status != sets::Status::Done) {
        main_.System().ShowBox(sys::BoxKind::Error, Caption(), loaded.error);
        return;
    }
    sys::SaveFileRequest request;
    request.title = "セットの書き出し";
    request.filter = kSetFilter;
    request.defaultExt = "zip";
    request.fileName = *name + ".zip";
    std::string path;
    if (!main_.System().SaveFileDialog(request, path)) return;
    const sets::Outcome done = sets::WriteZip(main_.System(), loaded.set, path);
    const bool written = done.status == sets::Status::Done;
    main_.System().ShowBox(
        written ? sys::BoxKind::Plain : sys::BoxKind::Error, Caption(),
        written ? "セット" + Quoted(*name) + "を書き出しました:\r\n" + path : done.error);
}

void TFormSets::BtnSetImportClick(ui::Control*) {
    sys::OpenFileRequest request;
    request.title = "セットの取り込み";
    request.filter = kImportFilter;
    std::string path;
    if (!main_.System().OpenFileDialog(request, path)) return;
    sets::Loaded got = sets::Import(main_.System(), main_.Data(), path);
    // The set keeps its own name; one that another set has already is asked about.
    if (got.status == sets::Status::Exists) {
        if (!MayReplace(got.set.name)) return;
        got = sets::Import(main_.System(), main_.Data(), path, got.set.name, true);
    } else if (got.status == sets::Status::Done &&
               main_.System().Attributes(sets::PathOf(main_.Data(), got.set.name)) !=
                   sys::kNoFile &&
               !MayReplace(got.set.name)) {
        return;
    }
    if (got.status != sets::Status::Done) {
        main_.System().ShowBox(sys::BoxKind::Error, Caption(), got.error);
        return;
    }
    const sets::Outcome saved = sets::Save(main_.System(), main_.Data(), got.set, true);
    if (saved.status != sets::Status::Done) {
        main_.System().ShowBox(sys::BoxKind::Error, Caption(), saved.error);
        return;
    }
    main_.currentSet = got.set.name;
    Refresh(got.set.name);
    std::string said = "セット" + Quoted(got.set.name) + "を取り込みました。";
    sys::BoxKind kind = sys::BoxKind::Plain;
    for (std::size_t i = 0; i < got.files.size() && i < got.set.entries.size(); ++i) {
        if (got.files[i] == sets::FileState::Same) continue;
        said += "\r\n" + got.set.entries[i].slot + ": " + got.set.entries[i].file + "\r\n    " +
                sets::StateText(got.files[i]);
        kind = sys::BoxKind::Warning;
    }
    main_.System().ShowBox(kind, Caption(), said);
}

// ---- The window's side -------------------------------------------------------------

void TFormMain::BtnSetsClick(ui::Control*) {
    TFormSets dialog(*this);
    app_.ShowModal(dialog);
}

sets::Set TFormMain::TableSet(const std::string& name) {
    sets::Set set;
    set.name = name;
    for (const apply::Slot& slot : apply::Assign(ValListMp3.Lines()))
        set.entries.push_back(sets::Describe(System(), slot.name, slot.source));
    return set;
}

bool TFormMain::TableUnsaved() {
    std::vector<sets::Entry> table;
    for (const apply::Slot& slot : apply::Assign(ValListMp3.Lines()))
        table.push_back({slot.name, slot.source, std::nullopt});
    if (table.empty()) return false;
    const Pairs now = PairsOf(table);
    for (const sets::Listed& l : sets::List(System(), data_)) {
        if (!l.problem.empty() || l.slots != table.size()) continue;
        const sets::Loaded set = sets::Load(System(), data_, l.name);
        if (set.status == sets::Status::Done && PairsOf(set.set.entries) == now) return false;
    }
    return true;
}

bool TFormMain::OpenSet(const std::string& name) {
    const sets::Loaded loaded = sets::Load(System(), data_, name);
    if (loaded.status != sets::Status::Done) {
        System().ShowBox(sys::BoxKind::Error, app_.title, loaded.error);
        return false;
    }
    if (TableUnsaved() &&
        System().ShowBox(sys::BoxKind::Confirm, app_.title,
                         "今の割り当てはどのセットにも保存されていません。セット" + Quoted(name) +
                             "を開くと、今の割り当ては消えます。開きますか？") !=
            sys::BoxResult::Ok) {
        return false;
    }
    // Each slot of the list file takes the set's file for it; the rest stay empty.
    std::vector<std::string> value(static_cast<std::size_t>(ValListMp3.Count()));
    std::string empty, changed;
    for (std::size_t k = 0; k < loaded.set.entries.size(); ++k) {
        const sets::Entry& e = loaded.set.entries[k];
        int line = -1;
        for (int i = 0; i < ValListMp3.Count() && line < 0; ++i) {
            if (text::EqualsNoCase(slots::NameOf(ValListMp3.Line(i)), e.slot)) line = i;
        }
        const sets::FileState state = loaded.files[k];
        if (line < 0) {
            empty += "\r\n" + e.slot + ": " + e.file + "\r\n    リストファイルにないスロットです";
        } else if (state == sets::FileState::Missing) {
            empty += "\r\n" + e.slot + ": " + e.file + "\r\n    " + sets::StateText(state);
        } else {
            value[static_cast<std::size_t>(line)] = e.file;
            if (state == sets::FileState::Changed)
                changed += "\r\n" + e.slot + ": " + e.file + "\r\n    " + sets::StateText(state);
        }
    }
    ValListMp3.EmptyValues(ValListMp3.Count());
    for (int i = 0; i < ValListMp3.Count(); ++i) {
        if (!value[static_cast<std::size_t>(i)].empty())
            ValListMp3.SetValue(i, value[static_cast<std::size_t>(i)]);
    }
    ValListMp3Click(&ValListMp3);  // the current row's tip for its new value
    currentSet = name;
    std::string said;
    if (!empty.empty()) said += "次のスロットは空のままです:" + empty;
    if (!changed.empty())
        said += (said.empty() ? "" : "\r\n\r\n") +
                std::string("次の曲は入れましたが、確かめてください:") + changed;
    for (const std::string& note : loaded.notes) said += "\r\n" + note;
    if (!said.empty()) {
        System().ShowBox(sys::BoxKind::Warning, app_.title,
                         "セット" + Quoted(name) + "を開きました。\r\n\r\n" + said);
    }
    return true;
}

void TFormMain::KeepLastTable(bool quiet) {
    sets::Set set = TableSet(sets::kLastTable);
    if (set.entries.empty()) return;
    const sets::Outcome done = sets::Save(System(), data_, set, true);
    if (done.status != sets::Status::Done && !quiet) {
        System().ShowBox(sys::BoxKind::Error, app_.title,
                         "今の割り当てをセット" + Quoted(sets::kLastTable) +
                             "として残せませんでした。\r\n" + done.error);
    }
}
