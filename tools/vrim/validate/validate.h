// vrim validate: loads a module file into the stand-in host and hammers it
// the way hosts do, judging each part of its contract pass or fail.
//
// The checks drive the module only through its descriptor, servers and
// callbacks. To judge what the module left behind they also read the
// instance and key records its callbacks hand back. Those layouts are not the
// host's: they are the module's own (plugin/core/shake.h), which the
// validator shares by being built from the same sources, so it judges a
// module of its own build only. Randomised checks draw from one seed, printed with them, so
// that a failure replays exactly, natively as under Wine.
#pragma once

#include "plugin/core/shake.h"
#include "standin/panel_host.h"
#include "standin/standin.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vrim::validate {

struct Options {
    std::string modulePath;
    uint64_t seed = 0;
    int level = 3; // 1 to 5: how hard each check hammers
};

// The exit status of a run with a failed check, or of a module that crashed.
constexpr int kExitFailed = 1;

enum class Outcome { Passed, Failed, NotRun };
const char* outcomeName(Outcome outcome); // "passed", "failed", "not run"

struct CheckReport {
    int number = 0;
    std::string name;
    Outcome outcome = Outcome::NotRun;
    std::string message;     // what was run, what failed, or why it was not run
    bool randomised = false; // its runs drew from the seed
};

// A run as far as it went.
struct RunReport {
    Options options;
    std::vector<CheckReport> checks;
    int count(Outcome outcome) const;
};

// How a run is written: lines for people as the checks end, or one document
// for machines at the end.
class RunWriter {
  public:
    virtual ~RunWriter() = default;
    virtual void checked(const RunReport& run) = 0;  // the last of run.checks ended
    virtual void finished(const RunReport& run) = 0; // every check ended
    // What is written, and nothing after it, if run.checks[running] crashes
    // the tool (its message says so); the checks after it stand in
    // run.checks as not run. Asked before the check runs, once per signal
    // caught, since a signal handler may only copy bytes out.
    virtual std::string crashed(const RunReport& run, std::size_t running) = 0;
};

// The lines for people: one per check and a summary, with the replay command
// after a failure.
std::unique_ptr<RunWriter> textWriter(std::FILE* out);

// Runs every check, handing each result to writer. Returns the number of
// failed checks. A file that is no module at all (not a library this
// system loads, or one that exports no module descriptor) is a ToolError:
// there is nothing to judge.
int run(const Options& options, RunWriter& writer);

// A seed for a run that was given none: the clock's, mixed with the
// system's random device where it has one.
uint64_t freshSeed();

// ---------------------------------------------------------------------------
// What the checks share.

// A random source whose sequence depends on the seed alone, not on the
// platform's library, so a seed replays the same under Wine.
class Random {
  public:
    Random(uint64_t seed, uint64_t stream);
    uint64_t next();
    int below(int n);               // 0 to n - 1
    int between(int low, int high); // low to high, both included
    bool oneIn(int n);              // true with probability 1/n
    double unit();                  // [0, 1)
    double between(double low, double high);

  private:
    uint64_t state_;
};

// What a check found; an empty fault is a pass.
struct Verdict {
    std::string fault;
    std::string detail; // what was run, printed with a pass too
};

// The module under test, loaded into the stand-in host, with its motion
// handler activated at version 2 and at version 1.
struct Bench {
    standin::Host& host;
    const standin::ModuleFile& module;
    standin::Handler handler;   // version 2
    standin::Handler handlerV1; // version 1: the same callbacks, six slots
    uint64_t seed = 0;
    int level = 3;
    // base iterations, more at higher levels
    int scaled(int base) const;
    // A fresh random source for one check.
    Random random(uint64_t stream) const { return Random(seed, stream); }
};

// The values of one key, compared bit for bit.
struct KeyValues {
    int32_t startFrame = 0, endFrame = 0, fallOff = 0;
    double widthX = 0.0, widthY = 0.0, widthZ = 0.0, freqTime = 0.0;
    bool operator==(const KeyValues& other) const; // NaNs equal, 0.0 and -0.0 not
    bool finite() const;
};
KeyValues valuesOf(const ShakeKey& key);

// Chains, read without trusting them: at most limit keys are followed.
constexpr std::size_t kChainLimit = 1u << 20;
// The keys reachable from firstKey, in order; stops at a key seen before.
std::vector<const ShakeKey*> keysOf(const ShakeInstance* instance);
std::vector<KeyValues> chainValues(const ShakeInstance* instance);
// "" when the chain is doubly linked, ends, and keyCount equals its length;
// otherwise what is wrong.
std::string chainFault(const ShakeInstance* instance);

// Destroys instances through the handler. Keys that an earlier instance of
// the list also holds (a faulty copy can leave two instances on one chain)
// are detached first, so that the validator itself never frees a key twice.
void destroyAll(const standin::Handler& handler, std::vector<ShakeInstance*>& instances);

// A saved block, with what was wrong with the way it was written.
struct Saved {
    std::vector<std::string> lines;
    std::string fault;
};
Saved save(const standin::Handler& handler, ShakeInstance* instance);
// Loads lines into instance; fault when the load reported an error or read on
// past the end of the data.
std::string load(const standin::Handler& handler, ShakeInstance* instance,
                 const std::vector<std::string>& lines);
// A fresh instance, or null with fault set.
ShakeInstance* create(const standin::Handler& handler, std::string& fault);

// Random key values for blocks. Tame values are written with six decimals
// (they survive a save unchanged) within ranges where a shake stays finite;
// wild ones reach the extremes, non-finite numbers included.
enum class Values { Tame, Wild };
KeyValues randomKey(Random& random, Values kind);
// The block as a host would hold it for these keys: fields in the order a
// save writes them, or shuffled when shuffle is set.
std::vector<std::string> blockFor(const std::vector<KeyValues>& keys, Random& random, Values kind,
                                  bool shuffle);
// A chain length: mostly short, sometimes none, sometimes past the key
// editor's 256 list lines.
int randomKeyCount(Random& random, int longChains);

// The text of a number as a scene line carries it.
std::string numberText(double value, Values kind, Random& random);

// "1 key", "2 keys".
std::string keysText(int64_t count);

// The checks, in the order they run.
Verdict checkModuleFile(const std::string& path, int level);
Verdict checkActivation(Bench& bench);
Verdict checkInstances(Bench& bench);
Verdict checkRoundTrip(Bench& bench);
Verdict checkMalformedBlocks(Bench& bench);
Verdict checkEvaluation(Bench& bench);
Verdict checkPanelSessions(Bench& bench);
Verdict checkExportsAndLocale(Bench& bench);

} // namespace vrim::validate
