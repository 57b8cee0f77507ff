#include "kit/Stop.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace tovira::kit {

namespace {

volatile std::sig_atomic_t stopSignal = 0;
int wakeUp[2] = {-1, -1};

// Only what is safe in a signal handler: a flag and a byte into a pipe that nobody may block on.
extern "C" void OnStop(int signal) {
    const int saved = errno;
    if (stopSignal == 0) {
        stopSignal = signal;
    }
    const char byte = 0;
    if (write(wakeUp[1], &byte, 1) < 0) {
        // The pipe is full, so a wait wakes up already.
    }
    errno = saved;
}

} // namespace

void CatchStopSignals() {
    if (pipe2(wakeUp, O_CLOEXEC | O_NONBLOCK) != 0) {
        wakeUp[0] = wakeUp[1] = -1;
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action = {};
        if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) {
            continue;
        }
        action.sa_handler = OnStop;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(signal, &action, nullptr);
    }
}

void ThrowIfStopped() {
    if (stopSignal != 0) {
        throw Stopped{stopSignal};
    }
}

int StopDescriptor() {
    return wakeUp[0];
}

void EndBySignal(int signal) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    _exit(128 + signal);
}

} // namespace tovira::kit
