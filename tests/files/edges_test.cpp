// The vrim binary where something outside it could turn it against its
// user: paths that stand for the run's own descriptors, inputs given as
// outputs, links another user planted, metadata a backup must not widen,
// signals mid-edit, names as long as the system allows, and another program
// appending to a scene while it is edited.
#include "support/own_folder.h"
#include "support/tool_run.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::readBytes;
using testsupport::writeBytes;

const std::string kScene =
    "LWSC\n3\n\nFirstFrame 0\nLastFrame 90\nFramesPerSecond 30\n\n"
    "AddNullObject Rig\nPlugin ItemMotionHandler 1 VRIM_S\nVRIM_START\nKEY_NUM 1.000000\n"
    "KEY_START\nFREQ 0.500000\nFREQ_W_X 0.200000\nFREQ_W_Y 0.000000\nFREQ_W_Z 0.000000\n"
    "START_F 0.000000\nEND_F 90.000000\nFALL_OFF 1.000000\nVRIM_END\nEndPlugin\n";

// The exit status of a shell command run from the folder vrim is in.
int shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class Edges : public ::testing::Test {
  protected:
    std::string dir = testsupport::ownName("files-edges");
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
        writeBytes(dir + "/s.lws", kScene);
    }
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir)) {
            found.push_back(entry.path().filename().string());
        }
        std::sort(found.begin(), found.end());
        return found;
    }
};

ino_t inodeOf(const std::string& path) {
    struct stat data {};
    return ::stat(path.c_str(), &data) == 0 ? data.st_ino : 0;
}

TEST_F(Edges, TheRunsOwnDescriptorsAreWrittenInPlace) {
    struct Case {
        const char* output;
        const char* redirect; // onto the log, appending
    };
    const Case cases[] = {
        {"/dev/stdout", ">>"}, {"/dev/stderr", "2>>"}, {"/proc/self/fd/1", ">>"},
        {"/dev/fd/5", "5>>"},  {"LOG", ">>"}, // the log by its own name, while the shell appends to
                                              // it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.output) + " " + c.redirect);
        const std::string log = dir + "/log.txt";
        writeBytes(log, "earlier line\n");
        const ino_t before = inodeOf(log);
        const std::string output = std::string(c.output) == "LOG" ? log : c.output;
        const int status =
            shell("./vrim ls " + dir + "/s.lws -o " + output + " " + c.redirect + " " + log +
                  (std::string(c.redirect) == "2>>" ? " >/dev/null" : " 2>/dev/null"));
        EXPECT_NE(status, 2);
        const std::string text = readBytes(log);
        EXPECT_EQ(text.rfind("earlier line\n", 0), 0u) << text;
        EXPECT_NE(text.find("Rig"), std::string::npos) << text;
        EXPECT_EQ(inodeOf(log), before);
        EXPECT_FALSE(fs::exists(log + ".lock"));
    }
    // A pipe named by the run's own descriptor: written into, no lock made.
    const std::string err = dir + "/pipe.err";
    shell("./vrim report " + dir + "/s.lws -o /dev/stdout 2>" + err + " | head -c 10 >/dev/null");
    EXPECT_EQ(readBytes(err).find("lock"), std::string::npos) << readBytes(err);
}

TEST_F(Edges, AnInputIsNeverTheOutput) {
    const std::string commands[] = {
        "check - -o " + dir + "/s.lws < " + dir + "/s.lws",
        "report - -o " + dir + "/s.lws < " + dir + "/s.lws",
        "bake - --item Rig -o " + dir + "/s.lws < " + dir + "/s.lws",
        "bake - --item Rig -o /dev/stdin < " + dir + "/s.lws",
        "ls " + dir + "/s.lws -o /dev/fd/0 < " + dir + "/s.lws",
    };
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        const std::string err = dir + "/run.err";
        EXPECT_EQ(shell("./vrim " + command + " >/dev/null 2>" + err), 2);
        EXPECT_NE(readBytes(err).find("which this run reads"), std::string::npos) << readBytes(err);
        EXPECT_EQ(readBytes(dir + "/s.lws"), kScene);
        fs::remove(err);
        EXPECT_EQ(names(), std::vector<std::string>{"s.lws"});
    }
}

