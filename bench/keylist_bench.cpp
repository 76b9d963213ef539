// rebuildKeyList on a 256-key chain, reached the way the host reaches it: the
// key editor is open on the first key and the user presses vrim::label::kPrevKey, which
// there only rebuilds the list and has the host redraw it.
//
// One press is timed as the difference between a session with 16 presses and
// one without any, so opening, building and closing the panel drop out. The
// floor is what any list of 256 keys costs: each key's line formatted once,
// and the host's redraw, which asks the list for all of its rows.
#include "bench/session.h"
#include "plugin/identity.h"
#include "plugin/vocabulary.h"

#include "standin/panel_host.h"
#include "support/chains.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

namespace bench {

namespace {

constexpr int kKeys = 256;
constexpr int kPresses = 16;

std::vector<ShakeKey> listedKeys() {
    std::vector<ShakeKey> keys;
    for (int i = 0; i < kKeys; ++i) {
        keys.push_back(
            testsupport::keyValues(10 * i, 10 * i + 30, 1, 0.0, 0.1, 0.0, 0.1 + 0.0123 * (i % 13)));
    }
    return keys;
}

struct Editor {
    ActivateFunc activate = nullptr;
    ShakeInstance* instance = nullptr;
};

// One session of the key editor: open, the presses, close.
std::unique_ptr<standin::PanelHost> session(const Editor& editor, int presses, int* result) {
    auto panelHost = std::make_unique<standin::PanelHost>();
    std::vector<standin::PanelAction> script(static_cast<size_t>(presses));
    for (standin::PanelAction& action : script) {
        action.kind = standin::PanelAction::Kind::Press;
        action.label = vrim::label::kPrevKey;
    }
    script.emplace_back(); // close
    panelHost->setScript(script);
    Session& s = bench::session();
    s.host.panelServices = panelHost->services();
    s.host.lookups.clear();
    *result = editor.activate(1, s.host.global(), editor.instance, nullptr);
    return panelHost;
}

standin::PanelControl* listBox(const standin::PanelHost& panelHost) {
    const standin::Panel* panel = panelHost.lastPanel();
    if (panel == nullptr) {
        return nullptr;
    }
    for (const auto& control : panel->controls) {
        if (control->typeName == "ListBoxControl") {
            return control.get();
        }
    }
    return nullptr;
}

void runSessions(benchmark::State& state, const Editor& editor, int presses) {
    int result = -1;
    auto check = session(editor, presses, &result);
    const standin::PanelControl* list = listBox(*check);
    // Every press must have redrawn a list of every key, or the wrong work
    // would be timed.
    if (result != 0 || list == nullptr || list->draws < presses ||
        list->rows.size() != static_cast<size_t>(kKeys) || !check->problems.empty()) {
        state.SkipWithError("the key editor did not list every key at each press");
        return;
    }
    for (auto _ : state) {
        std::unique_ptr<standin::PanelHost> done = session(editor, presses, &result);
        state.PauseTiming();
        done.reset();
        state.ResumeTiming();
    }
}

} // namespace

void registerKeyList() {
    Session& s = bench::session();
    Editor editor;
    editor.activate = s.module->findServer(kInterfaceClass, vrim::kServerName);
    editor.instance = chainInstance(listedKeys());
    const std::string size = "/keys:" + std::to_string(kKeys);
    for (int presses : {0, kPresses}) {
        const std::string name = "key_editor" + size + "/presses:" + std::to_string(presses);
        benchmark::RegisterBenchmark(
            name.c_str(), [=](benchmark::State& state) { runSessions(state, editor, presses); });
    }

    benchmark::RegisterBenchmark(("key_list_floor" + size).c_str(), [=](benchmark::State& state) {
        int result = -1;
        auto panelHost = session(editor, 0, &result);
        standin::PanelControl* list = listBox(*panelHost);
        if (result != 0 || list == nullptr) {
            state.SkipWithError("the key editor did not open");
            return;
        }
        static char table[kKeys][256];
        for (auto _ : state) {
            int n = 0;
            for (const ShakeKey* key = editor.instance->firstKey; key != nullptr; key = key->next) {
                std::snprintf(table[n++], sizeof table[0], "Start %3d, End %3d, Freq %4f",
                              key->startFrame, key->endFrame, key->freqTime);
            }
            benchmark::ClobberMemory();
            standin::PanelHost::askRows(*list);
        }
    });
    // The host's share of either: the redraw alone.
    benchmark::RegisterBenchmark(("key_list_redraw" + size).c_str(), [=](benchmark::State& state) {
        int result = -1;
        auto panelHost = session(editor, 0, &result);
        standin::PanelControl* list = listBox(*panelHost);
        if (result != 0 || list == nullptr) {
            state.SkipWithError("the key editor did not open");
            return;
        }
        for (auto _ : state) {
            standin::PanelHost::askRows(*list);
        }
    });
}

} // namespace bench
