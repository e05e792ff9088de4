// QUAVERIX started again with administrator rights ("--elevated=<channel>"): the platform's
// channel to the run that started it, and the job served over it.
#pragma once

#include <string>

// Serves the one job the parent sends, opens no window; the process's exit code: 0 when
// answered, 2 for an argument that is not this mode's, 3 when the channel is not the
// parent's, 4 when no job came whole.
int RunElevatedMode(const std::wstring& argument);
