// The review page without a browser: its text survives any scene bytes, its
// embedded samples are the module's, the sampling rule is said when it
// applies, and the command's file handling keeps the user's file safe.
#include "support/tool_run.h"
#include "tools/vrim/report/collect.h"
#include "tools/vrim/report/page.h"
#include "tools/vrim/scene/motion.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace {

using vrim::report::PageItem;
using vrim::report::PageScene;

using testsupport::readBytes;

// Runs vrim with the arguments; its messages are in report-test.err.
int vrim(const std::string& arguments) {
    return testsupport::runVrim(arguments, "report-test").status;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

TEST(ReportPage, TextOfAnyBytesIsEscapedAndShown) {
    struct Case {
        std::string bytes, html;
    };
    const Case cases[] = {
        {"Cam<1> & \"rig\"", "Cam&lt;1&gt; &amp; &quot;rig&quot;"},
        {"Caf\xc3\xa9", "Caf\xc3\xa9"},               // UTF-8 passes
        {"Caf\xe9", "Caf\xc3\xa9"},                   // Latin-1 becomes UTF-8
        {"\xe2\x82", "\xc3\xa2\xc2\x82"},             // a cut sequence is Latin-1
        {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"}, // no UTF-16 surrogates
        {"\xc0\xaf", "\xc3\x80\xc2\xaf"},             // no overlong forms
        {"tab\there\x01", "tab here?"},               // no control characters
        {"\xf0\x9f\x8e\xac", "\xf0\x9f\x8e\xac"},     // four bytes pass
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vrim::report::htmlText(c.bytes), c.html) << c.bytes;
    }
}

PageItem itemWithOffsets(const std::vector<double>& xs) {
    PageItem item;
    item.name = "Null";
    item.plotted = true;
    item.plot.frames = {0, static_cast<int32_t>(xs.size()) - 1};
    for (std::size_t i = 0; i < xs.size(); ++i) {
        vrim::Sample sample;
        sample.frame = static_cast<double>(i);
        sample.offset[0] = xs[i];
        sample.key = 0;
        item.plot.samples.push_back(sample);
    }
    return item;
}

// The player reads numbers it cannot compute back from the page: NaN and
// infinities must survive JSON, and nothing in it may end its script element.
TEST(ReportPage, SamplesTravelAsJsonThatKeepsNonNumbersAndItsElement) {
    const double inf = std::numeric_limits<double>::infinity();
    const PageItem item = itemWithOffsets({0.25, std::nan(""), inf, -inf});
    const std::string json = vrim::report::samplesJson(item, "s1i1</script>");
    EXPECT_EQ(json.find("</"), std::string::npos) << json;
    const nlohmann::json data = nlohmann::json::parse(json);
    EXPECT_EQ(data["id"], "s1i1</script>");
    EXPECT_EQ(data["x"], nlohmann::json::parse(R"([0.25, "NaN", "Infinity", "-Infinity"])"));
    EXPECT_EQ(data["key"], nlohmann::json::parse("[1, 1, 1, 1]"));
}

// Past the plotting bound items are listed but not drawn; past the listing
// bound they are only counted (with those the caller left out); each time the
// page says so, and the scene's count holds every item.
TEST(ReportPage, ItemsPastTheBoundsAreListedThenCountedAndThePageSaysSo) {
    struct Case {
        std::size_t items, plotBound, rowBound, leftOut; // leftOut: scene.unlisted
        std::size_t plots, rows, counted;
    };
    const Case cases[] = {
        {3, 5, 10, 0, 3, 0, 0}, {3, 3, 10, 0, 3, 0, 0}, {5, 2, 10, 0, 2, 3, 0},
        {4, 0, 10, 0, 0, 4, 0}, {6, 1, 2, 0, 1, 2, 3},  {2, 1, 1, 7, 1, 1, 7},
        {3, 0, 0, 0, 0, 0, 3},
    };
    for (const Case& c : cases) {
        vrim::report::Limits limits;
        limits.plottedItems = c.plotBound;
        limits.listedItems = c.rowBound;
        vrim::report::PageWriter writer(limits);
        PageScene scene;
        scene.path = "shot.lws";
        for (std::size_t i = 0; i < c.items; ++i) {
            scene.items.push_back(itemWithOffsets({0.0, 0.5, -0.5}));
        }
        scene.unlisted = c.leftOut;
        writer.scene(scene);
        const std::string html = writer.page("Review");
        SCOPED_TRACE(std::to_string(c.items) + " items, bounds " + std::to_string(c.plotBound) +
                     "/" + std::to_string(c.rowBound) + ", " + std::to_string(c.leftOut) +
                     " left out");
        const std::size_t all = c.items + c.leftOut;
        EXPECT_EQ(occurrences(html, "<svg class=\"plot\""), c.plots);
        EXPECT_EQ(occurrences(html, "class=\"samples\""), c.plots);
        EXPECT_EQ(occurrences(html, "<details class=\"item\""), c.plots);
        EXPECT_EQ(occurrences(html, "<tr class=\"listed\""), c.rows);
        EXPECT_EQ(writer.items(), all);
        EXPECT_NE(html.find("<dt>Items with a shake</dt><dd>" + std::to_string(all) + "</dd>"),
                  std::string::npos);
        EXPECT_EQ(html.find("Sampling:") != std::string::npos, c.plots < all);
        if (c.plots < all) {
            EXPECT_NE(html.find(c.plots == 0 ? "no plots (none asked for) for the " +
                                                   std::to_string(all) + " items"
                                             : "first " + std::to_string(c.plots) + " of " +
                                                   std::to_string(all) + " items"),
                      std::string::npos);
        }
        const std::string counted =
            std::to_string(c.counted) + (c.counted == 1 ? " more item" : " more items");
        EXPECT_EQ(html.find(counted + " with a shake not on this page") != std::string::npos,
                  c.counted > 0);
    }
}

// An item with more keys or findings than the page shows says how many more.
TEST(ReportPage, ItemsSayWhatTheyLeaveOut) {
    struct Case {
        bool plotted;
        std::size_t keys, allKeys, findings, allFindings;
        std::vector<std::string> says, saysNot;
    };
    const Case cases[] = {
        {false, 3, 3, 1, 1, {}, {"more key", "more finding"}},
        {false, 3, 40, 2, 9, {"and 37 more keys", "and 7 more findings"}, {}},
        {false, 2, 3, 0, 1, {"and 1 more key,", "and 1 more finding:"}, {">none<"}},
        {true, 3, 300, 1, 1, {"Keys 4 to 300 are not on this page", "300 keys"}, {"more finding"}},
        {true, 1, 1, 2, 25, {"and 23 more findings", "25 findings"}, {"not on this page"}},
    };
    for (const Case& c : cases) {
        vrim::report::Limits limits;
        limits.plottedItems = c.plotted ? 1 : 0;
        vrim::report::PageWriter writer(limits);
        PageScene scene;
        scene.path = "shot.lws";
        PageItem item = itemWithOffsets({0.0, 0.5});
        for (std::size_t k = 0; k < c.keys; ++k) {
            item.keys.push_back({"Start   0, End  30, Freq 0.100000", "words"});
        }
        item.keysLeftOut = c.allKeys - c.keys;
        for (std::size_t f = 0; f < c.findings; ++f) {
            item.findings.push_back({"warning", 10 + f, "something"});
        }
        item.findingsLeftOut = c.allFindings - c.findings;
        scene.items.push_back(item);
        writer.scene(scene);
        const std::string html = writer.page("Review");
        SCOPED_TRACE(std::string(c.plotted ? "drawn" : "listed") + ", keys " +
                     std::to_string(c.allKeys) + ", findings " + std::to_string(c.allFindings));
        for (const std::string& text : c.says) {
            EXPECT_NE(html.find(text), std::string::npos) << text;
        }
        for (const std::string& text : c.saysNot) {
            EXPECT_EQ(html.find(text), std::string::npos) << text;
        }
    }
}

// Opening the key editor for its list lines must not change the samples:
// they are those of the keys as the scene holds them.
TEST(ReportCollect, SamplesAreTheModulesForTheSceneKeys) {
    const std::vector<std::string> lines = {
        "VRIM_START",   "KEY_NUM 2",  "KEY_START",  "FREQ 0.3",   "FREQ_W_X 0.2",
        "FREQ_W_Y 0.1", "FREQ_W_Z 0", "START_F 0",  "END_F 20",   "FALL_OFF 1",
        "KEY_START",    "FREQ 0.5",   "FREQ_W_X 0", "FREQ_W_Y 0", "FREQ_W_Z 0.4",
        "START_F 30",   "END_F 50",   "FALL_OFF 0", "VRIM_END"};
    vrim::Session session(vrim::defaultModulePath());
    const vrim::report::BlockSource block = {"Null", 1, lines.size(), &lines};
    for (double fps : {30.0, 24.0}) {
        const vrim::SceneTiming timing = {fps, vrim::FrameRange{-5, 60}};
        const PageItem item = vrim::report::collectItem(session, session.newInstance(), block, {},
                                                        timing, vrim::report::Limits{}, true);
        vrim::MotionSetup setup;
        setup.instance = session.newInstance();
        session.load(setup.instance, lines);
        setup.fps = fps;
        setup.frames = {-5, 60};
        const std::vector<vrim::Sample> expected = vrim::sampleMotion(session, setup);
        ASSERT_EQ(item.plot.samples.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            for (int axis = 0; axis < 3; ++axis) {
                EXPECT_EQ(item.plot.samples[i].offset[axis], expected[i].offset[axis])
                    << "fps " << fps << ", frame " << expected[i].frame;
            }
        }
        ASSERT_EQ(item.keys.size(), 2u);
        EXPECT_EQ(item.keys[0].listLine, "Start   0, End  20, Freq 0.300000");
        EXPECT_EQ(item.keys[1].listLine, "Start  30, End  50, Freq 0.500000");
    }
}

// A drawn item and a listed one keep their own number of keys and findings,
// and count the rest, so that the page can say how many it left out.
TEST(ReportCollect, KeepsTheFirstKeysAndFindingsAndCountsTheRest) {
    const std::vector<std::string> lines = {"VRIM_START", "KEY_START", "START_F 0",  "KEY_START",
                                            "START_F 9",  "KEY_START", "START_F 20", "VRIM_END"};
    vrim::Session session(vrim::defaultModulePath());
    const vrim::report::BlockSource block = {"Null", 1, lines.size(), &lines};
    std::vector<vrim::Finding> findings(4);
    findings[2].message = "third";
    vrim::report::Limits limits;
    limits.keysPerItem = 3;
    limits.keysPerRow = 2;
    limits.findingsPerItem = 3;
    limits.findingsPerRow = 1;
    struct Case {
        bool plot;
        std::size_t keys, keysLeftOut, findings, findingsLeftOut;
    };
    for (const Case& c : {Case{true, 3, 0, 3, 1}, Case{false, 2, 1, 1, 3}}) {
        const vrim::SceneTiming timing = {30.0, vrim::FrameRange{0, 30}};
        const PageItem item = vrim::report::collectItem(session, session.newInstance(), block,
                                                        findings, timing, limits, c.plot);
        SCOPED_TRACE(c.plot ? "drawn" : "listed");
        EXPECT_EQ(item.keys.size(), c.keys);
        EXPECT_EQ(item.keysLeftOut, c.keysLeftOut);
        EXPECT_EQ(item.findings.size(), c.findings);
        EXPECT_EQ(item.findingsLeftOut, c.findingsLeftOut);
        EXPECT_EQ(item.keys[1].listLine, "Start   9, End   0, Freq 0.000000");
        EXPECT_EQ(item.keys[0].words.empty(), !c.plot);
    }
}

// A long range is sampled every nth frame, n the smallest that keeps the
// samples within the bound.
TEST(ReportCollect, LongRangesAreThinnedToTheBound) {
    const std::vector<std::string> lines = {"VRIM_START", "KEY_START", "START_F 0", "END_F 10",
                                            "VRIM_END"};
    vrim::Session session(vrim::defaultModulePath());
    const vrim::report::BlockSource block = {"Null", 1, lines.size(), &lines};
    vrim::report::Limits limits;
    limits.framesPerItem = 100;
    struct Case {
        int32_t last;
        std::size_t step, samples;
    };
    for (const Case& c : {Case{99, 1, 100}, Case{100, 2, 51}, Case{999, 10, 100}}) {
        const vrim::SceneTiming timing = {30.0, vrim::FrameRange{0, c.last}};
        const PageItem item = vrim::report::collectItem(session, session.newInstance(), block, {},
                                                        timing, limits, true);
        EXPECT_EQ(item.frameStep, c.step) << c.last;
        EXPECT_EQ(item.plot.samples.size(), c.samples) << c.last;
    }
}

// Bad input is refused or named on standard error, never passed over.
TEST(ReportCommand, BadInputIsNamedOnStandardError) {
    struct Case {
        std::string arguments, says;
        bool pageWritten;
    };
    const Case cases[] = {
        {"--plots -1 samples/two-items.lws", "--plots: must be a whole number from 0 to 1000",
         false},
        {"--plots 1001 samples/two-items.lws", "not '1001'", false},
        {"no-such-scene.lws samples/two-items.lws", "cannot open scene file 'no-such-scene.lws'",
         true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove("report-bad.html");
        const testsupport::ToolRun run =
            testsupport::runVrim("report " + c.arguments + " -o report-bad.html", "report-test");
        EXPECT_EQ(run.status, 2) << c.arguments;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.arguments << ": " << run.err;
        EXPECT_EQ(std::filesystem::exists("report-bad.html"), c.pageWritten) << c.arguments;
    }
}

// The sample scene's page stays light, and a page that cannot be written
// leaves what was there and no stray file.
TEST(ReportCommand, SamplePageIsLightAndFailedWritesLeaveNothing) {
    // Exit 1: check finds a hidden key and a key of period 0 in the sample.
    ASSERT_EQ(vrim("report samples/two-items.lws -o report-sample.html"), 1)
        << readBytes("report-test.err");
    const std::string html = readBytes("report-sample.html");
    EXPECT_LT(html.size(), 200u * 1024u);
    EXPECT_EQ(occurrences(html, "<svg class=\"plot\""), 2u);
    // check's two warnings, each under its item with its line, and counted
    // in the scene's header. The heading names the scene as given; a finding
    // names only its file, not the folder again.
    EXPECT_NE(html.find("<dt>Findings</dt><dd>2</dd>"), std::string::npos);
    EXPECT_EQ(occurrences(html, "<h2>samples/two-items.lws</h2>"), 1u);
    for (const char* where :
         {"\"where\">two-items.lws:42</span> key 1", "\"where\">two-items.lws:58</span> key 3"}) {
        EXPECT_EQ(occurrences(html, where), 1u) << where;
    }

    // A page that cannot be put in place: the error names it, what was there
    // stays, and no temporary file is left.
    std::filesystem::create_directory("report-a-folder");
    EXPECT_EQ(vrim("report samples/two-items.lws -o report-a-folder"), 2);
    EXPECT_NE(readBytes("report-test.err").find("report-a-folder"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory("report-a-folder"));
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        EXPECT_EQ(entry.path().filename().string().rfind(".report-a-folder", 0), std::string::npos)
            << "left behind: " << entry.path();
    }
    EXPECT_EQ(vrim("report samples/two-items.lws -o report-no-such-folder/page.html"), 2);
    EXPECT_NE(readBytes("report-test.err").find("report-no-such-folder/page.html"),
              std::string::npos);
}

} // namespace
