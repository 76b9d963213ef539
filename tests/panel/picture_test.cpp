// The panel as the host draws it, for a person to look at: panel_fresh.svg
// is written beside the test executables.
#include "panel_fixture.h"
#include "standin/panel_layout.h"

#include <fstream>

using testsupport::PanelTest;

TEST_F(PanelTest, PictureOfAFreshInstanceShowsEveryControlInPlace) {
    instances.push_back(static_cast<ShakeInstance*>(handler.create()));
    ASSERT_EQ(run(instances.back(), "close"), 0);
    const std::string svg = standin::PanelHost::svg(*panelHost.lastPanel());

    struct Expected {
        const char* type;
        const char* label;
        int fieldX;
        int row;
        const char* value; // as the field shows it; null: no field text
    };
    const std::vector<Expected> controls = {
        {"FloatControl", "Freqency Time", 100, 1, "0.1"},
        {"FVecControl", "Freq Width X,Y,Z", 100, 2, "0.1"},
        {"NumControl", "StartFrame", 100, 3, "0"},
        {"NumControl", "EndFrame", 300, 3, "30"},
        {"BoolControl", "FallOff", 500, 3, "x"},
        {"ButtonControl", "ADD KEY", 100, 5, nullptr},
        {"ButtonControl", "NEXT KEY", 300, 6, nullptr},
        {"ButtonControl", "PREV KEY", 100, 6, nullptr},
        {"ButtonControl", "DELETE KEY", 300, 5, nullptr},
        {"InfoControl", "KEY_NO", 250, 6, "1"},
        {"ListBoxControl", "Key List", 100, 7, "Start   0, End  30, Freq 0.100000"},
    };
    for (const Expected& e : controls) {
        SCOPED_TRACE(e.label);
        const int labelWidth = standin::PanelHost::labelWidthFor(e.type, e.label);
        const std::string group = std::string("<g class=\"control\" data-type=\"") + e.type +
                                  "\" data-label=\"" + e.label + "\" data-x=\"" +
                                  std::to_string(e.fieldX - labelWidth) + "\" data-y=\"" +
                                  std::to_string(e.row * 20) + "\"";
        const std::size_t at = svg.find(group);
        ASSERT_NE(at, std::string::npos);
        const std::string body = svg.substr(at, svg.find("</g>", at) - at);
        EXPECT_NE(body.find(std::string(">") + e.label + "</text>"), std::string::npos) << body;
        if (e.value != nullptr) {
            EXPECT_NE(body.find(std::string(">") + e.value + "</text>"), std::string::npos) << body;
        }
    }
    EXPECT_NE(svg.find(">VRIM_S   ver1.0"), std::string::npos);
    EXPECT_NE(svg.find("height=\"312\""), std::string::npos); // the panel's frame

    std::ofstream("panel_fresh.svg") << svg;
}

// The layout the picture and the terminal editor share. Expected values read
// by hand from the panel: rows 1-3 hold the values, 5-6 the buttons and the
// key number, 7 the list; each row from left to right.
TEST_F(PanelTest, LayoutReadsTheKeyEditorInScreenOrder) {
    instances.push_back(static_cast<ShakeInstance*>(handler.create()));
    ASSERT_EQ(run(instances.back(), "close"), 0);
    const standin::PanelLayout layout = standin::layoutOf(*panelHost.lastPanel());

    std::vector<std::string> order;
    for (const standin::ControlBox* box : layout.screenOrder()) {
        order.push_back(box->control->label);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Freqency Time", "Freq Width X,Y,Z", "StartFrame",
                                               "EndFrame", "FallOff", "ADD KEY", "DELETE KEY",
                                               "PREV KEY", "KEY_NO", "NEXT KEY", "Key List"}));
    for (const standin::ControlBox& box : layout.boxes) {
        SCOPED_TRACE(box.control->label);
        if (box.control->label == "Freq Width X,Y,Z") {
            // Three 64-wide fields, 4 apart: 200 in all, as the picture draws it.
            EXPECT_EQ(box.parts, 3);
            EXPECT_EQ(box.partStep, 68);
            EXPECT_EQ(box.fieldWidth, 200);
        }
        if (box.control->label == "Key List") {
            EXPECT_EQ(box.listRows, 5);
            EXPECT_EQ(box.fieldX, 100);
        }
    }
    EXPECT_EQ(layout.height, 312); // twelve rows of 26, as the module sets it
}
