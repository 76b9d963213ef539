#include "tools/vrim/scene/inputs.h"

#include "tools/vrim/scene/reader_choice.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace vrim {

namespace {

// Frames shown past the end of the last key, so the plot shows it stop.
constexpr int64_t kFramesAfterKeys = 5;
// With no key at all there is nothing to fit the range to.
constexpr FrameRange kFramesWithoutKeys = {0, 30};

// The whole text as one number, an optional sign first (from_chars takes
// no plus sign); nothing before or after it.
template <typename Number> bool parseWhole(const std::string& text, Number& value) {
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (end - begin > 1 && *begin == '+' && begin[1] != '-') {
        ++begin;
    }
    auto [stop, error] = std::from_chars(begin, end, value);
    return begin != end && error == std::errc() && stop == end;
}

bool parseFrame(const std::string& text, int32_t& frame) {
    return parseWhole(text, frame);
}

bool parseNumber(const std::string& text, double& value) {
    return parseWhole(text, value) && std::isfinite(value);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        std::size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at - from));
        if (at == std::string::npos) {
            return parts;
        }
        from = at + 1;
    }
}

int32_t clampToFrame(int64_t frame) {
    return static_cast<int32_t>(std::clamp<int64_t>(frame, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

FrameRange parseFrameRange(const std::string& text, const char* option) {
    const std::vector<std::string> parts = split(text, ':');
    FrameRange range;
    if (parts.size() != 2 || !parseFrame(parts[0], range.first) ||
        !parseFrame(parts[1], range.last)) {
        throw ToolError(std::string(option) + " '" + text +
                        "' is not a frame range FIRST:LAST of whole frames");
    }
    if (range.first > range.last) {
        throw ToolError(std::string(option) + " '" + text + "' ends before it starts");
    }
    return range;
}

std::array<double, 3> parseVector(const std::string& text, const char* option) {
    const std::vector<std::string> parts = split(text, ',');
    std::array<double, 3> vector = {0.0, 0.0, 0.0};
    bool good = parts.size() == 3;
    for (std::size_t axis = 0; good && axis < 3; ++axis) {
        good = parseNumber(parts[axis], vector[axis]);
    }
    if (!good) {
        throw ToolError(std::string(option) + " '" + text +
                        "' is not a vector X,Y,Z of three finite numbers");
    }
    return vector;
}

void checkFps(double fps) {
    if (!(fps > 0.0 && fps <= kMaxFps)) {
        throw ToolError("--fps must be above 0 and at most " + std::to_string(int(kMaxFps)));
    }
}

std::optional<double> FpsOption::given() const {
    if (option != nullptr && option->count() > 0) {
        return value;
    }
    return std::nullopt;
}

CLI::Validator wholeNumber(long long low, long long high) {
    const std::string range = high == std::numeric_limits<long long>::max()
                                  ? "from " + std::to_string(low)
                                  : "from " + std::to_string(low) + " to " + std::to_string(high);
    return CLI::Validator(
        [low, high, range](std::string& text) -> std::string {
            long long value = 0;
            if (!parseWhole(text, value) || value < low || value > high) {
                return "must be a whole number " + range + ", not '" + text + "'";
            }
            return "";
        },
        "");
}

CLI::Validator positiveNumber(double high) {
    return CLI::Validator(
        [high](std::string& text) -> std::string {
            double value = 0.0;
            if (!parseNumber(text, value) || !(value > 0.0 && value <= high)) {
                char limit[32];
                std::snprintf(limit, sizeof limit, "%g", high);
                return std::string("must be a number above 0 and at most ") + limit + ", not '" +
                       text + "'";
            }
            return "";
        },
        "");
}

void addFpsOption(CLI::App& command, FpsOption& fps) {
    fps.option = command.add_option("--fps", fps.value, "The scene's frames per second")
                     ->default_str("the scene's, else 30")
                     ->type_name("F")
                     ->check(positiveNumber(kMaxFps));
}

void addBlockOption(CLI::App& command, int& block, const char* help) {
    command.add_option("--block", block, help)
        ->type_name("N")
        ->check(wholeNumber(1, std::numeric_limits<int32_t>::max()));
}

void addModuleOption(CLI::App& command, std::string& module) {
    command.add_option("--module", module, "The module file to drive")
        ->default_str("VRIM_MODULE, else vrim_s.p beside vrim or in ../lib/vrim/")
        ->type_name("PATH");
}

void addOutputOption(CLI::App& command, std::string& output) {
    command.add_option("-o,--output", output, "Write the output to this file instead")
        ->type_name("FILE");
}

void addMotionOptions(CLI::App& command, MotionOptions& options, bool sceneRequired) {
    auto* scene = command.add_option("SCENE", options.scene,
                                     sceneRequired ? "Scene file holding the keys ('-': standard "
                                                     "input)"
                                                   : "Scene file holding the keys ('-': standard "
                                                     "input; default: the default key of a new "
                                                     "instance)");
    scene->type_name("FILE");
    if (sceneRequired) {
        scene->required();
    }
    auto* item =
        command.add_option("--item", options.item, "The item whose shake to take, by name")
            ->type_name("NAME");
    addBlockOption(command, options.block, "Which key block of the scene, from 1 (default 1)");
    item->excludes(command.get_option("--block"));
    command.add_option("--frames", options.frames, "Frames to evaluate, both ends included")
        ->default_str("the scene's, else from the keys")
        ->type_name("FIRST:LAST");
    addFpsOption(command, options.fps);
    command.add_option("--at", options.at, "The item's position without the shake")
        ->default_val("0,0,0")
        ->type_name("X,Y,Z");
    addOutputOption(command, options.output);
    addModuleOption(command, options.module);
}

namespace {

// The rate and frames of a setup whose instance holds its keys.
void timeMotion(MotionSetup& setup, const MotionOptions& options) {
    setup.rest = parseVector(options.at, "--at");
    std::optional<FrameRange> frames;
    if (!options.frames.empty()) {
        frames = parseFrameRange(options.frames, "--frames");
    }
    const std::optional<double> fps = options.fps.given();
    setup.fps = fps ? *fps : scene::headerFps(setup.header).value_or(kKeyFrameRate);
    checkFps(setup.fps);
    if (!frames) {
        if (const auto range = scene::headerFrames(setup.header)) {
            frames = FrameRange{range->first, range->last};
        }
    }
    setup.frames = frames ? *frames : framesOfKeys(*setup.instance, setup.fps);
}

} // namespace

MotionSetup prepareMotion(Session& session, const MotionOptions& options) {
    // The user's numbers are looked at before the scene is read.
    parseVector(options.at, "--at");
    if (!options.frames.empty()) {
        parseFrameRange(options.frames, "--frames");
    }
    MotionSetup setup;
    setup.instance = session.newInstance();
    if (options.scene.empty()) {
        setup.source = "the default key of a new instance";
    } else {
        scene::Reader reader = scene::Reader::open(options.scene);
        const scene::PickedBlock picked =
            scene::pickBlock(reader, {options.item, options.item.empty() ? options.block : 1});
        session.load(setup.instance, picked.block.lines);
        setup.source = scene::blockPlace(reader.name(), picked.block);
        setup.item = picked.block.address;
        setup.header = picked.header;
    }
    timeMotion(setup, options);
    return setup;
}

MotionSetup blockMotion(Session& session, ShakeInstance* instance, const std::string& sceneName,
                        const scene::Block& block, const scene::Header& header,
                        const MotionOptions& options) {
    MotionSetup setup;
    setup.instance = instance;
    session.load(instance, block.lines);
    setup.source = scene::blockPlace(sceneName, block);
    setup.item = scene::blockName(block);
    setup.header = header;
    timeMotion(setup, options);
    return setup;
}

void addBatchOptions(CLI::App& command, BatchOptions& options, bool timing) {
    command
        .add_option("SCENE", options.scenes,
                    "Scene files and folders of them ('-': standard input)")
        ->required()
        ->type_name("PATH");
    command.add_flag("-r,--recursive", options.recursive,
                     "Also the scene files in the folders below a folder");
    auto* item = command.add_option("--item", options.item, "Only this item's shake, by name")
                     ->type_name("NAME");
    addBlockOption(command, options.block, "Only this key block of each scene, from 1");
    item->excludes(command.get_option("--block"));
    if (timing) {
        command
            .add_option("--frames", options.frames,
                        "The scene's frame range, to report keys that act outside it")
            ->default_str("the scene's")
            ->type_name("FIRST:LAST");
        addFpsOption(command, options.fps);
    }
    command.add_flag("--json", options.json, "The same report as JSON, for machines");
    addOutputOption(command, options.output);
    addModuleOption(command, options.module);
}

SceneOutcome visitScene(scene::Reader& reader, const BatchOptions& options,
                        const SceneVisit& visit) {
    SceneOutcome outcome;
    std::size_t blocks = 0;
    scene::ShakenItems shaken;
    for (scene::Event event = reader.next(); event != scene::Event::End; event = reader.next()) {
        if (event != scene::Event::Block) {
            continue;
        }
        const scene::Block& block = reader.block();
        ++blocks;
        shaken.add(block);
        const bool picked = !options.item.empty() ? block.address == options.item
                            : options.block != 0
                                ? block.number == static_cast<std::size_t>(options.block)
                                : true;
        if (picked) {
            ++outcome.blocks;
            visit.block(block, reader.header());
        }
    }
    outcome.noShake = blocks == 0 && !reader.stopped();
    if (reader.stopped()) {
        const scene::Problem& problem = reader.problems().back();
        outcome.error = reader.name() +
                        (problem.line != 0 ? ":" + std::to_string(problem.line) : std::string()) +
                        ": " + problem.message;
    } else if (!outcome.noShake && outcome.blocks == 0) {
        outcome.missing = true;
        outcome.error = !options.item.empty()
                            ? "--item '" + options.item + "': '" + reader.name() +
                                  "' has no item of that name with a shake; items with a shake: " +
                                  shaken.list()
                            : "--block " + std::to_string(options.block) + " is out of range: '" +
                                  reader.name() + "' holds " + std::to_string(blocks) +
                                  " key block" + (blocks == 1 ? "" : "s");
    }
    return outcome;
}

FrameRange framesOfKeys(const ShakeInstance& instance, double fps) {
    const std::vector<const ShakeKey*> keys = keysOf(instance);
    if (keys.empty()) {
        return kFramesWithoutKeys;
    }
    int64_t first = std::numeric_limits<int64_t>::max();
    int64_t last = std::numeric_limits<int64_t>::min();
    for (const ShakeKey* key : keys) {
        first = std::min<int64_t>({first, key->startFrame, key->endFrame});
        last = std::max<int64_t>({last, key->startFrame, key->endFrame});
        const FrameSpan acts = spanFrames(*key, fps);
        if (!acts.empty()) {
            first = std::min(first, acts.first);
            last = std::max(last, acts.last);
        }
    }
    return {clampToFrame(first), clampToFrame(last + kFramesAfterKeys)};
}

} // namespace vrim
