// The line operations on their own, over the stand-in host's line reader and
// writer.
#include "plugin/core/sceneline.h"
#include "standin/scene_io.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

using vrim::compareSceneToken;
using vrim::readSceneLine;
using vrim::sceneInteger;
using vrim::writeSceneValue;

using standin::LineReader;
using standin::LineWriter;

namespace {

constexpr double kKept = 42.25; // the value a line without a blank leaves alone
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

SceneLine readOne(const std::string& text) {
    LineReader reader({text});
    LoadState state = reader.state();
    SceneLine line{};
    line.value = kKept;
    EXPECT_EQ(readSceneLine(&state, &line), line.length);
    EXPECT_EQ(reader.reads(), 1);
    return line;
}

void expectSameDouble(double actual, double expected) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << actual;
    } else {
        EXPECT_EQ(actual, expected);
    }
}

std::string writeOne(const char* keyword, double value) {
    LineWriter writer;
    SaveState state = writer.state();
    writeSceneValue(&state, keyword, value);
    EXPECT_EQ(writer.writes(), 1);
    if (writer.writes() != 1) {
        return {};
    }
    EXPECT_EQ(writer.byteCounts[0], static_cast<int32_t>(writer.lines[0].size() + 1));
    EXPECT_LE(writer.lines[0].size(), 255u);
    return writer.lines[0];
}

} // namespace

