#include "tools/vrim/commands/options.h"

#include "text/numbers.h"
#include "tools/vrim/error.h"
#include "tools/vrim/scene/reader_choice.h"

#include <CLI/CLI.hpp>

#include <limits>
#include <optional>

namespace vrim {

namespace {

CLI::Validator positiveNumber(double high) {
    return CLI::Validator(
        [high](std::string& text) -> std::string {
            const text::Reading<double> read = text::readReal(text);
            if (!read || !(read.value > 0.0 && read.value <= high)) {
                return "must be a number above 0 and at most " + text::general(high) + ", not '" +
                       text + "'" + text::aside(read.refusal);
            }
            return "";
        },
        "");
}

} // namespace

std::optional<double> FpsOption::given() const {
    if (option != nullptr && option->count() > 0) {
        return value;
    }
    return std::nullopt;
}

CLI::Validator wholeNumber(uint64_t low, uint64_t high) {
    const std::string range = "from " + std::to_string(low) + " to " + std::to_string(high);
    return CLI::Validator(
        [low, high, range](std::string& text) -> std::string {
            const text::Reading<uint64_t> read = text::readUnsigned(text, low, high);
            if (!read) {
                return "must be a whole number " + range + ", not '" + text + "'" +
                       text::aside(read.refusal);
            }
            return "";
        },
        "");
}

CLI::Validator itemAddress() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            // An empty name would pick every block, or the first: a script
            // whose variable came out empty must not pass having read nothing.
            return text.empty() ? "must name an item (ls lists the addresses); an empty name is "
                                  "no item's"
                                : "";
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

void addScenesOptions(CLI::App& command, std::vector<std::string>& scenes, bool& recursive) {
    command.add_option("SCENE", scenes, "Scene files and folders of them ('-': standard input)")
        ->required()
        ->type_name("PATH");
    command.add_flag("-r,--recursive", recursive,
                     "Also the scene files in the folders below a folder");
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
            ->type_name("NAME")
            ->check(itemAddress());
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
    command.add_flag("--allow-errors", options.allowErrors,
                     "Evaluate a key block even when check finds errors in it");
}

void refuseErrorBlock(BlockChecker& checker, const std::string& sceneName,
                      const scene::Block& block, const scene::Header& header,
                      const MotionOptions& options) {
    if (options.allowErrors) {
        return;
    }
    std::optional<FrameRange> frames;
    if (!options.frames.empty()) {
        frames = parseFrameRange(options.frames, "--frames");
    }
    const BlockReport report =
        checker.check(block, sceneTiming(header, options.fps.given(), frames));
    for (const Finding& finding : report.findings) {
        if (finding.severity == Severity::Error) {
            throw ToolError(scene::blockPlace(sceneName, block) + ": check finds " +
                                std::to_string(report.errors) +
                                (report.errors == 1 ? " error" : " errors") + " in this block (" +
                                (finding.line != 0 ? "line " + std::to_string(finding.line) + ": "
                                                   : std::string()) +
                                finding.message + "); --allow-errors evaluates it anyway",
                            ErrorKind::Refused);
        }
    }
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
        const scene::PickedBlock picked = scene::pickBlock(
            reader,
            scene::BlockSelector::given(options.item, static_cast<std::size_t>(options.block)));
        BlockChecker checker(session);
        refuseErrorBlock(checker, reader.name(), picked.block, picked.header, options);
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

void requireScenes(const scene::SceneBatch& batch, const std::vector<std::string>& paths,
                   bool recursive) {
    if (!batch.files().empty()) {
        return;
    }
    // Only folders give no files: a publish gate must not pass having
    // checked nothing.
    std::string folders;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        folders += (i == 0 ? "'" : i + 1 == paths.size() ? " or '" : ", '") + paths[i] + "'";
    }
    throw ToolError("no scene file in " + folders + " (scene files end in .lws" +
                        (recursive ? "" : "; -r also reads the folders below") + ")",
                    ErrorKind::NoSuchFile);
}

void addBatchOptions(CLI::App& command, BatchOptions& options, bool timing) {
    addScenesOptions(command, options.scenes, options.recursive);
    auto* item = command.add_option("--item", options.item, "Only this item's shake, by name")
                     ->type_name("NAME")
                     ->check(itemAddress());
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

} // namespace vrim
