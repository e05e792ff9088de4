// Who is on the other end of a channel between two runs of this program: the facts the
// system gives about a process, and the rules that decide whether to talk to it.
#pragma once

#include <cstdint>
#include <string>

namespace sys {

struct ProcessFacts {
    bool known = false;  // false: the process could not be looked at (gone, or closed to us)
    std::uint32_t id = 0;
    std::uint32_t parent = 0;  // the process that started it
    std::u16string image;  // the full path of the exe it runs
    std::uint64_t started = 0;  // when it started, in the system's time units
};

// The run with administrator rights takes a job only from the process that started it,
// running this same exe (paths compared without regard to case, as Windows names files),
// and started before it: a parent that has gone and left its number to a newer process is
// not that parent.
bool IsOwnParent(const ProcessFacts& self, const ProcessFacts& server);

}  // namespace sys