TEST(SceneLineTest, ReadSplitsTokenAndNumber) {
    const struct {
        std::string line;
        const char* token;
        double value;
    } cases[] = {
        {"KEY_NUM 3.000000", "KEY_NUM", 3.0},
        {"KEY_START", "KEY_START", kKept},
        {"FREQ_W_X  -0.5 word", "FREQ_W_X", -0.5},
        {"FREQ word", "FREQ", 0.0},
        {"FREQ ", "FREQ", 0.0},
        {" FREQ 1", "", 0.0},
        {"", "", kKept},
        {"END_F\t30", "END_F\t30", kKept},
        {"END_F 30.5abc", "END_F", 30.5},
        {"X \t\v\f\r7", "X", 7.0},
        {"X 1e3", "X", 1000.0},
        {"X -.5E-1", "X", -0.05},
        {"X 5.", "X", 5.0},
        {"X +2", "X", 2.0},
        {"X 1.5e", "X", 1.5},
        {"X 2e+", "X", 2.0},
        {"X .", "X", 0.0},
        {"X -", "X", 0.0},
        {"X 1,5", "X", 1.0},    // a comma is never a decimal point
        {"X 0x1p3", "X", 0.0},  // nor is hexadecimal a number here
        {"X 1e999", "X", kInf}, // too large for a double
        {"X inf", "X", kInf},
        {"X -Infinity", "X", -kInf},
        {"X nan", "X", kNaN},
        {"X infinite", "X", kInf},
        {"X 1 2", "X", 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("line '" + c.line + "'");
        SceneLine line = readOne(c.line);
        EXPECT_STREQ(line.token, c.token);
        EXPECT_EQ(line.length, static_cast<int32_t>(std::strlen(c.token)));
        expectSameDouble(line.value, c.value);
    }
}

TEST(SceneLineTest, ReadStaysInsideItsBuffers) {
    // A host line longer than the buffer is cut to 255 characters.
    SceneLine line = readOne(std::string(300, 'A'));
    EXPECT_EQ(line.length, 255);
    EXPECT_EQ(std::string(line.token), std::string(255, 'A'));

    // The number text ends with the buffer too.
    line = readOne("T " + std::string(400, '9'));
    EXPECT_EQ(line.length, 1);
    EXPECT_EQ(line.value, std::stod(std::string(253, '9')));

    // A host that ignores the length and leaves no NUL in the buffer.
    LoadState careless{};
    careless.read = [](void*, char* buffer, int32_t length) {
        std::memset(buffer, 'B', static_cast<std::size_t>(length));
        return length;
    };
    line = SceneLine{};
    EXPECT_EQ(readSceneLine(&careless, &line), 255);
}

TEST(SceneLineTest, AFailedReadYieldsAnEmptyLine) {
    LineReader reader({"KEY_START 5"});
    LoadState state = reader.state();
    SceneLine line{};
    readSceneLine(&state, &line);
    EXPECT_STREQ(line.token, "KEY_START");
    // Past the end the host leaves the buffer as it was; nothing of the
    // previous line may show through.
    EXPECT_EQ(readSceneLine(&state, &line), 0);
    EXPECT_STREQ(line.token, "");
    EXPECT_EQ(line.value, 5.0);
    EXPECT_EQ(reader.reads(), 2);
}

TEST(SceneLineTest, TokenMatchesKeywordByLeadingPart) {
    const struct {
        const char* token;
        const char* keyword;
        int32_t result;
    } cases[] = {
        {"FREQ", "FREQ_W_Y", 0},  {"FREQ_W_Y", "FREQ", 1},      {"", "VRIM_END", 0},
        {"freq", "FREQ", 1},      {"KEY_NUMX", "KEY_NUM", 1},   {"KEY_NUM", "KEY_NUM", 0},
        {"KEY_S", "KEY_NUM", 1},  {"KEY_S", "KEY_START", 0},    {"F", "FALL_OFF", 0},
        {"FREQ_", "FREQ_W_X", 0}, {"VRIM_ENDS", "VRIM_END", 1},
    };
    for (const auto& c : cases) {
        SceneLine line{};
        std::strcpy(line.token, c.token);
        EXPECT_EQ(compareSceneToken(c.keyword, &line), c.result)
            << "token '" << c.token << "' keyword " << c.keyword;
    }
}

TEST(SceneLineTest, WriteValueForms) {
    const struct {
        const char* keyword;
        double value;
        const char* line;
    } cases[] = {
        {"END_F", 30, "END_F 30.000000"},
        {"FREQ", 0.1, "FREQ 0.100000"},
        {"FREQ", -2.5, "FREQ -2.500000"},
        {"FREQ", 0.1234567, "FREQ 0.123457"},
        {"FREQ", 0.0000004, "FREQ 0.000000"},
        {"KEY_NUM", 1, "KEY_NUM 1.000000"},
        {"START_F", -2147483648.0, "START_F -2147483648.000000"},
        {"FREQ_W_X", 1e300, "FREQ_W_X 1.0000000000000001e+300"},
        {"FREQ_W_X", -1e238, "FREQ_W_X -1e+238"}, // one character too many for " %f"
        {"FREQ", kInf, "FREQ inf"},
        {"FREQ", -kInf, "FREQ -inf"},
        {"FREQ", kNaN, "FREQ nan"},
        {"FREQ", -kNaN, "FREQ nan"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(writeOne(c.keyword, c.value), c.line);
    }
}

// Around the magnitude where " %f" stops fitting the line, every value must
// still fit and come back as exactly the same double.
TEST(SceneLineTest, LargeMagnitudesFitAndReadBackExactly) {
    for (int exponent = 200; exponent <= 308; ++exponent) {
        for (double mantissa : {1.0, 9.87654321, -1.0, -9.99999999}) {
            const double value = mantissa * std::pow(10.0, exponent);
            if (!std::isfinite(value)) {
                continue;
            }
            for (const char* keyword : {"FREQ", "FREQ_W_X"}) {
                SCOPED_TRACE(std::string(keyword) + " " + std::to_string(exponent));
                const std::string text = writeOne(keyword, value);
                EXPECT_EQ(readOne(text).value, value);
            }
        }
    }
}

TEST(SceneLineTest, IntegerConversion) {
    const struct {
        double value;
        int32_t integer;
    } cases[] = {
        {2.9, 2},
        {-2.9, -2},
        {-1.5, -1},
        {-0.5, 0},
        {2147483647.0, INT32_MAX},
        {-2147483648.0, INT32_MIN},
        {2147483648.0, INT32_MIN}, // low 32 bits, two's complement
        {-2147483649.0, INT32_MAX},
        {4294967297.0, 1},
        {4294967296.0 * 3 + 7.75, 7},
        {-4294967296.0 * 5 - 9.5, -9},
        {9223372036854774784.0, -1024}, // largest double below 2^63
        {-9223372036854775808.0 + 4096, 4096},
        {9223372036854775808.0, 0}, // 2^63: beyond the 64-bit range
        {-9223372036854777856.0, 0},
        {1e300, 0},
        {kInf, 0},
        {-kInf, 0},
        {kNaN, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sceneInteger(c.value), c.integer) << std::to_string(c.value);
    }
}
