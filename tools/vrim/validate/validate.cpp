// vrim validate: the run of its checks in order.
#include "tools/vrim/validate/validate.h"
#include "plugin/identity.h"
#include "tools/vrim/error.h"

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

// The signals caught, and what is written when one comes during the check
// that runs: made before the check, so that the handler only copies bytes
// out.
const int kCrashSignals[] = {SIGSEGV, SIGILL, SIGFPE, SIGABRT};
constexpr std::size_t kCrashSignalCount = sizeof kCrashSignals / sizeof kCrashSignals[0];
struct CrashText {
    const char* bytes = nullptr;
    std::size_t length = 0;
};
CrashText crashTexts[kCrashSignalCount];

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
    for (std::size_t i = 0; i < kCrashSignalCount; ++i) {
        if (kCrashSignals[i] == signal) {
            writeOut(crashTexts[i].bytes, crashTexts[i].length);
        }
    }
    std::_Exit(kExitFailed);
}

// Held while the checks run: a crash is the check's, and afterwards the
// program's own handling is back (the library runs the validator inside
// other programs, a Python script's).
class CrashesCaught {
  public:
    CrashesCaught() {
        for (std::size_t i = 0; i < kCrashSignalCount; ++i) {
#if defined(VRIM_KEEP_CRASH_SIGNALS)
            before_[i] = SIG_ERR; // the signals stay the program's throughout
#else
            before_[i] = std::signal(kCrashSignals[i], onCrash);
#endif
        }
    }
    ~CrashesCaught() {
        for (std::size_t i = 0; i < kCrashSignalCount; ++i) {
            if (before_[i] != SIG_ERR) {
                std::signal(kCrashSignals[i], before_[i]);
            }
        }
    }
    CrashesCaught(const CrashesCaught&) = delete;
    CrashesCaught& operator=(const CrashesCaught&) = delete;

  private:
    using Handler = void (*)(int);
    Handler before_[kCrashSignalCount];
};

// The run's results as they come, and what a crash of the next check would
// write.
class Runner {
  public:
    Runner(const Options& options, RunWriter& writer) : writer_(writer) { run_.options = options; }

    void starting(int number, const char* name, bool randomised) {
        // Whatever was written so far goes out before a crash's text.
        std::fflush(stdout);
        RunReport crashed = run_;
        crashed.checks.push_back({number, name, Outcome::Failed, "", randomised});
        for (const Check& later : kChecks) {
            if (later.number > number) {
                crashed.checks.push_back({later.number, later.name, Outcome::NotRun,
                                          "not run: the module crashed in an earlier check",
                                          false});
            }
        }
        const std::size_t running = run_.checks.size();
        for (std::size_t i = 0; i < kCrashSignalCount; ++i) {
            crashed.checks[running].message =
                "the module crashed (signal " + std::to_string(kCrashSignals[i]) + ")";
            crashStore_[i] = writer_.crashed(crashed, running);
            crashTexts[i] = {crashStore_[i].data(), crashStore_[i].size()};
        }
    }
    void report(int number, const char* name, bool randomised, const Verdict& verdict) {
        const bool passed = verdict.fault.empty();
        run_.checks.push_back({number, name, passed ? Outcome::Passed : Outcome::Failed,
                               passed ? verdict.detail : verdict.fault, randomised});
        writer_.checked(run_);
    }
    void notRun(int number, const char* name, const std::string& why) {
        run_.checks.push_back({number, name, Outcome::NotRun, "not run: " + why, false});
        writer_.checked(run_);
    }
    const RunReport& finish() {
        for (CrashText& text : crashTexts) {
            text = {};
        }
        writer_.finished(run_);
        return run_;
    }

  private:
    RunWriter& writer_;
    RunReport run_;
    std::string crashStore_[kCrashSignalCount];
};

