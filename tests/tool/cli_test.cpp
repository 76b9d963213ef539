// The vrim binary as a user runs it: its table, CSV, check report and exit
// statuses on the sample scenes, and one clear line for every kind of bad
// input. Numbers are held against the module driven directly.
#include "plugin/identity.h"
#include "plugin/vocabulary.h"
#include "standin/scene_io.h"
#include "standin/standin.h"
#include "support/tool_run.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* kSample = "samples/two-items.lws";

using testsupport::readBytes;
using testsupport::ToolRun;
using testsupport::writeBytes;

std::vector<std::string> linesOf(const std::string& text) {
    return standin::splitLines(text);
}

ToolRun runVrim(const std::string& arguments) {
    return testsupport::runVrim(arguments, "tool-cli");
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator)) {
        parts.push_back(part);
    }
    return parts;
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> parts;
    std::istringstream stream(line);
    std::string word;
    while (stream >> word) {
        parts.push_back(word);
    }
    return parts;
}

// The module driven directly: one key block loaded into an instance, as the
// host would, evaluated at a frame and time for an item at rest.
class DirectModule {
  public:
    DirectModule() {
        std::string error;
        module_ = standin::ModuleFile::open("vrim_s.p", error);
        EXPECT_NE(module_, nullptr) << error;
        EXPECT_EQ(handler_.activate(*module_, host_, vrim::kServerName), 0);
        host_.logMotion = false;
    }
    ~DirectModule() {
        for (void* instance : instances_) {
            handler_.destroy(instance);
        }
    }
    void* block(const std::string& scene, std::size_t number) {
        std::vector<std::string> lines;
        std::string error;
        EXPECT_TRUE(standin::readSceneFile(scene, lines, error)) << error;
        const auto blocks = standin::findKeyBlocks(lines, vrim::kBlockStart, vrim::kBlockEnd);
        EXPECT_GE(blocks.size(), number);
        void* instance = handler_.create();
        standin::LineReader reader(blocks.at(number - 1).lines);
        handler_.load(instance, reader.state());
        instances_.push_back(instance);
        return instance;
    }
    void* fresh() {
        instances_.push_back(handler_.create());
        return instances_.back();
    }
    std::array<double, 3> position(void* instance, int32_t frame, double time,
                                   std::array<double, 3> rest) {
        for (int axis = 0; axis < 3; ++axis) {
            host_.position[axis] = rest[std::size_t(axis)];
        }
        handler_.evaluate(host_, instance, frame, time);
        return {host_.position[0], host_.position[1], host_.position[2]};
    }

  private:
    standin::Host host_;
    std::unique_ptr<standin::ModuleFile> module_;
    standin::Handler handler_;
    std::vector<void*> instances_;
};

// The rows of a preview table, below its column heads.
struct TableRow {
    int frame;
    double time;
    std::string key;
    std::array<double, 3> offset;
};

std::vector<TableRow> tableRows(const std::string& out) {
    std::vector<TableRow> rows;
    bool inTable = false;
    for (const std::string& line : linesOf(out)) {
        const std::vector<std::string> cells = words(line);
        if (cells == std::vector<std::string>{"frame", "time", "key", "X", "Y", "Z"}) {
            inTable = true;
        } else if (inTable && cells.size() == 6) {
            rows.push_back({std::stoi(cells[0]),
                            std::stod(cells[1]),
                            cells[2],
                            {std::stod(cells[3]), std::stod(cells[4]), std::stod(cells[5])}});
        }
    }
    return rows;
}

// Just enough of a JSON parser to tell whether a text is one JSON value.
class JsonSyntax {
  public:
    static bool valid(const std::string& text) {
        JsonSyntax json{text};
        return json.value() && (json.skip(), json.at_ == text.size());
    }

  private:
    explicit JsonSyntax(const std::string& text) : text_(text) {}
    void skip() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) {
            ++at_;
        }
    }
    bool take(char c) {
        skip();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool word(const char* w) {
        skip();
        const std::string expected = w;
        if (text_.compare(at_, expected.size(), expected) == 0) {
            at_ += expected.size();
            return true;
        }
        return false;
    }
    bool string() {
        if (!take('"')) {
            return false;
        }
        while (at_ < text_.size() && text_[at_] != '"') {
            if (static_cast<unsigned char>(text_[at_]) < 0x20) {
                return false;
            }
            at_ += text_[at_] == '\\' ? 2 : 1;
        }
        return at_++ < text_.size();
    }
    bool number() {
        skip();
        const char* begin = text_.c_str() + at_;
        char* end = nullptr;
        std::strtod(begin, &end);
        at_ += static_cast<std::size_t>(end - begin);
        return end != begin;
    }
    template <typename Item> bool sequence(char open, char close, Item item) {
        if (!take(open)) {
            return false;
        }
        if (take(close)) {
            return true;
        }
        do {
            if (!item()) {
                return false;
            }
        } while (take(','));
        return take(close);
    }
    bool value() {
        skip();
        if (at_ >= text_.size()) {
            return false;
        }
        switch (text_[at_]) {
        case '{':
            return sequence('{', '}', [this] { return string() && take(':') && value(); });
        case '[':
            return sequence('[', ']', [this] { return value(); });
        case '"':
            return string();
        case 't':
            return word("true");
        case 'f':
            return word("false");
        case 'n':
            return word("null");
        default:
            return number();
        }
    }
    const std::string& text_;
    std::size_t at_ = 0;
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(VrimTool, PreviewWithoutArgumentsTabulatesTheDefaultKey) {
    const ToolRun run = runVrim("preview");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(contains(linesOf(run.out).at(0), "default key of a new instance, frames 0 to 35"))
        << run.out;
    const std::vector<TableRow> rows = tableRows(run.out);
    ASSERT_EQ(rows.size(), 36u) << run.out;
    DirectModule direct;
    void* instance = direct.fresh();
    for (int frame = 0; frame <= 35; ++frame) {
        const TableRow& row = rows[std::size_t(frame)];
        SCOPED_TRACE(frame);
        EXPECT_EQ(row.frame, frame);
        EXPECT_EQ(row.key, frame <= 30 ? "1" : "-");
        EXPECT_NEAR(row.time, frame / 30.0, 5e-5);
        const auto expected = direct.position(instance, frame, frame / 30.0, {0, 0, 0});
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_NEAR(row.offset[std::size_t(axis)], expected[std::size_t(axis)], 5e-10);
        }
    }
    // The worked value at frame 4: 0.1 x sin(8.37758040957) x (1 - 4/30).
    EXPECT_NEAR(rows[4].offset[1], 0.0750555349946, 5e-10);
}

