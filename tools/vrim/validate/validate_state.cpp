// The life of instances and their state: create, copy, describe, destroy and
// load in random order over many live instances; saved blocks that load and
// save again to the same text; and malformed blocks that must load all the
// same.
#include "tools/vrim/validate/validate.h"

#include "plugin/vocabulary.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace vrim::validate {

namespace {

std::string describeText(int32_t keyCount) {
    char text[32];
    std::snprintf(text, sizeof text, "VRIM_S %d ", keyCount);
    return text;
}

// One live instance and the keys it must hold.
struct Live {
    ShakeInstance* instance = nullptr;
    std::vector<KeyValues> keys;
    int number = 0; // as the report names it
};

class InstancePool {
  public:
    InstancePool(Bench& bench, Random& random) : bench_(bench), random_(random) {}
    ~InstancePool() {
        std::vector<ShakeInstance*> instances;
        for (const Live& live : pool_) {
            instances.push_back(live.instance);
        }
        destroyAll(bench_.handler, instances);
    }

    // One random operation; returns what went wrong.
    std::string step(int maxLive) {
        const bool canCreate = static_cast<int>(pool_.size()) < maxLive;
        if (pool_.empty() || (canCreate && random_.oneIn(4))) {
            return createOne();
        }
        const int roll = random_.below(10);
        if (roll < 2) {
            return destroyOne();
        }
        if (roll < 5) {
            return copyOne();
        }
        if (roll < 7) {
            return describeOne();
        }
        return loadOne();
    }

    std::string checkAll() const {
        for (const Live& live : pool_) {
            if (std::string fault = holds(live); !fault.empty()) {
                return fault;
            }
        }
        return sharedKeyFault();
    }

  private:
    const standin::Handler& anyHandler() {
        return random_.oneIn(3) ? bench_.handlerV1 : bench_.handler;
    }
    Live& pick() {
        return pool_[static_cast<std::size_t>(random_.below(static_cast<int>(pool_.size())))];
    }
    static std::string name(const Live& live) { return "instance " + std::to_string(live.number); }

    // The instance's chain is sound and holds what it must.
    static std::string holds(const Live& live) {
        if (std::string fault = chainFault(live.instance); !fault.empty()) {
            return name(live) + ": " + fault;
        }
        if (!(chainValues(live.instance) == live.keys)) {
            return name(live) + " does not hold the keys it was given";
        }
        return "";
    }

    // No key is held by two instances: each would release it.
    std::string sharedKeyFault() const {
        std::unordered_map<const ShakeKey*, int> holder;
        for (const Live& live : pool_) {
            for (const ShakeKey* key : keysOf(live.instance)) {
                auto [at, added] = holder.emplace(key, live.number);
                if (!added) {
                    return "instances " + std::to_string(at->second) + " and " +
                           std::to_string(live.number) + " hold the same key record";
                }
            }
        }
        return "";
    }

    std::string createOne() {
        std::string fault;
        Live live;
        live.instance = create(anyHandler(), fault);
        live.number = ++created_;
        if (live.instance == nullptr) {
            return fault;
        }
        pool_.push_back(live);
        pool_.back().keys = chainValues(live.instance);
        if (!fault.empty()) {
            return "create: " + fault;
        }
        static const KeyValues defaultKey = {0, 30, 1, 0.0, 0.1, 0.0, 0.1};
        if (!(pool_.back().keys == std::vector<KeyValues>{defaultKey})) {
            return "create: the new instance does not hold the one default key";
        }
        return "";
    }

    // Copies are checked for shared keys as they happen, so the instance
    // destroyed here holds its keys alone.
    std::string destroyOne() {
        const auto at = static_cast<std::size_t>(random_.below(static_cast<int>(pool_.size())));
        std::vector<ShakeInstance*> gone = {pool_[at].instance};
        pool_.erase(pool_.begin() + static_cast<std::ptrdiff_t>(at));
        destroyAll(bench_.handler, gone);
        return "";
    }

