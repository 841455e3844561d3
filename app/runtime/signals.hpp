// The signals that end a run (an interrupt, a termination request, a closed
// terminal), and holding them back while the outputs are put in place.
#pragma once

#include <csignal>

namespace tessvert {

// For the whole process: the termination signals remove the temporaries and
// end the run by the same signal; a file-size limit makes a write fail
// instead of ending the run; a closed console never stops a conversion.
void install_signal_handlers();

inline sigset_t termination_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// Whether a termination signal waits for this thread or the process, held
// back where it arrived.
inline bool termination_pending() {
    sigset_t pending;
    if (::sigpending(&pending) != 0) return false;
    return sigismember(&pending, SIGINT) == 1 || sigismember(&pending, SIGTERM) == 1 ||
           sigismember(&pending, SIGHUP) == 1;
}

// While it lives, the termination signals wait: one that arrives meanwhile
// takes effect when it goes.
struct termination_signals_held {
    sigset_t before;
    termination_signals_held() {
        const sigset_t set = termination_signals();
        ::sigprocmask(SIG_BLOCK, &set, &before);
    }
    ~termination_signals_held() { ::sigprocmask(SIG_SETMASK, &before, nullptr); }
    termination_signals_held(const termination_signals_held&) = delete;
    termination_signals_held& operator=(const termination_signals_held&) = delete;
};

}  // namespace tessvert