// The table is printed without being held, its widths measured first: each
// column ends at one place on every line, heading included, where cells
// grow a digit or a sign down the range.
TEST(VrimTool, PreviewColumnsEndAtOnePlaceOnEveryLine) {
    for (const char* frames : {"=-12:3", "=95:105", "=5:5", "=0:2000"}) {
        SCOPED_TRACE(frames);
        const ToolRun run = runVrim(std::string("preview ") + kSample +
                                    " --block 2 --at=-1e6,0,0 --frames" + frames);
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<std::size_t> ends; // of the heading's six cells
        std::size_t lines = 0;
        for (const std::string& line : linesOf(run.out)) {
            std::vector<std::size_t> these;
            for (std::size_t i = 0; i < line.size(); ++i) {
                if (line[i] != ' ' && (i + 1 == line.size() || line[i + 1] == ' ')) {
                    these.push_back(i + 1);
                }
            }
            if (line.rfind("frame", line.find_first_not_of(' ')) == line.find_first_not_of(' ') &&
                these.size() == 6) {
                ends = these;
            } else if (!ends.empty() && !line.empty()) {
                EXPECT_EQ(these, ends) << line;
                ++lines;
            }
        }
        EXPECT_GT(lines, 0u) << run.out;
    }
}

TEST(VrimTool, PreviewNamesTheKeyThatActs) {
    const ToolRun run = runVrim(std::string("preview ") + kSample + " --block 2 --frames 25:70");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<TableRow> rows = tableRows(run.out);
    ASSERT_EQ(rows.size(), 46u);
    for (const TableRow& row : rows) {
        // Key 1 swings until key 2 takes over at 30; after key 2 ends at 45
        // nothing acts until key 3 starts at 60.
        const std::string expected = row.frame < 30    ? "1"
                                     : row.frame <= 45 ? "2"
                                     : row.frame < 60  ? "-"
                                                       : "3";
        EXPECT_EQ(row.key, expected) << "frame " << row.frame;
    }

    // Offsets are the same wherever the item rests.
    const ToolRun moved =
        runVrim(std::string("preview ") + kSample + " --block 2 --frames 25:70 --at=-4,2.5,100");
    ASSERT_EQ(moved.status, 0) << moved.err;
    const std::vector<TableRow> movedRows = tableRows(moved.out);
    ASSERT_EQ(movedRows.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (std::size_t axis = 0; axis < 3; ++axis) {
            EXPECT_NEAR(movedRows[i].offset[axis], rows[i].offset[axis], 2e-9);
        }
    }
}

TEST(VrimTool, BakeWritesTheModulesPositions) {
    struct Case {
        const char* arguments;
        std::size_t block;
        double first, last, step, fps;
        std::array<double, 3> rest;
    };
    const std::vector<Case> cases = {
        // The scene's own frames (FirstFrame 0, LastFrame 90) by default.
        {"", 1, 0, 90, 1, 30, {0, 0, 0}},
        {"--block 2 --frames 28:62 --step 0.25 --fps 24 --at 1,-2,0.5",
         2,
         28,
         62,
         0.25,
         24,
         {1, -2, 0.5}},
        {"--block 2 --frames=-3:2 --step 0.1", 2, -3, 2, 0.1, 30, {0, 0, 0}},
    };
    DirectModule direct;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ToolRun run = runVrim(std::string("bake ") + kSample + " " + c.arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<std::string> lines = linesOf(run.out);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], "frame,time,x,y,z");
        const auto rows =
            static_cast<std::size_t>(std::floor((c.last - c.first) / c.step + 1e-9)) + 1;
        ASSERT_EQ(lines.size(), rows + 1);
        void* instance = direct.block(kSample, c.block);
        for (std::size_t i = 0; i < rows; ++i) {
            const std::vector<std::string> cells = split(lines[i + 1], ',');
            ASSERT_EQ(cells.size(), 5u) << lines[i + 1];
            const double frame = std::stod(cells[0]);
            EXPECT_NEAR(frame, c.first + double(i) * c.step, 1e-9);
            // The host passes the whole frame at or before the time.
            const auto hostFrame = static_cast<int32_t>(std::floor(frame + 1e-9));
            const double time = frame / c.fps;
            EXPECT_NEAR(std::stod(cells[1]), time, 1e-12);
            const auto expected = direct.position(instance, hostFrame, time, c.rest);
            for (std::size_t axis = 0; axis < 3; ++axis) {
                EXPECT_NEAR(std::stod(cells[axis + 2]), expected[axis], 1e-9)
                    << "row " << i << " axis " << axis;
            }
        }
    }
}

