// vrim bake: the item's position frame by frame, as CSV or as channel text,
// for other programs to import; on top of one resting point or of the item's
// own track from another program.
#include "text/numbers.h"
#include "text/words.h"
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/machine.h"
#include "tools/vrim/commands/options.h"
#include "tools/vrim/commands/output.h"
#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/scene/motion.h"
#include "tools/vrim/scene/reader_choice.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>

namespace vrim {

namespace {

struct BakeOptions {
    MotionOptions motion;
    double step = 1.0;
    CLI::Option* stepOption = nullptr;
    std::string base;
    bool allowHoles = false;
    std::string format = "csv";
    bool allItems = false;
    int precision = 15; // significant digits of time and position
};

// One row of a base track: a frame and the item's own position there.
struct BaseRow {
    double frame = 0.0;
    std::array<double, 3> position = {0.0, 0.0, 0.0};
};

// A row's fields, the blanks around each and a CR at the end of the line
// aside.
std::vector<std::string_view> fields(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    std::vector<std::string_view> parts = text::splitFields(line, ',');
    for (std::string_view& part : parts) {
        part = text::trimBlanks(part);
    }
    return parts;
}

bool number(std::string_view field, double& value) {
    const text::Reading<double> read = text::readReal(field);
    value = read.value;
    return bool(read);
}

// The longest line a frame,x,y,z row can be.
constexpr std::size_t kMaxRowBytes = 4096;

// Hands each line of the file at path to take, with its number from 1:
// without its LF (a CR before it stays), a last line without one too. A line
// longer than limit is handed on cut to limit + 1 bytes, so that memory stays
// bounded whatever the file holds and take still sees it is too long.
// Throws vrim::ToolError when the file cannot be opened or read.
void forEachLine(const std::string& path, std::size_t limit,
                 const std::function<void(const std::string&, std::size_t)>& take) {
    std::string error;
    // Closed however the reading ends: take throws at a row it refuses.
    files::ReadingFile file(files::systemFileSystem(), path, error);
    if (!file.isOpen()) {
        throw ToolError("cannot open --base file '" + path + "'");
    }
    std::vector<char> buffer(64 * 1024);
    std::string line;
    std::size_t number = 0;
    for (;;) {
        const int64_t got = file.readFull(buffer.data(), buffer.size(), error);
        if (got < 0) {
            throw ToolError("cannot read --base file '" + path + "'");
        }
        if (got == 0) {
            break;
        }
        for (const char c : std::string_view(buffer.data(), static_cast<std::size_t>(got))) {
            if (c == '\n') {
                take(line, ++number);
                line.clear();
            } else if (line.size() <= limit) {
                line.push_back(c);
            }
        }
    }
    if (!line.empty()) {
        take(line, ++number);
    }
}

// One line of a base track, added to rows when it is a row.
void addBaseRow(const std::string& path, const std::string& line, std::size_t number_,
                std::vector<BaseRow>& rows) {
    if (line.size() > kMaxRowBytes) {
        throw ToolError("'" + path + "':" + std::to_string(number_) +
                        ": the line is longer than a frame,x,y,z row can be");
    }
    const std::vector<std::string_view> parts = fields(line);
    if (parts.size() == 1 && parts[0].empty()) {
        return;
    }
    BaseRow row;
    const bool good = parts.size() == 4 && number(parts[0], row.frame) &&
                      number(parts[1], row.position[0]) && number(parts[2], row.position[1]) &&
                      number(parts[3], row.position[2]);
    if (!good) {
        if (rows.empty() && number_ == 1) {
            return; // a heading such as frame,x,y,z
        }
        throw ToolError("'" + path + "':" + std::to_string(number_) +
                        ": not a row frame,x,y,z of four numbers");
    }
    if (!rows.empty() && row.frame <= rows.back().frame) {
        throw ToolError("'" + path + "':" + std::to_string(number_) + ": frame " +
                        std::string(parts[0]) + " does not come after frame " +
                        std::to_string(rows.back().frame));
    }
    if (rows.size() >= kMaxSamples) {
        throw ToolError("'" + path + "' holds more than " + std::to_string(kMaxSamples) + " rows");
    }
    rows.push_back(row);
}

// frame,x,y,z rows, a heading row allowed first, frames rising.
std::vector<BaseRow> readBase(const std::string& path) {
    std::vector<BaseRow> rows;
    forEachLine(path, kMaxRowBytes, [&](const std::string& line, std::size_t number_) {
        addBaseRow(path, line, number_, rows);
    });
    if (rows.empty()) {
        throw ToolError("--base file '" + path + "' holds no row frame,x,y,z");
    }
    return rows;
}

// The module's shake on top of the item's own track: one sample per row of
// the track inside the frames.
// The whole frames of the range that have no row in the track: the first
// few named, the rest counted. Empty when every frame has one.
std::string missingFrames(const FrameRange& frames, const std::vector<BaseRow>& base) {
    constexpr std::size_t kNamed = 5;
    std::vector<int64_t> named;
    uint64_t missing = 0;
    // The rows' frames rise, so the gaps between whole frames are the holes.
    int64_t expected = frames.first;
    const auto gap = [&](int64_t from, int64_t to) {
        for (int64_t frame = from; frame <= to && named.size() < kNamed; ++frame) {
            named.push_back(frame);
        }
        missing += to >= from ? static_cast<uint64_t>(to - from + 1) : 0;
    };
    for (const BaseRow& row : base) {
        if (row.frame != std::floor(row.frame) || row.frame < frames.first ||
            row.frame > frames.last) {
            continue;
        }
        const auto frame = static_cast<int64_t>(row.frame);
        gap(expected, frame - 1);
        expected = frame + 1;
    }
    gap(expected, frames.last);
    if (missing == 0) {
        return {};
    }
    std::string text = missing == 1 ? "frame " : "frames ";
    for (std::size_t i = 0; i < named.size(); ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(named[i]);
    }
    if (missing > named.size()) {
        text += " and " + std::to_string(missing - named.size()) + " more";
    }
    return text;
}

std::vector<Sample> sampleOnBase(Session& session, const MotionSetup& setup,
                                 const std::vector<BaseRow>& base, bool framesGiven,
                                 const BakeOptions& options) {
    if (const std::string missing = missingFrames(setup.frames, base); !missing.empty()) {
        const std::string range =
            std::to_string(setup.frames.first) + "-" + std::to_string(setup.frames.last);
        if (!options.allowHoles) {
            throw ToolError("--base '" + options.base + "' has no row for " + missing + " of " +
                            range + "; give --allow-holes to bake only the rows it has");
        }
        std::fprintf(stderr,
                     "vrim: --base '%s' has no row for %s of %s: those frames are not baked "
                     "(--allow-holes)\n",
                     terminalText(options.base).c_str(), missing.c_str(), range.c_str());
    }
    std::vector<Sample> samples;
    for (const BaseRow& row : base) {
        if (framesGiven && (row.frame < setup.frames.first || row.frame > setup.frames.last)) {
            continue;
        }
        if (row.frame < INT32_MIN || row.frame >= INT32_MAX) {
            throw ToolError("--base frame " + std::to_string(row.frame) +
                            " is outside the 32-bit range of frames");
        }
        Sample sample;
        sample.frame = row.frame;
        sample.hostFrame = static_cast<int32_t>(std::floor(row.frame));
        sample.time = row.frame / setup.fps;
        const Session::Motion motion =
            session.evaluate(setup.instance, sample.hostFrame, sample.time, row.position.data());
        sample.moved = motion.moved;
        for (std::size_t axis = 0; axis < 3; ++axis) {
            sample.position[axis] = motion.position[axis];
            sample.offset[axis] = motion.position[axis] - row.position[axis];
        }
        samples.push_back(sample);
    }
    return samples;
}

// The scene's FrameStep when the user gave no --step: the scene renders
// every so many frames.
double bakeStep(const BakeOptions& options, const scene::Header& header) {
    if (options.stepOption->count() == 0 && header.frameStep && header.frameStep->isNumber &&
        header.frameStep->number >= 1.0 && header.frameStep->number <= kMaxSamples) {
        return header.frameStep->number;
    }
    return options.step;
}

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

// Every item with a shake, one after another in file order, each at its own
// frames; the scene is read once and one item's samples are held at a time.
void bakeAllItems(Session& session, const BakeOptions& options, Output& out) {
    scene::Reader reader = scene::Reader::open(options.motion.scene);
    ShakeInstance* instance = session.newInstance();
    BlockChecker checker(session);
    std::size_t blocks = 0;
    for (scene::Event event = reader.next(); event != scene::Event::End; event = reader.next()) {
        if (event != scene::Event::Block) {
            continue;
        }
        // The heading only once there is a row to head: a scene without a
        // shake writes nothing to the output.
        if (blocks++ == 0) {
            out.print("item,frame,time,x,y,z\n");
        }
        refuseErrorBlock(checker, reader.name(), reader.block(), reader.header(), options.motion);
        const MotionSetup setup = blockMotion(session, instance, reader.name(), reader.block(),
                                              reader.header(), options.motion);
        // Byte for byte into a file or a pipe; a terminal sees no control
        // character raw.
        const std::string item = csvField(out.terminal() ? terminalText(setup.item) : setup.item);
        for (const Sample& sample : sampleMotion(session, setup, bakeStep(options, setup.header))) {
            const int p = options.precision;
            out.put(item); // whole, whatever bytes it holds
            out.print(",%.10g,%.*g,%.*g,%.*g,%.*g\n", sample.frame, p, sample.time, p,
                      sample.position[0], p, sample.position[1], p, sample.position[2]);
        }
    }
    if (reader.stopped()) {
        throw ToolError(scene::stoppedMessage(reader));
    }
    if (blocks == 0) {
        throw ToolError("'" + reader.name() + "' holds no shake: no VRIM_S key block");
    }
}

int runBake(const BakeOptions& options) {
    if (options.format != "csv" && options.format != "chan") {
        throw ToolError("--format must be csv or chan, not '" + options.format + "'");
    }
    if (!options.base.empty() && options.stepOption->count() > 0) {
        throw ToolError("--step and --base do not go together: the base track's rows are the "
                        "frames baked");
    }
    if (options.allItems) {
        if (!options.base.empty() || options.format != "csv") {
            throw ToolError("--all-items writes CSV with an item column; --base and --format chan "
                            "are for one item's track (give --item)");
        }
        // The user's numbers are looked at before the scene is read.
        parseVector(options.motion.at, "--at");
        if (!options.motion.frames.empty()) {
            parseFrameRange(options.motion.frames, "--frames");
        }
        Session session(options.motion.module.empty() ? defaultModulePath()
                                                      : options.motion.module);
        Output output(options.motion.output, motionInputs(options.motion));
        bakeAllItems(session, options, output);
        output.finish();
        return kExitClean;
    }
    Session session(options.motion.module.empty() ? defaultModulePath() : options.motion.module);
    const MotionSetup setup = prepareMotion(session, options.motion);
    const double step = bakeStep(options, setup.header);
    const std::vector<Sample> samples = options.base.empty()
                                            ? sampleMotion(session, setup, step)
                                            : sampleOnBase(session, setup, readBase(options.base),
                                                           !options.motion.frames.empty(), options);
    std::vector<std::string> inputs = motionInputs(options.motion);
    inputs.push_back(options.base);
    Output output(options.motion.output, inputs);
    Output& out = output;
    // Fifteen significant digits by default: every double prints the same
    // on every platform and reads back within one part in 1e15; seventeen
    // read back as the very double.
    const int p = options.precision;
    if (options.format == "csv") {
        out.print("frame,time,x,y,z\n");
        for (const Sample& sample : samples) {
            out.print("%.10g,%.*g,%.*g,%.*g,%.*g\n", sample.frame, p, sample.time, p,
                      sample.position[0], p, sample.position[1], p, sample.position[2]);
        }
    } else {
        for (const Sample& sample : samples) {
            out.print("%.10g %.*g %.*g %.*g\n", sample.frame, p, sample.position[0], p,
                      sample.position[1], p, sample.position[2]);
        }
    }
    output.finish();
    return kExitClean;
}

} // namespace

Command addBakeCommand(CLI::App& tool) {
    auto options = std::make_shared<BakeOptions>();
    CLI::App* command = tool.add_subcommand(
        "bake", "Write the item's position frame by frame: CSV (frame,time,x,y,z) or channel "
                "text (--format chan: frame x y z)");
    command->footer("A step below 1 samples between frames: the host passes the whole frame at\n"
                    "or before the time, which picks the key, and the time itself.\n"
                    "--base takes the item's own position per frame from a CSV file of rows\n"
                    "frame,x,y,z (a heading row allowed) and adds the shake to it.\n"
                    "Examples:\n"
                    "  vrim bake samples/two-items.lws --item Lamp_Swing --step 0.5 -o lamp.csv\n"
                    "  vrim bake shot.lws --item ShotCam --base camera-track.csv --format chan\n"
                    "  vrim bake shot.lws --all-items -o shot-shakes.csv");
    addMotionOptions(*command, options->motion, true);
    options->stepOption =
        command
            ->add_option("--step", options->step, "Frames between samples; below 1 for sub-frames")
            ->default_str("the scene's FrameStep, else 1")
            ->type_name("S")
            ->check(CLI::Validator(
                [](std::string& text) -> std::string {
                    const text::Reading<double> step = text::readReal(text);
                    return step && step.value > 0.0 ? ""
                                                    : "must be a number above 0, not '" + text +
                                                          "'" + text::aside(step.refusal);
                },
                ""));
    command->add_option("--base", options->base, "The item's own track: a CSV file frame,x,y,z")
        ->type_name("FILE");
    command->add_flag("--allow-holes", options->allowHoles,
                      "With --base, bake a track that lacks frames of the range: the missing "
                      "frames are named and left out");
    command
        ->add_option("--precision", options->precision,
                     "Significant digits of time and position; 17 reads back as the same double")
        ->default_val(15)
        ->type_name("N")
        ->check(CLI::Range(1, 17));
    command->add_option("--format", options->format, "csv, or chan (frame x y z, blank-separated)")
        ->default_val("csv")
        ->type_name("FORMAT");
    command
        ->add_flag("--all-items", options->allItems,
                   "Every item with a shake, each at its own frames, as CSV "
                   "item,frame,time,x,y,z")
        ->excludes("--item")
        ->excludes("--block");
    addWriteOptions(*command);
    return {command, [options] { return runBake(*options); }};
}

} // namespace vrim
