// Out of memory at every allocation the module makes: each scenario runs once
// with its 1st allocation failing, once with its 2nd failing, and so on until
// a run in which none failed. Every run must end in the outcome the host is
// promised for that failure, leave the module's heap as it found it, and
// leave every chain well linked (the sanitizer and Valgrind runs of this
// test catch a read of a released key).
#include "plugin/identity.h"
#include "plugin/vocabulary.h"
#include "standin/panel_host.h"
#include "standin/scene_io.h"
#include "support/chains.h"
#include "support/module_fixture.h"

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

using testsupport::chainIsSound;
using testsupport::chainOf;
using testsupport::keyValues;

namespace {

auto valuesOf(const ShakeKey* key) {
    return std::make_tuple(key->startFrame, key->endFrame, key->fallOff, key->widthX, key->widthY,
                           key->widthZ, key->freqTime);
}

std::vector<decltype(valuesOf(nullptr))> chainValues(const ShakeInstance* instance) {
    std::vector<decltype(valuesOf(nullptr))> values;
    for (const ShakeKey* key : chainOf(instance)) {
        values.push_back(valuesOf(key));
    }
    return values;
}

std::vector<decltype(valuesOf(nullptr))> keysValues(const std::vector<ShakeKey>& keys) {
    std::vector<decltype(valuesOf(nullptr))> values;
    for (const ShakeKey& key : keys) {
        values.push_back(valuesOf(&key));
    }
    return values;
}

// Five keys whose values all survive the scene's six decimals.
const std::vector<ShakeKey> kFiveKeys = {
    keyValues(0, 30, 1, 0.0, 0.1, 0.0, 0.1),         keyValues(-12, 40, 0, 0.5, -0.25, 2.0, 0.0),
    keyValues(100, 90, 1, 1.5, 0.0, -3.0, -0.125),   keyValues(7, 7, 1, 0.001, 0.002, 0.003, 2.5),
    keyValues(2000, 3000, 0, -8.0, 16.0, 0.0, 40.0),
};

class OutOfMemoryTest : public testsupport::ModuleTest {
  protected:
    // From here the nth allocation fails.
    void arm(int64_t n) {
        host.messages.clear();
        probe->allocations = 0;
        probe->failures = 0;
        probe->failAt = n;
    }
    // Allocations succeed again; true when one failed since arm.
    bool disarm() {
        probe->failAt = 0;
        return probe->failures != 0;
    }

    // Runs scenario(n) for n = 1, 2, ... until a run without a failure, and
    // returns how many runs had one: the scenario's allocation sites.
    int failEachAllocation(const std::function<bool(int64_t)>& scenario) {
        for (int64_t n = 1; n <= 64; ++n) {
            SCOPED_TRACE("allocation " + std::to_string(n) + " fails");
            const int64_t live = probe->live;
            const bool failed = scenario(n);
            EXPECT_EQ(probe->live, live) << "blocks left allocated";
            if (!failed || HasFailure()) {
                return static_cast<int>(n - 1);
            }
        }
        ADD_FAILURE() << "the scenario never completed";
        return -1;
    }

    // Sets the module's message-service reference, or empties it, through
    // an interface activation that stops at the missing panel services.
    void messageServiceSet(bool set) {
        ActivateFunc activate = module->findServer(kInterfaceClass, vrim::kServerName);
        host.panelServices = nullptr;
        host.offer("Info Messages", set);
        ASSERT_EQ(activate(1, host.global(), nullptr, nullptr), 2);
        host.offer("Info Messages", true);
    }

    // The messages shown since arm, one line each.
    std::string messages() const {
        std::string text;
        for (const standin::Message& m : host.messages) {
            text += std::string(m.error ? "error '" : "info '") + m.first + "' " +
                    (m.hasSecond ? "'" + m.second + "'" : "null") + "\n";
        }
        return text;
    }

    ShakeInstance* make(const std::vector<ShakeKey>& keys) {
        return testsupport::makeInstance(handler, keys);
    }

    // The five keys as the module's own save writes them.
    std::vector<std::string> fiveKeyBlock() {
        ShakeInstance* saved = make(kFiveKeys);
        standin::LineWriter writer;
        handler.save(saved, writer.state());
        handler.destroy(saved);
        return writer.lines;
    }

    bool create(int64_t n) {
        arm(n);
        HostError error = nullptr;
        auto* instance = static_cast<ShakeInstance*>(handler.create(&error));
        const bool failed = disarm();
        if (failed) {
            EXPECT_EQ(instance, nullptr);
            EXPECT_STREQ(error, "No memory for new VRIM_S.");
        } else {
            EXPECT_EQ(error, nullptr);
            EXPECT_TRUE(instance != nullptr && chainIsSound(instance) && instance->keyCount == 1);
        }
        handler.destroy(instance);
        return failed;
    }

