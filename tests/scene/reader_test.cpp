// The scene reader on scenes written here the way the host writes them:
// items of every kind and their names, header values, key blocks with their
// lines and byte spans, line ends, and the bounds it keeps.
#include "support/faulty_fs.h"
#include "tools/vrim/module/session.h"
#include "tools/vrim/scene/batch.h"
#include "tools/vrim/scene/reader_choice.h"
#include "tools/vrim/scene/scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace vrim::scene;

struct Read {
    std::vector<Item> items;
    std::vector<Block> blocks;
    Header header;
    std::vector<Problem> problems;
    bool stopped = false;
};

Read readAll(const std::string& text) {
    Reader reader = Reader::fromBytes(text, "test.lws");
    Read read;
    for (Event event = reader.next(); event != Event::End; event = reader.next()) {
        if (event == Event::Item) {
            read.items.push_back(reader.item());
        } else {
            read.blocks.push_back(reader.block());
        }
    }
    EXPECT_EQ(reader.next(), Event::End) << "End stays End";
    read.header = reader.header();
    read.problems = reader.problems();
    read.stopped = reader.stopped();
    return read;
}

// Joins lines with the given line end after every line.
std::string scene(const std::vector<std::string>& lines, const std::string& end) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + end;
    }
    return text;
}

const std::vector<std::string> kShake = {"Plugin ItemMotionHandler 1 VRIM_S",
                                         "VRIM_START",
                                         "KEY_NUM 1.000000",
                                         "KEY_START",
                                         "FREQ 0.100000",
                                         "VRIM_END",
                                         "EndPlugin"};

std::vector<std::string> withShake(std::vector<std::string> lines) {
    lines.insert(lines.end(), kShake.begin(), kShake.end());
    return lines;
}

TEST(SceneReader, NamesEveryKindOfItem) {
    struct Case {
        std::vector<std::string> lines;
        ItemKind kind;
        const char* name;
    };
    const Case cases[] = {
        {{"LoadObject Objects/Props/Crate.lwo"}, ItemKind::Object, "Crate"},
        {{"LoadObject C:\\Shots\\Rig.v2.lwo"}, ItemKind::Object, "Rig.v2"},
        {{"LoadObjectLayer 1 Objects/Car.lwo"}, ItemKind::Object, "Car"},
        {{"LoadObjectLayer 2 1000000a Objects\\My Car.lwo"}, ItemKind::Object, "My Car"},
        {{"AddNullObject CamShake_Null"}, ItemKind::Null, "CamShake_Null"},
        {{"AddNullObject 10000002 Rig Null"}, ItemKind::Null, "Rig Null"},
        {{"AddCamera 30000000", "ShowCamera 1 2", "CameraName ShotCam"},
         ItemKind::Camera,
         "ShotCam"},
        {{"AddCamera"}, ItemKind::Camera, "Camera"},
        {{"AddLight 20000000", "LightName Key Light"}, ItemKind::Light, "Key Light"},
        {{"AddBone", "BoneName Spine_01"}, ItemKind::Bone, "Spine_01"},
    };
    for (const std::string end : {"\n", "\r\n"}) {
        for (const Case& c : cases) {
            const Read read = readAll(scene(withShake(c.lines), end));
            ASSERT_EQ(read.items.size(), 1u) << c.name;
            EXPECT_EQ(read.items[0].kind, c.kind) << c.name;
            EXPECT_EQ(read.items[0].name, c.name);
            EXPECT_EQ(read.items[0].line, 1u) << c.name;
            ASSERT_EQ(read.blocks.size(), 1u) << c.name;
            ASSERT_TRUE(read.blocks[0].item.has_value()) << c.name;
            EXPECT_EQ(read.blocks[0].address, c.name);
        }
    }
}

