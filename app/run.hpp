// One conversion, start to end.
#pragma once

namespace tessvert {

// Runs the program on the command line and returns the exit code: 1 after a
// complete run, 0 when nothing or not everything was converted (no input, a
// load failure, an output file not written), -1 after the usage text; with
// --posix-exit 0, 1 and 2 instead.
int run(int argc, const char* const* argv);

}  // namespace tessvert
