// The review page against a previous version: what changed comes first with
// both versions' curves and its key changes; what did not is folded away.
#include "support/tool_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

using testsupport::readBytes;

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

struct ShownItem {
    std::string name, html;
    bool open = false;
};

// The page's items in page order, each with its own part of the page.
std::vector<ShownItem> itemsOf(const std::string& html) {
    std::vector<ShownItem> items;
    const std::regex start(R"re(<details class="item[^"]*" id="[^"]*/([^"/]*)"( open)?>)re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), start);
         it != std::sregex_iterator(); ++it) {
        const std::size_t from = static_cast<std::size_t>(it->position(0));
        const std::size_t to = html.find("</details>", from);
        items.push_back({(*it)[1].str(), html.substr(from, to - from), (*it)[2].matched});
    }
    return items;
}

TEST(ReportAgainst, ChangedItemsFirstWithBothCurvesTheRestFolded) {
    const std::string old = readBytes("samples/two-items.lws");
    struct Case {
        std::string name, newScene;
        std::string first;  // the item the page shows first
        std::string change; // the changed item's listed change; empty: nothing changed
    };
    // Lamp_Swing has warnings, so it leads a page that compares nothing.
    const Case cases[] = {
        {"period", replaced(old, "FREQ 0.250000", "FREQ 0.200000"), "Camera_Rig",
         "key 2 period 0.25 \u2192 0.2"},
        {"resaved", replaced(old, "FREQ 0.250000", "FREQ 0.25"), "Lamp_Swing", ""},
        {"crlf", replaced(old, "\n", "\r\n"), "Lamp_Swing", ""},
        {"fall-off", replaced(old, "END_F 90.000000\nFALL_OFF 1", "END_F 90.000000\nFALL_OFF 0"),
         "Lamp_Swing", "key 1 fall-off on \u2192 off"},
    };
    writeFile("against-old.lws", old);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile("against-new.lws", c.newScene);
        const testsupport::ToolRun run = testsupport::runVrim(
            "report against-new.lws --against against-old.lws -o against.html", "against-test");
        ASSERT_EQ(run.status, 1) << run.err; // Lamp_Swing's warnings
        const std::vector<ShownItem> items = itemsOf(readBytes("against.html"));
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[0].name, c.first);
        for (const ShownItem& item : items) {
            const bool changed = !c.change.empty() && item.name == c.first;
            SCOPED_TRACE(item.name);
            EXPECT_EQ(item.open, changed);
            // Each version's curves: the old behind, the new on top.
            EXPECT_EQ(item.html.find("<g class=\"before\"") != std::string::npos, changed);
            EXPECT_NE(item.html.find("<g fill=\"none\""), std::string::npos);
            EXPECT_EQ(item.html.find("<li>" + c.change + "</li>") != std::string::npos, changed);
            // The findings filter hides the clean items: a changed one is
            // not clean, though it has no findings.
            if (item.name == "Camera_Rig") {
                EXPECT_EQ(item.html.rfind("<details class=\"item clean\"", 0) == 0, !changed);
            }
        }
        // The page words a key's change as vrim diff prints it.
        const testsupport::ToolRun diff =
            testsupport::runVrim("diff against-old.lws against-new.lws", "against-diff");
        EXPECT_NE(diff.out.find(c.change), std::string::npos) << diff.out;
    }
}

TEST(ReportAgainst, FoldersPairByPathAndNameWhatIsOnOneSide) {
    const std::string old = readBytes("samples/two-items.lws");
    std::filesystem::remove_all("against-folders");
    std::filesystem::create_directories("against-folders/old");
    std::filesystem::create_directories("against-folders/new");
    writeFile("against-folders/old/shot.lws", old);
    writeFile("against-folders/old/gone.lws", old);
    writeFile("against-folders/new/shot.lws", replaced(old, "FREQ 0.250000", "FREQ 0.200000"));
    writeFile("against-folders/new/fresh.lws", old);
    const testsupport::ToolRun run =
        testsupport::runVrim("report against-folders/new --against against-folders/old -o "
                             "against-folders.html",
                             "against-test");
    ASSERT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("1 scene only in against-folders/old"), std::string::npos) << run.err;
    const std::string html = readBytes("against-folders.html");
    EXPECT_NE(html.find("Not in the previous version: every item is new."), std::string::npos);
    EXPECT_NE(html.find("key 2 period 0.25 \u2192 0.2"), std::string::npos);
    EXPECT_NE(html.find("Items changed since the previous version come first"), std::string::npos);
    // A new scene's items are all added, and each says so.
    std::size_t added = 0;
    for (const ShownItem& item : itemsOf(html)) {
        added += item.html.find("badge change\">added<") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(added, 2u);
}

TEST(ReportAgainst, RefusedWithoutWritingAPage) {
    struct Case {
        std::string arguments, message;
    };
    const Case cases[] = {
        {"samples/two-items.lws samples/shot-24fps.lws --against samples/two-items.lws",
         "give one NEW"},
        {"- --against samples/two-items.lws", "not standard input"},
        {"samples/two-items.lws --against -", "not standard input"},
        {"samples/two-items.lws --against against-missing.lws", "against-missing.lws"},
        {"samples --against samples/two-items.lws", "folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::filesystem::remove("against-refused.html");
        const testsupport::ToolRun run = testsupport::runVrim(
            "report " + c.arguments + " -o against-refused.html </dev/null", "against-test", "");
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists("against-refused.html"));
    }
}

} // namespace
