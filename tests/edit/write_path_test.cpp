// The write path of vrim edit in-process: every file-system call failed in
// turn, and the scene changed by someone else between reading and writing.
// Each time the scene keeps its bytes and no file of the edit's stays behind.
#include "edit_support.h"

#include "support/faulty_fs.h"
#include "tools/vrim/edit/key_actions.h"
#include "tools/vrim/edit/scene_edit.h"
#include "tools/vrim/edit/splice.h"
#include "tools/vrim/module/session.h"

#include <map>
#include <set>

namespace {

using namespace edittest;
using testsupport::FaultyFileSystem;
using vrim::files::FileSystem;

class WritePath : public ::testing::Test {
  protected:
    std::filesystem::path folder = freshFolder("edit-write-path");
    std::filesystem::path scene = folder / "shot.lws";
    std::string original = smallScene();
    vrim::Session session{"vrim_s.p"};

    void SetUp() override { writeBytes(scene, original); }

    vrim::edit::SceneEditResult edit(FileSystem& fs, bool backup) {
        vrim::edit::SceneEditOptions options;
        options.blocks.address("Camera_Rig");
        options.backup = backup;
        const std::vector<vrim::edit::EditAction> actions = {
            vrim::edit::parseEditAction("key", "2"), vrim::edit::parseEditAction("set", "end=48")};
        options.user = [this, actions](const std::string&) {
            return std::make_unique<vrim::edit::ActionPlayer>(session.panelHost(), actions);
        };
        return vrim::edit::editScene(session, fs, scene.string(), options);
    }
};

TEST_F(WritePath, EveryFailingCallLeavesTheSceneAsItWasAndNoStrayFile) {
    for (const bool backup : {false, true}) {
        writeBytes(scene, original);
        std::filesystem::remove(folder / "shot.lws.bak");
        FaultyFileSystem counting;
        ASSERT_TRUE(edit(counting, backup).written);
        const std::string edited = readBytes(scene);
        ASSERT_NE(edited, original);
        const int total = counting.calls;
        ASSERT_GT(total, 10);
        for (int n = 1; n <= total; ++n) {
            SCOPED_TRACE("backup " + std::to_string(backup) + ", failing call " +
                         std::to_string(n) + " of " + std::to_string(total));
            writeBytes(scene, original);
            std::filesystem::remove(folder / "shot.lws.bak");
            FaultyFileSystem faulty;
            faulty.failAt = n;
            try {
                const vrim::edit::SceneEditResult result = edit(faulty, backup);
                EXPECT_EQ(readBytes(scene), edited);
                // A name that could not be made is tried once more (another
                // vrim's lock may have just gone, a killed run's file may be
                // in the way); the rest is advice, a search that may come up
                // empty, or the close of the old file's handle, only read.
                static const std::set<std::string> retried = {
                    "createNew",  "nameFile", "openedAs",     "beginSync",
                    "startFlush", "close",    "othersWriting"};
                // What fails after the rename leaves the edit in place, and
                // the run says what is at risk.
                static const std::map<std::string, std::string> after = {
                    {"syncFolder", "could not be flushed"},
                    {"statOpen", "could not be looked at"},
                    {"remove", "could not be removed"}};
                // A retried call that fails makes the run's calls fewer than
                // counted; past its last call none fails.
                if (!faulty.failed.empty() && retried.count(faulty.failed) == 0) {
                    ASSERT_EQ(after.count(faulty.failed), 1u)
                        << faulty.failed << " failed, yet the edit went through";
                    EXPECT_NE(result.notes.back().find(after.at(faulty.failed)), std::string::npos)
                        << result.notes.back();
                }
                std::filesystem::remove(folder / "shot.lws.lock"); // said in the warning
                std::filesystem::remove(folder / "shot.lws.bak.lock");
                std::filesystem::remove(folder / "shot.lws.bak");
                EXPECT_EQ(namesIn(folder), std::vector<std::string>{"shot.lws"});
                continue;
            } catch (const vrim::ToolError& e) {
                EXPECT_NE(std::string(e.what()).find("shot.lws"), std::string::npos) << e.what();
            }
            EXPECT_EQ(readBytes(scene), original);
            EXPECT_EQ(namesIn(folder), std::vector<std::string>{"shot.lws"});
        }
    }
}

TEST_F(WritePath, ASceneChangedBetweenReadingAndWritingIsRefused) {
    struct Change {
        const char* name;
        std::function<std::string(const std::string&)> change;
    };
    const Change changes[] = {
        {"grown", [](const std::string& text) { return text + "AddNullObject Late\n"; }},
        // Same size, same time: only the content tells.
        {"one byte",
         [](const std::string& text) {
             std::string changed = text;
             changed[changed.find("LastFrame 90") + 10] = '8';
             return changed;
         }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        writeBytes(scene, original);
        const std::string theirs = change.change(original);
        FaultyFileSystem fs;
        bool changed = false;
        // The temporary file is being flushed: the whole scene has been read.
        fs.before = [&](const std::string& call) {
            if (call == "sync" && !changed) {
                changed = true;
                const auto time = std::filesystem::last_write_time(scene);
                writeBytes(scene, theirs);
                std::filesystem::last_write_time(scene, time);
            }
        };
        try {
            edit(fs, true);
            ADD_FAILURE() << "the edit went through";
        } catch (const vrim::ToolError& e) {
            EXPECT_NE(std::string(e.what()).find("changed on disk since it was read"),
                      std::string::npos)
                << e.what();
        }
        EXPECT_TRUE(changed);
        EXPECT_EQ(readBytes(scene), theirs);
        EXPECT_EQ(namesIn(folder), std::vector<std::string>{"shot.lws"});
    }
}

// The reader and the copy share one read of the file, a piece at a time:
// wherever a piece ends, before, inside or after the edited block, the new
// file is the old one with that block's text replaced and every other byte
// as it was.
TEST_F(WritePath, ABlockIsReplacedWhereverAReadPieceEnds) {
    const std::size_t split = original.find("AddNullObject Camera_Rig");
    const std::string head = original.substr(0, split);
    edit(vrim::files::systemFileSystem(), false);
    const std::string edited = readBytes(scene);
    ASSERT_EQ(edited.substr(0, split), head);
    const std::size_t blockEnd = original.find("EndPlugin\n", split) + 10;
    for (std::size_t at = 0; at <= blockEnd - split + 1; at += 7) {
        // A line the reader passes over, sized to end the first piece at
        // byte at of the item's lines.
        const std::size_t pad = vrim::edit::kCopyPieceBytes - split - at;
        const std::string padding = std::string(pad - 1, 'x') + "\n";
        SCOPED_TRACE("the first piece ends " + std::to_string(at) + " bytes into the item");
        writeBytes(scene, head + padding + original.substr(split));
        ASSERT_TRUE(edit(vrim::files::systemFileSystem(), false).written);
        ASSERT_EQ(readBytes(scene), head + padding + edited.substr(split));
    }
}

// The reading stops once every block asked for by name and number is found;
// what follows is copied as it is, a line the reader would refuse included.
TEST_F(WritePath, EveryBlockAskedForIsEditedAndTheRestIsCopiedAsItIs) {
    const std::string tail = "\nAddNullObject Late\n" + std::string(2 << 20, 'x') + "\n";
    struct Case {
        const char* name;
        std::vector<std::string> items;
        std::vector<std::size_t> blocks;
        std::vector<std::string> edited; // the addresses, in file order
    };
    const Case cases[] = {
        {"the last block by name", {"Single"}, {}, {"Single"}},
        {"two names, the later given first",
         {"Single", "Camera_Rig"},
         {},
         {"Camera_Rig", "Single"}},
        {"a name and the number of a later block", {"Camera_Rig"}, {2}, {"Camera_Rig", "Single"}},
        {"a number and the name of a later block", {"Single"}, {1}, {"Camera_Rig", "Single"}},
        {"one block by name and by number", {"Single"}, {2}, {"Single"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(scene, original + tail);
        vrim::edit::SceneEditOptions options;
        for (const std::string& item : c.items) {
            options.blocks.address(item);
        }
        for (const std::size_t block : c.blocks) {
            options.blocks.number(block);
        }
        const std::vector<vrim::edit::EditAction> actions = {
            vrim::edit::parseEditAction("set", "start=7")};
        options.user = [this, actions](const std::string&) {
            return std::make_unique<vrim::edit::ActionPlayer>(session.panelHost(), actions);
        };
        const vrim::edit::SceneEditResult result = vrim::edit::editScene(
            session, vrim::files::systemFileSystem(), scene.string(), options);
        std::vector<std::string> edited;
        for (const vrim::edit::BlockEdit& block : result.blocks) {
            if (std::string_view(block.outcome) == "edited") {
                edited.push_back(block.address);
            }
        }
        EXPECT_EQ(edited, c.edited);
        EXPECT_TRUE(result.written);
        const std::string now = readBytes(scene);
        ASSERT_GE(now.size(), tail.size());
        EXPECT_EQ(now.substr(now.size() - tail.size()), tail);
        EXPECT_EQ(namesIn(folder), std::vector<std::string>{"shot.lws"});
    }
    // Every item is every block: the line past the reader's bound is found.
    writeBytes(scene, original + tail);
    vrim::edit::SceneEditOptions all;
    all.allItems = true;
    all.user = [this](const std::string&) {
        return std::make_unique<vrim::edit::ActionPlayer>(
            session.panelHost(),
            std::vector<vrim::edit::EditAction>{vrim::edit::parseEditAction("set", "start=7")});
    };
    EXPECT_THROW(
        vrim::edit::editScene(session, vrim::files::systemFileSystem(), scene.string(), all),
        vrim::ToolError);
    EXPECT_EQ(readBytes(scene), original + tail);
}

} // namespace