// A base track is read a piece at a time: the same rows bake the same
// whatever their line ends, a missing last LF, or a row split between two
// reads; a line one byte past the longest row is refused by its number,
// however long it runs, and one at the bound is a row.
TEST(VrimTool, BakeReadsItsBaseTrackRowByRowWhateverItsLines) {
    const std::string bound = "31,2." + std::string(4096 - 9, '0') + ",0,0"; // 4096 bytes
    const std::string past = "31,2." + std::string(4096 - 8, '0') + ",0,0";  // 4097
    struct Case {
        std::string name, track;
        std::string refusal; // empty: bakes as the plain track does
    };
    const std::vector<Case> cases = {
        {"plain", "frame,x,y,z\n30,1,0,0\n31,2,0,0\n", ""},
        {"crlf", "frame,x,y,z\r\n30,1,0,0\r\n31,2,0,0\r\n", ""},
        {"no last lf", "frame,x,y,z\n30,1,0,0\n31,2,0,0", ""},
        {"row across two reads", std::string(65536 - 3, '\n') + "30,1,0,0\n31,2,0,0\n", ""},
        {"row at the bound", "30,1,0,0\n" + bound + "\n", ""},
        {"row past the bound", "30,1,0,0\n" + past + "\n",
         "tool-base.csv':2: the line is longer than a frame,x,y,z row can be"},
        {"a megabyte line", "30,1,0,0\n" + std::string(1 << 20, '7') + "\n31,2,0,0\n",
         "tool-base.csv':2: the line is longer than a frame,x,y,z row can be"},
    };
    const std::string command =
        std::string("bake ") + kSample + " --block 2 --frames 30:31 --base tool-base.csv";
    std::string plain;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes("tool-base.csv", c.track);
        const ToolRun run = runVrim(command);
        if (!c.refusal.empty()) {
            EXPECT_EQ(run.status, 2);
            EXPECT_NE(run.err.find(c.refusal), std::string::npos) << run.err;
            continue;
        }
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(linesOf(run.out).size(), 3u) << run.out;
        if (plain.empty()) {
            plain = run.out;
        }
        EXPECT_EQ(run.out, plain);
    }
}

TEST(VrimTool, BakeAllItemsWritesEachItemsOwnRowsUnderAnItemColumn) {
    // Each item's rows are exactly those of baking that item alone.
    const ToolRun all = runVrim(std::string("bake ") + kSample + " --all-items --step 0.5");
    ASSERT_EQ(all.status, 0) << all.err;
    std::vector<std::string> expected = {"item,frame,time,x,y,z"};
    for (const std::string item : {"Camera_Rig", "Lamp_Swing"}) {
        const ToolRun one =
            runVrim(std::string("bake ") + kSample + " --item " + item + " --step 0.5");
        ASSERT_EQ(one.status, 0) << one.err;
        const std::vector<std::string> rows = linesOf(one.out);
        ASSERT_GT(rows.size(), 1u);
        for (std::size_t i = 1; i < rows.size(); ++i) {
            expected.push_back(item + "," + rows[i]);
        }
    }
    EXPECT_EQ(linesOf(all.out), expected);

    // A name with a comma or a quote in it stays one CSV field.
    writeBytes("tool-bake-names.lws", "LWSC\n3\n\nAddNullObject Rig, \"left\"\n"
                                      "Plugin ItemMotionHandler 1 VRIM_S\nVRIM_START\nKEY_NUM 1\n"
                                      "KEY_START\nFREQ 0.5\nFREQ_W_X 1\nFREQ_W_Y 0\nFREQ_W_Z 0\n"
                                      "START_F 0\nEND_F 2\nFALL_OFF 0\nVRIM_END\nEndPlugin\n");
    const ToolRun named = runVrim("bake tool-bake-names.lws --all-items");
    ASSERT_EQ(named.status, 0) << named.err;
    const std::vector<std::string> lines = linesOf(named.out);
    ASSERT_GT(lines.size(), 1u);
    EXPECT_EQ(lines[1].rfind("\"Rig, \"\"left\"\"\",0,0,", 0), 0u) << lines[1];

    // A scene without a shake is refused with nothing on the output, not
    // even the heading.
    writeBytes("tool-bake-none.lws", "LWSC\n3\n\nAddNullObject Still\n");
    const ToolRun none = runVrim("bake tool-bake-none.lws --all-items");
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, "");
}

