// vrim validate: the run of its checks in order.
#include "tools/vrim/validate/validate.h"
#include "plugin/identity.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <random>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

// A crash in the module is a failure of the check that ran it; under
// AddressSanitizer its own report says more, so it keeps the signals.
#if defined(__SANITIZE_ADDRESS__)
#define VRIM_KEEP_CRASH_SIGNALS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VRIM_KEEP_CRASH_SIGNALS 1
#endif
#endif

namespace vrim::validate {

namespace {

struct Check {
    int number;
    const char* name;
    bool randomised;
    Verdict (*run)(Bench&);
};

const Check kChecks[] = {
    {2, "activation", false, checkActivation},
    {3, "instances", true, checkInstances},
    {4, "state round trip", true, checkRoundTrip},
    {5, "damaged key blocks", true, checkMalformedBlocks},
    {6, "evaluation", true, checkEvaluation},
    {7, "key editor sessions", true, checkPanelSessions},
    {8, "exports and locale", true, checkExportsAndLocale},
};

// The line a crash prints, up to the signal's number: the check that was
// running when it came. Written before each check, so that the handler only
// copies bytes out.
char crashLine[192];
std::size_t crashLineLength = 0;

// Only async-signal-safe work from here on: write(2) and _Exit, no stdio.
void writeOut(const char* text, std::size_t length) {
    while (length > 0) {
#if defined(_WIN32)
        const int written = _write(1, text, static_cast<unsigned>(length));
#else
        const ssize_t written = write(STDOUT_FILENO, text, length);
#endif
        if (written <= 0) {
            return;
        }
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

extern "C" void onCrash(int signal) {
    writeOut(crashLine, crashLineLength);
    char digits[16];
    std::size_t at = sizeof digits;
    digits[--at] = '\n';
    digits[--at] = ')';
    unsigned number = signal < 0 ? 0u : static_cast<unsigned>(signal);
    do {
        digits[--at] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0 && at > 0);
    writeOut(digits + at, sizeof digits - at);
    std::_Exit(kExitFailed);
}

void catchCrashes() {
#if !defined(VRIM_KEEP_CRASH_SIGNALS)
    for (int signal : {SIGSEGV, SIGILL, SIGFPE, SIGABRT}) {
        std::signal(signal, onCrash);
    }
#endif
}

class Printer {
  public:
    Printer(std::FILE* out, uint64_t seed) : out_(out), seed_(seed) {}

    void starting(int number, const char* name) {
        // Whatever the checks printed so far goes out before a crash's line.
        std::fflush(out_);
        std::fflush(stdout);
        const int length = std::snprintf(crashLine, sizeof crashLine,
                                         "FAIL %2d %s: the module crashed (signal ", number, name);
        crashLineLength =
            length < 0 ? 0 : std::min(static_cast<std::size_t>(length), sizeof crashLine - 1);
    }
    void report(int number, const char* name, bool randomised, const Verdict& verdict) {
        const bool passed = verdict.fault.empty();
        std::fprintf(out_, "%s %2d %s: %s", passed ? "PASS" : "FAIL", number, name,
                     passed ? verdict.detail.c_str() : verdict.fault.c_str());
        if (randomised) {
            std::fprintf(out_, " (seed %llu)", static_cast<unsigned long long>(seed_));
        }
        std::fputc('\n', out_);
        std::fflush(out_);
        (passed ? passed_ : failed_) += 1;
    }
    int passed() const { return passed_; }
    int failed() const { return failed_; }

  private:
    std::FILE* out_;
    uint64_t seed_;
    int passed_ = 0, failed_ = 0;
};

} // namespace

uint64_t freshSeed() {
    uint64_t seed =
        static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    try {
        std::random_device device;
        seed ^= (uint64_t{device()} << 32) ^ device();
    } catch (const std::exception&) {
        // The clock alone will do.
    }
    return seed;
}

int run(const Options& options, std::FILE* out) {
    std::fprintf(out, "vrim validate %s, level %d, seed %llu\n", options.modulePath.c_str(),
                 options.level, static_cast<unsigned long long>(options.seed));
    Printer printer(out, options.seed);
    catchCrashes();
    standin::Host host;
    host.logMotion = true;

    printer.starting(1, "module file");
    printer.report(1, "module file", false, checkModuleFile(options.modulePath, options.level));

    std::string error;
    const std::unique_ptr<standin::ModuleFile> module =
        standin::ModuleFile::open(options.modulePath, error);
    if (module == nullptr) {
        for (const Check& check : kChecks) {
            printer.report(check.number, check.name, false,
                           {"not run: the module file cannot be opened", ""});
        }
    } else {
        Bench bench{host, *module, {}, {}, options.seed, options.level};
        // Without the handler only the activation check can run.
        std::string notRun;
        if (const int code = bench.handler.activate(*module, host, vrim::kServerName, 2);
            code != 0) {
            notRun = "not run: the motion handler cannot be activated (result " +
                     std::to_string(code) + ")";
        } else if (const int v1 = bench.handlerV1.activate(*module, host, vrim::kServerName, 1);
                   v1 != 0) {
            notRun = "not run: the motion handler cannot be activated at version 1 (result " +
                     std::to_string(v1) + ")";
        }
        for (const Check& check : kChecks) {
            printer.starting(check.number, check.name);
            if (!notRun.empty() && check.run != checkActivation) {
                printer.report(check.number, check.name, false, {notRun, ""});
            } else {
                printer.report(check.number, check.name, check.randomised, check.run(bench));
            }
        }
    }
    std::fprintf(out, "%d passed, %d failed\n", printer.passed(), printer.failed());
    if (printer.failed() != 0) {
        std::fprintf(out, "replay: vrim validate %s --level %d --seed %llu\n",
                     options.modulePath.c_str(), options.level,
                     static_cast<unsigned long long>(options.seed));
    }
    return printer.failed();
}

} // namespace vrim::validate
