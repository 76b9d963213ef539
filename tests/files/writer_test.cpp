// The one writer in-process, at each kind of target it meets: what a write
// leaves there, what it refuses, and every file-system call failed in turn.
#include "support/faulty_fs.h"
#include "support/own_folder.h"
#include "support/tool_run.h"
#include "tools/vrim/files/replace_file.h"

#include <gtest/gtest.h>

#include <set>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using testsupport::FaultyFileSystem;
using testsupport::readBytes;
using testsupport::writeBytes;
using vrim::files::FileWriter;
using vrim::files::WritePolicy;

const std::string kOld = "old text\n", kNew = "new text, longer than the old\n";

fs::path freshFolder(const std::string& name) {
    return testsupport::ownFolder(name);
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Writes kNew to path through fs; the error, empty when it went in.
std::string writeThrough(vrim::files::FileSystem& system, const std::string& path,
                         WritePolicy policy = {}, std::vector<std::string> inputs = {}) {
    FileWriter writer(system, path, policy, std::move(inputs));
    std::string error;
    if (writer.open(error) && writer.write(kNew.data(), kNew.size(), error) &&
        writer.finish(error)) {
        return {};
    }
    return error.empty() ? "failed without a reason" : error;
}

// A kind of target: how to make it, the path to write, and where the bytes
// end up (empty: nowhere to look).
struct Target {
    const char* kind;
    std::function<void(const fs::path& folder)> make;
    std::string written;            // relative to the folder, or absolute
    std::string file;               // what holds the result, relative to the folder
    std::vector<std::string> names; // the folder's names afterwards
    const char* missing = nullptr;  // why this system cannot have it; nullptr: it can
};

// What a table's loop could not try, for its test to report itself skipped.
class NotTried {
  public:
    void add(const std::string& what, const std::string& why) {
        text_ += (text_.empty() ? "" : "; ") + what + ": " + why;
    }
    bool empty() const { return text_.empty(); }
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

std::vector<Target> targets() {
    std::vector<Target> all = {
        {"a new file", [](const fs::path&) {}, "out.txt", "out.txt", {"out.txt"}},
        {"an existing file",
         [](const fs::path& f) { writeBytes(f / "out.txt", kOld); },
         "out.txt",
         "out.txt",
         {"out.txt"}},
    };
#if !defined(_WIN32)
    all.push_back({"a symbolic link",
                   [](const fs::path& f) {
                       fs::create_directories(f / "real");
                       writeBytes(f / "real" / "out.txt", kOld);
                       fs::create_symlink("real/out.txt", f / "link.txt");
                   },
                   "link.txt",
                   "real/out.txt",
                   {"link.txt", "real"}});
    all.push_back({"a link to a link",
                   [](const fs::path& f) {
                       fs::create_directories(f / "real");
                       writeBytes(f / "real" / "out.txt", kOld);
                       fs::create_symlink("real/out.txt", f / "first.txt");
                       fs::create_symlink(f / "first.txt", f / "link.txt");
                   },
                   "link.txt",
                   "real/out.txt",
                   {"first.txt", "link.txt", "real"}});
    all.push_back({"/dev/null", [](const fs::path&) {}, "/dev/null", "", {}});
#else
    const auto none = [](const fs::path&) {};
    const char* link = "a symbolic link needs a privilege on Windows that a user rarely has";
    all.push_back({"a symbolic link", none, "", "", {}, link});
    all.push_back({"a link to a link", none, "", "", {}, link});
    all.push_back({"/dev/null", none, "", "", {}, "Windows has no /dev/null (NUL: files_targets)"});
#endif
    return all;
}

std::string pathIn(const fs::path& folder, const std::string& name) {
    return name.empty() || name[0] == '/' ? name : (folder / name).string();
}

TEST(FileWriter, EachKindOfTargetTakesTheNewTextAndKeepsWhatItIs) {
    NotTried notTried;
    for (const Target& target : targets()) {
        SCOPED_TRACE(target.kind);
        if (target.missing != nullptr) {
            notTried.add(target.kind, target.missing);
            continue;
        }
        const fs::path folder = freshFolder("files-kinds");
        target.make(folder);
        EXPECT_EQ(writeThrough(vrim::files::systemFileSystem(), pathIn(folder, target.written)),
                  "");
        if (!target.file.empty()) {
            EXPECT_EQ(readBytes(folder / target.file), kNew);
            EXPECT_EQ(namesIn(folder), target.names);
        } else {
            EXPECT_TRUE(fs::is_character_file(target.written));
        }
        if (target.written == "link.txt") {
            EXPECT_TRUE(fs::is_symlink(folder / "link.txt"));
            EXPECT_EQ(namesIn(folder / "real"), std::vector<std::string>{"out.txt"});
        }
    }
    if (!notTried.empty()) {
        GTEST_SKIP() << "not tried here (the other kinds passed): " << notTried.text();
    }
}

TEST(FileWriter, EveryFailingCallLeavesTheTargetAsItWasAndNoLock) {
    NotTried notTried;
    for (const Target& target : targets()) {
        if (target.missing != nullptr) {
            notTried.add(target.kind, target.missing);
            continue;
        }
        const fs::path folder = freshFolder("files-faults");
        target.make(folder);
        const std::string path = pathIn(folder, target.written);
        const std::string result = pathIn(folder, target.file);
        const std::string before =
            target.file.empty() || !fs::exists(result) ? "" : readBytes(result);
        FaultyFileSystem counting;
        ASSERT_EQ(writeThrough(counting, path), "") << target.kind;
        const int total = counting.calls;
        for (int n = 1; n <= total; ++n) {
            SCOPED_TRACE(std::string(target.kind) + ", failing call " + std::to_string(n) + " of " +
                         std::to_string(total));
            fs::remove_all(folder);
            fs::create_directories(folder);
            target.make(folder);
            FaultyFileSystem faulty;
            faulty.failAt = n;
            const std::string error = writeThrough(faulty, path);
            if (error.empty()) {
                // A name that could not be made is tried once more (another
                // vrim's lock may have just gone, a killed run's file may be
                // in the way); a search for the run's own handle on the file
                // and the flush begun early are advice; the old file's
                // handle is only read. After the rename come the look at the
                // old file, the lock's removal and the folder's flush, whose
                // failures are warnings; the search for other writers of the
                // old file only makes the last look wait.
                static const std::set<std::string> harmless = {
                    "createNew", "nameFile", "openedAs", "beginSync",  "startFlush",
                    "close",     "statOpen", "remove",   "syncFolder", "othersWriting"};
                EXPECT_EQ(harmless.count(faulty.failed), 1u) << faulty.failed;
                if (faulty.failed == "remove") {
                    fs::remove(pathIn(folder, target.file + ".lock")); // said in the warning
                }
            } else if (!target.file.empty()) {
                EXPECT_NE(error.find("injected failure of " + faulty.failed), std::string::npos)
                    << error;
                if (before.empty()) {
                    EXPECT_FALSE(fs::exists(result));
                } else {
                    EXPECT_EQ(readBytes(result), before);
                }
            }
            if (!target.file.empty()) {
                std::vector<std::string> names = target.names;
                if (!error.empty() && before.empty()) {
                    names.erase(std::find(names.begin(), names.end(), target.file));
                }
                EXPECT_EQ(namesIn(folder), names);
            }
        }
    }
    if (!notTried.empty()) {
        GTEST_SKIP() << "not tried here (the other kinds passed): " << notTried.text();
    }
}

TEST(FileWriter, AFifoIsWrittenWhereItIs) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no FIFO in a folder";
#else
    const fs::path folder = freshFolder("files-fifo");
    const std::string fifo = (folder / "pipe").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] { got = readBytes(fifo); });
    EXPECT_EQ(writeThrough(vrim::files::systemFileSystem(), fifo), "");
    reader.join();
    EXPECT_EQ(got, kNew);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"pipe"});
