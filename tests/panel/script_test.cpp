// The text form of a panel script.
#include "standin/panel_host.h"

#include <gtest/gtest.h>

using standin::PanelAction;

TEST(PanelScriptTest, ReadsEveryKindOfAction) {
    const std::string text = "# a session\n"
                             "type \"Freqency Time\" 0.5\n"
                             "  type \"Freq Width X,Y,Z\" 1 -2.5 3e2\r\n"
                             "\n"
                             "press \"ADD KEY\"\n"
                             "pick 2\n"
                             "cancel\n"
                             "close";
    std::vector<PanelAction> actions;
    std::string error;
    ASSERT_TRUE(standin::parsePanelScript(text, actions, error)) << error;
    ASSERT_EQ(actions.size(), 6u);
    EXPECT_EQ(actions[0].kind, PanelAction::Kind::Type);
    EXPECT_EQ(actions[0].label, "Freqency Time");
    EXPECT_EQ(actions[0].numbers, std::vector<double>{0.5});
    EXPECT_EQ(actions[1].label, "Freq Width X,Y,Z");
    EXPECT_EQ(actions[1].numbers, (std::vector<double>{1, -2.5, 300}));
    EXPECT_EQ(actions[2].kind, PanelAction::Kind::Press);
    EXPECT_EQ(actions[2].label, "ADD KEY");
    EXPECT_EQ(actions[3].kind, PanelAction::Kind::Pick);
    EXPECT_EQ(actions[3].row, 2);
    EXPECT_EQ(actions[4].kind, PanelAction::Kind::Cancel);
    EXPECT_EQ(actions[5].kind, PanelAction::Kind::Close);

    // Each action written out reads back as itself.
    for (const PanelAction& action : actions) {
        std::vector<PanelAction> again;
        ASSERT_TRUE(standin::parsePanelScript(standin::formatPanelAction(action), again, error));
        ASSERT_EQ(again.size(), 1u);
        EXPECT_EQ(again[0].kind, action.kind);
        EXPECT_EQ(again[0].label, action.label);
        EXPECT_EQ(again[0].numbers, action.numbers);
        EXPECT_EQ(again[0].row, action.row);
    }
}

TEST(PanelScriptTest, RejectsWhatIsNotAnAction) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"close\njump", "line 2: unknown action 'jump'"},
        {"press ADD", "line 1: expected a quoted control label after press"},
        {"type \"EndFrame", "line 1: the control label has no closing quote"},
        {"type \"EndFrame\"", "line 1: type needs a value"},
        {"type \"EndFrame\" 1x", "line 1: '1x' is not a number"},
        {"pick", "line 1: pick needs one row number"},
        {"pick 1 2", "line 1: pick needs one row number"},
        {"pick 99999999999999999999", "line 1: pick needs one row number"},
        {"close now", "line 1: unexpected 'now' after close"},
    };
    for (const auto& [text, expected] : cases) {
        std::vector<PanelAction> actions;
        std::string error;
        EXPECT_FALSE(standin::parsePanelScript(text, actions, error)) << text;
        EXPECT_EQ(error, expected) << text;
        EXPECT_TRUE(actions.empty()) << text;
    }
}
