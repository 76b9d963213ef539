// The vrim binary's edit command as a user runs it. Each edit is held against
// what the same clicks, as a panel script, make the module save through the
// stand-in host directly; the bytes outside the edited block never change.
#include "edit_support.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#if !defined(_WIN32)
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace {

using namespace edittest;

using testsupport::ToolRun;

const std::string kCli = testsupport::ownName("edit-cli");

ToolRun vrim(const std::string& arguments, const std::string& prefix = "") {
    return runEdit(arguments, prefix);
}

// Where Camera_Rig's VRIM_START..VRIM_END lie in smallScene().
struct Span {
    std::size_t begin = 0, end = 0;
};
Span blockOf(const std::string& scene, const std::string& item) {
    const std::size_t at = scene.find("AddNullObject " + item + "\n");
    const std::size_t begin = scene.find("VRIM_START", at);
    const std::size_t end = scene.find("VRIM_END", begin) + std::string("VRIM_END\n").size();
    return {begin, end};
}

std::vector<std::string> linesIn(const std::string& scene, Span span) {
    return standin::splitLines(scene.substr(span.begin, span.end - span.begin));
}

class EditCli : public ::testing::Test {
  protected:
    std::filesystem::path folder = freshFolder("edit-cli");
    std::string scenePath = kCli + "/shot.lws";
    std::string original = smallScene();
    DirectModule direct;

    void SetUp() override { writeBytes(scenePath, original); }

    // The scene with item's block as the module saves it after script.
    std::string expected(const std::string& item, const std::string& script) {
        const Span span = blockOf(original, item);
        const std::vector<std::string> lines = direct.edit(linesIn(original, span), script);
        return original.substr(0, span.begin) + joined(lines, "\n") + original.substr(span.end);
    }
    void expectUntouched(const ToolRun& run) {
        EXPECT_EQ(run.status, 2) << run.out << run.err;
        EXPECT_EQ(readBytes(scenePath), original);
        EXPECT_EQ(namesIn(folder), std::vector<std::string>{"shot.lws"});
    }
};

TEST_F(EditCli, EachActionIsTheModulesEditForTheSameClicks) {
    struct Case {
        const char* item;
        std::string actions;
        const char* script; // what a person clicks for the same edit
    };
    const Case cases[] = {
        {"Camera_Rig", "--set freq=0.5", "type \"Freqency Time\" 0.5"},
        {"Camera_Rig", "--key 2 --set end=48 --set width-y=0.25",
         "press \"NEXT KEY\"\ntype \"EndFrame\" 48\ntype \"Freq Width X,Y,Z\" 0.05 0.25 0.03"},
        {"Camera_Rig", "--add-key --set start=60 --set fall-off=off",
         "press \"ADD KEY\"\npress \"NEXT KEY\"\npress \"NEXT KEY\"\ntype \"StartFrame\" 60\n"
         "type \"FallOff\" 0"},
        {"Camera_Rig", "--key 2 --delete-key --set freq=2",
         "press \"NEXT KEY\"\npress \"DELETE KEY\"\ntype \"Freqency Time\" 2"},
        {"Camera_Rig", "--key 2 --shift=-10 --set width-x=1",
         "press \"NEXT KEY\"\npress \"PREV KEY\"\ntype \"StartFrame\" -10\n"
         "type \"EndFrame\" 14\npress \"NEXT KEY\"\ntype \"StartFrame\" 26\n"
         "type \"EndFrame\" 50\ntype \"Freq Width X,Y,Z\" 1 0 0.03"},
        {"Single", "--set width-z=0.75 --add-key --key 1 --set end=12",
         "type \"Freq Width X,Y,Z\" 0.2 0 0.75\npress \"ADD KEY\"\npress \"NEXT KEY\"\n"
         "press \"PREV KEY\"\ntype \"EndFrame\" 12"},
        {"Single", "--script " + kCli + "/clicks.txt --set freq=0.3",
         "press \"ADD KEY\"\npick 1\ntype \"StartFrame\" 5\ntype \"Freqency Time\" 0.3"},
        {"Single", "--set freq=0.3 --script - < " + kCli + "/clicks.txt",
         "type \"Freqency Time\" 0.3\npress \"ADD KEY\"\npick 1\ntype \"StartFrame\" 5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.actions);
        writeBytes(scenePath, original);
        writeBytes(kCli + "/clicks.txt", "# two clicks\npress \"ADD KEY\"\r\npick 1\n"
                                         "type \"StartFrame\" 5\n");
        const ToolRun run = vrim("edit " + scenePath + " --item " + c.item + " " + c.actions);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readBytes(scenePath), expected(c.item, std::string(c.script) + "\nclose"));
        std::filesystem::remove(kCli + "/clicks.txt");
        EXPECT_EQ(namesIn(folder), std::vector<std::string>{"shot.lws"});
    }
}

// Scenes with random line ends, trailing blanks, items without a shake and
// other plug-ins' blocks: the edit changes the picked block and no other byte.
TEST_F(EditCli, BytesOutsideTheEditedBlockStayOverGeneratedScenes) {
#if defined(_WIN32)
    const int rounds = 6; // every run starts Wine's process anew
#else
    const int rounds = 40;
#endif
    std::mt19937 random(20261207);
    const auto pick = [&random](int n) { return static_cast<int>(random() % n); };
    for (int round = 0; round < rounds; ++round) {
        std::string scene;
        // Trailing blanks go on lines whose words the reader does not weigh.
        const auto line = [&](const std::string& text, bool blanks = false) {
            scene += text + (blanks && pick(3) == 0 ? "  " : "") + (pick(2) == 0 ? "\r\n" : "\n");
        };
        line("LWSC");
        line("3", true);
        line("FramesPerSecond 30");
        struct Shaken {
            std::string name;
            std::size_t begin = 0, end = 0; // VRIM_START to VRIM_END's line end
            std::string first, last;        // their line ends
            int keys = 0;
        };
        std::vector<Shaken> shaken;
        const int items = 3 + pick(5);
        for (int i = 0; i < items; ++i) {
            const std::string name = "Item" + std::to_string(i);
            line(pick(2) == 0 ? "AddNullObject " + name
                              : "LoadObjectLayer 1 Objects/" + name + ".lwo");
            const int kind = i == 0 ? 0 : pick(3);
            if (kind == 0) {
                line("Plugin ItemMotionHandler 1 VRIM_S");
                Shaken block{name,
                             scene.size(),
                             0,
                             pick(2) == 0 ? "\r\n" : "\n",
                             pick(2) == 0 ? "\r\n" : "\n",
                             1 + pick(3)};
                scene += "VRIM_START" + block.first;
                line("KEY_NUM " + std::to_string(block.keys), true);
                for (int k = 0; k < block.keys; ++k) {
                    scene += keyLines(0.1 * (k + 1), pick(10) / 10.0, 0.05, 0, k * 20, k * 20 + 15,
                                      pick(2), pick(2) == 0 ? "\r\n" : "\n");
                }
                scene += "VRIM_END" + block.last;
                block.end = scene.size();
                line("EndPlugin");
                shaken.push_back(block);
            } else if (kind == 1) {
                line("Plugin ItemMotionHandler 1 OtherShake");
                line("VRIM_START");
                line("FREQ 0.5", true);
                line("VRIM_END");
                line("EndPlugin");
            }
            line("ShowObject 6 3", true);
        }
        if (pick(3) == 0) {
            scene.erase(scene.find_last_not_of("\r\n") + 1); // no final line end
        }
        const Shaken& target =
            shaken[static_cast<std::size_t>(pick(static_cast<int>(shaken.size())))];
        SCOPED_TRACE("round " + std::to_string(round) + ", " + target.name);
        writeBytes(scenePath, scene);

        const bool freq = pick(2) == 0;
        const ToolRun run = vrim("edit " + scenePath + " --item " + target.name +
                                 (freq ? " --set freq=0.3" : " --set fall-off=off --add-key"));
        ASSERT_EQ(run.status, 0) << run.err;

        std::string script = "type \"Freqency Time\" 0.3\n";
        if (!freq) {
            script = "type \"FallOff\" 0\npress \"ADD KEY\"\n";
            for (int k = 0; k < target.keys; ++k) {
                script += "press \"NEXT KEY\"\n";
            }
        }
        const std::vector<std::string> lines =
            direct.edit(standin::splitLines(scene.substr(target.begin, target.end - target.begin)),
                        script + "close");
        std::string block;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            block += lines[i] + (i + 1 < lines.size() ? target.first : target.last);
        }
        const std::size_t begin = target.begin;
        const std::size_t end = target.end;
        const std::string result = readBytes(scenePath);
        EXPECT_EQ(result.substr(0, begin), scene.substr(0, begin));
        EXPECT_EQ(result.substr(begin, block.size()), block);
        EXPECT_EQ(result.substr(begin + block.size()), scene.substr(end));
    }
}

