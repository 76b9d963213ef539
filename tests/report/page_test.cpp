// The review page without a browser: its text survives any scene bytes, its
// embedded samples are the module's, the sampling rule is said when it
// applies, and the command's file handling keeps the user's file safe.
#include "support/tool_run.h"
#include "tools/vrim/plot/plot.h"
#include "tools/vrim/report/chart.h"
#include "tools/vrim/report/collect.h"
#include "tools/vrim/report/page.h"
#include "tools/vrim/report/provenance.h"
#include "tools/vrim/scene/motion.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <regex>
#include <set>
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
        {"Caf\xc3\xa9", "Caf\xc3\xa9"},                          // UTF-8 passes
        {"Caf\xe9 \x80", "Caf\xc3\xa9 \xe2\x82\xac"},            // else Windows-1252: the euro
        {"\x85\x9f", "\xe2\x80\xa6\xc5\xb8"},                    // not Latin-1's C1 controls
        {"\xe2\x82", "\xc3\xa2\xe2\x80\x9a"},                    // a cut sequence is 1252
        {"\xc0\xaf", "\xc3\x80\xc2\xaf"},                        // no overlong forms
        {"tab\there\x01\x1b[31m", "tab\\x09here\\x01\\x1b[31m"}, // controls seen, never '?'
        {"\x7f", "\\x7f"},
        {"next\xc2\x85line", "next\\u0085line"}, // C1 never written raw
        {"\x81\x8d", "\\u0081\\u008d"},          // 1252 leaves these undefined
        {"a\xe2\x80\xae"
         "b\xef\xbb\xbf",
         "a\\u202eb\\ufeff"}, // no turning the page's text
        {"\xe2\x81\xa6x\xe2\x81\xa9", "\\u2066x\\u2069"},
        {"\xf0\x9f\x8e\xac", "\xf0\x9f\x8e\xac"}, // four bytes pass
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
    PageItem item = itemWithOffsets({0.25, std::nan(""), inf, -inf, -1e-9, 2e9, -0.0000125});
    item.plot.samples[5].frame = 9; // thinned: frames 0-4, then 9 and 14
    item.plot.samples[6].frame = 14;
    const std::string json = vrim::report::samplesJson(item, "s1i1</script>", {});
    EXPECT_EQ(json.find("</"), std::string::npos) << json;
    const nlohmann::json data = nlohmann::json::parse(json);
    EXPECT_EQ(data["id"], "s1i1</script>");
    // Millionths as the page prints them ("-0.000000" is 0, -0.0000125 prints
    // as -0.000013), text for what that cannot hold.
    EXPECT_EQ(data["x"], nlohmann::json::parse(
                             R"([250000, "NaN", "inf", "-inf", 0, "2000000000.000000", -13])"));
    EXPECT_EQ(data["key"], nlohmann::json::parse("[[1, 7]]"));
    EXPECT_EQ(data["frames"], nlohmann::json::parse("[[0, 1, 5], [9, 5, 2]]"));
}

// Offsets near the largest number (a key of hostile widths gives them): the
// axis, its ticks and every point stay finite numbers with short labels, on
// the page's chart and in the command's SVG plot alike, and ordinary offsets
// keep their whole axis.
TEST(ReportChart, OffsetsNearTheLargestNumberAreDrawnAtFinitePlaces) {
    const double most = std::numeric_limits<double>::max();
    const std::regex notANumber(R"([-0-9. ,"]-?(inf|nan))");
    const std::vector<std::vector<double>> cases = {
        {1e308, -1e308, 0}, {most, -most, 0}, {most, 0, 1}, {-most, 1e-300, 0}, {0.1, -0.2, 0}};
    for (const std::vector<double>& xs : cases) {
        const PageItem item = itemWithOffsets(xs);
        const vrim::OffsetSpan span = vrim::offsetSpan(item.plot);
        EXPECT_TRUE(std::isfinite(span.high - span.low)) << xs[0];
        const double low = *std::min_element(xs.begin(), xs.end());
        const double high = *std::max_element(xs.begin(), xs.end());
        if (high - low < 1e9) {
            EXPECT_LT(span.low, low);
            EXPECT_GT(span.high, high);
        }
        const std::string chart = vrim::report::chartHtml(
            item.plot, vrim::report::frameAxis(item.plot), {}, 1, item.plot.samples);
        const std::string svg = vrim::plotSvg(item.plot);
        for (const std::string* drawn : {&chart, &svg}) {
            std::smatch found;
            EXPECT_FALSE(std::regex_search(*drawn, found, notANumber))
                << xs[0] << ": " << found.str();
            // A tick's label in a few characters, never a number's hundreds of digits.
            EXPECT_FALSE(std::regex_search(*drawn, found, std::regex("[0-9]{13}")))
                << xs[0] << ": " << found.str();
        }
    }
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
        EXPECT_EQ(occurrences(html, "<details class=\"item "), c.plots);
        EXPECT_EQ(occurrences(html, "<tr class=\"listed "), c.rows);
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
    const vrim::report::BlockSource block = {"Null", 1, lines.size(), &lines, false, "Null"};
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
    const vrim::report::BlockSource block = {"Null", 1, lines.size(), &lines, false, "Null"};
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

