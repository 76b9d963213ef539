// The write path of vrim edit in-process: every file-system call failed in
// turn, and the scene changed by someone else between reading and writing.
// Each time the scene keeps its bytes and no file of the edit's stays behind.
#include "edit_support.h"

#include "tools/vrim/edit/key_actions.h"
#include "tools/vrim/edit/scene_edit.h"
#include "tools/vrim/module/session.h"

#include <functional>

namespace {

using namespace edittest;
using vrim::edit::FileHandle;
using vrim::edit::FileInfo;
using vrim::edit::FileSystem;

// The machine's file system, with the Nth call failing (0: none) and a hook
// that runs before each call, named by the call.
class FaultyFileSystem final : public FileSystem {
  public:
    int failAt = 0;
    int calls = 0;
    std::function<void(const std::string& call)> before;

    bool stat(const std::string& path, FileInfo& info, std::string& error) override {
        return fails("stat", error) ? false : real_.stat(path, info, error);
    }
    FileHandle openRead(const std::string& path, std::string& error) override {
        return fails("openRead", error) ? vrim::edit::kNoFile : real_.openRead(path, error);
    }
    int64_t read(FileHandle file, char* buffer, std::size_t size, std::string& error) override {
        return fails("read", error) ? -1 : real_.read(file, buffer, size, error);
    }
    FileHandle createNew(const std::string& path, std::string& error) override {
        return fails("createNew", error) ? vrim::edit::kNoFile : real_.createNew(path, error);
    }
    bool write(FileHandle file, const char* data, std::size_t size, std::string& error) override {
        return fails("write", error) ? false : real_.write(file, data, size, error);
    }
    bool sync(FileHandle file, std::string& error) override {
        return fails("sync", error) ? false : real_.sync(file, error);
    }
    bool close(FileHandle file, std::string& error) override {
        // A failed close has still released the file, as on POSIX.
        if (fails("close", error)) {
            std::string ignored;
            real_.close(file, ignored);
            return false;
        }
        return real_.close(file, error);
    }
    bool setMode(const std::string& path, uint32_t mode, std::string& error) override {
        return fails("setMode", error) ? false : real_.setMode(path, mode, error);
    }
    bool rename(const std::string& from, const std::string& to, bool replace,
                std::string& error) override {
        return fails("rename", error) ? false : real_.rename(from, to, replace, error);
    }
    bool remove(const std::string& path, std::string& error) override {
        return fails("remove", error) ? false : real_.remove(path, error);
    }

  private:
    FileSystem& real_ = vrim::edit::systemFileSystem();
    bool fails(const char* call, std::string& error) {
        if (before) {
            before(call);
        }
        if (++calls == failAt) {
            error = std::string("injected failure of ") + call;
            return true;
        }
        return false;
    }
};

class WritePath : public ::testing::Test {
  protected:
    std::filesystem::path folder = freshFolder("edit-write-path");
    std::filesystem::path scene = folder / "shot.lws";
    std::string original = smallScene();
    vrim::Session session{"vrim_s.p"};

    void SetUp() override { writeBytes(scene, original); }

    vrim::edit::SceneEditResult edit(FileSystem& fs, bool backup) {
        vrim::edit::SceneEditOptions options;
        options.items = {"Camera_Rig"};
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
                edit(faulty, backup);
                ADD_FAILURE() << "the edit went through";
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

} // namespace
