#include "runtime/Interrupt.h"

#include "runtime/Stream.h"
#include "runtime/Threads.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <thread>

namespace kapto {

namespace {

sigset_t EndingSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    // Every signal whose default ends the process and that a program may be sent: the user's
    // keys, the session's end, timers and scripts. SIGPIPE is taken too: sent to the process,
    // it ends it as the others do; raised by a write to a closed pipe, it stays with the
    // writing thread and the write fails with EPIPE, which the writer reports.
    for (const int signal :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE}) {
        sigaddset(&signals, signal);
    }
    return signals;
}

} // namespace

void EndCleanlyOnSignals(std::function<void(int signal)> lastWords)
{
    // The signals are taken by sigwait on a thread of their own, not by a handler, so that
    // what follows them may lock, allocate and print like any other code.
    const sigset_t signals = EndingSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // A file past the size limit fails its write with EFBIG, and the save is undone like any
    // other failed save, instead of the process ending in the middle of it.
    std::signal(SIGXFSZ, SIG_IGN);
    std::thread waiter;
    const bool started = TryStartThread(waiter, [signals, lastWords = std::move(lastWords)] {
        int signal = 0;
        while (sigwait(&signals, &signal) != 0) {
        }
        TAtomicFileStream::RemoveTemporaryFilesForExit();
        if (lastWords) {
            lastWords(signal);
        }
        std::_Exit(128 + signal);
    });
    if (started) {
        waiter.detach();
    } else {
        // With no thread to take them the signals keep their default: they still end the
        // process, though without the clean-up.
        pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
    }
}

void EndNowWithoutDebris(int status)
{
    TAtomicFileStream::RemoveTemporaryFilesForExit();
    std::_Exit(status);
}

} // namespace kapto