TEST(VrimTool, CheckReportsTheSamplesHiddenKeyAndZeroFrequency) {
    const ToolRun run = runVrim(std::string("check ") + kSample);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> expected = {
        "samples/two-items.lws:13: Camera_Rig (block 1, lines 13-33): 2 keys",
        "samples/two-items.lws:39: Lamp_Swing (block 2, lines 39-67): 3 keys",
        "samples/two-items.lws:42: warning: key 1 (frames 0-90) is hidden by key 2 on frames "
        "30-59 and by key 3 on frames 60-90: a later key in the chain is selected there",
        "samples/two-items.lws:58: warning: key 3 has frequency time 0: instead of shaking it "
        "pushes the item by a constant sin(1) x width = (0, 0, 0.0420735), fading out",
        "1 file, 2 blocks, 5 keys: 0 errors, 2 warnings",
    };
    EXPECT_EQ(linesOf(run.out), expected);

    const ToolRun run2 = runVrim(std::string("check --json ") + kSample);
    EXPECT_EQ(run2.status, 1);
    ASSERT_TRUE(nlohmann::json::accept(run2.out)) << run2.out;
    const nlohmann::json json = nlohmann::json::parse(run2.out);
    const nlohmann::json& lamp = json["files"][0]["blocks"][1];
    EXPECT_EQ(lamp["item"], "Lamp_Swing");
    EXPECT_EQ(lamp["itemKind"], "null");
    const nlohmann::json& hidden = lamp["findings"][0];
    EXPECT_EQ(hidden["kind"], "hidden-key");
    EXPECT_EQ(hidden["line"], 42);
    EXPECT_EQ(hidden["key"], 1);
    EXPECT_EQ(hidden["hidden"], nlohmann::json::parse(R"([{"first": 30, "last": 59, "by": 2},
                                                          {"first": 60, "last": 90, "by": 3}])"));
    EXPECT_EQ(lamp["findings"][1]["kind"], "zero-frequency");
    EXPECT_EQ(lamp["findings"][1]["line"], 58);
    EXPECT_EQ(json["status"], 1);
}

// Each problem a block can have, on the line where it is.
TEST(VrimTool, CheckFindsEachProblemOnItsLine) {
    writeBytes("tool-problems.lws", "Host line\n"  // 1
                                    "VRIM_START\n" // 2
                                    "FREQ 0.5\n"   // 3 before any key
                                    "KEY_NUM 5\n"  // 4 but 3 keys follow
                                    "KEY_START\n"  // 5 key 1: runs backwards
                                    "START_F 20\n" // 6
                                    "END_F 10\n"   // 7
                                    "FREQ 0.1\n"   // 8
                                    "COLOUR 3\n"   // 9 no such keyword
                                    "KEY_START\n"  // 10 key 2
                                    "FREQ 0.2\n"   // 11
                                    "END_F 40\n"   // 12
                                    "KEY_STA\n"    // 13 key 3: a short token still starts a key
                                    "START_F 50\n" // 14
                                    "END_F 60\n"   // 15
                                    "FR 0.3\n"     // 16
                                    "\n"           // 17 the module stops here
                                    "FREQ_W_X 1\n" // 18
                                    "VRIM_END\n"   // 19
                                    "Host line\n"  // 20
                                    "VRIM_START\n" // 21
                                    "KEY_NUM 1\n"  // 22
                                    "KEY_START\n"  // 23 zero frequency, never ended
                                    "END_F 30\n"); // 24
    const ToolRun run = runVrim("check --json tool-problems.lws");
    EXPECT_EQ(run.status, 2) << run.out;
    ASSERT_TRUE(nlohmann::json::accept(run.out)) << run.out;
    const nlohmann::json json = nlohmann::json::parse(run.out);
    std::set<std::string> found; // "kind line key"
    for (const nlohmann::json& block : json["files"][0]["blocks"]) {
        for (const nlohmann::json& finding : block["findings"]) {
            found.insert(finding["kind"].get<std::string>() + " " + finding["line"].dump() + " " +
                         finding["key"].dump());
        }
    }
    for (const char* finding :
         {"value-before-key 3 null", "key-count 4 null", "never-acts 5 1", "unknown-line 9 null",
          "block-ends-early 17 null", "block-never-ends 21 null", "zero-frequency 23 1"}) {
        EXPECT_EQ(found.count(finding), 1u) << finding;
    }
    const nlohmann::json& blocks = json["files"][0]["blocks"];
    EXPECT_EQ(blocks[0]["firstLine"], 2);
    EXPECT_EQ(blocks[0]["lastLine"], 19);
    EXPECT_EQ(blocks[0]["keys"], 3);
    EXPECT_EQ(blocks[0]["keyNum"], 5);
    EXPECT_EQ(blocks[1]["ended"], false);
    EXPECT_EQ(blocks[1]["keyNum"], 1);
    EXPECT_EQ(json["errors"], 2);
    // Lines the module reads as keywords are not reported as unknown or
    // misplaced: the short tokens, the key count (only compared) and the
    // values of keys.
    for (const char* quiet : {" 13 ", " 16 ", " 6 ", " 22 "}) {
        for (const char* kind : {"unknown-line", "value-before-key"}) {
            EXPECT_EQ(found.count(kind + std::string(quiet) + "null"), 0u) << kind << quiet;
        }
    }
}

