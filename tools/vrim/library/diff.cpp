#include "tools/vrim/library/diff.h"

#include "tools/vrim/compare/compare.h"

#include <nlohmann/json.hpp>

namespace vrim::library {

std::string diffDocument(Session& session, const std::string& oldPath, const std::string& newPath,
                         double tolerance, bool recursive) {
    using nlohmann::json;
    const std::vector<compare::ScenePair> pairs = compare::pairsOf(oldPath, newPath, recursive);
    json scenes = json::array();
    compare::SceneTotals all;
    std::size_t errors = 0;
    for (const compare::ScenePair& pair : pairs) {
        json header = json::array(), items = json::array();
        compare::SceneListener listener;
        listener.header = [&header](const std::vector<compare::HeaderChange>& changes) {
            for (const compare::HeaderChange& change : changes) {
                header.push_back(compare::headerJson(change));
            }
        };
        listener.item = [&items](const compare::ItemDiff& item) {
            items.push_back(compare::itemJson(item));
        };
        compare::SceneTotals totals;
        std::string error;
        try {
            totals =
                compare::compareScenes(session, pair.oldPath, pair.newPath, {tolerance}, listener);
        } catch (const ToolError& e) {
            error = e.what();
            ++errors;
        }
        auto path = [](const std::string& text) {
            return text.empty() ? json(nullptr) : json(text);
        };
        json scene = {{"path", path(pair.relative)},
                      {"old", path(pair.oldPath)},
                      {"new", path(pair.newPath)},
                      {"header", header},
                      {"items", items}};
        scene.update(compare::totalsJson(totals));
        scene["error"] = path(error);
        scenes.push_back(std::move(scene));
        all += totals;
    }
    json document = {{"formatVersion", compare::kFormatVersion},
                     {"command", "diff"},
                     {"old", oldPath},
                     {"new", newPath},
                     {"tolerance", tolerance},
                     {"scenes", scenes}};
    document.update(compare::totalsJson(all));
    document["moves"] = all.moves();
    document["errors"] = errors;
    document["status"] = errors > 0 ? 2 : all.moves() ? 1 : 0;
    return document.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace vrim::library