TEST_F(EditCli, DryRunPrintsTheDiffAndWritesNothing) {
    const ToolRun run =
        vrim("edit " + scenePath + " --item Camera_Rig --key 2 --set end=48 --dry-run");
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string diff = "--- ./" + scenePath + "\n+++ ./" + scenePath +
                             "\n@@ -23,6 +23,6 @@\n FREQ_W_Y 0.000000\n FREQ_W_Z 0.030000\n"
                             " START_F 36.000000\n-END_F 60.000000\n+END_F 48.000000\n"
                             " FALL_OFF 0.000000\n VRIM_END\n";
    EXPECT_EQ(run.out.substr(0, run.out.find("'")), diff);
    EXPECT_NE(run.out.find("would edit 1 key block"), std::string::npos) << run.out;
    EXPECT_EQ(readBytes(scenePath), original);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"shot.lws"});
}

TEST_F(EditCli, BackupKeepsTheOldFileAndIsNotOverwrittenUnlessAsked) {
    const std::string edit = "edit " + scenePath + " --item Single --set freq=0.25 --backup";
    ToolRun run = vrim(edit);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readBytes(scenePath + ".bak"), original);
    const std::string once = readBytes(scenePath);
    EXPECT_EQ(once, expected("Single", "type \"Freqency Time\" 0.25\nclose"));

    const std::string again = "edit " + scenePath + " --item Single --set freq=0.75 --backup";
    run = vrim(again);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("shot.lws.bak' exists"), std::string::npos) << run.err;
    EXPECT_EQ(readBytes(scenePath), once);
    EXPECT_EQ(readBytes(scenePath + ".bak"), original);

    run = vrim(again + " --overwrite-backup");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readBytes(scenePath + ".bak"), once);
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"shot.lws", "shot.lws.bak"}));
}