// Every frame on which a key acts is sampled (with a frame of rest either
// side), however long the range; where no key acts the range is sampled
// thinly, each stretch with its first and last frame.
TEST(ReportCollect, EveryFrameWhereAKeyActsIsSampled) {
    vrim::Session session(vrim::defaultModulePath());
    struct Case {
        int32_t last;
        int keyFirst, keyLast; // key frames at 30 fps, the scene's rate
        std::size_t restStep;
    };
    for (const Case& c : {Case{99, 10, 20, 1}, Case{19999, 9000, 9003, 100},
                          Case{19999, 0, 60, 100}, Case{4000, 3990, 4000, 21}}) {
        const std::vector<std::string> lines = {"VRIM_START",
                                                "KEY_START",
                                                "FREQ 0.1",
                                                "FREQ_W_X 0.2",
                                                "START_F " + std::to_string(c.keyFirst),
                                                "END_F " + std::to_string(c.keyLast),
                                                "VRIM_END"};
        const vrim::report::BlockSource block = {"Null", 1, lines.size(), &lines, false, "Null"};
        const vrim::SceneTiming timing = {30.0, vrim::FrameRange{0, c.last}};
        const PageItem item = vrim::report::collectItem(session, session.newInstance(), block, {},
                                                        timing, vrim::report::Limits{}, true);
        SCOPED_TRACE("frames 0-" + std::to_string(c.last) + ", key " + std::to_string(c.keyFirst) +
                     "-" + std::to_string(c.keyLast));
        EXPECT_EQ(item.keyStep, 1u);
        EXPECT_EQ(item.restStep, c.restStep);
        std::vector<int64_t> frames;
        for (const vrim::Sample& sample : item.plot.samples) {
            frames.push_back(static_cast<int64_t>(sample.frame));
        }
        ASSERT_TRUE(std::is_sorted(frames.begin(), frames.end()));
        EXPECT_EQ(std::adjacent_find(frames.begin(), frames.end()), frames.end());
        EXPECT_EQ(frames.front(), 0);
        EXPECT_EQ(frames.back(), c.last);
        ASSERT_EQ(item.plot.keys.size(), 1u);
        const vrim::FrameSpan moves = {item.plot.keys[0].moves.front().first,
                                       item.plot.keys[0].moves.back().last};
        for (int64_t f = std::max<int64_t>(0, moves.first - 1);
             f <= std::min<int64_t>(c.last, moves.last + 1); ++f) {
            EXPECT_TRUE(std::binary_search(frames.begin(), frames.end(), f)) << f;
        }
        // Outside the key, no more samples than the thin step allows.
        EXPECT_LE(frames.size(), static_cast<std::size_t>(moves.last - moves.first + 3) +
                                     (c.last + 1) / c.restStep + 3);
    }
}

