// vrim preview: the item's offsets frame by frame as a table, and on request
// as a plot.
#include "text/numbers.h"
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/machine.h"
#include "tools/vrim/commands/options.h"
#include "tools/vrim/commands/output.h"
#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/plot/plot.h"
#include "tools/vrim/scene/motion.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace vrim {

namespace {

struct PreviewOptions {
    MotionOptions motion;
    std::string svg;
};

// Right-aligned columns, each as wide as its widest cell.
void printTable(Output& out, const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    for (const auto& row : rows) {
        std::string text;
        for (std::size_t i = 0; i < row.size(); ++i) {
            text += (i == 0 ? "" : "  ") + std::string(widths[i] - row[i].size(), ' ') + row[i];
        }
        out.print("%s\n", text.c_str());
    }
}

std::string restText(const std::array<double, 3>& rest) {
    char text[128];
    std::snprintf(text, sizeof text, "%g, %g, %g", rest[0], rest[1], rest[2]);
    return text;
}

// The table and the plot in one file would each replace the other (and the
// second would find the first one's lock): refused before anything is read.
void refuseOneFileForBoth(const PreviewOptions& options) {
    const std::string& table = options.motion.output;
    const std::string& plot = options.svg;
    if (plot.empty()) {
        return;
    }
    if (plot == "-") {
        if (table.empty() || table == "-") {
            throw ToolError("--svg - and the table (-o, standard output unless given) would both "
                            "go to standard output; give --svg a file, or -o one");
        }
        return;
    }
    if (table.empty() || table == "-") {
        return;
    }
    files::FileSystem& fs = files::systemFileSystem();
    std::string a, b, ignored;
    files::FileInfo tableFile, plotFile;
    if (table == plot ||
        (fs.resolve(table, a, ignored) && fs.resolve(plot, b, ignored) && !a.empty() && a == b) ||
        (fs.stat(table, tableFile, ignored) && fs.stat(plot, plotFile, ignored) &&
         tableFile.sameFile(plotFile))) {
        throw ToolError("-o '" + terminalText(table) + "' and --svg '" + terminalText(plot) +
                        "' are the same file; give the table and the plot a file each");
    }
}

int runPreview(const PreviewOptions& options) {
    refuseOneFileForBoth(options);
    Session session(options.motion.module.empty() ? defaultModulePath() : options.motion.module);
    const MotionSetup setup = prepareMotion(session, options.motion);
    const std::vector<Sample> samples = sampleMotion(session, setup);

    char range[160];
    std::snprintf(range, sizeof range, "frames %d to %d at %g fps", setup.frames.first,
                  setup.frames.last, setup.fps);
    Output output(options.motion.output, motionInputs(options.motion));
    Output& out = output;
    out.print("Shake of %s, %s\n", terminalText(setup.source).c_str(), range);
    out.print("Offsets from the item's position (%s); key: the key that acts, - none\n\n",
              restText(setup.rest).c_str());
    std::vector<std::vector<std::string>> rows = {{"frame", "time", "key", "X", "Y", "Z"}};
    for (const Sample& sample : samples) {
        std::string key = "-";
        if (sample.moved) {
            // The module moved the item; the analysis names the key that did.
            key = sample.key >= 0 ? std::to_string(sample.key + 1) : "?";
        }
        rows.push_back({std::to_string(sample.hostFrame), text::fixed(sample.time, 4), key,
                        text::fixed(sample.offset[0], 9), text::fixed(sample.offset[1], 9),
                        text::fixed(sample.offset[2], 9)});
    }
    printTable(out, rows);

    if (!options.svg.empty()) {
        Plot plot;
        plot.title = "VRIM_S shake: " + terminalText(setup.source);
        plot.subtitle = std::string(range) + ", offsets from the item's position (" +
                        restText(setup.rest) + "); shaded: the frames each key moves the item";
        plot.fps = setup.fps;
        plot.frames = setup.frames;
        plot.samples = samples;
        plot.keys = plotKeys(*setup.instance, setup.fps, setup.frames);
        Output svg(options.svg, motionInputs(options.motion));
        const std::string text = plotSvg(plot);
        svg.put(text);
        svg.finish();
    }
    output.finish();
    return kExitClean;
}

} // namespace

Command addPreviewCommand(CLI::App& tool) {
    auto options = std::make_shared<PreviewOptions>();
    CLI::App* command = tool.add_subcommand(
        "preview", "Print the item's offsets frame by frame (without SCENE: the default key of "
                   "a new instance); --svg also plots them");
    command->footer("Examples:\n"
                    "  vrim preview --svg shake.svg\n"
                    "  vrim preview samples/two-items.lws --block 2 --frames 0:100");
    addMotionOptions(*command, options->motion, false);
    command->add_option("--svg", options->svg, "Also plot the offsets into this SVG file")
        ->type_name("FILE");
    addWriteOptions(*command);
    return {command, [options] { return runPreview(*options); }};
}

} // namespace vrim