TEST_F(EditCli, RefusedEditsSayWhatAndLeaveTheFile) {
    struct Case {
        const char* arguments;
        std::vector<const char*> said; // each must be in the message
    };
    const Case cases[] = {
        {"--item Nobody --key 1",
         {"shot.lws", "--item 'Nobody'", "no item of that name", "Camera_Rig and Single"}},
        {"--item Plain --set freq=1", {"shot.lws", "'Plain'", "no shake", "not something"}},
        {"--item Camera_Rig --key 3", {"shot.lws", "item 'Camera_Rig'", "--key 3", "2 keys"}},
        {"--item Camera_Rig --key x", {"--key x", "'x' is not a key number"}},
        {"--item Camera_Rig --set colour=1", {"--set colour=1", "unknown field 'colour'"}},
        {"--item Camera_Rig --set freq=fast", {"--set freq=fast", "'fast' is not a number"}},
        {"--item Camera_Rig --set start=2147483648", {"'2147483648' is not a frame"}},
        {"--item Camera_Rig --set fall-off=1", {"'1' is not a fall-off setting"}},
        {"--item Single --delete-key",
         {"shot.lws", "item 'Single'", "--delete-key", "refused", "only key"}},
        {"--item Camera_Rig --shift 2147483647",
         {"item 'Camera_Rig'", "--shift 2147483647", "outside the 32-bit range"}},
        {"--item Camera_Rig --script edit-cli/none.txt", {"--script", "none.txt"}},
        {"--item Camera_Rig --script - --script -",
         {"vrim: --script - is given twice, but standard input holds one script\n"}},
        // Script lines the panel cannot play name the control by its label.
        {"--item Camera_Rig --script - < edit-cli-script-vector.txt",
         {"--script -: line 1: type \"Freq Width X,Y,Z\" 1: 1 number, but \"Freq Width "
          "X,Y,Z\" holds three numbers: type X Y Z"}},
        {"--item Camera_Rig --script - < edit-cli-script-field.txt",
         {"line 2: type \"StartFrame\" 1 2 3: 3 numbers, but \"StartFrame\" is a "
          "whole-number field: type one number"}},
        {"--item Camera_Rig --script - < edit-cli-script-button.txt",
         {"type \"ADD KEY\" 1: \"ADD KEY\" is a button: press it"}},
        {"--item Camera_Rig --script - < edit-cli-script-press.txt",
         {"press \"FallOff\": not a button; \"FallOff\" is a check box"}},
        {"--item Camera_Rig --script - < edit-cli-script-label.txt",
         {"no control is labelled \"Start\"; the panel's controls are \"Freqency Time\"",
          "\"Key List\""}},
        {"--item Camera_Rig --script - < edit-cli-script-row.txt",
         {"pick 7: \"Key List\" has rows 0 to 1"}},
        {"--key 1", {"--item NAME"}},
        // Options that say nothing together.
        {"--item Single --all-items --set freq=1",
         {"vrim: --all-items edits every item with a shake, so --item 'Single' says nothing "
          "more: give one or the other\n"}},
        {"--item Single --item Single --set freq=1", {"vrim: --item 'Single' is given twice\n"}},
        {"--item Single --overwrite-backup --set freq=1",
         {"vrim: --overwrite-backup lets --backup replace an existing SCENE.bak; without "
          "--backup it does nothing: give both, or neither\n"}},
        {"--item Single --backup --dry-run --set freq=1",
         {"vrim: --dry-run writes nothing, not even the backup that --backup asks for: give one "
          "or the other\n"}},
    };
    const std::pair<const char*, const char*> scripts[] = {
        {"vector", "type \"Freq Width X,Y,Z\" 1\n"},
        {"field", "press \"NEXT KEY\"\ntype \"StartFrame\" 1 2 3\n"},
        {"button", "type \"ADD KEY\" 1\n"},
        {"press", "press \"FallOff\"\n"},
        {"label", "type \"Start\" 1\n"},
        {"row", "pick 7\n"},
    };
    for (const auto& [name, script] : scripts) {
        writeBytes(std::string("edit-cli-script-") + name + ".txt", script);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ToolRun run = vrim("edit " + scenePath + " " + c.arguments);
        expectUntouched(run);
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        for (const char* text : c.said) {
            EXPECT_NE(run.err.find(text), std::string::npos) << run.err;
        }
    }
}

