// "Bat作成": the slot table as a batch file of copy lines.
#include "mainform/MainForm.h"

#include "apply/Apply.h"
#include "originals/Store.h"
#include "platform/Error.h"
#include "platform/paths/Paths.h"
#include "platform/text/Cp932.h"
#include "slots/Slots.h"

void TFormMain::BtnGoClick(ui::Control*) {
    if (RefusedWhileRunWaits()) return;
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
    RunWhenPrepared({true, folder, apply::Assign(ValListMp3.Lines()), path});
}

void TFormMain::WriteBatch(const std::string& path, const std::string& folder,
                           apply::Assignment slots) {
    // The converted files go beside the batch file, so that it runs later on its own.
    const std::string music = apply::BatchMusicFolder(path);
    std::string unplaced, unconverted;
    for (apply::Slot& s : slots) {
        const std::size_t at = s.order;
        if (at >= preps_.size() || !slots::IsUsableSlotName(s.name)) continue;
        const SlotPrep& prep = preps_[at];
        if (prep.target == apply::Target::AsIs || !prep.done || prep.value != s.source) continue;
        // Failed while the batch file waited: the question before it did not know yet.
        if (prep.converted.path.empty()) {
            unconverted += "\r\n" + s.name + ": " + prep.converted.reason;
            continue;
        }
        const std::string to = paths::Join(music, s.name);
        sys::FileError why{sys::Fault::Other, "フォルダ " + music + " を作れません"};
        if (System().CreateFolder(music) &&
            System().CopyFileTo(prep.converted.path, to, false, &why)) {
            s.from = to;
        } else {
            unplaced += "\r\n" + s.name + ": " + sys::ReasonText(why);
        }
    }
    const apply::BatchText batch = apply::MakeBatch(slots, folder, Settings.DelReadOnly);
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
    if (!unplaced.empty())
        System().ShowBox(sys::BoxKind::Warning, Application().title,
                         "変換したファイルをバッチファイルのそばに置けなかったので、次の曲は"
                         "変換せずにそのままコピーします。" +
                             unplaced);
    if (!unconverted.empty())
        System().ShowBox(sys::BoxKind::Warning, Application().title,
                         "変換できないので、次の曲はそのままコピーします。" + unconverted);
    // cmd's copy cannot change a level: said once a run, where it would matter.
    if (Settings.MatchLoudness && !toldBatchLevel_ && !batch.copies.empty()) {
        toldBatchLevel_ = true;
        System().ShowBox(sys::BoxKind::Plain, Application().title,
                         "バッチファイルはファイルをそのままコピーします。音量はゲームの元の曲に"
                         "合わせません (音量を合わせるのは「コピー開始」だけです)。");
    }
}
