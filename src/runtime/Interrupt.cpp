#include "runtime/Interrupt.h"

#include "runtime/Stream.h"

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
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    return signals;
}

} // namespace

void EndCleanlyOnSignals(std::function<void(int signal)> lastWords)
{
    // The signals are taken by sigwait on a thread of their own, not by a handler, so that
    // what follows them may lock, allocate and print like any other code.
    const sigset_t signals = EndingSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals, lastWords = std::move(lastWords)] {
        int signal = 0;
        while (sigwait(&signals, &signal) != 0) {
        }
        TAtomicFileStream::RemoveTemporaryFilesForExit();
        if (lastWords) {
            lastWords(signal);
        }
        std::_Exit(128 + signal);
    }).detach();
}

void EndNowWithoutDebris(int status)
{
    TAtomicFileStream::RemoveTemporaryFilesForExit();
    std::_Exit(status);
}

} // namespace kapto
