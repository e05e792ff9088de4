// "Bat作成": the slot table as a batch file of copy lines.
#include "mainform/MainForm.h"

#include "apply/Apply.h"
#include "originals/Store.h"
#include "platform/Error.h"
#include "platform/text/Cp932.h"
#include "slots/Slots.h"

void TFormMain::BtnGoClick(ui::Control*) {
    if (RefusedWhileCopyWaits()) return;
    const std::string folder = Destination();
    if (!ConfirmPlayable()) return;
    AddExperience(3);
    MemoBatDate.SetText("");

    sys::SaveFileRequest prompt;
    prompt.title = ".batファイル名を指定";
    prompt.filter = "All FIles (*.*)|*.*";
    prompt.defaultExt = "bat";
    prompt.initialFolder = Settings.BatHozonDir;
    std::string path;
    if (!System().SaveFileDialog(prompt, path)) return;

    const apply::BatchText batch =
        apply::MakeBatch(apply::Assign(ValListMp3.Lines()), folder, Settings.DelReadOnly);
    MemoBatDate.SetText(batch.script);

    switch (System().CreateAndWrite(path, MemoBatDate.Text())) {
        case sys::WriteStatus::Ok: break;
        case sys::WriteStatus::CannotCreate:
            throw platform::Error(platform::Format("ファイル %s を作成できません", path));
        case sys::WriteStatus::WriteFailed: throw platform::Error("ストリームへの書き込みエラー");
    }
    originals::Store store(System(), OriginalsFolder());
    apply::Record record(System(), Data().Record());
    for (const std::string& text :
         apply::AfterBatch(System(), batch, store, record, folder, Settings.KeepOriginals))
        System().ShowBox(sys::BoxKind::Warning, Application().title, text);
    // cmd's copy cannot change a level: said once a run, where it would matter.
    if (Settings.MatchLoudness && !toldBatchLevel_ && !batch.copies.empty()) {
        toldBatchLevel_ = true;
        System().ShowBox(sys::BoxKind::Plain, Application().title,
                         "バッチファイルはファイルをそのままコピーします。音量はゲームの元の曲に"
                         "合わせません (音量を合わせるのは「コピー開始」だけです)。");
    }
}