TEST(VrimTool, CheckWithTheScenesFramesAndRate) {
    struct Case {
        std::string arguments;
        int status;
        std::vector<std::string> reported;
    };
    std::string firstBlock;
    for (const std::string& line : linesOf(readBytes(kSample))) {
        firstBlock += line + "\n";
        if (line == "EndPlugin") {
            break;
        }
    }
    writeBytes("tool-clean.lws", firstBlock);
    const std::vector<Case> cases = {
        {"tool-clean.lws", 0, {"1 file, 1 block, 2 keys: 0 errors, 0 warnings"}},
        {"tool-clean.lws --frames 0:50",
         1,
         {"tool-clean.lws:24: warning: key 2 acts on frames 36-60, partly outside the scene's "
          "frames 0-50"}},
        {"tool-clean.lws --frames 70:80", 1, {"key 1 acts on frames 0-24, all outside"}},
        {"tool-clean.lws --fps 24",
         1,
         {"note: keys turn their frames into seconds at 30 per second",
          "tool-clean.lws:24: warning: key 2's span runs from frame 29 at 24 fps, but the key "
          "is selected only from its start frame 36: it does not act on frames 29-35"}},
        {std::string(kSample) + " tool-clean.lws",
         1,
         {"2 files, 3 blocks, 7 keys: 0 errors, 2 warnings"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ToolRun run = runVrim("check " + c.arguments);
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        for (const std::string& text : c.reported) {
            EXPECT_TRUE(contains(run.out, text)) << run.out;
        }
    }
}

// "0-24, 36-60" as ls writes runs; appended piece by piece, as GCC 12 at -O3
// warns (-Wrestrict) on the temporaries of one long concatenation.
void appendRun(std::string& text, long first, long last) {
    if (!text.empty()) {
        text += ", ";
    }
    text += std::to_string(first);
    if (first != last) {
        text += '-';
        text += std::to_string(last);
    }
}

// The frames check says a key acts on are the frames ls lists for its item:
// where the key is selected and its span holds the frame's time, at any rate.
TEST(VrimTool, LsAndCheckNameTheSameFramesForEachKey) {
    struct Case {
        int fps;
        std::vector<std::pair<int, int>> keys; // start and end frame of each key
        std::string moves;                     // as ls lists them
    };
    const std::vector<Case> cases = {
        {24, {{10, 40}}, "10-32"}, // the span starts at 8, before the key is selected
        {12, {{10, 40}}, "10-16"},         {60, {{10, 40}}, "20-80"}, {25, {{0, 30}}, "0-25"},
        {30, {{0, 50}, {20, 30}}, "0-30"}, // key 2, selected from 20 on, ends key 1
        {24, {{1010, 1090}}, "none"},      // selected only after its span at 24 fps
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.fps) + " fps, " + c.moves);
        // A scene range far from every key, so that check names each key's frames.
        std::string scene = "LWSC\n3\nFirstFrame 100000\nLastFrame 100000\nFramesPerSecond " +
                            std::to_string(c.fps) +
                            "\nAddNullObject K\nPlugin ItemMotionHandler 1 VRIM_S\nVRIM_START\n"
                            "KEY_NUM " +
                            std::to_string(c.keys.size()) + "\n";
        for (const auto& [start, end] : c.keys) {
            scene += "KEY_START\nFREQ 0.1\nFREQ_W_X 0.1\nFREQ_W_Y 0\nFREQ_W_Z 0\nSTART_F " +
                     std::to_string(start) + "\nEND_F " + std::to_string(end) + "\nFALL_OFF 0\n";
        }
        writeBytes("tool-frames.lws", scene + "VRIM_END\nEndPlugin\n");

        const nlohmann::json ls = nlohmann::json::parse(runVrim("ls --json tool-frames.lws").out);
        std::string listed;
        for (const nlohmann::json& run : ls["scenes"][0]["items"][0]["moves"]) {
            appendRun(listed, run["first"].get<long>(), run["last"].get<long>());
        }
        EXPECT_EQ(listed.empty() ? "none" : listed, c.moves);

        // Each key's frames, joined where one key's end meets the next's start.
        std::vector<std::pair<long, long>> acting;
        const nlohmann::json check =
            nlohmann::json::parse(runVrim("check --json tool-frames.lws").out);
        for (const nlohmann::json& finding : check["files"][0]["blocks"][0]["findings"]) {
            if (finding["kind"] != "outside-frames") {
                continue;
            }
            std::istringstream words(finding["message"].get<std::string>());
            std::string word;
            while (words >> word && word != "frames" && word != "frame") {
            }
            while (words >> word && std::isdigit(static_cast<unsigned char>(word[0]))) {
                const std::size_t dash = word.find('-');
                acting.emplace_back(
                    std::stol(word.substr(0, dash)),
                    std::stol(dash == std::string::npos ? word : word.substr(dash + 1)));
            }
        }
        std::sort(acting.begin(), acting.end());
        std::vector<std::pair<long, long>> joined;
        for (const auto& run : acting) {
            if (!joined.empty() && joined.back().second + 1 == run.first) {
                joined.back().second = run.second;
            } else {
                joined.push_back(run);
            }
        }
        std::string said;
        for (const auto& [first, last] : joined) {
            appendRun(said, first, last);
        }
        EXPECT_EQ(said.empty() ? "none" : said, c.moves);
    }
}

TEST(VrimTool, PlotShowsThreeCurvesTheKeySpansAndAxes) {
    const ToolRun run =
        runVrim(std::string("preview ") + kSample + " --block 2 --svg tool-plot.svg");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string svg = readBytes("tool-plot.svg");
    ASSERT_FALSE(svg.empty());
    for (const char* axis : {"X", "Y", "Z"}) {
        const std::string id = std::string("<polyline id=\"curve-") + axis + "\"";
        const std::size_t at = svg.find(id);
        ASSERT_NE(at, std::string::npos) << id;
        const std::size_t from = svg.find("points=\"", at) + 8;
        const std::size_t to = svg.find('"', from);
        // One point for each of the scene's frames 0 to 90.
        EXPECT_EQ(words(svg.substr(from, to - from)).size(), 91u) << axis;
    }
    // Each key shaded and labelled where it moves the item: key 1 only until
    // key 2 takes over.
    for (const char* label : {">key 1 (0-29)<", ">key 2 (30-45)<", ">key 3 (60-75)<", "Lamp_Swing",
                              "frame (at 30 frames per second)", "offset (units of the item",
                              "fill=\"#ffffff\"", ">X offset<", ">Y offset<", ">Z offset<"}) {
        EXPECT_TRUE(contains(svg, label)) << label;
    }
    std::size_t spans = 0;
    for (std::size_t at = svg.find("fill-opacity=\"0.16\""); at != std::string::npos;
         at = svg.find("fill-opacity=\"0.16\"", at + 1)) {
        ++spans;
    }
    EXPECT_EQ(spans, 3u);
}

