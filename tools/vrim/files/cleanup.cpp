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

#ifdef _WIN32
BOOL WINAPI onConsoleEvent(DWORD event) {
    removeAll();
    ExitProcess(event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 130 : 129);
    return TRUE;
}
#else
extern "C" void onSignal(int number) {
    removeAll();
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
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&action.sa_mask, number);
    }
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // A signal the caller ignores (nohup) stays ignored.
        if (sigaction(number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(number, &action, nullptr);
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
        sigemptyset(&action.sa_mask);
        for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
            sigaddset(&action.sa_mask, number);
        }
        return sigaction(SIGBUS, &action, nullptr) == 0;
    }();
    (void)installed;
#endif
}

SignalsHeld::SignalsHeld() {
    ensureHandlers();
#ifndef _WIN32
    sigset_t held;
    sigemptyset(&held);
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&held, number);
    }
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