    std::string copyOne() {
        Live& from = pick();
        Live& to = random_.oneIn(8) ? from : pick();
        const std::string what = "copy of " + name(from) + " onto " + name(to);
        const KeyListText list = from.instance->listText;
        HostError error = anyHandler().copy(from.instance, to.instance);
        if (error != nullptr) {
            return what + ": reported \"" + error + "\"";
        }
        to.keys = from.keys;
        if (std::string fault = holds(from); !fault.empty()) {
            return what + ": " + fault;
        }
        if (std::string fault = holds(to); !fault.empty()) {
            return what + ": " + fault;
        }
        if (std::memcmp(&to.instance->listText, &list, sizeof list) != 0) {
            return what + ": the list text was not copied";
        }
        if (std::string fault = sharedKeyFault(); !fault.empty()) {
            return what + ": " + fault;
        }
        return "";
    }

    std::string describeOne() {
        const Live& live = pick();
        const char* text = bench_.handler.record.describe(live.instance);
        const std::string want = describeText(static_cast<int32_t>(live.keys.size()));
        if (text == nullptr || want != text) {
            return "describe " + name(live) + ": \"" + (text != nullptr ? text : "(null)") +
                   "\", want \"" + want + "\"";
        }
        return "";
    }

    std::string loadOne() {
        Live& live = pick();
        std::vector<KeyValues> keys;
        for (int i = randomKeyCount(random_, 6); i > 0; --i) {
            keys.push_back(randomKey(random_, Values::Tame));
        }
        const std::string what =
            "load of " + keysText(static_cast<int64_t>(keys.size())) + " into " + name(live);
        if (std::string fault = load(anyHandler(), live.instance,
                                     blockFor(keys, random_, Values::Tame, random_.oneIn(4)));
            !fault.empty()) {
            return what + ": " + fault;
        }
        live.keys = keys;
        if (std::string fault = holds(live); !fault.empty()) {
            return what + ": " + fault;
        }
        return "";
    }

