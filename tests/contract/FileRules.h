// The file rules the program relies on, as one table run against both systems: the fake
// (natively, tests/unit/file_rules_test.cpp) and the real one (under Wine,
// tests/win32/system_test.cpp). Expected results are Windows' own, so the fake cannot
// drift from Windows, and the store's prediction of a copy (sys::CopyRefuses) is checked
// against what the copy does.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/system/System.h"

namespace contract {

// What is at the target path before the operation.
enum class Target {
    Missing,  // nothing, in an existing folder
    NoFolder,  // nothing, and no folder either
    Plain,
    ReadOnly,
    Hidden,
    System,
    ReadOnlyHidden,
    Folder,
    InUse,  // a plain file another program holds open without sharing
    ReadOnlyInUse,
};

enum class Op { Copy, Remove, Save, Create, Replace };

// World: the system under test and the means to set a target up in an empty folder.
//   sys::System& System();
//   void Fresh();                         makes a new empty folder the current one
//   std::string Folder();                 the current folder, no trailing backslash
//   void MakeFile(path, data, attributes); void MakeFolder(path);
//   void Hold(path);  (open without sharing until Release())   void Release();
template <class World>
std::string Prepare(World& w, Target t) {
    const std::string folder = w.Folder();
    const std::string path = folder + (t == Target::NoFolder ? "\\none\\t.mp3" : "\\t.mp3");
    switch (t) {
        case Target::Missing:
        case Target::NoFolder: break;
        case Target::Plain:
        case Target::InUse: w.MakeFile(path, "old", sys::kArchive); break;
        case Target::ReadOnly: w.MakeFile(path, "old", sys::kReadOnly); break;
        case Target::Hidden: w.MakeFile(path, "old", sys::kHidden); break;
        case Target::System: w.MakeFile(path, "old", sys::kSystem); break;
        case Target::ReadOnlyHidden: w.MakeFile(path, "old", sys::kReadOnly | sys::kHidden); break;
        case Target::ReadOnlyInUse: w.MakeFile(path, "old", sys::kReadOnly); break;
        case Target::Folder: w.MakeFolder(path); break;
    }
    if (t == Target::InUse || t == Target::ReadOnlyInUse) w.Hold(path);
    return path;
}

// ok: the operation succeeds; otherwise the fault it gives (for Create, any failure).
struct Case {
    Target target;
    Op op;
    bool ok;
    sys::Fault fault;
};

using F = sys::Fault;
// clang-format off
inline const Case kCases[] = {
    // A copy replaces a file only when Windows' CopyFile would, and says why not.
    {Target::Missing, Op::Copy, true, F::None},          {Target::NoFolder, Op::Copy, false, F::FolderMissing},
    {Target::Plain, Op::Copy, true, F::None},            {Target::ReadOnly, Op::Copy, false, F::TargetProtected},
    {Target::Hidden, Op::Copy, false, F::TargetProtected}, {Target::System, Op::Copy, true, F::None},
    {Target::ReadOnlyHidden, Op::Copy, false, F::TargetProtected}, {Target::Folder, Op::Copy, false, F::Other},
    {Target::InUse, Op::Copy, false, F::InUse},          {Target::ReadOnlyInUse, Op::Copy, false, F::TargetProtected},
    // A delete refuses what a copy refuses.
    {Target::Missing, Op::Remove, false, F::SourceMissing}, {Target::NoFolder, Op::Remove, false, F::SourceMissing},
    {Target::Plain, Op::Remove, true, F::None},          {Target::ReadOnly, Op::Remove, false, F::TargetProtected},
    {Target::Hidden, Op::Remove, false, F::TargetProtected}, {Target::Folder, Op::Remove, false, F::Other},
    {Target::InUse, Op::Remove, false, F::InUse},        {Target::ReadOnlyInUse, Op::Remove, false, F::TargetProtected},
    // The atomic save moves over a hidden file, not over a read-only one or a folder; a
    // file held open cannot be replaced by a move (access denied).
    {Target::Missing, Op::Save, true, F::None},          {Target::NoFolder, Op::Save, false, F::FolderMissing},
    {Target::Plain, Op::Save, true, F::None},            {Target::ReadOnly, Op::Save, false, F::TargetProtected},
    {Target::Hidden, Op::Save, true, F::None},           {Target::Folder, Op::Save, false, F::Other},
    {Target::InUse, Op::Save, false, F::Other},          {Target::ReadOnlyInUse, Op::Save, false, F::TargetProtected},
    // The streamed replacement (side file, then moved over) refuses what a copy refuses.
    {Target::Missing, Op::Replace, true, F::None},       {Target::NoFolder, Op::Replace, false, F::FolderMissing},
    {Target::Plain, Op::Replace, true, F::None},         {Target::ReadOnly, Op::Replace, false, F::TargetProtected},
    {Target::Hidden, Op::Replace, false, F::TargetProtected}, {Target::System, Op::Replace, true, F::None},
    {Target::Folder, Op::Replace, false, F::Other},      {Target::InUse, Op::Replace, false, F::InUse},
    // The batch file's create: CREATE_ALWAYS fails on a read-only, hidden or system file.
    {Target::Missing, Op::Create, true, F::None},        {Target::NoFolder, Op::Create, false, F::None},
    {Target::Plain, Op::Create, true, F::None},          {Target::ReadOnly, Op::Create, false, F::None},
    {Target::Hidden, Op::Create, false, F::None},        {Target::System, Op::Create, false, F::None},
    {Target::Folder, Op::Create, false, F::None},        {Target::InUse, Op::Create, false, F::None},
};
// clang-format on

template <class World>
void RunFileRules(World& w) {
    for (const Case& c : kCases) {
        SCOPED_TRACE("target " + std::to_string(static_cast<int>(c.target)) + ", op " +
                     std::to_string(static_cast<int>(c.op)));
        sys::System& s = w.System();
        w.Fresh();
        const std::string source = w.Folder() + "\\source.mp3";
        w.MakeFile(source, "new", sys::kArchive);
        const std::string path = Prepare(w, c.target);
        const std::uint32_t before = s.Attributes(path);
        sys::FileError why;
        bool ok = false;
        switch (c.op) {
            case Op::Copy: ok = s.CopyFileTo(source, path, false, &why); break;
            case Op::Remove: ok = s.RemoveFile(path, &why); break;
            case Op::Save: ok = s.SaveFileAtomic(path, "new", &why); break;
            case Op::Create: ok = s.CreateAndWrite(path, "new") == sys::WriteStatus::Ok; break;
            case Op::Replace: {
                // One dropped half way first: the target stays as it was.
                if (auto dropped = s.BeginReplace(path)) dropped->Write("ne");
                ok = s.Attributes(path + ".quaverix~") == sys::kNoFile;
                EXPECT_TRUE(ok) << "a dropped replacement's side file";
                auto r = ok ? s.BeginReplace(path, &why) : nullptr;
                ok = r && r->Write("n", &why) && r->Write("ew", &why) && r->Commit(&why);
                r.reset();
                EXPECT_EQ(s.Attributes(path + ".quaverix~"), sys::kNoFile);
                if (ok) {
                    EXPECT_EQ(s.Attributes(path) & (sys::kReadOnly | sys::kHidden), 0u);
                }
                break;
            }
        }
        w.Release();
        EXPECT_EQ(ok, c.ok);
        if (!c.ok && c.op != Op::Create) {
            EXPECT_EQ(why.fault, c.fault);
        }
        if (c.op == Op::Copy && c.target != Target::NoFolder && c.target != Target::InUse) {
            EXPECT_EQ(sys::CopyRefuses(before), !c.ok) << "the store's prediction";
        }
        // A refused write leaves the old file whole; a done one leaves the new.
        if (c.target != Target::Folder && c.target != Target::NoFolder && c.op != Op::Remove) {
            std::string data;
            s.ReadFile(path, data);
            bool had = c.target != Target::Missing;
            EXPECT_EQ(data, c.ok ? "new" : had ? "old" : "");
        }
    }
}

// A copy never carries the source's read-only, hidden or system bit into the target (a
// read-only tune would make the game's file one that no later copy or restore can
// replace); the archive bit may stay.
template <class World>
void RunCopyAttributes(World& w) {
    const std::uint32_t plain = sys::kReadOnly | sys::kHidden | sys::kSystem;
    for (std::uint32_t from : {std::uint32_t{sys::kReadOnly}, std::uint32_t{sys::kHidden},
                               std::uint32_t{sys::kSystem}, plain}) {
        for (Target t : {Target::Missing, Target::Plain}) {
            SCOPED_TRACE("source attributes " + std::to_string(from) + ", target " +
                         std::to_string(static_cast<int>(t)));
            sys::System& s = w.System();
            w.Fresh();
            const std::string source = w.Folder() + "\\source.mp3";
            w.MakeFile(source, "new", from);
            const std::string path = Prepare(w, t);
            sys::FileError why;
            ASSERT_TRUE(s.CopyFileTo(source, path, false, &why)) << why.detail;
            EXPECT_EQ(s.Attributes(path) & plain, 0u);
            EXPECT_EQ(s.Attributes(source) & plain, from) << "the source is left as it is";
            std::string data;
            EXPECT_TRUE(s.ReadFile(path, data));
            EXPECT_EQ(data, "new");
            // ... so it can be replaced and removed again.
            EXPECT_TRUE(s.CopyFileTo(path, path + ".again", false, &why));
            EXPECT_TRUE(s.RemoveFile(path, &why)) << why.detail;
        }
    }
}

}  // namespace contract