// A folder is its scene files, and with -r those of the folders below, as
// for check: each one is edited as if it were named. Standard input cannot
// be rewritten, so '-' is refused before anything is read.
TEST_F(EditCli, FoldersAndRecursiveTakeTheScenesInThem) {
    std::filesystem::create_directories(folder / "below");
    writeBytes(kCli + "/below/deeper.lws", original);
    const std::string edited = expected("Single", "type \"Freqency Time\" 2\nclose");
    struct Case {
        std::string arguments;
        const char* summary;
        bool deeperEdited;
    };
    const Case cases[] = {
        {kCli, "edited 1 key block in 1 of 1 scene\n", false},
        {kCli + " -r", "edited 2 key blocks in 2 of 2 scenes\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        writeBytes(scenePath, original);
        writeBytes(kCli + "/below/deeper.lws", original);
        const ToolRun run =
            vrim(std::string("edit ") + c.arguments + " --item Single --set freq=2");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readBytes(scenePath), edited);
        EXPECT_EQ(readBytes(kCli + "/below/deeper.lws"), c.deeperEdited ? edited : original);
        EXPECT_NE(run.out.find(c.summary), std::string::npos) << run.out;
    }
    const ToolRun stdinRun = vrim("edit - --item Single --set freq=2");
    EXPECT_EQ(stdinRun.status, 2);
    EXPECT_NE(stdinRun.err.find("standard input ('-')"), std::string::npos) << stdinRun.err;
}

