// Saving and loading again: random chains, and a host process that runs
// under a comma-decimal locale.
#include "plugin/core/sceneline.h"
#include "standin/scene_io.h"
#include "support/chains.h"
#include "support/module_fixture.h"

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

using vrim::readSceneLine;

using standin::LineReader;
using standin::LineWriter;
using testsupport::chainIsSound;
using testsupport::chainOf;
using testsupport::keyValues;
using testsupport::makeInstance;
using testsupport::ModuleTest;

namespace {

#if defined(_WIN32)
constexpr int kRounds = 40; // Wine: keep the run to a few seconds
#else
constexpr int kRounds = 150;
#endif

// Zero, negatives, tiny and huge magnitudes, and now and then a value that
// is not finite.
double randomReal(std::mt19937_64& random) {
    std::uniform_int_distribution<int> kind(0, 19);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-320, 308);
    switch (kind(random)) {
    case 0:
        return 0.0;
    case 1:
        return -0.0;
    case 2:
        return std::numeric_limits<double>::infinity() * (unit(random) < 0 ? -1 : 1);
    case 3:
        return std::numeric_limits<double>::quiet_NaN();
    case 4:
    case 5:
    case 6:
        return unit(random) * std::pow(10.0, exponent(random));
    default:
        return unit(random) * 1000.0;
    }
}

void expectReloaded(double reloaded, double original, const std::string& line) {
    if (std::isnan(original)) {
        EXPECT_TRUE(std::isnan(reloaded)) << line;
        return;
    }
    // Written in full (%.17g, inf) the value comes back exactly; in " %f" to
    // six decimals, plus the rounding of the reading itself.
    if (line.find_first_of("ei") != std::string::npos) {
        EXPECT_EQ(reloaded, original) << line;
        return;
    }
    const double tolerance = 5e-7 + std::fabs(original) * DBL_EPSILON;
    EXPECT_LE(std::fabs(reloaded - original), tolerance) << line << " from " << original;
}

class RoundTripTest : public ModuleTest {
  protected:
    LineWriter save(void* instance) {
        LineWriter writer;
        handler.save(instance, writer.state());
        return writer;
    }
};

} // namespace

TEST_F(RoundTripTest, RandomChainsSurviveSaveAndLoad) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<int32_t> frame(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int> length(0, 300);

    for (int round = 0; round < kRounds; ++round) {
        std::vector<ShakeKey> keys(static_cast<size_t>(round == 0 ? 300 : length(random)));
        for (ShakeKey& key : keys) {
            key = keyValues(frame(random), frame(random), frame(random), randomReal(random),
                            randomReal(random), randomReal(random), randomReal(random));
        }
        ShakeInstance* original = makeInstance(handler, keys);
        LineWriter first = save(original);
        ASSERT_EQ(first.lines.size(), 3 + 8 * keys.size());

        auto* reloaded = static_cast<ShakeInstance*>(handler.create());
        LineReader reader(first.lines);
        handler.load(reloaded, reader.state());
        ASSERT_TRUE(chainIsSound(reloaded));
        ASSERT_EQ(reloaded->keyCount, static_cast<int32_t>(keys.size()));
        auto chain = chainOf(reloaded);
        for (size_t i = 0; i < keys.size(); ++i) {
            const ShakeKey& a = *chain[i];
            const ShakeKey& b = keys[i];
            EXPECT_EQ(a.startFrame, b.startFrame);
            EXPECT_EQ(a.endFrame, b.endFrame);
            EXPECT_EQ(a.fallOff, b.fallOff);
            const size_t line = 3 + 8 * i; // the key's FREQ line
            expectReloaded(a.freqTime, b.freqTime, first.lines[line]);
            expectReloaded(a.widthX, b.widthX, first.lines[line + 1]);
            expectReloaded(a.widthY, b.widthY, first.lines[line + 2]);
            expectReloaded(a.widthZ, b.widthZ, first.lines[line + 3]);
        }

        LineWriter second = save(reloaded);
        EXPECT_EQ(second.lines, first.lines);
        EXPECT_EQ(second.byteCounts, first.byteCounts);
        for (size_t i = 0; i < first.lines.size(); ++i) {
            ASSERT_LE(first.lines[i].size(), 255u);
            ASSERT_EQ(first.byteCounts[i], static_cast<int32_t>(first.lines[i].size() + 1));
        }
        handler.destroy(original);
        handler.destroy(reloaded);
        ASSERT_EQ(probe->live, 0);
        if (HasFailure()) {
            break;
        }
    }
}

// A host on a German or French system may have switched the process locale
// before it loads the module. Numbers must still be written and read with
// ".". The test process and the module share the C library, so switching the
// locale here switches it for the module too.
TEST_F(RoundTripTest, CommaDecimalLocaleChangesNothing) {
    const char* switched = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German", "de-DE", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            switched = name;
            break;
        }
    }
    if (switched == nullptr) {
        GTEST_SKIP() << "no comma-decimal locale on this system";
    }
    char probeText[32];
    std::snprintf(probeText, sizeof probeText, "%.1f", 1.5);
    const bool comma = std::string(probeText) == "1,5";

    ShakeInstance* instance = makeInstance(handler, {keyValues(-12, 345, 1, 0.25, -1.5, 1e-3, 0.1),
                                                     keyValues(7, 8, 0, 1e300, 0, -0.0, 2)});
    LineWriter written = save(instance);
    auto* reloaded = static_cast<ShakeInstance*>(handler.create());
    LineReader reader(written.lines);
    handler.load(reloaded, reader.state());
    // Read back under the locale, and once more after it is switched off.
    SceneLine line{};
    LineReader plain({"FREQ 0.25", "FREQ 1,5"});
    LoadState plainState = plain.state();
    readSceneLine(&plainState, &line);
    const double pointValue = line.value;
    readSceneLine(&plainState, &line);
    const double commaValue = line.value;
    std::setlocale(LC_ALL, "C");

    EXPECT_TRUE(comma) << switched << " did not switch the decimal point; the test proves little";
    ASSERT_EQ(written.lines.size(), 19u);
    EXPECT_EQ(written.lines[3], "FREQ 0.100000");
    EXPECT_EQ(written.lines[5], "FREQ_W_Y -1.500000");
    EXPECT_EQ(written.lines[12], "FREQ_W_X 1.0000000000000001e+300");
    auto chain = chainOf(reloaded);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[0]->startFrame, -12);
    EXPECT_EQ(chain[0]->endFrame, 345);
    EXPECT_EQ(chain[0]->widthX, 0.25);
    EXPECT_EQ(chain[0]->widthY, -1.5);
    EXPECT_EQ(chain[0]->widthZ, 1e-3);
    EXPECT_EQ(chain[0]->freqTime, 0.1);
    EXPECT_EQ(chain[1]->widthX, 1e300);
    EXPECT_EQ(chain[1]->freqTime, 2.0);
    EXPECT_EQ(pointValue, 0.25);
    EXPECT_EQ(commaValue, 1.0); // the locale's comma is not a decimal point in a scene

    LineReader again(written.lines);
    auto* plainLoaded = static_cast<ShakeInstance*>(handler.create());
    handler.load(plainLoaded, again.state());
    EXPECT_EQ(save(plainLoaded).lines, written.lines);
    handler.destroy(instance);
    handler.destroy(reloaded);
    handler.destroy(plainLoaded);
}
