#pragma once

// Stopping the kit from outside (Ctrl-C, a closed terminal, a CI time-out). A signal only marks the run as
// stopped; the next wait or copy throws, so that everything the run made is removed on the way out like after
// any other failure, and the run then ends with the status that the signal gives.
namespace tovira::kit {

// Not a std::exception, so that no handler of failures takes it for one and carries on.
struct Stopped {
    int signal;
};

// Catches SIGINT, SIGTERM and SIGHUP, except one that the kit was started with ignored (as nohup does).
void CatchStopSignals();

// Throws Stopped once one of them has arrived.
void ThrowIfStopped();

// Becomes readable when one arrives, so that a wait can watch it beside its own descriptors.
int StopDescriptor();

// Ends the process by the signal's own default action.
[[noreturn]] void EndBySignal(int signal);

} // namespace tovira::kit