#endif
}

TEST(FileWriter, RefusesWhatItMustAndSaysWhy) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& folder)> make;
        std::string path;
        WritePolicy policy;
        std::vector<std::string> inputs;
        std::string error; // empty: written
    };
    std::vector<Case> cases = {
        {"a folder",
         [](const fs::path& f) { fs::create_directories(f / "out.txt"); },
         "out.txt",
         {},
         {},
         "it is a folder"},
        {"a held lock",
         [](const fs::path& f) {
             writeBytes(f / "out.txt", kOld);
             writeBytes(f / "out.txt.lock", "");
         },
         "out.txt",
         {},
         {},
         "out.txt.lock' exists: another vrim is writing"},
        {"an input in another spelling",
         [](const fs::path& f) { writeBytes(f / "out.txt", kOld); },
         "out.txt",
         {},
         {testsupport::ownName("files-refused") + "/../" + testsupport::ownName("files-refused") +
          "/out.txt"},
         "which this run reads"},
    };
#if !defined(_WIN32)
    const auto hardLinked = [](const fs::path& f) {
        writeBytes(f / "out.txt", kOld);
        fs::create_hard_link(f / "out.txt", f / "other.txt");
    };
    const auto readOnly = [](const fs::path& f) {
        writeBytes(f / "out.txt", kOld);
        fs::permissions(f / "out.txt", fs::perms::owner_read | fs::perms::group_read);
    };
    cases.push_back({"two names", hardLinked, "out.txt", {}, {}, "it has 2 names (hard links)"});
    cases.push_back({"two names, allowed", hardLinked, "out.txt", {false, true}, {}, ""});
    cases.push_back({"read-only", readOnly, "out.txt", {}, {}, "it is read-only; give --force"});
    cases.push_back({"read-only, forced", readOnly, "out.txt", {true, false}, {}, ""});