// The list lines are the module's own: the key editor fills them as it opens.
TEST(VrimTool, ShowListsEachBlocksKeysAsTheKeyEditorDoes) {
    const ToolRun run = runVrim(std::string("show ") + kSample);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> expected = {
        "samples/two-items.lws, Camera_Rig (block 1, lines 13-33): 2 keys",
        "   1  Start   0, End  24, Freq 0.100000",
        "      start 0, end 24, fall-off on, width X 0 Y 0.08 Z 0, frequency time 0.1 s",
        "   2  Start  36, End  60, Freq 0.250000",
        "      start 36, end 60, fall-off off, width X 0.05 Y 0 Z 0.03, frequency time 0.25 s",
        "",
        "samples/two-items.lws, Lamp_Swing (block 2, lines 39-67): 3 keys",
        "   1  Start   0, End  90, Freq 0.500000",
        "      start 0, end 90, fall-off on, width X 0.2 Y 0 Z 0, frequency time 0.5 s",
        "   2  Start  30, End  45, Freq 0.200000",
        "      start 30, end 45, fall-off off, width X 0 Y 0.05 Z 0, frequency time 0.2 s",
        "   3  Start  60, End  75, Freq 0.000000",
        "      start 60, end 75, fall-off on, width X 0 Y 0 Z 0.05, frequency time 0 s",
    };
    EXPECT_EQ(linesOf(run.out), expected);

    // No key at all, and more keys than the list has lines.
    std::string scene = "VRIM_START\nKEY_NUM 0\nVRIM_END\nVRIM_START\n";
    for (int key = 0; key < 260; ++key) {
        scene += "KEY_START\nSTART_F " + std::to_string(key * 10) + "\n";
    }
    writeBytes("tool-show.lws", scene + "VRIM_END\n");
    const ToolRun many = runVrim("show tool-show.lws");
    ASSERT_EQ(many.status, 0) << many.err;
    const std::vector<std::string> lines = linesOf(many.out);
    ASSERT_EQ(lines.size(), 3u + 2u * 260u);
    EXPECT_EQ(lines[0], "tool-show.lws, @1 (block 1, lines 1-3): 0 keys");
    EXPECT_EQ(lines[2], "tool-show.lws, @2 (block 2, lines 4-525): 260 keys");
    EXPECT_EQ(lines[3 + 2 * 255], " 256  Start 2550, End   0, Freq 0.000000");
    EXPECT_EQ(lines[3 + 2 * 256], " 257  (not in the list)");
}

