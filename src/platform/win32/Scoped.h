// Owners of the system's handles for a scope, and a flag raised for a scope: each closes
// or lowers what it holds on every way out, and none can be copied (as 7-Zip's CHandle
// and SumatraPDF's ScopedWin types).
#pragma once

#include <windows.h>

namespace win32 {

// A handle that Traits::Close closes when the owner goes; Traits::Invalid() is the value
// of no handle (null is never one either).
template <class Traits>
class Owned {
public:
    using H = typename Traits::Handle;
    Owned() = default;
    explicit Owned(H h) : h_(h) {}
    ~Owned() { Reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    void Reset(H h = Traits::Invalid()) {
        if (Valid()) Traits::Close(h_);
        h_ = h;
    }
    H Get() const { return h_; }
    explicit operator bool() const { return Valid(); }

private:
    bool Valid() const { return h_ != Traits::Invalid() && h_ != nullptr; }
    H h_ = Traits::Invalid();
};

struct KernelTraits {  // a file: CloseHandle
    using Handle = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindTraits {  // a folder search: FindClose
    using Handle = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { FindClose(h); }
};
struct FontTraits {  // a font made for the windows: DeleteObject
    using Handle = HFONT;
    static HFONT Invalid() { return nullptr; }
    static void Close(HFONT f) { DeleteObject(f); }
};
using KernelHandle = Owned<KernelTraits>;
using FindHandle = Owned<FindTraits>;
using FontHandle = Owned<FontTraits>;

// Holds a flag raised while the scope lasts (a peer telling its own changes from the
// player's).
class Raised {
public:
    explicit Raised(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~Raised() { flag_ = was_; }
    Raised(const Raised&) = delete;
    Raised& operator=(const Raised&) = delete;

private:
    bool& flag_;
    bool was_;
};

}  // namespace win32
