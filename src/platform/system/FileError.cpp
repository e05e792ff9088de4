#include "platform/system/FileError.h"

namespace sys {

std::string ReasonText(const FileError& why) {
    switch (why.fault) {
        case Fault::SourceMissing: return "コピー元のファイルがありません";
        case Fault::FolderMissing: return "コピー先のフォルダがありません";
        case Fault::TargetProtected: return "コピー先のファイルが読み取り専用か隠しファイルです";
        case Fault::InUse:
            return "ファイルがほかのプログラムで使用中です (ゲームが起動していませんか)";
        case Fault::NeedsRights: return "管理者の権限がないためコピーできません";
        case Fault::None:
        case Fault::Other: break;
    }
    return why.detail.empty() ? "原因のわからないエラーです" : why.detail;
}

}  // namespace sys