    Bench& bench_;
    Random& random_;
    std::vector<Live> pool_;
    int created_ = 0;
};

// Saves instance, loads the block into a fresh instance and saves that:
// the two blocks must be the same text.
std::string roundTripFault(Bench& bench, ShakeInstance* instance, Random& random) {
    const std::vector<KeyValues> before = chainValues(instance);
    const Saved first = save(bench.handler, instance);
    if (!first.fault.empty()) {
        return first.fault;
    }
    if (!(chainValues(instance) == before) || !chainFault(instance).empty()) {
        return "save changed the instance";
    }
    const std::size_t expected = 3 + 8 * static_cast<std::size_t>(std::max(instance->keyCount, 0));
    if (first.lines.size() != expected || first.lines.front() != kBlockStart ||
        first.lines.back() != kBlockEnd) {
        return "save wrote " + std::to_string(first.lines.size()) + " lines for " +
               keysText(instance->keyCount) + ", not a block of " + std::to_string(expected) +
               " from VRIM_START to VRIM_END";
    }
    std::string fault;
    const standin::Handler& handler = random.oneIn(3) ? bench.handlerV1 : bench.handler;
    std::vector<ShakeInstance*> made = {create(handler, fault)};
    if (fault.empty()) {
        fault = load(handler, made[0], first.lines);
    }
    if (fault.empty()) {
        if (std::string chain = chainFault(made[0]); !chain.empty()) {
            fault = "the saved block loaded: " + chain;
        }
    }
    if (fault.empty()) {
        const Saved second = save(handler, made[0]);
        if (!second.fault.empty()) {
            fault = second.fault;
        } else if (second.lines != first.lines) {
            std::size_t line = 0;
            while (line < std::min(first.lines.size(), second.lines.size()) &&
                   first.lines[line] == second.lines[line]) {
                ++line;
            }
            fault = "saved, loaded and saved again, the block differs from line " +
                    std::to_string(line + 1);
        }
    }
    destroyAll(bench.handler, made);
    return fault;
}

// Damage of kind 4 to 10 to one line: cut, a number no host writes, far
// too long, binary bytes, another keyword, a leading blank.
void mutateLine(std::string& line, int kind, Random& random) {
    static const char* const numbers[] = {"1e400",
                                          "-1e999",
                                          "4294967297",
                                          "-9223372036854775809",
                                          "99999999999999999999999999999",
                                          "0x1p10",
                                          "1,5",
                                          "--3",
                                          ".",
                                          "e5",
                                          "nan(123)",
                                          "-0",
                                          "1e-400",
                                          "+.5e+3",
                                          "2147483648"};
    static const char* const tokens[] = {"",          "K",          "KEY",     "KEY_S", "F",
                                         "FR",        "FREQ_",      "V",       "S",     "E",
                                         "key_start", "VRIM_START", "FREQ_W_Q"};
    const std::size_t blank = line.find(' ');
    const std::string keyword = line.substr(0, blank == std::string::npos ? line.size() : blank);
    switch (kind) {
    case 4:
        line.resize(static_cast<std::size_t>(random.below(static_cast<int>(line.size()) + 1)));
        break;
    case 5:
        line = keyword + " " + numbers[random.below(static_cast<int>(std::size(numbers)))];
        break;
    case 6: // a line far longer than the module's buffers
        line = keyword + " " +
               std::string(static_cast<std::size_t>(random.between(250, 600)), '7') + ".5";
        break;
    case 7:
        line = std::string(
            static_cast<std::size_t>(random.between(static_cast<int>(kLineChars), 400)), 'F');
        break;
    case 8: // binary bytes, a NUL among them now and then
        for (int i = random.between(1, 8); i > 0; --i) {
            const char byte = static_cast<char>(random.between(random.oneIn(10) ? 0 : 1, 255));
            line.insert(static_cast<std::size_t>(random.below(static_cast<int>(line.size()) + 1)),
                        1, byte);
        }
        break;
    case 9:
        line = std::string(tokens[random.below(static_cast<int>(std::size(tokens)))]) +
               (blank == std::string::npos ? "" : line.substr(blank));
        break;
    default:
        line = (random.oneIn(2) ? " " : "\t") + line;
        break;
    }
}

// Damage of the other kinds to the block's lines: one lost, doubled,
// swapped, the end cut off, a line added, the key count wrong, the start
// line changed.
void mutateLines(std::vector<std::string>& lines, int kind, Random& random) {
    const auto anyLine = [&] {
        return static_cast<std::size_t>(random.below(static_cast<int>(lines.size())));
    };
    switch (kind) {
    case 0:
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(anyLine()));
        break;
    case 1: {
        const std::string copy = lines[anyLine()];
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(anyLine()), copy);
        break;
    }
    case 2:
        std::swap(lines[anyLine()], lines[anyLine()]);
        break;
    case 3: // the block ends early: no VRIM_END
        lines.resize(anyLine() + 1);
        break;
    case 11:
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(anyLine()),
                     random.oneIn(2) ? std::string() : "KEY_START");
        break;
    case 12: // the count disagrees with the keys, or is missing
        for (std::string& each : lines) {
            if (each.rfind("KEY_NUM", 0) == 0) {
                each = random.oneIn(3) ? std::string("KEY_NUM")
                                       : "KEY_NUM " + std::to_string(random.between(-5, 400));
                break;
            }
        }
        break;
    default:
        lines.front() = random.oneIn(2) ? "KEY_START" : "VRIM_STARTED";
        break;
    }
}

// Ways a host's copy of a block can be damaged.
void mutate(std::vector<std::string>& lines, Random& random) {
    if (lines.empty()) {
        lines.push_back(random.oneIn(2) ? kBlockStart : "");
        return;
    }
    // The line is drawn before the kind of damage, whichever it is: a seed
    // replays the same damage.
    std::string& line =
        lines[static_cast<std::size_t>(random.below(static_cast<int>(lines.size())))];
    const int kind = random.below(14);
    if (kind >= 4 && kind <= 10) {
        mutateLine(line, kind, random);
    } else {
        mutateLines(lines, kind, random);
    }
}

} // namespace

