// The list box's lines and callbacks.
#include "panel_fixture.h"
#include "plugin/vocabulary.h"

#include <climits>

using testsupport::chainOf;
using testsupport::defaultKey;
using testsupport::keyValues;
using testsupport::listLine;
using testsupport::PanelTest;
using testsupport::valuesOf;

TEST_F(PanelTest, ListLinesShowStartEndAndFrequency) {
    struct Case {
        ShakeKey key;
        std::string line;
    };
    const std::vector<Case> cases = {
        {defaultKey(), "Start   0, End  30, Freq 0.100000"},
        {keyValues(1000, 1200, 1, 0, 0, 0, 12.5), "Start 1000, End 1200, Freq 12.500000"},
        {keyValues(-5, 30, 0, 0, 0, 0, 0.1), "Start  -5, End  30, Freq 0.100000"},
        {keyValues(INT_MIN, INT_MAX, 0, 0, 0, 0, -0.5),
         "Start -2147483648, End 2147483647, Freq -0.500000"},
        {keyValues(7, 8, 0, 0, 0, 0, 0.0), "Start   7, End   8, Freq 0.000000"},
    };
    std::vector<ShakeKey> keys;
    for (const Case& c : cases) {
        keys.push_back(c.key);
    }
    keys.push_back(keyValues(0, 30, 1, 0, 0, 0, 1e300)); // prints over 300 characters
    ShakeInstance* instance = instanceWith(keys);
    ASSERT_EQ(run(instance, "close"), 0);

    const std::vector<std::string>& rows = control(vrim::label::kKeyList).rows;
    ASSERT_EQ(rows.size(), keys.size());
    ASSERT_EQ(instance->listText.lineCount, static_cast<int32_t>(keys.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(rows[i], cases[i].line);
        EXPECT_EQ(std::string(instance->listText.lines[i]), cases[i].line);
    }
    const std::string& cut = rows.back();
    EXPECT_EQ(cut.size(), 255u);
    EXPECT_EQ(cut.rfind("Start   0, End  30, Freq 10000000000000000525", 0), 0u) << cut;
}

TEST_F(PanelTest, ListCallbacksServeTheTableAndPickingChangesNothing) {
    const ShakeKey a = keyValues(1, 2, 1, 0, 0, 0, 0.5);
    const ShakeKey b = keyValues(3, 4, 0, 1, 1, 1, 1.5);
    const ShakeKey c = keyValues(5, 6, 1, 2, 2, 2, 2.5);
    ShakeInstance* instance = instanceWith({a, b, c});
    std::vector<KeyEditor> editors;
    panelHost.afterAction = [&](const standin::PanelAction&) {
        editors.push_back(*editor());
        EXPECT_EQ(keyNo(), "1");
        EXPECT_EQ(valuesOf(shown()), valuesOf(a));
    };
    ASSERT_EQ(run(instance, "pick 2\npick 1\nclose"), 0);
    ASSERT_EQ(editors.size(), 2u);
    EXPECT_EQ(editors[1].currentKey, instance->firstKey);
    EXPECT_TRUE(host.messages.empty());

    const standin::PanelControl& list = control(vrim::label::kKeyList);
    EXPECT_EQ(list.integer, 1); // the host's own record of the pick
    void* data = list.listData;
    ASSERT_EQ(data, &instance->listText);
    EXPECT_EQ(list.descriptor.count(data), 3);
    EXPECT_EQ(std::string(list.descriptor.name(data, 0)), listLine(a));
    EXPECT_EQ(std::string(list.descriptor.name(data, 2)), listLine(c));
    for (int outside : {3, -1, 256, INT_MAX, INT_MIN}) {
        EXPECT_EQ(list.descriptor.name(data, outside), nullptr) << outside;
    }
}

TEST_F(PanelTest, MoreKeysThanListLines) {
    std::vector<ShakeKey> keys;
    for (int i = 0; i < 300; ++i) {
        keys.push_back(keyValues(i, i + 10, 1, 0, 0, 0, 0.1));
    }
    ShakeInstance* instance = instanceWith(keys);
    ASSERT_EQ(run(instance, "press \"ADD KEY\"\nclose"), 0);
    EXPECT_EQ(instance->keyCount, 301);
    EXPECT_EQ(chainOf(instance).size(), 301u);
    EXPECT_EQ(valuesOf(*chainOf(instance).back()), valuesOf(defaultKey()));
    EXPECT_EQ(instance->listText.lineCount, 256);
    const std::vector<std::string>& rows = control(vrim::label::kKeyList).rows;
    ASSERT_EQ(rows.size(), 256u);
    EXPECT_EQ(rows.front(), listLine(keys.front()));
    EXPECT_EQ(rows.back(), listLine(keys[255]));
}
