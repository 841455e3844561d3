// The temporary output files that exist at this moment, kept where a signal
// handler can reach them: an interrupted run removes them before it ends.
// This is the program's one piece of global state. Entries live in fixed
// storage, so removing them allocates nothing and calls only unlinkat().
#pragma once

namespace tessvert {

// Records that the file `name` in the directory open as `dir_fd` is, or is
// about to be, a temporary of this process (record it before creating the
// file, so that no moment leaves it unrecorded). Returns the entry, or -1
// when every entry is taken or the name does not fit one. Any thread may
// record and forget entries.
int record_live_temporary(int dir_fd, const char* name);

// Drops an entry (-1 is ignored); call it once the temporary was renamed or
// removed.
void forget_live_temporary(int entry);

// Removes every recorded temporary. Async-signal-safe.
void remove_live_temporaries();

}  // namespace tessvert
