#pragma once
// Ending the process on a signal without leaving half-written files.

#include <functional>

namespace kapto {

// Blocks the ending signals (INT, TERM, HUP, QUIT, USR1, USR2, ALRM, PIPE) in the calling
// thread and every thread it starts later, and starts one thread that waits for them. On a signal
// that thread removes the temporary files of every save in flight, calls lastWords with the signal
// number (to print a summary, say; other threads may still run meanwhile, but no save starts or
// finishes) and ends the process with 128 + the signal number. SIGXFSZ is ignored, so that a write
// past the file-size limit fails like a full disk. Call it once, at the start of main, before any
// other thread.
void EndCleanlyOnSignals(std::function<void(int signal)> lastWords);

// What a signal would do, for a process that ends on the user's word during a run: removes
// the temporary files of every save in flight and ends the process with status.
[[noreturn]] void EndNowWithoutDebris(int status);

} // namespace kapto