class TextWriter : public RunWriter {
  public:
    explicit TextWriter(std::FILE* out) : out_(out) {}
    void checked(const RunReport& run) override {
        if (run.checks.size() == 1) {
            std::fputs(heading(run).c_str(), out_);
        }
        std::fputs(line(run, run.checks.back()).c_str(), out_);
        std::fflush(out_);
    }
    void finished(const RunReport& run) override {
        std::fprintf(out_, "%d passed, %d failed", run.count(Outcome::Passed),
                     run.count(Outcome::Failed));
        if (const int notRun = run.count(Outcome::NotRun); notRun != 0) {
            std::fprintf(out_, ", %d not run", notRun);
        }
        std::fputc('\n', out_);
        if (run.count(Outcome::Failed) != 0) {
            std::fprintf(out_, "replay: vrim validate %s --level %d --seed %llu\n",
                         run.options.modulePath.c_str(), run.options.level,
                         static_cast<unsigned long long>(run.options.seed));
        }
    }
    std::string crashed(const RunReport& run, std::size_t running) override {
        return (running == 0 ? heading(run) : "") + line(run, run.checks[running]);
    }

  private:
    static std::string heading(const RunReport& run) {
        return "vrim validate " + run.options.modulePath + ", level " +
               std::to_string(run.options.level) + ", seed " + std::to_string(run.options.seed) +
               "\n";
    }
    // The checks after a crash are not printed: the crash ends the run.
    static std::string line(const RunReport& run, const CheckReport& check) {
        const char* tag = check.outcome == Outcome::Passed   ? "PASS"
                          : check.outcome == Outcome::Failed ? "FAIL"
                                                             : "SKIP";
        char head[32];
        std::snprintf(head, sizeof head, "%s %2d ", tag, check.number);
        std::string text = head + check.name + ": " + check.message;
        if (check.randomised) {
            text += " (seed " + std::to_string(run.options.seed) + ")";
        }
        return text + "\n";
    }
    std::FILE* out_;
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

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Passed:
        return "passed";
    case Outcome::Failed:
        return "failed";
    case Outcome::NotRun:
        break;
    }
    return "not run";
}

int RunReport::count(Outcome outcome) const {
    return static_cast<int>(std::count_if(
        checks.begin(), checks.end(), [&](const CheckReport& c) { return c.outcome == outcome; }));
}

std::unique_ptr<RunWriter> textWriter(std::FILE* out) {
    return std::make_unique<TextWriter>(out);
}

int run(const Options& options, RunWriter& writer) {
    Runner runner(options, writer);
    const CrashesCaught caught;
    standin::Host host;
    host.logMotion = true;

    runner.starting(1, "module file", false);
    // A file that is no module has nothing to judge: one line, not a page of
    // checks that could not run.
    {
        std::string error;
        standin::ModuleFile::Refusal refusal = standin::ModuleFile::Refusal::None;
        const std::unique_ptr<standin::ModuleFile> probe =
            standin::ModuleFile::open(options.modulePath, error, &refusal);
        if (refusal == standin::ModuleFile::Refusal::NotALibrary ||
            refusal == standin::ModuleFile::Refusal::NoDescriptor) {
            throw ToolError(error);
        }
    }
    runner.report(1, "module file", false, checkModuleFile(options.modulePath, options.level));

    std::string error;
    const std::unique_ptr<standin::ModuleFile> module =
        standin::ModuleFile::open(options.modulePath, error);
    if (module == nullptr) {
        for (const Check& check : kChecks) {
            runner.notRun(check.number, check.name, "the module file cannot be opened");
        }
    } else {
        Bench bench{host, *module, {}, {}, options.seed, options.level};
        // Without the handler only the activation check can run.
        std::string notRun;
        if (const int code = bench.handler.activate(*module, host, vrim::kServerName, 2);
            code != 0) {
            notRun = "the motion handler cannot be activated (result " + std::to_string(code) + ")";
        } else if (const int v1 = bench.handlerV1.activate(*module, host, vrim::kServerName, 1);
                   v1 != 0) {
            notRun = "the motion handler cannot be activated at version 1 (result " +
                     std::to_string(v1) + ")";
        }
        for (const Check& check : kChecks) {
            if (!notRun.empty() && check.run != checkActivation) {
                runner.notRun(check.number, check.name, notRun);
            } else {
                runner.starting(check.number, check.name, check.randomised);
                runner.report(check.number, check.name, check.randomised, check.run(bench));
            }
        }
    }
    return runner.finish().count(Outcome::Failed);
}

} // namespace vrim::validate