TEST(SceneReader, AddressesEveryBlockOnceAndNeverAsAnotherItemsName) {
    // Each case: the scene's lines, and the address of each block in order.
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        std::vector<std::string> addresses;
    };
    const std::string bare = "VRIM_START\nVRIM_END";
    const Case cases[] = {
        {"items of one name: the first block keeps it",
         {"AddNullObject Rig", "AddNullObject Rig", bare, "LoadObject objects/Rig.lwo", bare},
         {"Rig", "Rig@2"}},
        {"two modifiers on one item",
         {"AddCamera", "CameraName Cam", bare, bare},
         {"Cam", "Cam@2"}},
        {"a block before any item", {bare, "AddNullObject A", bare}, {"@1", "A"}},
        {"a real item named like a generated address",
         {"AddNullObject Rig", bare, "AddNullObject Rig", bare, "AddNullObject Rig@2", bare,
          "AddNullObject @1", bare},
         {"Rig", "Rig@2", "Rig@2@3", "@1@4"}},
        {"a name that only looks close stands for itself",
         {"AddNullObject Rig@", bare, "AddNullObject Rig@2x", bare, "AddNullObject @", bare},
         {"Rig@", "Rig@2x", "@"}},
    };
    for (const Case& c : cases) {
        std::string text;
        for (const std::string& line : c.lines) {
            text += line + "\n";
        }
        const Read read = readAll(text);
        std::vector<std::string> addresses;
        for (const Block& block : read.blocks) {
            addresses.push_back(block.address);
        }
        EXPECT_EQ(addresses, c.addresses) << c.what;
    }
}

TEST(SceneReader, DecodesNamesAsUtf8ElseWindows1252) {
    struct Case {
        std::string raw;
        ::text::Encoding encoding;
        std::string name;
    };
    const Case cases[] = {
        {"Kamera_Gr\xc3\xb6\xc3\x9f"
         "e",
         ::text::Encoding::Auto,
         "Kamera_Gr\xc3\xb6\xc3\x9f"
         "e"},
        {"Kamera_Gr\xf6\xdf"
         "e",
         ::text::Encoding::Auto,
         "Kamera_Gr\xc3\xb6\xc3\x9f"
         "e"},
        {"\x80uro", ::text::Encoding::Auto,
         "\xe2\x82\xac"
         "uro"},
        {"Gr\xc3\xb6"
         "\xdf"
         "e",
         ::text::Encoding::Auto,
         "Gr\xc3\x83\xc2\xb6\xc3\x9f"
         "e"},
        {"Gr\xc3\xb6"
         "e",
         ::text::Encoding::Windows1252,
         "Gr\xc3\x83\xc2\xb6"
         "e"},
        {"Gr\xf6"
         "e",
         ::text::Encoding::Utf8,
         "Gr\xef\xbf\xbd"
         "e"},
        {"x\x01\x1b[31mred", ::text::Encoding::Auto, "x\x01\x1b[31mred"},
    };
    for (const Case& c : cases) {
        setNameEncoding(c.encoding);
        const Read read = readAll("AddNullObject " + c.raw + "\nVRIM_START\nVRIM_END\n");
        ASSERT_EQ(read.blocks.size(), 1u);
        EXPECT_EQ(read.blocks[0].item->name, c.name);
        EXPECT_EQ(read.blocks[0].address, c.name);
    }
    setNameEncoding(::text::Encoding::Auto);
}

TEST(SceneReader, SpansCoverTheBlockBytesSoThatTheRestCanBeCopied) {
    for (const std::string end : {"\n", "\r\n"}) {
        const std::string text = scene({"LWSC", "AddNullObject Shaker", "ShowObject 6 3"}, end) +
                                 scene(kShake, end) + "AddNullObject After" + end;
        const Read read = readAll(text);
        ASSERT_EQ(read.blocks.size(), 1u);
        const Block& block = read.blocks[0];
        EXPECT_EQ(block.whole.firstLine, 4u);
        EXPECT_EQ(block.whole.lastLine, 10u);
        EXPECT_EQ(text.substr(block.whole.begin, block.whole.end - block.whole.begin),
                  scene(kShake, end));
        ASSERT_TRUE(block.data.has_value());
        EXPECT_EQ(block.data->firstLine, 5u);
        EXPECT_EQ(block.data->lastLine, 9u);
        EXPECT_EQ(text.substr(block.data->begin, block.data->end - block.data->begin),
                  scene({kShake.begin() + 1, kShake.end() - 1}, end));
        EXPECT_EQ(block.lineEnd, end == "\n" ? LineEnd::LF : LineEnd::CRLF);
        EXPECT_TRUE(block.ended);
        EXPECT_TRUE(block.closed);
        EXPECT_EQ(block.firstLine, 5u);
        EXPECT_EQ(block.lines, (std::vector<std::string>{kShake.begin() + 1, kShake.end() - 1}));
    }
}

