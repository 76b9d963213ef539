// One table of the user's numbers, one verdict wherever the tool reads one:
// `vrim edit --set`, `vrim bake --frames`, a panel script and the terminal
// editor's reading of a typed field.
#include "standin/panel_script.h"
#include "support/tool_run.h"
#include "tools/vrim/edit/key_actions.h"
#include "tools/vrim/error.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using testsupport::runVrim;

struct Input {
    const char* text;
    bool real;   // taken where a real number is asked for
    bool whole;  // taken where a 32-bit whole number is asked for
    bool blanks; // blanks around it: a script's words are split at blanks first
};

const std::vector<Input> kInputs = {
    {"5", true, true, false},           {"+7", true, true, false},
    {"-0", true, true, false},          {"-2147483648", true, true, false},
    {"10.7", true, false, false},       {"1e12", true, false, false},
    {"2147483648", true, false, false}, // 2^31
    {"0x10", false, false, false},      {"0,25", false, false, false},
    {"nan", false, false, false},       {"inf", false, false, false},
    {"1e400", false, false, false},     {"1x", false, false, false},
    {" 5", false, false, true},         {"5 ", false, false, true},
};

std::string quoted(const std::string& argument) {
    return "\"" + argument + "\"";
}

bool scriptTakes(const std::string& line) {
    std::vector<standin::PanelAction> actions;
    std::string error;
    return standin::parsePanelScript(line, actions, error);
}

// The terminal editor checks a typed field as --set checks the same field.
bool editorTakes(const std::string& typed, bool whole) {
    try {
        vrim::edit::parseEditAction("set", (whole ? "start=" : "freq=") + typed);
        return true;
    } catch (const vrim::ToolError&) {
        return false;
    }
}

TEST(UserNumberRule, OneVerdictThroughEveryReader) {
    const std::string scene = "samples/two-items.lws --item Camera_Rig";
    for (const Input& input : kInputs) {
        const std::string text = input.text;
        SCOPED_TRACE("input '" + text + "'");

        const auto setFreq =
            runVrim("edit " + scene + " --dry-run --set " + quoted("freq=" + text), "rule-set");
        EXPECT_EQ(setFreq.status == 0, input.real) << setFreq.err;
        const auto setStart =
            runVrim("edit " + scene + " --dry-run --set " + quoted("start=" + text), "rule-set");
        EXPECT_EQ(setStart.status == 0, input.whole) << setStart.err;
        const auto bake = runVrim("bake " + scene + " --frames " + quoted(text + ":" + text) +
                                      " -o rule-bake.csv",
                                  "rule-bake");
        EXPECT_EQ(bake.status == 0, input.whole) << bake.err;

        EXPECT_EQ(editorTakes(text, false), input.real);
        EXPECT_EQ(editorTakes(text, true), input.whole);

        if (!input.blanks) {
            EXPECT_EQ(scriptTakes("type \"Freqency Time\" " + text), input.real);
            EXPECT_EQ(scriptTakes("pick " + text), input.whole);
        }
    }
}

TEST(UserNumberRule, RefusalsSayWhy) {
    const auto hex = runVrim("edit samples/two-items.lws --item Camera_Rig --dry-run --set "
                             "freq=0x10",
                             "rule-why");
    EXPECT_NE(hex.err.find("'0x10' is not a number: hexadecimal is not read"), std::string::npos)
        << hex.err;
    const auto comma = runVrim("bake samples/two-items.lws --item Camera_Rig --at 0,0,0 --frames "
                               "1:2 --step 0,5",
                               "rule-why");
    EXPECT_NE(comma.err.find("not '0,5': the decimal point is '.'"), std::string::npos)
        << comma.err;
    const auto wholeFrame = runVrim("edit samples/two-items.lws --item Camera_Rig --dry-run "
                                    "--set start=1e12",
                                    "rule-why");
    EXPECT_NE(wholeFrame.err.find("a whole number is written in digits only"), std::string::npos)
        << wholeFrame.err;
    std::vector<standin::PanelAction> actions;
    std::string error;
    EXPECT_FALSE(standin::parsePanelScript("type \"EndFrame\" nan", actions, error));
    EXPECT_EQ(error, "line 1: 'nan' is not a number: it is not finite");
}

} // namespace