// Bad input: one line on standard error naming the problem, status 2, never
// a crash.
TEST(VrimTool, BadInputGetsOneClearLine) {
    writeBytes("tool-no-block.lws", "LWSC\n3\nFirstFrame 0\n");
    writeBytes("tool-text.p", "not a library\n");
    writeBytes("tool-empty.lws", "");
    writeBytes("tool-random.lws", std::string("\x7f"
                                              "ELF\x02\x01\x01\0\0\0garbage\n",
                                              17));
    const std::string sample = kSample;
    struct Case {
        std::string arguments;
        std::string says;
    };
    const std::vector<Case> cases = {
        {"preview missing.lws", "cannot open scene file 'missing.lws'"},
        {"bake missing.lws", "cannot open scene file 'missing.lws'"},
        {"check missing.lws", "cannot open scene file 'missing.lws'"},
        {"preview samples", "'samples' is a folder, not a scene file"},
        {"preview tool-no-block.lws", "'tool-no-block.lws' holds no shake"},
        {"show missing.lws", "cannot open scene file 'missing.lws'"},
        {"check tool-empty.lws", "tool-empty.lws: not a scene file: it is empty"},
        {"ls tool-random.lws", "tool-random.lws:1: not a scene file: no \"LWSC\" first line"},
        {"show tool-random.lws", "tool-random.lws:1: not a scene file"},
        {"preview tool-empty.lws", "not a scene file: it is empty"},
        {"show " + sample + " --module no-handler.p", "has no \"ItemMotionHandler\" server"},
        {"preview " + sample + " --block 3", "--block 3 is out of range"},
        {"bake " + sample + " --block 0", "--block: must be a whole number from 1"},
        {"bake " + sample + " --block x", "--block: must be a whole number from 1"},
        {"bake " + sample + " --item Nobody", "items with a shake: Camera_Rig and Lamp_Swing"},
        {"bake tool-no-block.lws --all-items", "'tool-no-block.lws' holds no shake"},
        {"bake " + sample + " --all-items --format chan", "--all-items writes CSV"},
        {"bake " + sample + " --all-items --item Lamp_Swing",
         "--item and --all-items cannot be given together"},
        {"preview --frames 5", "--frames '5' is not a frame range"},
        {"preview --frames a:b", "--frames 'a:b' is not a frame range"},
        {"preview --frames 1:2:3", "--frames '1:2:3' is not a frame range"},
        {"preview --frames +-5:3", "--frames '+-5:3' is not a frame range"},
        {"preview --frames 1.5:3", "--frames '1.5:3' is not a frame range"},
        {"preview --frames 10:5", "--frames '10:5' ends before it starts"},
        {"preview --frames 0:99999999999", "--frames '0:99999999999' is not a frame range"},
        {"check " + sample + " --frames 9:x", "--frames '9:x' is not a frame range"},
        {"preview --at 1,2", "--at '1,2' is not a vector"},
        {"preview --at 1,2,x", "--at '1,2,x' is not a vector"},
        {"preview --at 1,2,inf", "--at '1,2,inf' is not a vector"},
        {"preview --fps 0", "--fps: must be a number above 0"},
        {"check " + sample + " --fps 5000", "--fps: must be a number above 0 and at most 1000"},
        {"bake " + sample + " --step 0", "--step: must be a number above 0"},
        {"validate --level 9", "--level: must be a whole number from 1 to 5, not '9'"},
        {"validate --level x", "--level: must be a whole number from 1 to 5, not 'x'"},
        {"validate --seed -1", "--seed: must be a whole number from 0 to 18446744073709551615"},
        {"validate --seed 18446744073709551616", "not '18446744073709551616'"},
        {"bake " + sample + " --frames 0:100 --step 0.00001", "more than 1000000 samples"},
        {"preview --frames=-2000000000:2000000000", "more than 1000000 samples"},
        {"bake", "vrim bake needs SCENE: scene file"},
        {"preview --module missing.p", "cannot load module file 'missing.p'"},
        {"preview --module tool-text.p", "cannot load module file 'tool-text.p'"},
        {"preview --module no-descriptor.p", "it exports no _mod_descrip"},
        {"check " + sample + " --module wrong-magic.p", "wrong descriptor magic"},
        {"preview --module no-handler.p", "has no \"ItemMotionHandler\" server"},
        {"frobnicate", "'frobnicate' is no command: the commands are preview, bake, check, show"},
        {"", "give a command: preview, bake, check, show"},
        {"preview --frobnicate", "--frobnicate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ToolRun run = runVrim(c.arguments);
        EXPECT_EQ(run.status, 2);
        const std::vector<std::string> lines = linesOf(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_EQ(lines[0].rfind("vrim: ", 0), 0u) << lines[0];
        EXPECT_TRUE(contains(lines[0], c.says)) << lines[0];
    }
}

// The parser's refusals in the tool's words: the option, what went wrong and
// what it takes; none of CLI11's own phrases.
TEST(VrimTool, ParserRefusalsNameTheOptionAndWhatItTakes) {
    const std::string sample = kSample;
    struct Case {
        std::string arguments;
        std::string says; // the whole line after "vrim: "
    };
    const std::vector<Case> cases = {
        {"ls " + sample + " --item a --item b",
         "--item is given 2 times but takes one NAME: only this item's shake, by name"},
        {"check " + sample + " --fps", "--fps needs a value, F: the scene's frames per second"},
        {"check " + sample + " --fps=",
         "--fps= has an empty value: give the value after the '=' or as the next word"},
        {"bake " + sample + " -o", "--output needs a value, FILE: write the output to this file "
                                   "instead"},
        {"ls --encoding", "--encoding needs a value, ENCODING: how names in scene files are "
                          "read: auto (UTF-8 when a name is valid UTF-8, else Windows-1252), "
                          "utf-8 or windows-1252"},
        {"ls " + sample + " --json=0", "--json takes no value: it is a switch"},
        {"ls " + sample + " --frob", "vrim ls has no option --frob ('vrim ls --help' lists them)"},
        {"ls " + sample + " --frob=3",
         "vrim ls has no option --frob ('vrim ls --help' lists them)"},
        {"ls " + sample + " -rz", "vrim ls has no option -z ('vrim ls --help' lists them)"},
        {"--frob ls " + sample, "vrim ls has no option --frob ('vrim ls --help' lists them)"},
        {"ls " + sample + " --block 1 --item x",
         "--item and --block cannot be given together; give one of them"},
        {"preview " + sample + " extra",
         "'extra' is one argument too many: vrim preview takes one SCENE: scene file holding "
         "the keys ('-': standard input; default: the default key of a new instance)"},
        {"validate a b", "'b' is one argument too many: vrim validate takes one MODULE: the "
                         "module file (default: the one 'vrim --version' names)"},
        {"check", "vrim check needs SCENE: scene files and folders of them ('-': standard input)"},
        {"edit", "vrim edit needs SCENE: scene files to edit, and folders of them"},
        {"plot --help", "'plot' is no command: the commands are preview, bake, check, show, ls, "
                        "validate, edit, report, diff"},
        {"--frob", "vrim has no option --frob; give a command: preview, bake, check, show, ls, "
                   "validate, edit, report, diff ('vrim --help' says more)"},
        {"report " + sample + " -o tool-rep/",
         "cannot write 'tool-rep/': it names a folder (it ends in '/'); give the name of a file"},
    };
    const std::vector<std::string> cli11Words = {"required",          "received", "not expected",
                                                 "Could not convert", "excludes", "override"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ToolRun run = runVrim(c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(linesOf(run.err), std::vector<std::string>{"vrim: " + c.says});
        for (const std::string& words : cli11Words) {
            EXPECT_FALSE(contains(run.err, words)) << words;
        }
    }
}

// Each limit the reader keeps is in --help, and an input past it is an error
// that names it.
TEST(VrimTool, EachLimitIsListedAndNamedWhenHit) {
    const std::string help = runVrim("--help").out;
    for (const char* limit :
         {"a line of 1 MB", "a key block of 4 MB or 100000 lines", "an item name of 256 bytes",
          "first 50000 names", "A panel script holds at most 1 MB", "at most 1000000 samples"}) {
        EXPECT_TRUE(contains(help, limit)) << limit;
    }
    std::string manyNames = "LWSC\n3\n";
    for (int item = 0; item <= 50000; ++item) {
        manyNames += "AddNullObject N" + std::to_string(item) + "\nVRIM_START\nVRIM_END\n";
    }
    std::string longBlock = "LWSC\n3\nAddNullObject Long\nVRIM_START\n";
    for (int line = 0; line < 100000; ++line) {
        longBlock += "KEY_START\n";
    }
    struct Case {
        std::string scene;
        std::string arguments; // after the scene
        std::string says;
    };
    const std::vector<Case> cases = {
        {"LWSC\n3\nAddNullObject " + std::string(1024 * 1024 + 1, 'x') + "\n", "",
         ":3: line longer than 1 MB"},
        {"LWSC\n3\nAddNullObject " + std::string(257, 'x') + "\n", "",
         ":3: the item name is longer than 256 bytes"},
        {longBlock + "VRIM_END\n", "",
         ":4: the key block that starts here is longer than 4 MB or 100000 lines"},
        {manyNames, " --item N50000",
         "that item's block is addressed 'N50000@50001': past the first 50000 names of a scene"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        writeBytes("tool-limit.lws", c.scene);
        const ToolRun run = runVrim("show tool-limit.lws" + c.arguments);
        EXPECT_EQ(run.status, 2);
        const std::vector<std::string> lines = linesOf(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_TRUE(contains(lines[0], c.says)) << lines[0];
    }
    // Past the names held, a block is still reached by the address ls gives it.
    writeBytes("tool-limit.lws", manyNames);
    EXPECT_EQ(runVrim("show tool-limit.lws --item N50000@50001").status, 0);
}

// Every command the tool lists answers its own --help: on standard output,
// with status 0 and nothing on standard error, opening with the line the
// list gives it. A command whose required arguments or checks run before its
// help, or that the list describes otherwise, fails here.
TEST(VrimTool, EveryListedCommandAnswersItsHelp) {
    const ToolRun tool = runVrim("--help");
    ASSERT_EQ(tool.status, 0) << tool.err;
    std::vector<std::pair<std::string, std::string>> listed; // name, description
    bool inList = false;
    for (const std::string& line : linesOf(tool.out)) {
        if (line == "Subcommands:") {
            inList = true;
        } else if (inList && line.rfind("  ", 0) == 0) {
            const std::size_t nameEnd = line.find(' ', 2);
            const std::size_t text = line.find_first_not_of(' ', nameEnd);
            ASSERT_NE(text, std::string::npos) << line;
            listed.emplace_back(line.substr(2, nameEnd - 2), line.substr(text));
        } else if (inList) {
            break;
        }
    }
    ASSERT_GE(listed.size(), 8u) << tool.out;
    for (const auto& [name, description] : listed) {
        const ToolRun run = runVrim(name + " --help");
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(run.err, "") << name;
        const std::vector<std::string> lines = linesOf(run.out);
        ASSERT_FALSE(lines.empty()) << name;
        EXPECT_EQ(lines[0], description) << name;
    }
    const ToolRun version = runVrim("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(contains(version.out, "vrim 1.0.0")) << version.out;
}

static void setModuleVariable(const char* value) {
#if defined(_WIN32)
    _putenv_s("VRIM_MODULE", value != nullptr ? value : "");
#else
    if (value != nullptr) {
        setenv("VRIM_MODULE", value, 1);
    } else {
        unsetenv("VRIM_MODULE");
    }
#endif
}

// The module the commands drive: --module before VRIM_MODULE before the file
// beside the tool; --version names the one they would take.
TEST(VrimTool, ModuleFromOptionEnvironmentOrBesideTheTool) {
    struct Case {
        const char* variable;
        std::string arguments;
        int status;
        std::string says; // on standard output, or on standard error for status 2
    };
    const std::string show = std::string("show ") + kSample;
    const std::vector<Case> cases = {
        {nullptr, "--version", 0, "vrim_s.p"},
        {"", "--version", 0, "vrim_s.p"},
        {"no-handler.p", "--version", 0, "module: no-handler.p"},
        {"missing.p", "--version", 0, "module: missing.p (not found)"},
        {nullptr, show, 0, "block 1"},
        {"no-handler.p", show, 2, "'no-handler.p' is not a shake module"},
        {"no-handler.p", show + " --module vrim_s.p", 0, "block 1"},
        {"no-handler.p", "validate --level 1", 1, "FAIL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.variable != nullptr ? c.variable : "(unset)") + ": " +
                     c.arguments);
        setModuleVariable(c.variable);
        const ToolRun run = runVrim(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.arguments == "--version") {
            const std::vector<std::string> lines = linesOf(run.out);
            ASSERT_EQ(lines.size(), 2u) << run.out;
            EXPECT_EQ(lines[0], "vrim 1.0.0");
            EXPECT_EQ(lines[1].rfind("module: ", 0), 0u) << lines[1];
            const std::string& says = c.says;
            EXPECT_EQ(lines[1].substr(lines[1].size() - std::min(lines[1].size(), says.size())),
                      says);
        } else {
            EXPECT_TRUE(contains(c.status == 2 ? run.err : run.out, c.says)) << run.out << run.err;
        }
    }
    setModuleVariable(nullptr);
}
