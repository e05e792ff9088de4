// Applying the player's choice: from "the slots the player chose" to files in the game's
// folder. The assignment is taken from the slot table once; the batch file's text, the
// copy run ("コピー開始") and the restore run ("元に戻す") are functions over it, the
// system and the originals store. What they need of the window (its caption, the boxes,
// the copy of one file) comes through `Window`, which the form implements.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "apply/Convert.h"
#include "apply/Match.h"
#include "apply/Record.h"
#include "elevated/Job.h"
#include "originals/Store.h"
#include "platform/system/System.h"

namespace apply {

// One assigned slot of the table.
struct Slot {
    std::size_t order = 0;  // its line in the table
    std::string name;  // the slot's file name (slots::NameOf)
    std::string source;  // the music file (slots::AssignedValue)
    // What a batch file copies when not the source itself (its conversion); "" for it.
    std::string from = {};
};
using Assignment = std::vector<Slot>;

// Every assigned line of the table (slots::IsAssigned), in table order.
Assignment Assign(const std::vector<std::string>& lines);

// "Bat作成"'s text: a "copy" line per slot (after a "del /f" line with `delReadOnly`), the
// slots whose names are no file names left out (their labels in `refused`), and what the
// batch will copy where (for the originals' notes).
struct BatchText {
    std::string script;
    std::vector<std::string> refused;
    struct Copy {
        std::string from;  // what the line copies: the source, or its conversion
        std::string destination;
        std::string source;  // the player's file
        friend bool operator==(const Copy&, const Copy&) = default;
    };
    std::vector<Copy> copies;
};
BatchText MakeBatch(const Assignment& slots, const std::string& folder, bool delReadOnly);
// After the batch file was written: notes its copies in the originals store; the box
// texts to show (the refused lines, the notes that could not be written), in order.
// The batch file's copies are also noted in `record` (the start's check compares them).
std::vector<std::string> AfterBatch(sys::System& system, const BatchText& batch,
                                    originals::Store& store, Record& record,
                                    const std::string& folder, bool keep);

// What a run asks of the window.
class Window {
public:
    virtual ~Window() = default;
    // The caption while a slot is in hand; EndProgress puts the software name back.
    virtual void Progress(const std::string& caption) = 0;
    virtual void EndProgress() = 0;
    // A box with the application's title (kind Plain, Warning) or "確認" (Confirm).
    virtual sys::BoxResult Box(sys::BoxKind kind, const std::string& text) = 0;
    // Copies one file over another (the form's CopyOneFile).
    virtual bool CopyOne(const std::string& source, const std::string& destination,
                         sys::FileError* why) = 0;
};

// The report: "<first line>" then "<slot>: <reason>" per slot, in table order.
struct Line {
    std::size_t order;
    std::string text;
};
std::string Report(const char* first, std::vector<Line> lines);

// "コピー開始" after its questions: each slot copied (the game's file kept first), the
// slots refused for rights done by one administrator run after one question, one report.
// Each slot copied is noted in `record` (replacing its earlier entry), its source as the
// player's file. With `preparing`, each slot's bytes are converted where the slot needs
// it and, with its cache, matched to the game track's level (see PrepareCopy); the slots
// that could not be are told after the report's failures.
void CopyRun(sys::System& system, originals::Store& store, Record& record, Window& window,
             const Assignment& slots, const std::string& folder, bool keepOriginals,
             const Preparing* preparing = nullptr);
// "元に戻す" after its question: the kept originals of `folder` put back the same way; the
// record forgets the slots put back.
void RestoreRun(sys::System& system, originals::Store& store, Record& record, Window& window,
                const std::string& folder);

// The copy that file virtualization may have left for `destination`, removed when it is
// a copy of QUAVERIX's (see settings::VirtualStorePath for where it lies).
void DropVirtualStoreCopy(sys::System& system, originals::Store& store,
                          const std::string& destination);

}  // namespace apply