// Another user (nobody) plants links in a sticky folder that everyone may
// write; root's runs follow none of them, as the system would not.
TEST_F(Edges, LinksPlantedByAnotherUserAreRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "planting a link as another user needs root (setpriv)";
    }
    const std::string sticky = fs::absolute(dir + "/sticky").string();
    const std::string vault = fs::absolute(dir + "/vault").string();
    fs::create_directories(sticky);
    fs::create_directories(vault);
    ::chmod(sticky.c_str(), 01777);
    ::chmod(vault.c_str(), 0700);
    writeBytes(vault + "/important.txt", "important\n");
    writeBytes(sticky + "/shot.lws", kScene);
    const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    ASSERT_EQ(shell(asNobody + "ln -s " + vault + "/important.txt " + sticky + "/shot.lws.bak"), 0);
    ASSERT_EQ(shell(asNobody + "ln -s " + vault + "/new.txt " + sticky + "/out.txt"), 0);
    ASSERT_EQ(shell(asNobody + "ln -s " + sticky + "/shot.lws " + sticky + "/theirs.lws"), 0);
    const std::string err = dir + "/run.err";
    struct Case {
        std::string command, link;
    };
    const Case cases[] = {
        {"edit " + sticky + "/shot.lws --item Rig --shift 5 --backup --overwrite-backup",
         sticky + "/shot.lws.bak"},
        {"ls " + sticky + "/shot.lws -o " + sticky + "/out.txt", sticky + "/out.txt"},
        {"edit " + sticky + "/theirs.lws --item Rig --shift 5", sticky + "/theirs.lws"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(shell("./vrim " + c.command + " >/dev/null 2>" + err), 2);
        EXPECT_NE(readBytes(err).find("the symbolic link '" + c.link + "' belongs to user 65534"),
                  std::string::npos)
            << readBytes(err);
    }
    EXPECT_EQ(readBytes(vault + "/important.txt"), "important\n");
    EXPECT_FALSE(fs::exists(vault + "/new.txt"));
    EXPECT_EQ(readBytes(sticky + "/shot.lws"), kScene);
    // A link of root's own in the same folder is followed as before.
    ASSERT_EQ(shell("ln -s " + sticky + "/shot.lws " + sticky + "/mine.lws"), 0);
    EXPECT_EQ(shell("./vrim edit " + sticky + "/mine.lws --item Rig --shift 5 >/dev/null 2>" + err),
              0)
        << readBytes(err);
    EXPECT_NE(readBytes(sticky + "/shot.lws"), kScene);
}

TEST_F(Edges, TheBackupKeepsTheScenesModeAclAndAttributes) {
    const std::string scene = dir + "/s.lws", backup = scene + ".bak";
    for (const int mode : {0600, 0640, 0604}) {
        SCOPED_TRACE(mode);
        fs::remove(backup);
        ::chmod(scene.c_str(), static_cast<mode_t>(mode));
        ASSERT_EQ(shell("setfacl -m u:65534:r " + scene + " && setfattr -n user.studio -v shotA " +
                        scene),
                  0)
            << "setfacl/setfattr (packages acl and attr) and a file system with ACLs";
        ASSERT_EQ(shell("umask 000 && ./vrim edit " + scene +
                        " --item Rig --shift 1 --backup >/dev/null 2>&1"),
                  0);
        for (const std::string& file : {scene, backup}) {
            SCOPED_TRACE(file);
            const std::string acl = dir + "/acl.txt", attr = dir + "/attr.txt";
            shell("getfacl -cpn " + file + " >" + acl + " 2>/dev/null");
            shell("getfattr -n user.studio --only-values " + file + " >" + attr + " 2>/dev/null");
            EXPECT_NE(readBytes(acl).find("user:65534:r--"), std::string::npos) << readBytes(acl);
            EXPECT_EQ(readBytes(attr), "shotA");
            struct stat data {};
            ASSERT_EQ(::stat(file.c_str(), &data), 0);
            // The ACL's mask shows in the group bits; the others' never widen.
            EXPECT_EQ(data.st_mode & 0707, static_cast<mode_t>(mode) & 0707);
            fs::remove(acl);
            fs::remove(attr);
        }
    }
}

