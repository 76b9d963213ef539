// The vrim binary at each kind of target, as a user meets them: -o onto
// devices, FIFOs, folders and its own input; vrim edit through links, onto
// hard-linked and read-only scenes, and on a scene named twice.
#include "support/own_folder.h"
#include "support/tool_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using testsupport::readBytes;
using testsupport::ToolRun;
using testsupport::writeBytes;

const std::string kScene =
    "LWSC\n3\n\nFirstFrame 0\nLastFrame 90\nFramesPerSecond 30\n\n"
    "AddNullObject Rig\nPlugin ItemMotionHandler 1 VRIM_S\nVRIM_START\nKEY_NUM 1.000000\n"
    "KEY_START\nFREQ 0.500000\nFREQ_W_X 0.200000\nFREQ_W_Y 0.000000\nFREQ_W_Z 0.000000\n"
    "START_F 0.000000\nEND_F 90.000000\nFALL_OFF 1.000000\nVRIM_END\nEndPlugin\n";

// This process's own folder, relative to the working folder where vrim is.
const std::string kDir = testsupport::ownName("files-targets");

ToolRun vrim(const std::string& arguments) {
    static const std::string stem = [] {
        testsupport::ownFolder("files-targets-runs");
        return testsupport::ownName("files-targets-runs") + "/vrim";
    }();
    return testsupport::runVrim(arguments + " </dev/null", stem);
}

class Targets : public ::testing::Test {
  protected:
    fs::path folder = fs::current_path() / kDir;
    std::string scene = kDir + "/shot.lws";
    void SetUp() override {
        fs::remove_all(folder);
        fs::create_directories(folder);
        writeBytes(scene, kScene);
    }
    // The scene as one edit (--shift 5) leaves it.
    std::string shifted() {
        writeBytes(kDir + "/expected.lws", kScene);
        const ToolRun run = vrim("edit " + kDir + "/expected.lws --item Rig --shift 5");
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string text = readBytes(kDir + "/expected.lws");
        fs::remove(kDir + "/expected.lws");
        EXPECT_NE(text, kScene);
        return text;
    }
};

TEST_F(Targets, OutputsOntoEveryKindOfTarget) {
    struct Case {
        const char* what;
        std::string output;
        std::function<std::string()> make; // why it cannot be made here; empty: made
        int status;
        std::string err; // part of standard error; empty: none expected
        // Each run with " SCENE -o OUTPUT" after it; none: every command's -o.
        std::vector<std::string> commands = {};
    };
    const auto nothing = [] { return std::string(); };
    std::vector<Case> cases = {
        {"a folder", kDir + "/sub",
         [] {
             fs::create_directories(kDir + "/sub");
             return std::string();
         },
         2, "it is a folder"},
        {"the scene itself", kDir + "/../" + kDir + "/shot.lws", [] { return std::string(); }, 2,
         "which this run reads"},
        {"standard output", "-", [] { return std::string(); }, 0, ""},
        {"one file for -o and --svg, spelt two ways",
         kDir + "/plot.svg",
         nothing,
         2,
         "' and --svg '" + kDir + "/./plot.svg' are the same file",
         {"preview --item Rig --svg " + kDir + "/./plot.svg"}},
        {"standard output for -o and --svg",
         "-",
         nothing,
         2,
         "--svg - and the table (-o, standard output unless given) would both go to standard "
         "output",
         {"preview --item Rig --svg -"}},
    };
#if defined(_WIN32)
    cases.push_back({"NUL", "NUL", [] { return std::string(); }, 0, ""});
    cases.push_back({"/dev/full", "/dev/full",
                     [] { return std::string("Windows has no device that is always full"); }, 2,
                     ""});
    cases.push_back({"a character device made here", kDir + "/null",
                     [] { return std::string("Windows has no mknod"); }, 0, ""});
#else
    cases.push_back({"/dev/null", "/dev/null", [] { return std::string(); }, 0, ""});
    cases.push_back(
        {"/dev/full", "/dev/full", [] { return std::string(); }, 2, "No space left on device"});
    cases.push_back({"a character device made here", kDir + "/null",
                     [] {
                         return mknod((kDir + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0
                                    ? std::string()
                                    : std::string("mknod: ") + std::strerror(errno) +
                                          " (a character device needs root)";
                     },
                     0, ""});
#endif
    std::string notTried;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (const std::string why = c.make(); !why.empty()) {
            notTried += std::string(notTried.empty() ? "" : "; ") + c.what + ": " + why;
            continue;
        }
        const bool existed = c.output == "-" || fs::exists(c.output);
        const std::vector<std::string> every = {"check", "report", "ls --json", "bake --item Rig"};
        for (const std::string& command : c.commands.empty() ? every : c.commands) {
            SCOPED_TRACE(command);
            const ToolRun run = vrim(command + " " + scene + " -o " + c.output);
            EXPECT_EQ(run.status, c.status) << run.err;
            if (!c.err.empty()) {
                EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
            }
            EXPECT_EQ(readBytes(scene), kScene);
            if (c.status != 0 && !existed) {
                EXPECT_FALSE(fs::exists(c.output));
                EXPECT_FALSE(fs::exists(c.output + ".lock"));
            }
        }
        if (c.output == "/dev/null" || c.output == "/dev/full" || c.output == kDir + "/null") {
            EXPECT_TRUE(fs::is_character_file(c.output));
        }
    }
    if (!notTried.empty()) {
        GTEST_SKIP() << "not tried here (the other kinds passed): " << notTried;
    }
}

TEST_F(Targets, AFifoTakesTheOutputAndStaysAFifo) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no FIFO in a folder";
#else
    ASSERT_EQ(mkfifo((kDir + "/pipe").c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] { got = readBytes(kDir + "/pipe"); });
    const ToolRun run = vrim("check " + scene + " -o " + kDir + "/pipe");
    reader.join();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(got.find("1 file"), std::string::npos) << got;
    EXPECT_TRUE(fs::is_fifo(kDir + "/pipe"));
#endif
}

