// vrim check: loads every key block of every scene file through the module
// and reports what would surprise an animator: blocks the module reads
// differently from how they look, and keys that never or only partly act.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/module/analysis.h"
#include "tools/vrim/scene/blocklines.h"
#include "tools/vrim/scene/inputs.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

namespace vrim {

namespace {

struct CheckOptions {
    std::vector<std::string> scenes;
    std::string module;
    std::string frames; // the scene's frame range, when given
    double fps = kKeyFrameRate;
    bool json = false;
};

enum class Severity { Note, Warning, Error };

const char* severityName(Severity severity) {
    switch (severity) {
    case Severity::Note:
        return "note";
    case Severity::Warning:
        return "warning";
    case Severity::Error:
        return "error";
    }
    return "";
}

struct Finding {
    Severity severity = Severity::Warning;
    const char* kind = "";
    std::size_t line = 0; // 1-based line of the scene file; 0: none
    int key = 0;          // 1-based key number; 0: not about one key
    std::string message;
    std::vector<HiddenRun> hidden; // for "hidden-key"
};

struct BlockReport {
    int number = 0;
    std::size_t firstLine = 0, lastLine = 0;
    bool ended = false;
    std::size_t keys = 0;
    std::optional<int32_t> keyNum;
    std::vector<Finding> findings;
};

struct FileReport {
    std::string path;
    std::string error; // the file could not be checked
    std::vector<BlockReport> blocks;
};

struct Report {
    std::vector<Finding> notes; // about the whole run
    std::vector<FileReport> files;
    int errors = 0, warnings = 0;
    std::size_t blocks = 0, keys = 0;
};

std::string frames(int64_t first, int64_t last) {
    return first == last ? "frame " + std::to_string(first)
                         : "frames " + std::to_string(first) + "-" + std::to_string(last);
}

std::string quoted(const std::string& line) {
    // Scene lines are 8-bit text; keep the report plain ASCII.
    std::string text = "\"";
    for (unsigned char c : line) {
        text += (c < 0x20 || c > 0x7e) ? '?' : static_cast<char>(c);
    }
    return text + "\"";
}

std::string shortNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

void add(BlockReport& report, Severity severity, const char* kind, std::size_t line, int key,
         std::string message) {
    report.findings.push_back({severity, kind, line, key, std::move(message), {}});
}

void checkLines(const standin::KeyBlock& block, const BlockReading& reading, BlockReport& report) {
    if (reading.linesRead < block.lines.size()) {
        const std::size_t stop = reading.linesRead - 1;
        add(report, Severity::Error, "block-ends-early", block.firstLine + stop, 0,
            "the module stops reading the block at the line " + quoted(block.lines[stop]) +
                ", before its VRIM_END: the host would read the " +
                std::to_string(block.lines.size() - reading.linesRead) +
                " lines after it as its own");
    } else if (!block.ended) {
        add(report, Severity::Error, "block-never-ends", block.firstLine, 0,
            "the block never ends: no VRIM_END line follows, so the module reads the rest of "
            "the file as keys");
    }
    bool keyStarted = false;
    for (std::size_t i = 1; i < reading.effects.size(); ++i) {
        const std::size_t line = block.firstLine + i;
        switch (reading.effects[i]) {
        case LineEffect::AddsKey:
            keyStarted = true;
            break;
        case LineEffect::SetsKeyField:
            if (!keyStarted) {
                add(report, Severity::Warning, "value-before-key", line, 0,
                    "the line " + quoted(block.lines[i]) +
                        " comes before the first KEY_START and is skipped");
            }
            break;
        case LineEffect::None:
            if (std::find(reading.keyNumLines.begin(), reading.keyNumLines.end(), i) ==
                reading.keyNumLines.end()) {
                add(report, Severity::Warning, "unknown-line", line, 0,
                    "the line " + quoted(block.lines[i]) + " matches no keyword and is skipped");
            }
            break;
        case LineEffect::EndsBlock:
            break;
        }
    }
}

void checkKeyCount(const standin::KeyBlock& block, const BlockReading& reading,
                   BlockReport& report) {
    const std::string found = std::to_string(report.keys) + (report.keys == 1 ? " key" : " keys");
    if (reading.keyNumLines.empty()) {
        add(report, Severity::Warning, "key-count", block.firstLine, 0,
            "the block has no KEY_NUM line; it holds " + found);
    } else if (static_cast<int64_t>(reading.keyNum) != static_cast<int64_t>(report.keys)) {
        add(report, Severity::Warning, "key-count", block.firstLine + reading.keyNumLines.back(), 0,
            "KEY_NUM says " + std::to_string(reading.keyNum) + " but the block holds " + found);
    }
    if (report.keys == 0 && reading.linesRead == block.lines.size()) {
        add(report, Severity::Warning, "no-keys", block.firstLine, 0,
            "the block holds no key: the item does not shake");
    }
}

void checkKeys(const ShakeInstance& instance, const BlockReading& reading,
               const standin::KeyBlock& block, const CheckOptions& options,
               const std::optional<FrameRange>& sceneFrames, BlockReport& report) {
    const std::vector<const ShakeKey*> keys = keysOf(instance);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const ShakeKey& key = *keys[i];
        const int number = static_cast<int>(i) + 1;
        const std::string name = "key " + std::to_string(number);
        const std::size_t line =
            i < reading.keyLines.size() ? block.firstLine + reading.keyLines[i] : block.firstLine;
        const FrameSpan acts = spanFrames(key, options.fps);

        if (key.endFrame < key.startFrame) {
            add(report, Severity::Warning, "never-acts", line, number,
                name + " ends (frame " + std::to_string(key.endFrame) +
                    ") before it starts (frame " + std::to_string(key.startFrame) +
                    "): it never acts");
        } else if (acts.empty()) {
            add(report, Severity::Warning, "never-acts", line, number,
                name + "'s span falls between two frames at " + shortNumber(options.fps) +
                    " fps: it never acts");
        }

        const std::vector<HiddenRun> hidden =
            hiddenRuns(instance, static_cast<int>(i), options.fps);
        if (!hidden.empty()) {
            std::string message = name + " (" + frames(acts.first, acts.last) + ") is hidden";
            for (std::size_t r = 0; r < hidden.size(); ++r) {
                message += std::string(r == 0 ? "" : " and") + " by key " +
                           std::to_string(hidden[r].by + 1) + " on " +
                           frames(hidden[r].frames.first, hidden[r].frames.last);
            }
            message += ": a later key in the chain is selected there";
            report.findings.push_back(
                {Severity::Warning, "hidden-key", line, number, message, hidden});
        }

        // Away from 30 fps a span can begin on a scene frame before the key's
        // own start frame, where the key is not selected yet.
        if (!acts.empty() && acts.first < key.startFrame) {
            const int64_t last = std::min<int64_t>(acts.last, int64_t{key.startFrame} - 1);
            add(report, Severity::Warning, "not-yet-selected", line, number,
                name + "'s span runs from frame " + std::to_string(acts.first) + " at " +
                    shortNumber(options.fps) + " fps, but the key is selected only from its " +
                    "start frame " + std::to_string(key.startFrame) + ": it does not act on " +
                    frames(acts.first, last));
        }

        if (key.freqTime == 0.0) {
            const double s = std::sin(1.0);
            add(report, Severity::Warning, "zero-frequency", line, number,
                name +
                    " has frequency time 0: instead of shaking it pushes the item by a "
                    "constant sin(1) x width = (" +
                    shortNumber(s * key.widthX) + ", " + shortNumber(s * key.widthY) + ", " +
                    shortNumber(s * key.widthZ) + ")" + (key.fallOff != 0 ? ", fading out" : ""));
        }

        if (sceneFrames && !acts.empty()) {
            const bool before = acts.first < sceneFrames->first;
            const bool after = acts.last > sceneFrames->last;
            const bool outside = acts.last < sceneFrames->first || acts.first > sceneFrames->last;
            if (before || after) {
                add(report, Severity::Warning, "outside-frames", line, number,
                    name + " acts on " + frames(acts.first, acts.last) + ", " +
                        (outside ? "all" : "partly") + " outside the scene's " +
                        frames(sceneFrames->first, sceneFrames->last));
            }
        }
    }
}

void checkFile(Session& session, LineProbe& probe, ShakeInstance* instance,
               const CheckOptions& options, const std::optional<FrameRange>& sceneFrames,
               FileReport& file) {
    const SceneFile scene = readScene(file.path);
    if (scene.blocks.empty()) {
        throw ToolError("'" + file.path + "' holds no key block (no VRIM_START line)");
    }
    for (std::size_t b = 0; b < scene.blocks.size(); ++b) {
        const standin::KeyBlock& block = scene.blocks[b];
        BlockReport report;
        report.number = static_cast<int>(b) + 1;
        report.firstLine = block.firstLine;
        report.lastLine = block.lastLine;
        report.ended = block.ended;
        const BlockReading reading = readBlock(session, probe, instance, block);
        report.keys = keysOf(*instance).size();
        if (!reading.keyNumLines.empty()) {
            report.keyNum = reading.keyNum;
        }
        checkLines(block, reading, report);
        checkKeyCount(block, reading, report);
        checkKeys(*instance, reading, block, options, sceneFrames, report);
        std::stable_sort(report.findings.begin(), report.findings.end(),
                         [](const Finding& a, const Finding& b) { return a.line < b.line; });
        file.blocks.push_back(std::move(report));
    }
}

void count(Report& report, const Finding& finding) {
    report.errors += finding.severity == Severity::Error;
    report.warnings += finding.severity == Severity::Warning;
}

void printText(const Report& report) {
    for (const FileReport& file : report.files) {
        if (!file.error.empty()) {
            continue; // already on standard error
        }
        for (const BlockReport& block : file.blocks) {
            std::printf("%s:%zu: block %d (lines %zu-%zu): %zu %s\n", file.path.c_str(),
                        block.firstLine, block.number, block.firstLine, block.lastLine, block.keys,
                        block.keys == 1 ? "key" : "keys");
            for (const Finding& finding : block.findings) {
                std::printf("%s:%zu: %s: %s\n", file.path.c_str(), finding.line,
                            severityName(finding.severity), finding.message.c_str());
            }
        }
    }
    for (const Finding& note : report.notes) {
        std::printf("note: %s\n", note.message.c_str());
    }
    std::printf("%zu %s, %zu %s, %zu %s: %d %s, %d %s\n", report.files.size(),
                report.files.size() == 1 ? "file" : "files", report.blocks,
                report.blocks == 1 ? "block" : "blocks", report.keys,
                report.keys == 1 ? "key" : "keys", report.errors,
                report.errors == 1 ? "error" : "errors", report.warnings,
                report.warnings == 1 ? "warning" : "warnings");
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c > 0x7e) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string jsonFinding(const Finding& finding) {
    std::string json = "{\"severity\": " + jsonString(severityName(finding.severity)) +
                       ", \"kind\": " + jsonString(finding.kind) + ", \"line\": " +
                       (finding.line != 0 ? std::to_string(finding.line) : "null") +
                       ", \"key\": " + (finding.key != 0 ? std::to_string(finding.key) : "null") +
                       ", \"message\": " + jsonString(finding.message);
    if (!finding.hidden.empty()) {
        json += ", \"hidden\": [";
        for (std::size_t i = 0; i < finding.hidden.size(); ++i) {
            const HiddenRun& run = finding.hidden[i];
            json += std::string(i == 0 ? "" : ", ") +
                    "{\"first\": " + std::to_string(run.frames.first) +
                    ", \"last\": " + std::to_string(run.frames.last) +
                    ", \"by\": " + std::to_string(run.by + 1) + "}";
        }
        json += "]";
    }
    return json + "}";
}

void printJson(const Report& report, int status) {
    std::string json = "{\n  \"notes\": [";
    for (std::size_t i = 0; i < report.notes.size(); ++i) {
        json += (i == 0 ? "" : ", ") + jsonFinding(report.notes[i]);
    }
    json += "],\n  \"files\": [";
    for (std::size_t f = 0; f < report.files.size(); ++f) {
        const FileReport& file = report.files[f];
        json += std::string(f == 0 ? "" : ",") + "\n    {\"path\": " + jsonString(file.path) +
                ", \"error\": " + (file.error.empty() ? "null" : jsonString(file.error)) +
                ", \"blocks\": [";
        for (std::size_t b = 0; b < file.blocks.size(); ++b) {
            const BlockReport& block = file.blocks[b];
            json += std::string(b == 0 ? "" : ",") +
                    "\n      {\"block\": " + std::to_string(block.number) +
                    ", \"firstLine\": " + std::to_string(block.firstLine) +
                    ", \"lastLine\": " + std::to_string(block.lastLine) +
                    ", \"ended\": " + (block.ended ? "true" : "false") +
                    ", \"keys\": " + std::to_string(block.keys) +
                    ", \"keyNum\": " + (block.keyNum ? std::to_string(*block.keyNum) : "null") +
                    ", \"findings\": [";
            for (std::size_t i = 0; i < block.findings.size(); ++i) {
                json +=
                    std::string(i == 0 ? "" : ",") + "\n        " + jsonFinding(block.findings[i]);
            }
            json += std::string(block.findings.empty() ? "" : "\n      ") + "]}";
        }
        json += std::string(file.blocks.empty() ? "" : "\n    ") + "]}";
    }
    json += "\n  ],\n  \"blocks\": " + std::to_string(report.blocks) +
            ",\n  \"keys\": " + std::to_string(report.keys) +
            ",\n  \"errors\": " + std::to_string(report.errors) +
            ",\n  \"warnings\": " + std::to_string(report.warnings) +
            ",\n  \"status\": " + std::to_string(status) + "\n}\n";
    std::fputs(json.c_str(), stdout);
}

int runCheck(const CheckOptions& options) {
    checkFps(options.fps);
    std::optional<FrameRange> sceneFrames;
    if (!options.frames.empty()) {
        sceneFrames = parseFrameRange(options.frames, "--frames");
    }
    Session session(options.module.empty() ? defaultModulePath() : options.module);
    LineProbe probe(session);
    ShakeInstance* instance = session.newInstance();

    Report report;
    if (options.fps != kKeyFrameRate) {
        report.notes.push_back(
            {Severity::Note,
             "frame-rate",
             0,
             0,
             "keys turn their frames into seconds at 30 per second, whatever the scene's rate: "
             "at " +
                 shortNumber(options.fps) +
                 " fps a key acts on other scene frames than its own "
                 "(the frames reported here are scene frames)",
             {}});
    }
    for (const std::string& path : options.scenes) {
        FileReport file;
        file.path = path;
        try {
            checkFile(session, probe, instance, options, sceneFrames, file);
        } catch (const ToolError& e) {
            file.error = e.what();
            file.blocks.clear();
            ++report.errors;
            std::fflush(stdout);
            std::fprintf(stderr, "vrim: %s\n", e.what());
        }
        for (const BlockReport& block : file.blocks) {
            ++report.blocks;
            report.keys += block.keys;
            for (const Finding& finding : block.findings) {
                count(report, finding);
            }
        }
        report.files.push_back(std::move(file));
    }
    const int status = report.errors > 0     ? kExitError
                       : report.warnings > 0 ? kExitWarnings
                                             : kExitClean;
    if (options.json) {
        printJson(report, status);
    } else {
        printText(report);
    }
    return status;
}

} // namespace

Command addCheckCommand(CLI::App& tool) {
    auto options = std::make_shared<CheckOptions>();
    CLI::App* command = tool.add_subcommand(
        "check", "Report how the module reads every key block of the scene files");
    command->footer("Exit status: 0 clean, 1 warnings, 2 errors.\n"
                    "Example:\n"
                    "  vrim check samples/*.lws --frames 0:90");
    command->add_option("SCENE", options->scenes, "Scene files")->required()->type_name("FILE");
    command
        ->add_option("--frames", options->frames,
                     "The scene's frame range, to report keys "
                     "that act outside it")
        ->type_name("FIRST:LAST");
    command->add_option("--fps", options->fps, "The scene's frames per second")
        ->default_val(kKeyFrameRate)
        ->type_name("F");
    command->add_flag("--json", options->json, "The same report as JSON, for machines");
    addModuleOption(*command, options->module);
    return {command, [options] { return runCheck(*options); }};
}

} // namespace vrim
