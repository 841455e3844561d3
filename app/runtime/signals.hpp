// The signals that end a run (an interrupt, a termination request, a closed
// terminal), and holding them back while the outputs are put in place.
#pragma once

#include <csignal>

namespace tessvert {

// For the whole process: the termination signals remove the temporaries and
// end the run by the same signal; a file-size limit makes a write fail
// instead of ending the run; a closed console never stops a conversion.
void install_signal_handlers();

// The termination signals the run takes: SIGINT, SIGTERM and SIGHUP, but
// for those that were ignored when it began (nohup ignores SIGHUP), which
// stay ignored: they are never held back, waited for or taken.
sigset_t termination_signals();

// Whether a termination signal that the run takes waits for this thread or
// the process, held back where it arrived.
bool termination_pending();

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
