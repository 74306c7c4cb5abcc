#pragma once
// Ending the process on SIGINT, SIGTERM and SIGHUP without leaving half-written files.

#include <functional>

namespace kapto {

// Blocks the three signals in the calling thread and every thread it starts later, and
// starts one thread that waits for them. On a signal that thread removes the temporary files
// of every save in flight, calls lastWords with the signal number (to print a summary, say;
// other threads may still run meanwhile, but no save starts or finishes) and ends the process
// with 128 + the signal number. Call it once, at the start of main, before any other thread.
void EndCleanlyOnSignals(std::function<void(int signal)> lastWords);

// What a signal would do, for a process that ends on the user's word during a run: removes
// the temporary files of every save in flight and ends the process with status.
[[noreturn]] void EndNowWithoutDebris(int status);

} // namespace kapto