// A scene large enough that an edit is still running when its lock shows.
std::string largeScene() {
    std::string text = kScene;
    const std::string filler = "AddNullObject Filler\nShowObject 6 7\nObjectMotion\n";
    while (text.size() < 24u * 1024 * 1024) {
        text += filler;
    }
    return text;
}

TEST_F(Edges, EverySignalMidEditLeavesNothingBehind) {
    const std::string scene = dir + "/s.lws";
    writeBytes(scene, largeScene());
    const std::string original = readBytes(scene);
    struct Case {
        int number;
        const char* name;
        std::string limit; // a shell limit that raises the signal by itself
    };
    const Case cases[] = {
        {SIGHUP, "SIGHUP", ""},
        {SIGINT, "SIGINT", ""},
        {SIGQUIT, "SIGQUIT", ""},
        {SIGTERM, "SIGTERM", ""},
        {SIGPIPE, "SIGPIPE", ""},
        {SIGALRM, "SIGALRM", ""},
        {SIGUSR1, "SIGUSR1", ""},
        {SIGUSR2, "SIGUSR2", ""},
        {SIGXCPU, "SIGXCPU", ""},
        {SIGVTALRM, "SIGVTALRM", ""},
        {SIGPROF, "SIGPROF", ""},
        {SIGXFSZ, "SIGXFSZ", ""},
        {SIGXFSZ, "SIGXFSZ", "ulimit -f 10240; "}, // 5 MB: the new version outgrows it
    };
    int reached = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.limit.empty() ? "" : " by ulimit -f"));
        const std::string err = dir + "/../edges-run.err";
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string command = c.limit + "exec ./vrim edit " + scene +
                                        " --item Rig --shift 1 --backup >/dev/null 2>" + err;
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Sent once the lock shows: the edit is then under way.
        bool locked = false;
        for (int wait = 0; wait < 2000 && !locked; ++wait) {
            locked = fs::exists(scene + ".lock");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (locked && c.limit.empty()) {
            ::kill(child, c.number);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        // Under the file-size limit the run may take its lock and be stopped
        // between two looks: what counts is what it leaves.
        ASSERT_TRUE(locked || !c.limit.empty()) << "the edit never took its lock";
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (code == 0) {
            continue; // finished before the signal came: nothing to learn
        }
        ++reached;
        EXPECT_EQ(code, 128 + c.number);
        EXPECT_NE(readBytes(err).find(std::string("vrim: stopped by ") + c.name), std::string::npos)
            << readBytes(err);
        EXPECT_EQ(names(), std::vector<std::string>{"s.lws"});
        EXPECT_EQ(readBytes(scene), original);
        fs::remove(err);
    }
    EXPECT_GT(reached, 0) << "no edit was still running when its signal came";
}