    // Five keys onto an instance of two: the copy duplicates the five first.
    bool copy(int64_t n) {
        ShakeInstance* source = make(kFiveKeys);
        ShakeInstance* destination = make({kFiveKeys[4], kFiveKeys[2]});
        std::strcpy(source->listText.lines[0], "from the source");
        const auto keysBefore = chainOf(destination);
        const auto valuesBefore = chainValues(destination);
        const KeyListText listBefore = destination->listText;

        arm(n);
        HostError error = handler.copy(source, destination);
        const bool failed = disarm();
        EXPECT_TRUE(chainIsSound(source) && chainIsSound(destination));
        EXPECT_EQ(chainValues(source), keysValues(kFiveKeys));
        if (failed) {
            EXPECT_STREQ(error, "No memory for new VRIM_S.");
            EXPECT_EQ(chainOf(destination), keysBefore) << "destination changed";
            EXPECT_EQ(chainValues(destination), valuesBefore);
            EXPECT_EQ(std::memcmp(&destination->listText, &listBefore, sizeof listBefore), 0);
        } else {
            EXPECT_EQ(error, nullptr);
            EXPECT_EQ(chainValues(destination), chainValues(source));
            EXPECT_STREQ(destination->listText.lines[0], "from the source");
            for (const ShakeKey* key : chainOf(destination)) {
                for (const ShakeKey* shared : chainOf(source)) {
                    EXPECT_NE(key, shared) << "the copy shares a key with its source";
                }
            }
        }
        handler.destroy(source);
        handler.destroy(destination);
        return failed;
    }

    bool load(int64_t n, bool withMessageService) {
        messageServiceSet(withMessageService);
        ShakeInstance* instance = make({kFiveKeys[3]});
        standin::LineReader reader(fiveKeyBlock());

        arm(n);
        HostError error = handler.load(instance, reader.state());
        const bool failed = disarm();
        EXPECT_EQ(error, nullptr);
        EXPECT_TRUE(chainIsSound(instance)) << "keyCount must follow the chain";
        const std::vector<ShakeKey> kept(kFiveKeys.begin(),
                                         kFiveKeys.begin() + (failed ? n - 1 : 5));
        EXPECT_EQ(chainValues(instance), keysValues(kept)) << "the keys so far are kept";
        if (failed && withMessageService) {
            EXPECT_EQ(messages(), "info 'No memmory ' null\n");
        } else {
            EXPECT_TRUE(host.messages.empty());
        }
        handler.destroy(instance);
        return failed;
    }

    // The key editor on two keys, the user pressing ADD KEY once. The editor
    // record comes first: without it the panel never opens.
    bool panel(int64_t n, int* editorFailures, int* addKeyFailures) {
        standin::PanelHost panels;
        host.panelServices = panels.services();
        panels.setScript({{standin::PanelAction::Kind::Press, vrim::label::kAddKey, {}, 0},
                          {standin::PanelAction::Kind::Close, "", {}, 0}});
        ShakeInstance* instance = make({kFiveKeys[1], kFiveKeys[2]});
        const auto keysBefore = chainOf(instance);
        const auto valuesBefore = chainValues(instance);
        ActivateFunc activate = module->findServer(kInterfaceClass, vrim::kServerName);

        arm(n);
        const int result = activate(1, host.global(), instance, nullptr);
        const bool failed = disarm();
        host.panelServices = nullptr;
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(chainIsSound(instance));
        EXPECT_EQ(panels.problems, std::vector<std::string>{});
        const bool opened = panels.panels.size() == 1 && panels.lastPanel()->opens == 1;
        EXPECT_TRUE(panels.panels.size() == 1 && panels.lastPanel()->destroyed);
        std::vector<ShakeKey> after = {kFiveKeys[1], kFiveKeys[2]};
        if (failed && !opened) {
            ++*editorFailures;
            EXPECT_EQ(messages(), "error 'Couldn't allocate memory !!' null\n");
            EXPECT_EQ(chainOf(instance), keysBefore);
        } else if (failed) {
            ++*addKeyFailures;
            EXPECT_EQ(messages(), "") << "ADD KEY without memory does nothing";
            EXPECT_EQ(chainOf(instance), keysBefore);
        } else {
            EXPECT_EQ(messages(), "info 'Create Key' null\n");
            after.push_back(keyValues(0, 30, 1, 0.0, 0.1, 0.0, 0.1));
        }
        EXPECT_EQ(chainValues(instance), keysValues(after));
        handler.destroy(instance);
        return failed;
    }
};

TEST_F(OutOfMemoryTest, EveryAllocationFailureEndsInItsDocumentedOutcome) {
    int editorFailures = 0, addKeyFailures = 0;
    const struct {
        const char* scenario;
        std::function<bool(int64_t)> run;
        int sites;
    } cases[] = {
        {"create: the instance, then its key", [&](int64_t n) { return create(n); }, 2},
        {"copy of five keys onto two", [&](int64_t n) { return copy(n); }, 5},
        {"load of a five-key block, message service set", [&](int64_t n) { return load(n, true); },
         5},
        {"load of a five-key block, no message service", [&](int64_t n) { return load(n, false); },
         5},
        {"key editor with ADD KEY: the editor, then the key",
         [&](int64_t n) { return panel(n, &editorFailures, &addKeyFailures); }, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        EXPECT_EQ(failEachAllocation(c.run), c.sites) << "allocation sites reached";
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_EQ(editorFailures, 1);
    EXPECT_EQ(addKeyFailures, 1);
    EXPECT_EQ(probe->live, 0);
}

} // namespace
