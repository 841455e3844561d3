// Many files in one run: --batch OUTDIR.
#pragma once

#include <string>

#include "app/convert.hpp"
#include "app/options.hpp"
#include "app/progress.hpp"
#include "model/report.hpp"

namespace tessvert {

// Makes `folder` (and the folders above it) when missing, before anything
// is read; false, with one warning that says why, when it cannot be made.
bool make_output_folder(const std::string& folder, reporter& console);

// Whether a conversion that was complete drew nothing: it wrote no face.
// One warning says so; the run is still reported converted, but with
// --posix-exit it counts as not converted.
bool report_nothing_drawn(const conversion_result& result, reporter& report);

enum class batch_end { all_converted, some_failed, wrong_usage };

// Converts every input of `options.inputs` (a folder stands for the files
// directly inside it whose extension is .3ds in any case, in name order)
// into OUTDIR/STEM with the output language's extensions, OUTDIR made
// when missing.
// Several files are converted at once on the threads `options.threads`
// allows; each file's messages are held back and told in input order: its
// warnings and advice, each naming the file, then one line with the faces
// written or why it failed; then one summary line. A failing file changes
// nothing of the others. With -o, no input, or two inputs of one STEM,
// nothing is read: `problem` says why and wrong_usage is returned.
// The termination signals are taken by a thread of the batch: the files
// committed stay, the temporaries of the others are removed.
batch_end run_batch(const run_options& options, reporter& console, console_output& out, bool show_progress,
                    std::string& problem);

}  // namespace tessvert