TEST(SceneReader, BlocksThatDoNotEndAsWritten) {
    struct Case {
        const char* what;
        std::string text;
        bool wrapped, ended, closed, hasData;
        std::size_t lines;
        LineEnd lineEnd;
    };
    const Case cases[] = {
        {"bare, file ends inside", "VRIM_START\nKEY_START\nFREQ 1", false, false, false, true, 3,
         LineEnd::LF},
        {"wrapped, no VRIM_END",
         "Plugin ItemMotionHandler 1 VRIM_S\nVRIM_START\nKEY_START\nEndPlugin\n", true, false, true,
         true, 2, LineEnd::LF},
        {"wrapped, lines after VRIM_END",
         "Plugin ItemMotionHandler 2 VRIM_S\r\nVRIM_START\r\nVRIM_END\nstray\r\nEndPlugin\r\n",
         true, true, true, true, 3, LineEnd::Mixed},
        {"wrapped, no VRIM_START", "Plugin ItemMotionHandler 1 VRIM_S\nKEY_START\nEndPlugin", true,
         false, true, false, 1, LineEnd::LF},
        {"one line, no line end", "VRIM_START", false, false, false, true, 1, LineEnd::None},
    };
    for (const Case& c : cases) {
        const Read read = readAll(c.text);
        ASSERT_EQ(read.blocks.size(), 1u) << c.what;
        const Block& block = read.blocks[0];
        EXPECT_EQ(block.wrapped, c.wrapped) << c.what;
        EXPECT_EQ(block.ended, c.ended) << c.what;
        EXPECT_EQ(block.closed, c.closed) << c.what;
        EXPECT_EQ(block.data.has_value(), c.hasData) << c.what;
        EXPECT_EQ(block.lines.size(), c.lines) << c.what;
        EXPECT_EQ(block.lineEnd, c.lineEnd) << c.what;
        EXPECT_EQ(block.whole.end, c.text.size()) << c.what;
        EXPECT_FALSE(read.stopped) << c.what;
    }
}

// What a read tells apart from the blocks' lines, one line per block, item
// and problem, for comparing two reads of one text.
std::string outline(Reader& reader) {
    const auto span = [](const Span& s) {
        return std::to_string(s.firstLine) + "-" + std::to_string(s.lastLine) + "@" +
               std::to_string(s.begin) + "-" + std::to_string(s.end);
    };
    std::string text;
    for (Event event = reader.next(); event != Event::End; event = reader.next()) {
        if (event == Event::Item) {
            const Item& item = reader.item();
            text += "item " + std::to_string(item.number) + " " + item.name + " line " +
                    std::to_string(item.line) + "\n";
            continue;
        }
        const Block& b = reader.block();
        text += "block " + std::to_string(b.number) + " " + b.address + " whole " + span(b.whole) +
                " data " + (b.data ? span(*b.data) : "none") + " first " +
                std::to_string(b.firstLine) + (b.wrapped ? " wrapped" : "") +
                (b.ended ? " ended" : "") + (b.closed ? " closed" : "") + " ends " +
                std::to_string(static_cast<int>(b.lineEnd)) + "\n";
    }
    for (const Problem& problem : reader.problems()) {
        text += "problem " + std::to_string(problem.line) + " " + problem.message + "\n";
    }
    return text + "lines " + std::to_string(reader.linesRead()) + " bytes " +
           std::to_string(reader.bytesRead()) + (reader.stopped() ? " stopped" : "") + "\n";
}

