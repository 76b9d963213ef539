// The module loaded in a stand-in host that offers panel services, with the
// key editor ready to be activated on instances the test makes.
#pragma once

#include "plugin/identity.h"
#include "plugin/panel/keyeditor.h"
#include "plugin/vocabulary.h"
#include "standin/panel_host.h"
#include "support/chains.h"
#include "support/module_fixture.h"

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace testsupport {

// A key's seven values, comparable and printable.
inline auto valuesOf(const ShakeKey& key) {
    return std::make_tuple(key.startFrame, key.endFrame, key.fallOff, key.widthX, key.widthY,
                           key.widthZ, key.freqTime);
}

inline std::vector<decltype(valuesOf(ShakeKey{}))> chainValues(const ShakeInstance* instance) {
    std::vector<decltype(valuesOf(ShakeKey{}))> values;
    for (const ShakeKey* key : chainOf(instance)) {
        values.push_back(valuesOf(*key));
    }
    return values;
}

inline std::vector<decltype(valuesOf(ShakeKey{}))> keysValues(const std::vector<ShakeKey>& keys) {
    std::vector<decltype(valuesOf(ShakeKey{}))> values;
    for (const ShakeKey& key : keys) {
        values.push_back(valuesOf(key));
    }
    return values;
}

inline ShakeKey defaultKey() {
    return keyValues(0, 30, 1, 0.0, 0.1, 0.0, 0.1);
}

// The list line the key editor shows for a key.
inline std::string listLine(const ShakeKey& key) {
    char line[256];
    std::snprintf(line, sizeof line, "Start %3d, End %3d, Freq %4f", key.startFrame, key.endFrame,
                  key.freqTime);
    return line;
}

class PanelTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        host.panelServices = panelHost.services();
        activate = module->findServer(kInterfaceClass, vrim::kServerName);
        ASSERT_NE(activate, nullptr);
    }

    // Every test ends with nothing allocated but its instances and their keys,
    // and with no call that a real host would have refused.
    void TearDown() override {
        int64_t expected = 0;
        for (ShakeInstance* instance : instances) {
            expected += 1 + static_cast<int64_t>(chainOf(instance).size());
        }
        EXPECT_EQ(probe->live, expected);
        for (const std::string& problem : panelHost.problems) {
            ADD_FAILURE() << "panel host: " << problem;
        }
        for (ShakeInstance* instance : instances) {
            handler.destroy(instance);
        }
    }

    ShakeInstance* instanceWith(const std::vector<ShakeKey>& keys) {
        instances.push_back(makeInstance(handler, keys));
        return instances.back();
    }

    // Activates the key editor on instance with the user playing script.
    int run(ShakeInstance* instance, const std::string& script) {
        std::vector<standin::PanelAction> actions;
        std::string error;
        EXPECT_TRUE(standin::parsePanelScript(script, actions, error)) << error;
        panelHost.setScript(actions);
        return activate(1, host.global(), instance, nullptr);
    }

    standin::PanelControl& control(const std::string& label) const {
        standin::Panel* panel = panelHost.lastPanel();
        standin::PanelControl* found = panel != nullptr ? panel->control(label) : nullptr;
        if (found == nullptr) {
            ADD_FAILURE() << "no control labelled " << label;
            static standin::PanelControl none;
            return none;
        }
        return *found;
    }

    std::string keyNo() const { return control(vrim::label::kKeyNumber).text; }

    // The values the five value controls show, as a key.
    ShakeKey shown() const {
        const standin::PanelControl& width = control(vrim::label::kWidth);
        return keyValues(static_cast<int32_t>(control(vrim::label::kStartFrame).integer),
                         static_cast<int32_t>(control(vrim::label::kEndFrame).integer),
                         static_cast<int32_t>(control(vrim::label::kFallOff).integer),
                         width.vector[0], width.vector[1], width.vector[2],
                         control(vrim::label::kFreqTime).number);
    }

    // The KeyEditor the buttons were wired with.
    KeyEditor* editor() const {
        return static_cast<KeyEditor*>(control(vrim::label::kAddKey).userData);
    }

    // Log lines from the first that begins with from, in order.
    std::vector<std::string> logFrom(const std::string& from) const {
        for (std::size_t i = 0; i < panelHost.log.size(); ++i) {
            if (panelHost.log[i].rfind(from, 0) == 0) {
                return {panelHost.log.begin() + static_cast<std::ptrdiff_t>(i),
                        panelHost.log.end()};
            }
        }
        return {};
    }

    standin::PanelHost panelHost;
    ActivateFunc activate = nullptr;
    std::vector<ShakeInstance*> instances;
};

} // namespace testsupport
