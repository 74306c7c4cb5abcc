#pragma once
// Threads that the system may refuse: work meant for a thread that could not start is done
// by the threads that did, so a process limit slows a run down but never ends it.

#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

namespace kapto {

// Starts a thread running work; false when the system cannot start one more.
template <typename TWork> bool TryStartThread(std::thread& thread, TWork&& work)
{
    try {
        thread = std::thread(std::forward<TWork>(work));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// Says, once in the life of the process, that fewer threads than asked for could start and
// how many carry on (the calling thread included), through the note set below.
void NoteThreadsLimited(int running);

// Where that note goes (the command line puts it on standard error); none: nowhere.
void SetThreadsLimitedNote(std::function<void(const std::string& message)> note);

} // namespace kapto