// The frames each key moves the item on, found from the keys alone, agree
// frame by frame with asking the module's choice at every frame, and a range
// of two billion frames gets its runs too.
TEST(ReportCollect, KeyRunsAgreeWithTheChoiceAtEveryFrame) {
    struct Case {
        std::vector<std::string> keys; // START_F, END_F pairs in chain order
        double fps;
        vrim::FrameRange frames;
    };
    const Case cases[] = {
        {{"0 24", "36 60"}, 30.0, {0, 90}},
        {{"0 90", "30 45", "60 75"}, 30.0, {-10, 100}}, // later keys hide the first
        {{"0 90", "30 45", "60 75"}, 24.0, {0, 80}},    // key frames at another rate
        {{"50 20", "10 30"}, 30.0, {0, 40}},            // a key that ends before it starts
        {{"40 60", "10 30"}, 30.0, {0, 70}},            // out of order in the chain
        {{"0 1000000", "500 520"}, 30.0, {480, 540}},   // a range inside a long key
        {{"5 5", "5 6", "6 6"}, 25.0, {0, 10}},
    };
    vrim::Session session(vrim::defaultModulePath());
    for (const Case& c : cases) {
        std::vector<std::string> lines = {"VRIM_START"};
        for (const std::string& key : c.keys) {
            const std::size_t space = key.find(' ');
            lines.insert(lines.end(),
                         {"KEY_START", "FREQ 0.2", "FREQ_W_X 0.1",
                          "START_F " + key.substr(0, space), "END_F " + key.substr(space + 1)});
        }
        lines.push_back("VRIM_END");
        ShakeInstance* instance = session.newInstance();
        session.load(instance, lines);
        const auto found = vrim::report::keyRuns(*instance, c.fps, c.frames);
        const auto walked = vrim::plotKeys(*instance, c.fps, c.frames);
        ASSERT_EQ(found.size(), walked.size());
        for (std::size_t k = 0; k < found.size(); ++k) {
            SCOPED_TRACE(c.keys[k] + " at " + std::to_string(c.fps) + " fps");
            ASSERT_EQ(found[k].moves.size(), walked[k].moves.size());
            for (std::size_t r = 0; r < found[k].moves.size(); ++r) {
                EXPECT_EQ(found[k].moves[r].first, walked[k].moves[r].first);
                EXPECT_EQ(found[k].moves[r].last, walked[k].moves[r].last);
            }
        }
    }
    ShakeInstance* instance = session.newInstance();
    session.load(instance, {"VRIM_START", "KEY_START", "START_F 10", "END_F 20", "VRIM_END"});
    const auto runs = vrim::report::keyRuns(*instance, 30.0, {0, 2147483647});
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_EQ(runs[0].moves.size(), 1u);
    EXPECT_EQ(runs[0].moves[0].first, 10);
    EXPECT_EQ(runs[0].moves[0].last, 20);
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
        // Written with a finding (the scene it could not open) is 1; nothing written is 2.
        EXPECT_EQ(run.status, c.pageWritten ? 1 : 2) << c.arguments;
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
    EXPECT_NE(html.find("<dt>Findings</dt><dd>2 (0 errors, 2 warnings)</dd>"), std::string::npos);
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

// A scene as the host writes it: items, each with keys (start, end, width on
// X) at a period of 0.2 s; a width of "nan" is an error for check.
std::string sceneText(int last, const std::vector<std::vector<std::string>>& items) {
    std::string text =
        "LWSC\n3\n\nFirstFrame 0\nLastFrame " + std::to_string(last) + "\nFramesPerSecond 30\n\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        text += "AddNullObject Null" + std::to_string(i + 1) +
                "\nShowObject 6 3\nObjectMotion\nNumChannels 9\nPlugin ItemMotionHandler 1 "
                "VRIM_S\nVRIM_START\nKEY_NUM " +
                std::to_string(items[i].size() / 3) + ".000000\n";
        for (std::size_t k = 0; k + 2 < items[i].size(); k += 3) {
            text += "KEY_START\nFREQ 0.2\nFREQ_W_X " + items[i][k + 2] +
                    "\nFREQ_W_Y 0.05\nFREQ_W_Z 0.02\nSTART_F " + items[i][k] + "\nEND_F " +
                    items[i][k + 1] + "\nFALL_OFF 0\n";
        }
        text += "VRIM_END\nEndPlugin\n\n";
    }
    return text;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> ids(const std::string& html) {
    std::vector<std::string> found;
    const std::regex id(" id=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), id); it != std::sregex_iterator();
         ++it) {
        found.push_back((*it)[1]);
    }
    return found;
}

// 0: a page written and nothing found; 1: written with findings; 2: nothing
// written. One line on standard error says what was written where.
TEST(ReportCommand, ExitStatusSaysWhatWasWritten) {
    writeText("report-clean.lws", sceneText(60, {{"0", "30", "0.1"}}));
    writeText("report-error.lws", sceneText(60, {{"0", "30", "nan"}, {"0", "30", "0.1"}}));
    const std::string page =
        std::filesystem::absolute("report-exit.html").lexically_normal().string();
    struct Case {
        std::string arguments;
        int status;
        std::string says;
    };
    const Case cases[] = {
        {"report-clean.lws", 0, "vrim: wrote " + page + " ("},
        {"report-clean.lws", 0, "1 scene, 1 item with a shake (1 drawn), 0 errors, 0 warnings\n"},
        {"samples/two-items.lws report-clean.lws", 1,
         "2 scenes, 3 items with a shake (3 drawn), "
         "0 errors, 2 warnings\n"},
        {"report-error.lws", 1, "1 error, 0 warnings\n"},
        {"--plots 0 report-error.lws", 1, "2 items with a shake (0 drawn)"},
        {"report-clean.lws --module no-such-module.p", 2, "no-such-module.p"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove("report-exit.html");
        testsupport::ToolRun run =
            testsupport::runVrim("report " + c.arguments + " -o report-exit.html", "report-test");
        // Windows' standard error is in text mode: its lines end in CR LF.
        std::erase(run.err, '\r');
        EXPECT_EQ(run.status, c.status) << c.arguments << ": " << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.arguments << ": " << run.err;
        EXPECT_EQ(std::filesystem::exists("report-exit.html"), c.status != 2) << c.arguments;
        EXPECT_EQ(run.err.find("wrote") != std::string::npos, c.status != 2) << run.err;
    }
}

TEST(ReportProvenance, Sha256OfFilesOfAnySize) {
    struct Case {
        std::string bytes, sha256;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // Past many read blocks.
        {std::string(3u << 20, '\0'),
         "bbd05cf6097ac9b1f89ea29d2542c1b7b67ee46848393895f5a9e43fa1f621e5"},
    };
    for (const Case& c : cases) {
        writeText("report-hash.bin", c.bytes);
        EXPECT_EQ(vrim::report::sha256File("report-hash.bin"), c.sha256) << c.bytes.size();
    }
    std::string problem;
    EXPECT_EQ(vrim::report::sha256File("report-no-such-file", &problem), "");
    EXPECT_EQ(problem, "cannot be opened");
}

// The page names when, by which vrim and from which module and scene files
// (absolute, with their SHA-256) it was made, and the command line.
TEST(ReportCommand, PageSaysWhereItCameFrom) {
    ASSERT_EQ(vrim("report samples/two-items.lws -o report-source.html"), 1);
    const std::string html = readBytes("report-source.html");
    const std::string scene =
        std::filesystem::absolute("samples/two-items.lws").lexically_normal().string();
    const std::string module = vrim::defaultModulePath();
    for (const std::string& text :
         {std::string("<dt>Made</dt><dd>20"),
          "<dt>By</dt><dd>vrim " + vrim::report::vrimVersion() + "</dd>",
          "<code>" + std::filesystem::absolute(module).lexically_normal().string() + "</code>",
          "<code>" + vrim::report::sha256File(module) + "</code>",
          "<code>" + scene + "</code></td><td><code>" +
              vrim::report::sha256File("samples/two-items.lws") + "</code>",
          std::string(" report samples/two-items.lws -o report-source.html</code>")}) {
        EXPECT_NE(html.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(vrim::report::sha256File(module).size(), 64u);
}

// A scene's checksum is taken from the bytes the check read, through many
// read blocks, from standard input too; a scene the reader stopped on is
// hashed on its own, and standard input, which cannot be read again, then
// has none.
TEST(ReportProvenance, SceneChecksumIsOfTheWholeFile) {
    const std::string sample = readBytes("samples/two-items.lws");
    std::string padded = sample;
    for (int i = 0; i < 30000; ++i) {
        padded += "AddNullObject Pad" + std::to_string(i) + "\nShowObject 6 3\n";
    }
    const std::string stopped = sample + "AddNullObject " + std::string(2u << 20, 'x') + "\n";
    writeText("report-padded.lws", padded);
    writeText("report-stopped.lws", stopped);
    const struct {
        const char* arguments;
        const char* file;
        bool summed;
    } cases[] = {
        {"report-padded.lws", "report-padded.lws", true},
        {"- < report-padded.lws", "report-padded.lws", true},
        {"report-stopped.lws", "report-stopped.lws", true},
        {"- < report-stopped.lws", "report-stopped.lws", false},
    };
    for (const auto& c : cases) {
        vrim(std::string("report ") + c.arguments + " -o report-sum.html");
        const std::string html = readBytes("report-sum.html");
        const std::string sum = vrim::report::sha256File(c.file);
        ASSERT_EQ(sum.size(), 64u);
        EXPECT_EQ(html.find("<code>" + sum + "</code>") != std::string::npos, c.summed)
            << c.arguments;
    }
}

// Errors first, then warnings, then clean: scenes, and the items in each;
// each carries the class that the findings filter hides; no id twice.
TEST(ReportPage, FindingsFirstFilterableAndEveryIdOnce) {
    vrim::report::Limits limits;
    limits.openItems = 0; // only the items with errors start open
    vrim::report::PageWriter writer(limits);
    auto item = [](const char* name, std::size_t errors, std::size_t warnings) {
        PageItem it = itemWithOffsets({0.0, 0.5, -0.5});
        it.name = name;
        it.address = name;
        it.errors = errors;
        it.warnings = warnings;
        it.plot.keys = {{1, {0, 2}, {{0, 2}}}};
        return it;
    };
    PageScene clean, mixed, again;
    clean.path = "clean.lws";
    clean.items = {item("Calm", 0, 0)};
    mixed.path = "mixed.lws";
    mixed.items = {item("Quiet", 0, 0), item("Odd", 0, 2), item("Wrong", 1, 1)};
    mixed.errors = 1;
    mixed.warnings = 3;
    // A second scene of that file name, and addresses with a space, a '%'
    // and markup in them.
    again.path = "other/mixed.lws";
    again.items = {item("My Cam 100%", 0, 0), item("a<b>&\"c\"@2", 0, 0)};
    writer.scene(clean);
    writer.scene(mixed);
    writer.scene(again);
    const std::string html = writer.page("Review");
    std::vector<std::size_t> at;
    for (const char* text : {"<h2>mixed.lws", "name\">Wrong", "name\">Odd", "name\">Quiet",
                             "<h2>clean.lws", "name\">Calm"}) {
        at.push_back(html.find(text));
        EXPECT_NE(at.back(), std::string::npos) << text;
    }
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end()));
    for (const char* text :
         {"<section class=\"scene has-errors\" id=\"mixed.lws\"",
          "<section class=\"scene clean\" id=\"clean.lws\"",
          "<section class=\"scene clean\" id=\"mixed.lws~2\"",
          "<details class=\"item has-errors\" id=\"mixed.lws/Wrong\" open>",
          "<details class=\"item has-warnings\" id=\"mixed.lws/Odd\"><summary>",
          "<details class=\"item clean\" id=\"mixed.lws/Quiet\"><summary>",
          "<tr class=\"clean\" data-item=\"mixed.lws/Quiet\"",
          "id=\"mixed.lws~2/My%20Cam%20100%25\"", "href=\"#mixed.lws~2/My%20Cam%20100%25\"",
          "id=\"mixed.lws~2/a&lt;b&gt;&amp;&quot;c&quot;@2\"",
          "<a class=\"track\" href=\"#mixed.lws/Wrong\">", "<body class=\"findings\">",
          "#only-findings:target ~ main .clean"}) {
        EXPECT_NE(html.find(text), std::string::npos) << text;
    }
    // The samples name their item by the id as the script reads it back.
    EXPECT_NE(html.find("\"id\":\"mixed.lws~2/a<b>&\\\"c\\\"@2\""), std::string::npos);
    const std::vector<std::string> all = ids(html);
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size());
    EXPECT_GE(all.size(), 9u);
    for (const std::string& id : all) {
        EXPECT_EQ(id.find_first_of(" \t\n"), std::string::npos) << id;
    }
}

// At most 20 KB of page per drawn item, on the sample scene and on 50 items
// of the kind a shot has (a 121-frame range, 1 to 4 keys each).
TEST(ReportCommand, PagesStayLight) {
    std::vector<std::vector<std::string>> items;
    for (int i = 0; i < 50; ++i) {
        std::vector<std::string> keys;
        for (int k = 0, start = i % 40; k <= i % 4; ++k, start += 25) {
            keys.insert(keys.end(),
                        {std::to_string(start), std::to_string(start + 5 + (i * 7) % 50),
                         "0." + std::to_string(1 + i % 9)});
        }
        items.push_back(keys);
    }
    writeText("report-fifty.lws", sceneText(120, items));
    struct Case {
        std::string scene;
        std::size_t drawn;
    };
    std::size_t sizes[2] = {0, 0};
    for (const Case& c : {Case{"samples/two-items.lws", 2}, Case{"report-fifty.lws", 50}}) {
        EXPECT_EQ(vrim("report " + c.scene + " -o report-light.html"), 1) << c.scene;
        const std::string html = readBytes("report-light.html");
        EXPECT_EQ(occurrences(html, "<svg class=\"plot\""), c.drawn);
        sizes[c.drawn == 2 ? 0 : 1] = html.size();
        std::printf("%s: %zu bytes\n", c.scene.c_str(), html.size());
    }
    // The style sheet and the player come once; each drawn item adds its own.
    EXPECT_LE(sizes[0], 64u * 1024u);
    EXPECT_LE((sizes[1] - sizes[0]) / 48, 14u * 1024u);
}

} // namespace
