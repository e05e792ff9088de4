// Music and folders dropped from Explorer (or a Linux file manager under Wine): files onto
// the slot table, a folder onto the destination or the folder list.
#include "mainform/MainForm.h"

#include "platform/paths/Paths.h"
#include "platform/text/Cp932.h"

std::optional<std::string> TFormMain::DroppedFolder(const std::vector<std::u16string>& paths) {
    for (const std::u16string& p : paths) {
        std::uint32_t a = System().Attributes(ui::UsablePathOf(System(), p, true));
        if (a != sys::kNoFile && (a & sys::kDirectory)) return ui::UsablePathOf(System(), p, true);
    }
    return std::nullopt;
}

void TFormMain::ValListMp3DropFiles(ui::Control*, const std::vector<std::u16string>& paths,
                                    int row) {
    if (row < 1 || row > ValListMp3.Count()) return;  // below the rows, or an empty table
    // The music files among what was dropped, as paths the system can use: folders and
    // files the mask does not take are passed over.
    const std::u16string mask = text::ToUtf16(FilList.Mask());
    std::vector<std::string> files;
    for (const std::u16string& p : paths) {
        if (!ui::MatchesMask(paths::LastPart(p), mask)) continue;
        std::string usable = ui::UsablePathOf(System(), p, false);
        std::uint32_t a = System().Attributes(usable);
        if (a != sys::kNoFile && !(a & sys::kDirectory)) files.push_back(usable);
    }
    if (files.empty()) return;
    ValListMp3.SetRow(row);  // the row under the drop point first, so its tip shows
    for (std::size_t k = 0; k < files.size() && row - 1 + static_cast<int>(k) < ValListMp3.Count();
         ++k) {
        int i = row - 1 + static_cast<int>(k);
        ValListMp3.SetValue(i, files[k]);
    }
}

void TFormMain::MemoCopysakiDropFiles(ui::Control*, const std::vector<std::u16string>& paths, int) {
    if (std::optional<std::string> folder = DroppedFolder(paths)) MemoCopysaki.SetText(*folder);
}

void TFormMain::DirListDropFiles(ui::Control*, const std::vector<std::u16string>& paths, int) {
    if (std::optional<std::string> folder = DroppedFolder(paths)) DirList.SetDirectory(*folder);
}