#else
    NotTried notTried;
    notTried.add("two names and a read-only file", "run on the native build only");
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = freshFolder("files-refused");
        c.make(folder);
        const std::string path = (folder / c.path).string();
        const std::string before = fs::is_regular_file(path) ? readBytes(path) : "";
        const std::vector<std::string> names = namesIn(folder);
        const std::string error =
            writeThrough(vrim::files::systemFileSystem(), path, c.policy, c.inputs);
        if (c.error.empty()) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(readBytes(path), kNew);
            continue;
        }
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(namesIn(folder), names);
        if (fs::is_regular_file(path)) {
            EXPECT_EQ(readBytes(path), before);
        }
    }
#if defined(_WIN32)
    GTEST_SKIP() << "not tried here (the other cases passed): " << notTried.text();
#endif
}

// Another vrim's lock is there at the exclusive create and gone when it is
// looked at: that vrim has finished, and the file is taken after all, not
// refused with the create's bare "File exists".
TEST(FileWriter, ALockGoneByTheTimeItIsLookedAtIsTakenAfterAll) {
    const fs::path folder = freshFolder("files-lock-gone");
    const fs::path path = folder / "out.txt", lock = folder / "out.txt.lock";
    writeBytes(path, kOld);
    FaultyFileSystem fs;
    int creates = 0;
    fs.before = [&](const std::string& call) {
        if (call == "createNew" && ++creates == 1) {
            writeBytes(lock, "");
        } else if (call == "statLink" && creates == 1) {
            fs::remove(lock);
        }
    };
    EXPECT_EQ(writeThrough(fs, path.string()), "");
#if defined(_WIN32)
    // The lock twice, then the new text under a name of its own: Windows
    // has no file without a name to write it into first.
    EXPECT_EQ(creates, 3);
#else
    EXPECT_EQ(creates, 2); // the lock twice; the new text has no name until it is whole
#endif
    EXPECT_EQ(readBytes(path), kNew);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"out.txt"});
}

// The process may give the owners, but the system refuses them (a network
// file system that maps root to nobody): no silent change of owner.
TEST(FileWriter, OwnersTheSystemWillNotKeepAreRefusedUnlessForced) {
    struct Case {
        const char* what;
        WritePolicy policy;
        std::string error;   // empty: written
        std::string warning; // what the written file's writer says
    };
    const Case cases[] = {
        {"refused", {}, "its owner and group could not be kept (injected failure of setOwner)", ""},
        {"forced", {true, false}, "", "it now belongs to this user"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = freshFolder("files-owners");
        const std::string path = (folder / "out.txt").string();
        writeBytes(path, kOld);
        FaultyFileSystem faulty;
        bool asked = false;
        faulty.before = [&](const std::string& call) {
            if (call == "setOwner") {
                asked = true;
                faulty.failAt = faulty.calls + 1;
            }
        };
        std::string error, warning;
        bool written = false;
        {
            FileWriter writer(faulty, path, c.policy);
            written = writer.open(error) && writer.write(kNew.data(), kNew.size(), error) &&
                      writer.finish(error);
            warning = writer.warning();
        }
        EXPECT_TRUE(asked);
        if (c.error.empty()) {
            EXPECT_TRUE(written) << error;
            EXPECT_EQ(readBytes(path), kNew);
            EXPECT_NE(warning.find(c.warning), std::string::npos) << warning;
        } else {
            EXPECT_FALSE(written);
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            EXPECT_NE(error.find("--force"), std::string::npos) << error;
            EXPECT_EQ(readBytes(path), kOld);
        }
        EXPECT_EQ(namesIn(folder), std::vector<std::string>{"out.txt"});
    }
}

TEST(FileWriter, ModeIsKeptAndANewFileFollowsTheUmask) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has attributes, not a mode and a umask";
#else
    const fs::path folder = freshFolder("files-mode");
    writeBytes(folder / "kept.txt", kOld);
    chmod((folder / "kept.txt").c_str(), 0640);
    ASSERT_EQ(writeThrough(vrim::files::systemFileSystem(), (folder / "kept.txt").string()), "");
    struct stat data {};
    ASSERT_EQ(::stat((folder / "kept.txt").c_str(), &data), 0);
    EXPECT_EQ(data.st_mode & 07777, 0640u);

    const mode_t mask = umask(022);
    ASSERT_EQ(writeThrough(vrim::files::systemFileSystem(), (folder / "new.txt").string()), "");
    umask(mask);
    ASSERT_EQ(::stat((folder / "new.txt").c_str(), &data), 0);
    EXPECT_EQ(data.st_mode & 07777, 0644u);
#endif
}

} // namespace
