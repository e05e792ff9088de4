#include "QUAVERIX/ElevatedMode.h"

#include "elevated/Job.h"
#include "platform/win32/Elevation.h"
#include "platform/win32/Wide.h"
#include "platform/win32/Win32System.h"

int RunElevatedMode(const std::wstring& argument) {
    const std::optional<std::string> channel = elevated::ChannelOf(win32::A(argument));
    if (!channel) return 2;
    win32::ParentChannel parent;
    if (!parent.Open(win32::W(*channel))) return 3;  // a stranger's pipe: nothing is read
    win32::Win32System system;
    return elevated::Serve(system, parent) ? 0 : 4;
}
