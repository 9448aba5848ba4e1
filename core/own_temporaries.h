#pragma once
// The program's own temporary files next to a target ("." + name +
// ".qvtf-part-" + six characters): a name that listings for uploads and
// synchronisation recognise and skip, so a temporary that an interrupted run
// left behind is never taken for a user's file. While one exists it is
// registered, so a signal handler can remove it before the process ends.

#include <string>
#include <string_view>

namespace qvtf {

// The mkstemp template of a temporary for target, in target's folder.
std::string own_temporary_template(std::string_view target);
// Whether a file name (no folder) is one of our temporaries.
bool is_own_temporary(std::string_view name);

// Registers path (copied) for removal by remove_own_temporaries; the slot
// to forget it by, or -1 when every slot is taken (the file is then only
// removed the ordinary way).
int remember_own_temporary(const std::string& path);
void forget_own_temporary(int slot);
// Unlinks every registered temporary. Async-signal-safe: for a handler of
// TERM, INT or HUP that ends the process afterwards.
void remove_own_temporaries();
// Installs handlers for TERM, INT and HUP that remove the registered
// temporaries and then end the process as the signal would have; SIGPIPE
// is ignored (a closed output, as with "| head", is a failed write, not a
// death that leaves temporaries behind).
void remove_own_temporaries_on_signals();

}  // namespace qvtf
