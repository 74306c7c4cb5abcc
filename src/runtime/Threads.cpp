#include "runtime/Threads.h"

#include "runtime/Messages.h"

#include <mutex>

namespace kapto {

namespace {

std::mutex g_noteMutex;
std::function<void(const std::string&)> g_note;
bool g_noted = false;

} // namespace

void NoteThreadsLimited(int running)
{
    std::lock_guard<std::mutex> guard(g_noteMutex);
    if (g_noted || !g_note) {
        return;
    }
    g_noted = true;
    g_note(FormatMessage(TMessage::ThreadsLimited, {std::to_string(running)}));
}

void SetThreadsLimitedNote(std::function<void(const std::string& message)> note)
{
    std::lock_guard<std::mutex> guard(g_noteMutex);
    g_note = std::move(note);
}

} // namespace kapto