// What --dry-run shows and what an edit writes are the same bytes on every
// build: this scene, with mixed line ends and no final line end, and its
// result came from the Linux tool; the Windows tool must write them too.
TEST_F(EditCli, TheResultBytesAreTheSameOnEveryBuild) {
    const std::string scene = "LWSC\r\n3\n\nAddNullObject Rig \r\nPlugin ItemMotionHandler 1 "
                              "VRIM_S\nVRIM_START\r\nKEY_NUM 1\nKEY_START\r\nFREQ .5\nEND_F 7\n"
                              "VRIM_END\nEndPlugin";
    const std::string result =
        "LWSC\r\n3\n\nAddNullObject Rig \r\nPlugin ItemMotionHandler 1 VRIM_S\nVRIM_START\r\n"
        "KEY_NUM 2.000000\r\nKEY_START\r\nFREQ 0.500000\r\nFREQ_W_X 0.000000\r\n"
        "FREQ_W_Y 0.000000\r\nFREQ_W_Z 0.000000\r\nSTART_F -3.000000\r\nEND_F 4.000000\r\n"
        "FALL_OFF 0.000000\r\nKEY_START\r\nFREQ 0.123457\r\nFREQ_W_X 0.000000\r\n"
        "FREQ_W_Y 0.100000\r\nFREQ_W_Z 0.000000\r\nSTART_F 97.000000\r\nEND_F 27.000000\r\n"
        "FALL_OFF 1.000000\r\nVRIM_END\nEndPlugin";
    writeBytes(scenePath, scene);
    const ToolRun run = vrim("edit " + scenePath +
                             " --item Rig --add-key --set freq=0.1234567 --shift=-3 --key 2 "
                             "--set start=97");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readBytes(scenePath), result);
}

// The edit runs as a user who may not write into the scene's folder.
TEST_F(EditCli, AFolderWithoutWritePermissionIsRefused) {
#if defined(_WIN32)
    GTEST_SKIP() << "the folder's permission is taken away with POSIX modes and setpriv";
#else
    std::filesystem::permissions(
        folder, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                    std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                    std::filesystem::perms::others_exec);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    // root writes anywhere: run the tool as nobody instead.
    const std::string prefix =
        geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const ToolRun run = vrim("edit " + scenePath + " --item Single --set freq=2", prefix);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    expectUntouched(run);
    EXPECT_NE(run.err.find("is not writable by this user"), std::string::npos) << run.err;
#endif
}

// A disk with no room for the edited copy: a small tmpfs, when this process
// may mount one.
TEST_F(EditCli, AFullDiskIsRefused) {
#if defined(_WIN32)
    GTEST_SKIP() << "the full disk is a small tmpfs, which only Linux mounts here";
#else
    const std::string diskName = testsupport::ownName("edit-full-disk");
    const std::filesystem::path disk = std::filesystem::current_path() / diskName;
    std::filesystem::create_directories(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=8k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    std::string big = original;
    while (big.size() < 5000) {
        big += "ShowObject 6 3\n";
    }
    writeBytes(disk / "shot.lws", big);
    const ToolRun run = vrim("edit " + diskName + "/shot.lws --item Single --set freq=2");
    const std::string after = readBytes(disk / "shot.lws");
    const std::vector<std::string> names = namesIn(disk);
    umount(disk.c_str());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
    EXPECT_EQ(after, big);
    EXPECT_EQ(names, std::vector<std::string>{"shot.lws"});
#endif
}

} // namespace
