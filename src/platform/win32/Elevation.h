// The side of a run with administrator rights: its channel back to the run that started it.
#pragma once

#include <string>
#include <string_view>

#include "platform/system/System.h"
#include "platform/win32/Scoped.h"

namespace win32 {

// The named pipe `name` (one of QUAVERIX's own), taken only when its server is the
// process that started this one, runs this same exe and started before it (see
// sys::IsOwnParent). Opened for identification only: the server cannot act with this
// process's rights.
class ParentChannel : public sys::Channel {
public:
    // False when the pipe is not there, not one of QUAVERIX's, or served by anyone else:
    // nothing may then be read from it or written to it.
    bool Open(const std::wstring& name);
    std::size_t Read(char* data, std::size_t count) override;
    bool Write(std::string_view data) override;

private:
    KernelHandle pipe_;
};

}  // namespace win32