TEST_F(Edges, NamesAsLongAsTheSystemAllowsAreEditedWithABackup) {
    const long limit = ::pathconf(dir.c_str(), _PC_NAME_MAX);
    for (const long length : {limit, limit - 2, limit - 6}) {
        SCOPED_TRACE(length);
        fs::remove_all(dir);
        fs::create_directories(dir);
        const std::string scene =
            dir + "/" + std::string(static_cast<std::size_t>(length) - 4, 'n') + ".lws";
        writeBytes(scene, kScene);
        const std::string out = dir + "/../edges-long.out";
        ASSERT_EQ(
            shell("./vrim edit " + scene + " --item Rig --shift 5 --backup >" + out + " 2>&1"), 0)
            << readBytes(out);
        EXPECT_NE(readBytes(scene), kScene);
        const std::vector<std::string> found = names();
        ASSERT_EQ(found.size(), 2u);
        const std::string backup =
            dir + "/" +
            (found[0].size() == scene.size() - dir.size() - 1 && dir + "/" + found[0] == scene
                 ? found[1]
                 : found[0]);
        EXPECT_EQ(readBytes(backup), kScene);
        // The backup's name is said where it is not the plain one.
        if (backup != scene + ".bak") {
            EXPECT_NE(readBytes(out).find("backup written as '" + backup + "'"), std::string::npos)
                << readBytes(out);
        }
        // -o to a name of that length, whose lock's plain name would not fit.
        const std::string table = scene.substr(0, scene.size() - 4) + ".txt";
        EXPECT_NE(shell("./vrim ls " + scene + " -o " + table + " >/dev/null 2>&1"), 2);
        EXPECT_NE(readBytes(table).find("Rig"), std::string::npos);
    }
}

// While another program appends to the scene, every line it appended is in
// the scene, or in the kept old file the run named (and then it said so).
// An appender that opened the old file before the rename may be descheduled
// for long on a loaded machine: the writer's last look waits for it to let go.
TEST_F(Edges, AppendsDuringEditsAreNeverLostSilently) {
    const std::string scene = dir + "/a.lws";
    writeBytes(scene, kScene);
    fs::remove(dir + "/s.lws");
    const std::string stop = dir + "/../edges-stop";
    fs::remove(stop);
    const pid_t appender = ::fork();
    ASSERT_GE(appender, 0);
    if (appender == 0) {
        const std::string loop = "i=0; while [ ! -e " + stop +
                                 " ]; do i=$((i+1)); echo \"# appended " + "$i\" >> " + scene +
                                 "; sleep 0.01; done; echo $i > " + stop;
        ::execl("/bin/sh", "sh", "-c", loop.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string kept;
    int told = 0, written = 0;
    for (int edit = 0; edit < 40; ++edit) {
        const std::string err = dir + "/../edges-append.err";
        const int status =
            shell("./vrim edit " + scene + " --item Rig --shift 1 >/dev/null 2>" + err);
        const std::string said = readBytes(err);
        ASSERT_TRUE(status == 0 || status == 2) << status << said;
        written += status == 0;
        for (const std::string& name : names()) {
            if (name != "a.lws") {
                ASSERT_NE(said.find(name), std::string::npos) << name << " kept unsaid: " << said;
                kept += readBytes(dir + "/" + name);
                fs::remove(dir + "/" + name);
                ++told;
            }
        }
    }
    writeBytes(stop, "");
    ::waitpid(appender, nullptr, 0);
    const int appended = std::atoi(readBytes(stop).c_str());
    const std::string last = readBytes(scene);
    // Each line looked up in a set: a search of the text per line would
    // cost minutes over some hundred thousand lines.
    std::unordered_set<std::string> seen;
    for (const std::string* text : std::initializer_list<const std::string*>{&last, &kept}) {
        std::istringstream lines(*text);
        for (std::string line; std::getline(lines, line);) {
            seen.insert(line);
        }
    }
    int lost = 0;
    for (int i = 1; i < appended; ++i) {
        lost += seen.count("# appended " + std::to_string(i)) == 0;
    }
    // Edits refused as the scene changed under them teach nothing here.
    EXPECT_GT(written + told, 0) << "no edit got through while lines were appended";
    EXPECT_EQ(lost, 0) << appended << " lines appended; " << told << " old files kept";
    std::printf("%d lines appended during 40 edits, %d written; %d old files kept and said\n",
                appended, written, told);
}

} // namespace