TEST(SceneReader, ABlockThatKeepsNoLinesIsReadAsOneThatDoes) {
    // A block nobody keeps is passed in one go where its end is at hand;
    // everything but its lines must come out as line by line.
    std::string bigBlock = "Plugin ItemMotionHandler 1 VRIM_S\nVRIM_START\n";
    for (std::size_t i = 0; i <= kMaxBlockLines; ++i) {
        bigBlock += "K\n";
    }
    const std::string shake = scene(kShake, "\n");
    const std::string blocks[] = {
        shake,
        scene(kShake, "\r\n"),
        "Plugin ItemMotionHandler 2 VRIM_S\r\nVRIM_START\r\nVRIM_END\nstray\r\nEndPlugin\r\n",
        "Plugin ItemMotionHandler 1 VRIM_S\nVRIM_START\r\nVRIM_END\nEndPlugin\n",
        "Plugin ItemMotionHandler 1 VRIM_S\r\nVRIM_START\nVRIM_END\r\nEndPlugin\r\n",
        "Plugin ItemMotionHandler 1 VRIM_S\nKEY_START\nVRIM_START\nA\nEndPlugin\n",
        "Plugin ItemMotionHandler 1 "
        "VRIM_S\nVRIM_START\nVRIM_START\nVRIM_END\nVRIM_END\nEndPlugin\n",
        "Plugin ItemMotionHandler 1 VRIM_S\nVRIM_END\nVRIM_START\nKEY\nEndPlugin\n",
        "Plugin ItemMotionHandler 1 VRIM_S\nVRIM_START\nKEY_START\n",
        "Plugin ItemMotionHandler 1 VRIM_S\nVRIM_START\nVRIM_END\nEndPlugin",
        "Plugin ItemMotionHandler 1 VRIM_S\nEndPlugin\n",
        "Plugin ItemMotionHandler 1 VRIM_S\nVRIM_START \n EndPlugin\nEndPlugin \nEndPlugin\r\r\n"
        "xEndPlugin\nVRIM_END\r\nEndPlugin\r\n",
        "Plugin ItemMotionHandler 1 VRIM_S\nVRIM_START\n" + std::string(kMaxLineBytes + 1, 'x') +
            "\nVRIM_END\nEndPlugin\n",
        bigBlock + "EndPlugin\n",
        "VRIM_START\nKEY\nVRIM_END\n",
    };
    for (const std::string& block : blocks) {
        const std::string text = "LWSC\nAddNullObject A\n" + block + "AddNullObject B\n" + shake;
        const std::string what = block.substr(0, 120);
        Reader keeping = Reader::fromBytes(text, "test.lws");
        const std::string expected = outline(keeping);
        Reader passing = Reader::fromBytes(text, "test.lws");
        passing.keepLinesOf([](const Block&) { return false; });
        EXPECT_EQ(outline(passing), expected) << what;
        // In pieces, so that a block's end is now at hand and now not.
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{64}}) {
            std::size_t at = 0;
            Reader pieces = Reader::fromSource(
                [&](std::string_view& bytes, std::string&) {
                    bytes = std::string_view(text).substr(std::min(at, text.size()), piece);
                    at += piece;
                    return true;
                },
                "test.lws");
            pieces.keepLinesOf([](const Block&) { return false; });
            EXPECT_EQ(outline(pieces), expected) << what << ", pieces of " << piece;
        }
    }
}

TEST(SceneReader, PassesOverOtherPluginsData) {
    const Read read =
        readAll(scene({"AddNullObject A", "Plugin ItemMotionHandler 1 Other", "VRIM_START",
                       "AddNullObject NotAnItem", "EndPlugin", "VRIM_START", "VRIM_END"},
                      "\n"));
    ASSERT_EQ(read.items.size(), 1u);
    ASSERT_EQ(read.blocks.size(), 1u);
    EXPECT_EQ(read.blocks[0].whole.firstLine, 6u);
}

TEST(SceneReader, HeaderValues) {
    const Read read = readAll(scene({"LWSC", "FirstFrame 1001", "LastFrame 1100", "FrameStep 2",
                                     "FramesPerSecond 23.976", "FirstFrame 5", "LastFrame x"},
                                    "\r\n"));
    ASSERT_TRUE(read.header.framesPerSecond && read.header.firstFrame && read.header.lastFrame &&
                read.header.frameStep);
    EXPECT_DOUBLE_EQ(read.header.framesPerSecond->number, 23.976);
    EXPECT_EQ(read.header.framesPerSecond->line, 5u);
    EXPECT_EQ(read.header.firstFrame->number, 1001) << "the first one counts";
    EXPECT_EQ(read.header.lastFrame->text, "1100");
    EXPECT_TRUE(read.problems.empty());
    ASSERT_TRUE(headerFrames(read.header).has_value());
    EXPECT_EQ(headerFrames(read.header)->first, 1001);
    EXPECT_EQ(headerFrames(read.header)->last, 1100);

    const Read none = readAll("LWSC\n3\n");
    EXPECT_FALSE(none.header.framesPerSecond || none.header.firstFrame || none.header.lastFrame);
    EXPECT_FALSE(headerFps(none.header).has_value());

    const Read bad = readAll("LWSC\nFramesPerSecond fast\nFirstFrame 10\nLastFrame 2\n");
    ASSERT_EQ(bad.problems.size(), 1u);
    EXPECT_EQ(bad.problems[0].line, 2u);
    EXPECT_FALSE(bad.problems[0].stopsReading);
    EXPECT_FALSE(headerFps(bad.header).has_value());
    EXPECT_FALSE(headerFrames(bad.header).has_value()) << "ends out of order";
}

