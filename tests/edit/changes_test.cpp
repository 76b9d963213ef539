// What an edit changes that its actions did not ask for: the module saves
// every key as it holds it, so values the file holds otherwise than the
// module writes them come back in the module's text. vrim edit lists each,
// --strict refuses them, and an action that changes nothing says why.
#include "edit_support.h"

#include <algorithm>

namespace {

using namespace edittest;

using testsupport::ToolRun;

const std::string kScene = testsupport::ownName("edit-asked") + "/dmg.lws";
const std::string kItem = "'" + kScene + "', item 'Dmg'";

// A scene whose item Dmg holds body between "VRIM_START" and "VRIM_END".
std::string sceneWith(const std::string& body) {
    return "LWSC\n3\n\nAddNullObject Dmg\nPlugin ItemMotionHandler 1 VRIM_S\nVRIM_START\n" + body +
           "VRIM_END\nEndPlugin\n";
}

// A key with values the module writes otherwise: a frame beyond 32 bits, a
// decimal comma, a width below the six decimals.
const std::string kOddKey = "KEY_START\nFREQ 0,25\nFREQ_W_X 0.000000\nFREQ_W_Y 1e-9\n"
                            "FREQ_W_Z 0.000000\nSTART_F 0.000000\nEND_F 1e12\nFALL_OFF 1.000000\n";
const std::string kPlainKey = keyLines(0.5, 0.1, 0.2, 0.3, 10, 40, 0);
const std::string kTwoKeys = "KEY_NUM 2.000000\n";

// The lines of the run's output that list changes not asked for.
std::vector<std::string> listed(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);) {
        if (line.find("not asked for: ") != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string key(int number, const std::string& rest) {
    return kItem + ", key " + std::to_string(number) + rest;
}

class EditChanges : public ::testing::Test {
  protected:
    std::filesystem::path folder = freshFolder("edit-asked");
};

TEST_F(EditChanges, TheSaveListsEachChangeTheActionsDidNotAskFor) {
    const std::string oddFreq = ", freq: not asked for: 'FREQ 0,25' becomes 'FREQ 0.000000'";
    const std::string oddWidth =
        ", width-y: not asked for: 'FREQ_W_Y 1e-9' becomes 'FREQ_W_Y 0.000000'";
    const std::string oddEnd =
        ", end: not asked for: 'END_F 1e12' becomes 'END_F -727379968.000000'";
    struct Case {
        const char* name;
        std::string body;
        const char* actions;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"another key's edit rewrites the odd key",
         kTwoKeys + kOddKey + kPlainKey,
         "--key 2 --set width-x=0",
         {key(1, oddFreq), key(1, oddWidth), key(1, oddEnd)}},
        {"the fields typed are asked for, the vector's other elements are not",
         kTwoKeys + kOddKey + kPlainKey,
         "--set end=40 --set width-x=0.5 --set width-y=1e-9",
         {key(1, oddFreq)}},
        {"a deleted key is asked for", kTwoKeys + kOddKey + kPlainKey, "--delete-key", {}},
        {"keys keep their numbers in the file when one before them goes",
         kTwoKeys + kPlainKey + kOddKey,
         "--delete-key",
         {key(2, oddFreq), key(2, oddWidth), key(2, oddEnd)}},
        {"an added key is asked for; a deleted one's place is not the added one's",
         kTwoKeys + kOddKey + kPlainKey,
         "--key 2 --delete-key --add-key --key 2 --set freq=3",
         {key(1, oddFreq), key(1, oddWidth), key(1, oddEnd)}},
        {"lines the module reads for nothing, and lines it lacks",
         "KEY_NUM 1\nKEY_START\nFREQ 0.200000\nCOLOUR 3\nFREQ 0.300000\nFREQ_W_X 0.000000\n"
         "FREQ_W_Y 0.000000\nFREQ_W_Z 0.000000\nSTART_F 0.000000\nEND_F 30.000000\n",
         "--set end=31",
         {kItem + ", key count: not asked for: 'KEY_NUM 1' becomes 'KEY_NUM 1.000000'",
          key(1, ", fall-off: not asked for: 'FALL_OFF 0.000000' is added"),
          key(1, ": not asked for: 'FREQ 0.200000' is dropped"),
          key(1, ": not asked for: 'COLOUR 3' is dropped")}},
        {"a count that is not the keys', a short keyword",
         "KEY_NUM 3.000000\nKEY_S\n" + kPlainKey.substr(kPlainKey.find('\n') + 1) + "FREQ_W_Z 7\n",
         "--set freq=1",
         {kItem + ", key count: not asked for: 'KEY_NUM 3.000000' becomes 'KEY_NUM 1.000000'",
          key(1, ": not asked for: 'KEY_S' becomes 'KEY_START'"),
          key(1, ": not asked for: 'FREQ_W_Z 0.300000' is dropped"),
          key(1, ", width-z: not asked for: 'FREQ_W_Z 7' becomes 'FREQ_W_Z 7.000000'")}},
        {"a block the module writes as it is lists nothing",
         kTwoKeys + kPlainKey + kPlainKey,
         "--key 2 --shift 5 --set fall-off=on",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string scene = sceneWith(c.body);
        writeBytes(kScene, scene);
        const ToolRun run = runEdit("edit " + kScene + " --item Dmg --dry-run " + c.actions);
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_EQ(listed(run.out), c.expected) << run.out;
        const std::string summary = c.expected.empty()
                                        ? "would edit 1 key block in 1 of 1 scene\n"
                                        : "would edit 1 key block in 1 of 1 scene, " +
                                              std::to_string(c.expected.size()) +
                                              (c.expected.size() == 1 ? " change" : " changes") +
                                              " not asked for (listed above)\n";
        EXPECT_EQ(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1), summary);
        EXPECT_EQ(readBytes(kScene), scene);
    }
}

TEST_F(EditChanges, StrictRefusesAnEditWithChangesNotAskedFor) {
    struct Case {
        const char* name;
        std::string body;
        const char* options;
        int status;
    };
    const Case cases[] = {
        {"odd values", kTwoKeys + kOddKey + kPlainKey, "", 2},
        {"odd values, dry run", kTwoKeys + kOddKey + kPlainKey, " --dry-run", 2},
        {"the module's own text", kTwoKeys + kPlainKey + kPlainKey, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string scene = sceneWith(c.body);
        writeBytes(kScene, scene);
        const ToolRun run =
            runEdit("edit " + kScene + " --item Dmg --key 2 --set end=50 --strict" + c.options);
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        EXPECT_EQ(namesIn(folder), std::vector<std::string>{"dmg.lws"});
        if (c.status == 0) {
            EXPECT_NE(readBytes(kScene), scene);
            EXPECT_EQ(run.err, "");
            continue;
        }
        EXPECT_EQ(readBytes(kScene), scene);
        EXPECT_EQ(listed(run.out).size(), 3u) << run.out;
        EXPECT_EQ(run.out.find("@@"), std::string::npos) << run.out;
        EXPECT_EQ(run.err, "vrim: '" + kScene +
                               "': --strict refuses 3 changes not asked for (listed); the file is "
                               "as it was\n");
        EXPECT_NE(run.out.find(", 1 refused\n"), std::string::npos) << run.out;
    }
}

TEST_F(EditChanges, AnActionThatChangesNothingSaysWhy) {
    struct Case {
        const char* actions;
        std::vector<std::string> said; // lines of the output, in order
        bool changed;
    };
    const std::string why = " changes nothing: ";
    const Case cases[] = {
        {"--set width-z=1e-7",
         {key(1, ": --set width-z=1e-7" + why + "1e-7 is stored as 0.000000, as before"),
          "'" + kScene + "': no key changed; the file is as it was"},
         false},
        {"--set freq=0.5 --set start=12",
         {key(1, ": --set freq=0.5" + why + "0.5 is stored as 0.500000, as before")},
         true},
        {"--set freq=0.1 --set freq=0.5",
         {key(1, ": --set freq=0.5" + why + "0.5 is stored as 0.500000, as before")},
         false},
        {"--set freq=0.5 --set freq=2", {}, true},
        {"--set start=5", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.actions);
        const std::string scene =
            sceneWith("KEY_NUM 1.000000\n" + keyLines(0.5, 0.1, 0.2, 0, 10, 40, 0));
        writeBytes(kScene, scene);
        const ToolRun run = runEdit("edit " + kScene + " --item Dmg " + c.actions);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readBytes(kScene) != scene, c.changed);
        std::size_t at = 0;
        for (const std::string& line : c.said) {
            at = run.out.find(line + "\n", at);
            EXPECT_NE(at, std::string::npos) << line << "\n" << run.out;
        }
        if (c.said.empty()) {
            EXPECT_EQ(run.out.find(why), std::string::npos) << run.out;
        }
    }
}

} // namespace