TEST_F(Targets, EditThroughLinksHardLinksAndReadOnlyScenes) {
#if defined(_WIN32)
    GTEST_SKIP() << "the links, hard links and modes here are made and checked with POSIX calls "
                    "(symlink, chmod, stat), which the Windows build lacks";
#else
    const std::string edited = shifted();
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string named; // what the user names
        std::string flags;
        int status;
        std::string err;
        bool applied;
        bool otherApplied = false; // other.lws, a hard link, given too
    };
    const auto linkTo = [](const std::string& to, const std::string& name) {
        fs::create_symlink(to, kDir + "/" + name);
    };
    const Case cases[] = {
        {"a link", [&] { linkTo("shot.lws", "latest.lws"); }, "latest.lws", "", 0, "", true},
        {"a link to a link",
         [&] {
             linkTo("shot.lws", "v1.lws");
             linkTo("v1.lws", "latest.lws");
         },
         "latest.lws", "", 0, "", true},
        {"two hard links", [] { fs::create_hard_link(kDir + "/shot.lws", kDir + "/other.lws"); },
         "shot.lws", "", 2, "it has 2 names (hard links)", false},
        {"two hard links, allowed",
         [] { fs::create_hard_link(kDir + "/shot.lws", kDir + "/other.lws"); }, "shot.lws",
         "--break-hard-links", 0, "", true},
        {"read-only", [] { chmod((kDir + "/shot.lws").c_str(), 0444); }, "shot.lws", "", 2,
         "it is read-only; give --force", false},
        {"read-only, forced", [] { chmod((kDir + "/shot.lws").c_str(), 0444); }, "shot.lws",
         "--force", 0, "", true},
        {"named twice", [] {}, "shot.lws " + kDir + "/../" + kDir + "/shot.lws", "", 0, "", true},
        {"named as a link and its target", [&] { linkTo("shot.lws", "latest.lws"); },
         "latest.lws " + kDir + "/shot.lws", "", 0, "", true},
        {"both hard links named, allowed",
         [] { fs::create_hard_link(kDir + "/shot.lws", kDir + "/other.lws"); },
         "shot.lws " + kDir + "/other.lws", "--break-hard-links", 0, "", true, true},
        {"both hard links named, refused",
         [] { fs::create_hard_link(kDir + "/shot.lws", kDir + "/other.lws"); },
         "shot.lws " + kDir + "/other.lws", "", 2, "it has 2 names (hard links)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        struct stat before {};
        c.make();
        ASSERT_EQ(::stat(scene.c_str(), &before), 0);
        const ToolRun run =
            vrim("edit " + kDir + "/" + c.named + " --item Rig --shift 5 " + c.flags);
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        if (!c.err.empty()) {
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        }
        EXPECT_EQ(readBytes(scene), c.applied ? edited : kScene);
        struct stat after {};
        ASSERT_EQ(::stat(scene.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        if (fs::exists(kDir + "/latest.lws")) {
            EXPECT_TRUE(fs::is_symlink(kDir + "/latest.lws"));
        }
        if (fs::exists(kDir + "/other.lws")) {
            // A hard link refused keeps both names on one file; each name
            // given with --break-hard-links gets the edit.
            EXPECT_EQ(readBytes(kDir + "/other.lws"), c.otherApplied ? edited : kScene);
        }
        for (const auto& entry : fs::directory_iterator(folder)) {
            EXPECT_EQ(entry.path().extension(), ".lws") << entry.path();
        }
    }
#endif
}

} // namespace