TEST(SceneReader, TextWithoutHeaderOrBlockIsNotAScene) {
    struct Case {
        std::string text;
        bool scene;
    };
    const Case cases[] = {
        {"", false},
        {"\x7f"
         "ELF\x01\x02 random bytes\n",
         false},
        {"AddNullObject A\nFramesPerSecond 24\n", false},
        {"LWSC\n3\nAddNullObject A\n", true},
        {"LWSC\r\n", true},
        {"AddNullObject A\nVRIM_START\nVRIM_END\n", true},
    };
    for (const Case& c : cases) {
        const Read read = readAll(c.text);
        EXPECT_EQ(read.stopped, !c.scene) << c.text;
        if (!c.scene) {
            ASSERT_EQ(read.problems.size(), 1u) << c.text;
            EXPECT_EQ(read.problems[0].message.rfind("not a scene file", 0), 0u);
        }
    }
}

TEST(SceneReader, StopsWithTheLineNumberAtEveryBound) {
    struct Case {
        const char* what;
        std::string text;
        std::uint64_t line;
    };
    const std::string longLine(kMaxLineBytes + 1, 'x');
    std::string bigBlock = "VRIM_START\n";
    for (std::size_t i = 0; i <= kMaxBlockLines; ++i) {
        bigBlock += "KEY\n";
    }
    const Case cases[] = {
        {"a line over the cap", "LWSC\n3\n" + longLine + "\nAddNullObject A\n", 3},
        {"a line over the cap at the end, no line end", "LWSC\n" + longLine, 2},
        {"zero bytes, no line end", std::string(kMaxLineBytes + 10, '\0'), 1},
        {"a block over the line cap", "\n" + bigBlock, 2},
        {"an item name over the cap", "AddNullObject " + std::string(kMaxNameBytes + 1, 'n'), 1},
    };
    for (const Case& c : cases) {
        const Read read = readAll(c.text);
        EXPECT_TRUE(read.stopped) << c.what;
        ASSERT_FALSE(read.problems.empty()) << c.what;
        EXPECT_EQ(read.problems.back().line, c.line) << c.what;
        EXPECT_TRUE(read.problems.back().stopsReading) << c.what;
        EXPECT_TRUE(read.blocks.empty()) << c.what;
    }
    // A line at the cap is read.
    EXPECT_FALSE(readAll("LWSC\n" + std::string(kMaxLineBytes, 'x') + "\r\n").stopped);
}

