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

}  // namespace

// For the whole process: the termination signals remove the temporaries
// (unless they were ignored when the run began, as under nohup); a
// file-size limit makes a write fail (EFBIG) instead of ending the run; a
// console that was closed (| head) never stops a conversion.
void install_signal_handlers() {
    struct sigaction on_end {};
    on_end.sa_handler = end_by_signal;
    on_end.sa_mask = termination_signals();
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        if (::sigaction(sig, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) ::sigaction(sig, &on_end, nullptr);
    }
    ::signal(SIGXFSZ, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace tessvert
