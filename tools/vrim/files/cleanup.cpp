#include "tools/vrim/files/cleanup.h"

#include <atomic>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vrim::files {

namespace {

// A run writes at most a scene and its backup at once; a few more slots
// cost nothing.
constexpr int kSlots = 8;
constexpr std::size_t kLongestPath = 4096;

// Written only while the slot is free, read by the handler only while it is
// taken: the flag is set after the name and cleared before it changes.
char paths[kSlots][kLongestPath];
std::atomic<int> taken[kSlots];

void removeAll() {
    for (int i = 0; i < kSlots; ++i) {
        if (taken[i].load() != 0) {
#ifdef _WIN32
            // The file is open for writing but shared for deletion: it goes
            // when the process ends.
            wchar_t wide[kLongestPath];
            const int count =
                MultiByteToWideChar(CP_UTF8, 0, paths[i], -1, wide, static_cast<int>(kLongestPath));
            if (count > 0) {
                DeleteFileW(wide);
            }
#else
            ::unlink(paths[i]);
#endif
        }
    }
}

#ifndef _WIN32
// Every signal whose default ends the run, each with its line: the run's
// files go, whatever stopped it. SIGBUS has its own (cutShortEndsRun).
struct Stopping {
    int number;
    const char* line;
};
#define VRIM_STOP(name, why)                                                                       \
    { name, "vrim: stopped by " #name " (" why "); its unfinished files removed\n" }
constexpr Stopping kStopping[] = {
    VRIM_STOP(SIGHUP, "its terminal closed"),
    VRIM_STOP(SIGINT, "interrupted"),
    VRIM_STOP(SIGQUIT, "quit"),
    VRIM_STOP(SIGTERM, "asked to end"),
    VRIM_STOP(SIGPIPE, "whoever read its output stopped reading"),
    VRIM_STOP(SIGALRM, "a timer ran out"),
    VRIM_STOP(SIGUSR1, "a user signal"),
    VRIM_STOP(SIGUSR2, "a user signal"),
    VRIM_STOP(SIGXCPU, "its CPU time limit"),
    VRIM_STOP(SIGXFSZ, "a file grew past its size limit"),
    VRIM_STOP(SIGVTALRM, "a timer ran out"),
    VRIM_STOP(SIGPROF, "a profiling timer ran out"),
};
#undef VRIM_STOP

void stoppingSet(sigset_t& set) {
    sigemptyset(&set);
    for (const Stopping& stopping : kStopping) {
        sigaddset(&set, stopping.number);
    }
}
#endif

#ifdef _WIN32
BOOL WINAPI onConsoleEvent(DWORD event) {
    removeAll();
    ExitProcess(event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 130 : 129);
    return TRUE;
}
#else
extern "C" void onSignal(int number) {
    removeAll();
    for (const Stopping& stopping : kStopping) {
        if (stopping.number == number) {
            const ssize_t ignored =
                ::write(STDERR_FILENO, stopping.line, std::strlen(stopping.line));
            (void)ignored;
        }
    }
    ::_exit(128 + number);
}

extern "C" void onCutShort(int number) {
    removeAll();
    static const char kWhy[] =
        "vrim: a file was cut short by another program while vrim read it; nothing was "
        "written\n";
    const ssize_t ignored = ::write(STDERR_FILENO, kWhy, sizeof kWhy - 1);
    (void)ignored;
    ::_exit(128 + number);
}
#endif

void installHandlers() {
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = onSignal;
    stoppingSet(action.sa_mask);
    for (const Stopping& stopping : kStopping) {
        struct sigaction old {};
        // A signal the caller ignores (nohup, a shell's ignored SIGPIPE)
        // stays ignored, and one it handles stays its own: a program that
        // writes through the library (Python's Ctrl-C, its own SIGTERM
        // handler) is not ended behind its back.
        if (sigaction(stopping.number, nullptr, &old) == 0 &&
            ((old.sa_flags & SA_SIGINFO) != 0 || old.sa_handler != SIG_DFL)) {
            continue;
        }
        sigaction(stopping.number, &action, nullptr);
    }
#endif
}

void ensureHandlers() {
    static const bool installed = (installHandlers(), true);
    (void)installed;
}

} // namespace

void cutShortEndsRun() {
#ifndef _WIN32
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = onCutShort;
        stoppingSet(action.sa_mask);
        return sigaction(SIGBUS, &action, nullptr) == 0;
    }();
    (void)installed;
#endif
}

SignalsHeld::SignalsHeld() {
    ensureHandlers();
#ifndef _WIN32
    sigset_t held;
    stoppingSet(held);
    sigprocmask(SIG_BLOCK, &held, &saved_);
#endif
}

SignalsHeld::~SignalsHeld() {
#ifndef _WIN32
    sigprocmask(SIG_SETMASK, &saved_, nullptr);
#endif
}

int removeOnSignal(const std::string& path) {
    ensureHandlers();
    if (path.size() >= kLongestPath) {
        return -1;
    }
    for (int i = 0; i < kSlots; ++i) {
        if (taken[i].load() == 0) {
            std::memcpy(paths[i], path.c_str(), path.size() + 1);
            taken[i].store(1);
            return i;
        }
    }
    return -1;
}

void forgetRemoval(int slot) {
    if (slot >= 0 && slot < kSlots) {
        taken[slot].store(0);
    }
}

} // namespace vrim::files
