// The stand-in host's side of scene files: lines, files and key blocks.
#include "plugin/vocabulary.h"
#include "standin/scene_io.h"
#include "support/chains.h"
#include "support/module_fixture.h"

#include <cstdio>
#include <cstring>
#include <fstream>

using standin::findKeyBlocks;
using standin::LineReader;
using standin::splitLines;
using testsupport::chainOf;
using testsupport::ModuleTest;

using Lines = std::vector<std::string>;

TEST(SceneIoTest, SplitLinesTakesLfAndCrlf) {
    const struct {
        std::string text;
        Lines lines;
    } cases[] = {
        {"", {}},
        {"a\nb\n", {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"a\n\n", {"a", ""}},
        {"\r\n", {""}},
        {"a\rb\n", {"a\rb"}},
        {"a\r", {"a"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(splitLines(c.text), c.lines) << '"' << c.text << '"';
    }
}

TEST(SceneIoTest, ReaderCutsToTheBufferAndFailsPastTheEnd) {
    LineReader reader({"ABCDEFG", "X"});
    LoadState state = reader.state();
    char buffer[8] = "#######";
    EXPECT_EQ(state.read(state.readData, buffer, 5), 4);
    EXPECT_STREQ(buffer, "ABCD");
    EXPECT_EQ(state.read(state.readData, buffer, 5), 1);
    EXPECT_STREQ(buffer, "X");
    std::strcpy(buffer, "kept");
    EXPECT_EQ(state.read(state.readData, buffer, 5), -1);
    EXPECT_STREQ(buffer, "kept");
    EXPECT_EQ(reader.reads(), 3);
    EXPECT_EQ(reader.consumed(), 2u);
}

TEST(SceneIoTest, FindsEveryKeyBlockWithItsLineNumbers) {
    const Lines scene = {"LWSC",     "VRIM_START", "KEY_NUM 0.000000", "VRIM_END", "ShowItem",
                         "VRIM_END", "VRIM_START", "VRIM_START",       "KEY_START"};
    auto blocks = findKeyBlocks(scene, vrim::kBlockStart, vrim::kBlockEnd);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].firstLine, 2u);
    EXPECT_EQ(blocks[0].lastLine, 4u);
    EXPECT_TRUE(blocks[0].ended);
    EXPECT_EQ(blocks[0].lines, (Lines{"VRIM_START", "KEY_NUM 0.000000", "VRIM_END"}));
    // A block that never ends runs to the end of the file.
    EXPECT_EQ(blocks[1].firstLine, 7u);
    EXPECT_EQ(blocks[1].lastLine, 9u);
    EXPECT_FALSE(blocks[1].ended);
    EXPECT_EQ(blocks[1].lines, (Lines{"VRIM_START", "VRIM_START", "KEY_START"}));
    EXPECT_TRUE(
        findKeyBlocks({"VRIM_START ", "vrim_start"}, vrim::kBlockStart, vrim::kBlockEnd).empty());
}

// A scene saved on Windows: CRLF line ends and no line end after the last
// line. Every block found in it loads through the module.
TEST_F(ModuleTest, SceneFileBlocksLoadThroughTheModule) {
    const std::string path = "scene_io_test.lws";
    {
        std::ofstream file(path, std::ios::binary);
        file << "LWSC\r\n3\r\nPlugin ItemMotionHandler 1 VRIM_S\r\nVRIM_START\r\nKEY_NUM "
                "1.000000\r\nKEY_START\r\nFREQ 0.500000\r\nEND_F 12.000000\r\nVRIM_END\r\n"
                "EndPlugin\r\nVRIM_START\r\nKEY_START\r\nKEY_START\r\nSTART_F 3.000000\r\n"
                "VRIM_END";
    }
    Lines lines;
    std::string error;
    ASSERT_TRUE(standin::readSceneFile(path, lines, error)) << error;
    auto blocks = findKeyBlocks(lines, vrim::kBlockStart, vrim::kBlockEnd);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].firstLine, 4u);
    EXPECT_EQ(blocks[1].lastLine, 15u);

    std::vector<std::vector<const ShakeKey*>> chains;
    std::vector<ShakeInstance*> instances;
    for (const auto& block : blocks) {
        auto* instance = static_cast<ShakeInstance*>(handler.create());
        LineReader reader(block.lines);
        handler.load(instance, reader.state());
        EXPECT_EQ(reader.consumed(), block.lines.size());
        instances.push_back(instance);
        chains.push_back(chainOf(instance));
    }
    ASSERT_EQ(chains[0].size(), 1u);
    EXPECT_EQ(chains[0][0]->freqTime, 0.5);
    EXPECT_EQ(chains[0][0]->endFrame, 12);
    ASSERT_EQ(chains[1].size(), 2u);
    EXPECT_EQ(chains[1][1]->startFrame, 3);
    for (auto* instance : instances) {
        handler.destroy(instance);
    }

    // The lines written back, each ended by LF, read again as the same lines.
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (const std::string& line : lines) {
            out << line << '\n';
        }
    }
    Lines again;
    ASSERT_TRUE(standin::readSceneFile(path, again, error)) << error;
    std::remove(path.c_str());
    EXPECT_EQ(again, lines);

    EXPECT_FALSE(standin::readSceneFile("no/such/scene.lws", lines, error));
    EXPECT_NE(error.find("no/such/scene.lws"), std::string::npos);
}