Verdict checkInstances(Bench& bench) {
    Random random = bench.random(3);
    const int operations = bench.scaled(300);
    const int maxLive = 6 + 6 * bench.level;
    Verdict verdict;
    {
        InstancePool pool(bench, random);
        for (int i = 1; i <= operations && verdict.fault.empty(); ++i) {
            if (std::string fault = pool.step(maxLive); !fault.empty()) {
                verdict.fault = "operation " + std::to_string(i) + ", " + fault;
            }
        }
        if (verdict.fault.empty()) {
            verdict.fault = pool.checkAll();
        }
    }
    verdict.detail = std::to_string(operations) +
                     " creates, copies (some onto themselves), describes, loads and destroys over "
                     "up to " +
                     std::to_string(maxLive) + " live instances";
    return verdict;
}

Verdict checkRoundTrip(Bench& bench) {
    Random random = bench.random(4);
    const int chains = bench.scaled(40);
    Verdict verdict;
    for (int i = 1; i <= chains && verdict.fault.empty(); ++i) {
        const Values kind = random.oneIn(2) ? Values::Wild : Values::Tame;
        std::vector<KeyValues> keys;
        for (int n = randomKeyCount(random, 4); n > 0; --n) {
            keys.push_back(randomKey(random, kind));
        }
        std::string fault;
        std::vector<ShakeInstance*> made = {create(bench.handler, fault)};
        if (fault.empty()) {
            fault = load(bench.handler, made[0], blockFor(keys, random, kind, random.oneIn(3)));
        }
        if (fault.empty()) {
            fault = chainFault(made[0]);
        }
        if (fault.empty() && kind == Values::Tame && !(chainValues(made[0]) == keys)) {
            fault = "the keys loaded are not the block's keys";
        }
        if (fault.empty()) {
            fault = roundTripFault(bench, made[0], random);
        }
        destroyAll(bench.handler, made);
        if (!fault.empty()) {
            verdict.fault = "chain " + std::to_string(i) + " (" +
                            keysText(static_cast<int64_t>(keys.size())) +
                            (kind == Values::Wild ? ", extreme values): " : "): ") + fault;
        }
    }
    verdict.detail = std::to_string(chains) + " random chains of 0 to 300 keys";
    return verdict;
}

Verdict checkMalformedBlocks(Bench& bench) {
    Random random = bench.random(5);
    const int blocks = bench.scaled(60);
    Verdict verdict;
    for (int i = 1; i <= blocks && verdict.fault.empty(); ++i) {
        const Values kind = random.oneIn(3) ? Values::Wild : Values::Tame;
        std::vector<KeyValues> keys;
        for (int n = random.below(7); n > 0; --n) {
            keys.push_back(randomKey(random, kind));
        }
        std::vector<std::string> lines = blockFor(keys, random, kind, random.oneIn(3));
        for (int n = random.between(1, 4); n > 0; --n) {
            mutate(lines, random);
        }
        std::string fault;
        std::vector<ShakeInstance*> made = {create(bench.handler, fault)};
        if (fault.empty() && random.oneIn(2)) {
            // The block replaces keys the instance already holds.
            fault =
                load(bench.handler, made[0],
                     blockFor({randomKey(random, Values::Tame), randomKey(random, Values::Tame)},
                              random, Values::Tame, false));
        }
        if (fault.empty()) {
            fault = load(bench.handler, made[0], lines);
        }
        if (fault.empty()) {
            fault = chainFault(made[0]);
        }
        if (fault.empty()) {
            fault = roundTripFault(bench, made[0], random);
        }
        destroyAll(bench.handler, made);
        if (!fault.empty()) {
            verdict.fault = "damaged block " + std::to_string(i) + " (" +
                            std::to_string(lines.size()) + " lines): " + fault;
        }
    }
    verdict.detail = std::to_string(blocks) +
                     " damaged blocks: lines lost, doubled, swapped, cut, overlong, binary; "
                     "huge and malformed numbers; no end";
    return verdict;
}

} // namespace vrim::validate
