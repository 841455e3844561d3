#include "app/runtime/signals.hpp"

#include <initializer_list>

#include "writers/common/live_temporaries.hpp"

namespace tessvert {

namespace {

// An interrupted run removes its temporary files, then ends by the same
// signal with its default action, so that the shell sees 128 + N.
extern "C" void end_by_signal(int sig) {
    remove_live_temporaries();
    ::signal(sig, SIG_DFL);
    ::raise(sig);  // delivered as the handler returns
}

constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

sigset_t termination_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : ending_signals) {
        // The handler is installed only where the signal was not ignored,
        // so the disposition still tells which were.
        struct sigaction now {};
        if (::sigaction(sig, nullptr, &now) == 0 && now.sa_handler != SIG_IGN) sigaddset(&set, sig);
    }
    return set;
}

bool termination_pending() {
    sigset_t pending;
    if (::sigpending(&pending) != 0) return false;
    const sigset_t taken = termination_signals();
    for (const int sig : ending_signals)
        if (sigismember(&pending, sig) == 1 && sigismember(&taken, sig) == 1) return true;
    return false;
}

// For the whole process: the termination signals remove the temporaries
// (unless they were ignored when the run began, as under nohup); a
// file-size limit makes a write fail (EFBIG) instead of ending the run; a
// console that was closed (| head) never stops a conversion.
void install_signal_handlers() {
    const sigset_t taken = termination_signals();
    struct sigaction on_end {};
    on_end.sa_handler = end_by_signal;
    on_end.sa_mask = taken;
    for (const int sig : ending_signals)
        if (sigismember(&taken, sig) == 1) ::sigaction(sig, &on_end, nullptr);
    ::signal(SIGXFSZ, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace tessvert
