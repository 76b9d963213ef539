// The diff of --dry-run applied by the tools people apply diffs with: GNU
// patch -p0 and git apply, inside a git work tree and outside any, on
// scenes with LF, CRLF and mixed line ends. Each must give the bytes the
// edit itself writes.
#include "edit_support.h"

#include <cstdlib>

namespace {

using namespace edittest;

using testsupport::ToolRun;

#if !defined(_WIN32)
bool found(const char* program) {
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}
#endif

TEST(EditDiff, PatchAndGitApplyGiveTheEditsBytes) {
#if defined(_WIN32)
    GTEST_SKIP() << "patch and git are run natively; the Windows build prints the same diff";
#else
    for (const char* program : {"patch", "git"}) {
        if (!found(program)) {
            GTEST_SKIP() << program << " is not installed";
        }
    }
    const std::filesystem::path folder = freshFolder("edit-patch");
    const std::string patchFolder = testsupport::ownName("edit-patch");
    // git looks no further up than this folder's parent for a repository.
    const std::string outsideGit =
        "GIT_CEILING_DIRECTORIES='" + std::filesystem::current_path().string() + "' ";
    struct Case {
        const char* name;
        std::string scene;
        const char* file;
    };
    const std::string key = "KEY_START\r\nFREQ 0.1\nFREQ_W_X 0\r\nEND_F 30\r\n";
    const Case cases[] = {
        {"LF", smallScene(), "lf.lws"},
        {"CRLF",
         "LWSC\r\n3\r\n\r\nAddNullObject Single\r\nPlugin ItemMotionHandler 1 VRIM_S\r\n"
         "VRIM_START\r\nKEY_NUM 1.000000\r\n" +
             keyLines(0.5, 0.2, 0, 0, 0, 90, 1, "\r\n") + "VRIM_END\r\nEndPlugin\r\n",
         "crlf.lws"},
        {"mixed, the block's last line the file's, without an end",
         "LWSC\n3\r\n\nAddNullObject Single\r\nVRIM_START\nKEY_NUM 1\r\n" + key + "VRIM_END",
         "mixed.lws"},
        {"mixed, in a name with a blank",
         "LWSC\r\nAddNullObject Single\nVRIM_START\r\nKEY_NUM 1\n" + key + "VRIM_END\r\nX\n",
         "a shot.lws"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = patchFolder + "/" + c.file;
        const std::string quoted = "'" + path + "'";
        writeBytes(path, c.scene);
        const std::string edit = "edit " + quoted + " --item Single --set freq=0.25 --add-key";
        const ToolRun dry = runEdit(edit + " --dry-run");
        ASSERT_EQ(dry.status, 0) << dry.err;
        writeBytes(patchFolder + "/diff", dry.out); // notes and summary included, as piped
        ASSERT_EQ(runEdit(edit).status, 0);
        const std::string edited = readBytes(path);
        ASSERT_NE(edited, c.scene);

        const std::pair<const char*, std::string> appliers[] = {
            {"patch -p0", "patch -p0 --quiet --no-backup-if-mismatch"},
            {"git apply in a work tree", "git apply"},
            {"git apply outside one", outsideGit + "git apply"},
        };
        for (const auto& [name, command] : appliers) {
            SCOPED_TRACE(name);
            writeBytes(path, c.scene);
            const int status = std::system(
                (command + " <" + patchFolder + "/diff >" + patchFolder + "/applied 2>&1").c_str());
            EXPECT_EQ(status, 0) << readBytes(patchFolder + "/applied");
            EXPECT_EQ(readBytes(path), edited);
        }
        std::filesystem::remove(path);
    }
    std::filesystem::remove_all(folder);
#endif
}

} // namespace
