// The replaced block's text: the module's lines with the old block's line
// ends, so that a file keeps its own line-end style byte for byte.
#include "tools/vrim/edit/splice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(BlockText, TheNewBlockTakesTheOldBlocksLineEnds) {
    struct Case {
        const char* name;
        std::string oldBytes;
        std::string expected;
    };
    const std::vector<std::string> lines = {"VRIM_START", "KEY_NUM 0.000000", "VRIM_END"};
    const Case cases[] = {
        {"LF", "VRIM_START\nKEY_NUM 0\nVRIM_END\n", "VRIM_START\nKEY_NUM 0.000000\nVRIM_END\n"},
        {"CRLF", "VRIM_START\r\nVRIM_END\r\n", "VRIM_START\r\nKEY_NUM 0.000000\r\nVRIM_END\r\n"},
        {"last line without an end", "VRIM_START\r\nVRIM_END",
         "VRIM_START\r\nKEY_NUM 0.000000\r\nVRIM_END"},
        {"mixed: the first line's end, the last line's own", "VRIM_START\r\nX\nVRIM_END\n",
         "VRIM_START\r\nKEY_NUM 0.000000\r\nVRIM_END\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vrim::edit::blockText(lines, c.oldBytes), c.expected) << c.name;
    }
}

} // namespace
