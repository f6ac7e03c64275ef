// kelvane-verify's output files, written so that nothing that is not the run's own is lost.
//
// Every target is checked before any work. A regular file (or a name not yet taken) gets a
// private temporary beside it, renamed over it only when the whole run has succeeded; a run
// commits all its outputs or none, and no temporary outlives the process, whether it returns,
// exits or is ended by SIGINT, SIGTERM, SIGHUP or SIGPIPE. A symlink is followed: its target
// receives the content and the link stays. A target that exists and is not a regular file (a
// FIFO, a device, a socket) is written through, never replaced. Concurrent runs to one path
// leave one run's complete output.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace kelvane::verify {

// Claims every path of `targets` (in order), refusing, with a one-line message that names the
// path: two targets that are one file, a target that is a file `inputs` names ("-" names
// standard input), a directory, and a folder that is missing or not writable. Empty when every
// target is claimed. Call once.
std::string claim_outputs(std::span<const std::string> targets,
                          std::span<const std::string> inputs);

// Writes contents[i] to the i-th claimed target, all or none. Empty, or the one-line reason
// when something could not be written; the temporaries are gone either way.
std::string commit_outputs(std::span<const std::string> contents);

} // namespace kelvane::verify