TEST(SceneReader, PicksABlockByItemOrNumber) {
    const std::string text =
        scene({"AddNullObject Rig", "VRIM_START", "KEY_NUM 1", "VRIM_END", "AddCamera",
               "CameraName Cam", "VRIM_START", "KEY_NUM 2", "VRIM_END", "VRIM_START", "KEY_NUM 3",
               "VRIM_END", "AddLight", "LightName Lamp", "FramesPerSecond 24"},
              "\n");
    struct Case {
        std::string item;
        std::size_t number;
        std::size_t block;   // 0: an error
        const char* message; // part of the error
    };
    const Case cases[] = {
        {"", 1, 1, ""},
        {"", 3, 3, ""},
        {"Rig", 1, 1, ""},
        {"", 4, 0, "--block 4 is out of range: 'test.lws' holds 3 key blocks"},
        {"Cam", 1, 2, ""},
        {"Cam@3", 1, 3, ""},
        {"Lamp", 1, 0, "no item of that name with a shake; items with a shake: Rig, Cam and Cam@3"},
        {"rig", 1, 0, "no item of that name"},
        {"Cam@2", 1, 0, "no item of that name"},
    };
    for (const Case& c : cases) {
        Reader reader = Reader::fromBytes(text, "test.lws");
        if (c.block != 0) {
            const PickedBlock picked = pickBlock(reader, BlockSelector::given(c.item, c.number));
            EXPECT_EQ(picked.block.number, c.block);
            EXPECT_EQ(picked.block.lines[1], "KEY_NUM " + std::to_string(c.block));
            ASSERT_TRUE(headerFps(picked.header).has_value()) << "read to the end";
            EXPECT_EQ(*headerFps(picked.header), 24.0);
            continue;
        }
        try {
            pickBlock(reader, BlockSelector::given(c.item, c.number));
            ADD_FAILURE() << c.message;
        } catch (const vrim::ToolError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    // One block is worded as one.
    const std::string oneBlock = scene({"LWSC", "VRIM_START", "VRIM_END"}, "\n");
    Reader one = Reader::fromBytes(oneBlock, "one.lws"); // reads the text in place
    try {
        pickBlock(one, BlockSelector().number(2));
        ADD_FAILURE() << "no block 2";
    } catch (const vrim::ToolError& e) {
        EXPECT_STREQ(e.what(), "--block 2 is out of range: 'one.lws' holds 1 key block");
    }
    Reader empty = Reader::fromBytes("AddNullObject A\n", "empty.lws");
    EXPECT_THROW(pickBlock(empty, {}), vrim::ToolError);
}

// The one rule every command, the edit and the library select blocks by:
// each address or number asked for is one block's, a block asked for twice
// is visited once, and asking for none selects every block.
TEST(SceneReader, SelectsBlocksByAddressAndNumber) {
    const std::string text =
        scene({"VRIM_START", "VRIM_END", "AddNullObject Rig", "VRIM_START", "VRIM_END", "AddCamera",
               "CameraName Cam", "VRIM_START", "VRIM_END", "VRIM_START", "VRIM_END"},
              "\n");
    struct Case {
        const char* what;
        BlockSelector selector;
        std::vector<std::size_t> visited;
        const char* error; // part of it; empty: none
    };
    const Case cases[] = {
        {"none asked: every block, the one before any item too", {}, {1, 2, 3, 4}, ""},
        {"an address", BlockSelector().address("Cam"), {3}, ""},
        {"a generated address", BlockSelector().address("Cam@4"), {4}, ""},
        {"a number", BlockSelector().number(1), {1}, ""},
        {"addresses and numbers together",
         BlockSelector().address("Rig").number(4).number(1),
         {1, 2, 4},
         ""},
        {"one block by address and by number", BlockSelector().address("Rig").number(2), {2}, ""},
        {"a number past the last", BlockSelector().number(5), {}, "--block 5 is out of range"},
        {"a name in another case", BlockSelector().address("rig"), {}, "--item 'rig'"},
        {"a number is not an address", BlockSelector().address("2"), {}, "--item '2'"},
    };
    for (const Case& c : cases) {
        Reader reader = Reader::fromBytes(text, "test.lws");
        std::vector<std::size_t> visited;
        SceneVisit visit;
        visit.block = [&](const Block& block, const Header&) { visited.push_back(block.number); };
        const SceneOutcome outcome = visitScene(reader, c.selector, visit);
        EXPECT_EQ(visited, c.visited) << c.what;
        EXPECT_EQ(outcome.blocks, c.visited.size()) << c.what;
        EXPECT_EQ(outcome.missing, c.visited.empty()) << c.what;
        EXPECT_NE(outcome.error.find(c.error), std::string::npos)
            << c.what << ": " << outcome.error;
        EXPECT_EQ(outcome.error.empty(), *c.error == '\0') << c.what << ": " << outcome.error;
    }
}

TEST(SceneReader, FoldersGiveTheirSceneFilesInNameOrder) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / "vrim-scene-files-test";
    fs::remove_all(root);
    fs::create_directories(root / "sub");
    for (const char* name : {"b.lws", "a.LWS", "notes.txt", "sub/c.lws"}) {
        std::ofstream(root / name) << "LWSC\n";
    }
    const std::string folder = root.generic_string();
    EXPECT_EQ(sceneFiles({folder, "-", "missing.lws"}, false),
              (std::vector<std::string>{folder + "/a.LWS", folder + "/b.lws", "-", "missing.lws"}));
    EXPECT_EQ(
        sceneFiles({folder}, true),
        (std::vector<std::string>{folder + "/a.LWS", folder + "/b.lws", folder + "/sub/c.lws"}));
#ifndef _WIN32
    // A link to a folder is not gone down: it could lead round in a circle.
    fs::create_directory_symlink(root, root / "sub" / "round");
    EXPECT_EQ(sceneFiles({folder}, true).size(), 3u);
#endif
    // A folder that cannot be read, the one given or one below it, is an
    // error that names the folder given, never a batch with scenes missing.
    for (const int failAt : {2, 3}) {
        testsupport::FaultyFileSystem faulty;
        faulty.failAt = failAt; // the first call asks whether the path is a folder
        try {
            sceneFiles({folder}, true, faulty);
            ADD_FAILURE() << "no error when call " << failAt << " fails";
        } catch (const vrim::ToolError& e) {
            EXPECT_EQ(faulty.failed, "listFolder");
            EXPECT_EQ(std::string(e.what()),
                      "cannot read folder '" + folder + "': injected failure of listFolder");
        }
    }
    fs::remove_all(root);
}

// What one read of a file through a file system came to: its blocks and
// the problem that stopped it, or the refusal to open it.
std::string readThrough(const std::string& path, vrim::files::FileSystem& fs) {
    try {
        Reader reader = Reader::open(path, fs);
        std::size_t blocks = 0;
        for (Event event = reader.next(); event != Event::End; event = reader.next()) {
            blocks += event == Event::Block ? 1 : 0;
        }
        std::string outcome = std::to_string(blocks) + " blocks";
        for (const Problem& problem : reader.problems()) {
            outcome += "; line " + std::to_string(problem.line) + ": " + problem.message;
        }
        return outcome;
    } catch (const vrim::ToolError& e) {
        return std::string("refused: ") + e.what();
    }
}

// Every file-system call of a read failed in turn: a failure to open or to
// read is said, never taken for the end of a shorter scene; the calls that
// only help (the look for a folder, the close after reading) change nothing.
TEST(SceneReader, EveryFailedCallOfAReadIsSaidOrHarmless) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / "vrim-scene-faults-test";
    fs::remove_all(root);
    fs::create_directories(root / "folder.lws");
    const std::string path = (root / "two.lws").generic_string();
    std::vector<std::string> lines = {"LWSC", "3", "AddNullObject A"};
    lines.insert(lines.end(), kShake.begin(), kShake.end());
    lines.push_back("AddNullObject B");
    lines.insert(lines.end(), kShake.begin(), kShake.end());
    std::ofstream(path, std::ios::binary) << scene(lines, "\n");
    // Each call in the order the read makes it, and what its failure comes to.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"stat", "2 blocks"},
        {"openRead",
         "refused: cannot open scene file '" + path + "': injected failure of openRead"},
        {"read", "0 blocks; line 1: cannot read on: injected failure of read"},
        {"read", "2 blocks; line 19: cannot read on: injected failure of read"},
        {"close", "2 blocks"},
    };
    std::vector<std::pair<std::string, std::string>> seen;
    for (int call = 1; call < 100; ++call) {
        testsupport::FaultyFileSystem faulty;
        faulty.failAt = call;
        const std::string outcome = readThrough(path, faulty);
        if (faulty.failed.empty()) {
            EXPECT_EQ(outcome, "2 blocks");
            break;
        }
        seen.emplace_back(faulty.failed, outcome);
    }
    EXPECT_EQ(seen, expected);
    // A folder is never read as an empty scene, even when the look for one fails.
    const std::string folder = (root / "folder.lws").generic_string();
    testsupport::FaultyFileSystem blind;
    blind.failAt = 1;
    const std::string outcome = readThrough(folder, blind);
    EXPECT_EQ(blind.failed, "stat");
    EXPECT_TRUE(outcome.rfind("refused: ", 0) == 0 ||
                outcome.find("cannot read on") != std::string::npos)
        << outcome;
    testsupport::FaultyFileSystem seeing;
    EXPECT_EQ(readThrough(folder, seeing),
              "refused: '" + folder + "' is a folder, not a scene file");
    fs::remove_all(root);
}

} // namespace
