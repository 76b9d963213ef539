// Files that must not outlive the run: a lock, a half-written new version,
// the terminal editor's copy. Registered paths are removed when the run is
// stopped by any signal whose default would end it (HUP, INT, QUIT, TERM,
// PIPE, ALRM, USR1, USR2, XCPU, XFSZ, VTALRM, PROF; Ctrl-C or a closed
// console on Windows), which then says so in one line on standard error and
// ends with 128 plus the signal's number (130, 143, 129, ...). The handler
// only removes names, writes its line and exits, so it is safe at any
// moment. A signal the run was started with ignored or handled (a program
// that uses the library) stays as it was.
#pragma once

#include <string>

#ifndef _WIN32
#include <csignal>
#endif

namespace vrim::files {

// While one lives, those signals wait: a file is created and
// registered, or renamed and forgotten, as one step, so the handler never
// misses the run's own lock nor removes another run's. It also installs the
// handlers.
class SignalsHeld {
  public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
#ifndef _WIN32
    sigset_t saved_; // the blocked set before
#endif
};

// A file read through a mapping that another program cuts short meanwhile
// raises SIGBUS where the missing bytes are touched. From the first call on,
// that ends the run as the signals above do, with a line that says why and
// 135: the run's new files go, and what it would have replaced stays.
void cutShortEndsRun();

// Holds path until forgotten; -1 when every slot is taken (the file is then
// left to the writer's own clean-up). Installs the handlers the first time.
int removeOnSignal(const std::string& path);
// The path is no longer the run's to remove (it was renamed or removed).
void forgetRemoval(int slot);

} // namespace vrim::files
