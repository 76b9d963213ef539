// The vrim binary keeps its memory bounded whatever it reads or writes: a
// scene of more than 200 MB (and a review page of it), an endless stream of zero bytes, and an
// endless-looking pipe of scene text cut off after a byte limit. The peak resident memory of each
// run is read from the kernel's account of the finished child.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr long kMaxResidentKb = 64 * 1024;
// A review page holds its text until it is written (at most 200 drawn items
// and 8,000 listed ones, whatever the scene: about 30 MB of page here), and
// still keeps within the other commands' bound.
constexpr long kMaxReportKb = kMaxResidentKb;
constexpr std::uintmax_t kMaxPageBytes = 40u * 1024 * 1024;
constexpr std::size_t kBigSceneBytes = 200u * 1024 * 1024 + 1;
const char* kScene = "memory-test-scene.lws";

// One item with a shake of many keys, as the host writes it.
constexpr int kKeysPerBlock = 100;
std::string chunk(int number) {
    std::string text = "AddNullObject Shaker\nShowObject 6 3\nPlugin ItemMotionHandler 1 "
                       "VRIM_S\nVRIM_START\nKEY_NUM " +
                       std::to_string(kKeysPerBlock) + ".000000\n";
    for (int key = 0; key < kKeysPerBlock; ++key) {
        const int start = (number % 50) * 10 + key * 6;
        text += "KEY_START\nFREQ 0.250000\nFREQ_W_X 0.100000\nFREQ_W_Y 0.050000\n"
                "FREQ_W_Z 0.000000\nSTART_F " +
                std::to_string(start) + ".000000\nEND_F " + std::to_string(start + 18) +
                ".000000\nFALL_OFF 1.000000\n";
    }
    return text + "VRIM_END\nEndPlugin\n";
}

// About 4 MB of chunks, written out again and again.
std::string repeatedText() {
    std::string text;
    for (int i = 0; text.size() < 4u * 1024 * 1024; ++i) {
        text += chunk(i);
    }
    return text;
}

struct ChildRun {
    int status = -1;     // exit status; -1: killed by a signal
    long residentKb = 0; // peak resident set of the child
};

// Runs ./vrim with the arguments, standard output to /dev/null; with
// feedBytes, standard input is a pipe fed that many bytes of scene text.
ChildRun runVrim(const std::vector<std::string>& arguments, std::size_t feedBytes = 0) {
    int pipeEnds[2] = {-1, -1};
    if (feedBytes != 0 && pipe(pipeEnds) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (feedBytes != 0) {
            dup2(pipeEnds[0], STDIN_FILENO);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
        }
        std::vector<char*> argv = {const_cast<char*>("./vrim")};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execv("./vrim", argv.data());
        _exit(127);
    }
    if (feedBytes != 0) {
        close(pipeEnds[0]);
        const std::string text = repeatedText();
        std::signal(SIGPIPE, SIG_IGN); // the tool may stop reading early
        // Whole chunks, so that the input ends between two items.
        for (std::size_t sent = 0; sent < feedBytes;) {
            std::size_t done = 0;
            while (done < text.size()) {
                const ssize_t wrote = write(pipeEnds[1], text.data() + done, text.size() - done);
                if (wrote <= 0) {
                    break;
                }
                done += static_cast<std::size_t>(wrote);
            }
            if (done < text.size()) {
                break;
            }
            sent += done;
        }
        close(pipeEnds[1]);
    }
    int raw = 0;
    rusage usage{};
    ChildRun run;
    if (wait4(child, &raw, 0, &usage) == child) {
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.residentKb = usage.ru_maxrss; // kilobytes on Linux
    }
    return run;
}

class BoundedMemory : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::FILE* file = std::fopen(kScene, "wb");
        ASSERT_NE(file, nullptr);
        const std::string header = "LWSC\n3\n\nFirstFrame 0\nLastFrame 600\nFramesPerSecond 24\n\n";
        std::fwrite(header.data(), 1, header.size(), file);
        const std::string text = repeatedText();
        std::size_t written = header.size();
        while (written < kBigSceneBytes) {
            written += std::fwrite(text.data(), 1, text.size(), file);
        }
        ASSERT_EQ(std::fclose(file), 0);
    }
    static void TearDownTestSuite() {
        std::remove(kScene);
        std::remove("memory-test-report.html");
    }
};

TEST_F(BoundedMemory, EveryReadingCommandOnAnyInput) {
    if (std::getenv("VRIM_UNDER_VALGRIND") != nullptr) {
        GTEST_SKIP() << "the children's memory is measured natively; nothing here to leak-check";
    }
    struct Case {
        std::vector<std::string> arguments;
        std::size_t feedBytes;
        std::vector<int> statuses; // the exit statuses it may end with
        long maxResidentKb = kMaxResidentKb;
    };
    const std::size_t kFed = 64u * 1024 * 1024;
    const Case cases[] = {
        {{"check", kScene}, 0, {0, 1}},
        {{"show", kScene}, 0, {0}},
        {{"ls", kScene}, 0, {0, 1}},
        {{"preview", kScene, "--block", "5000"}, 0, {0}},
        {{"report", kScene, "-o", "memory-test-report.html"}, 0, {0, 1}, kMaxReportKb},
        {{"check", "/dev/zero"}, 0, {2}},
        {{"ls", "/dev/zero"}, 0, {2}},
        {{"preview", "/dev/zero"}, 0, {2}},
        {{"check", "-"}, kFed, {0, 1}},
        {{"diff", kScene, kScene}, 0, {0}},
        {{"diff", kScene, "/dev/zero"}, 0, {2}},
    };
    for (const Case& c : cases) {
        std::string command;
        for (const std::string& argument : c.arguments) {
            command += " " + argument;
        }
        const ChildRun run = runVrim(c.arguments, c.feedBytes);
        EXPECT_NE(std::find(c.statuses.begin(), c.statuses.end(), run.status), c.statuses.end())
            << "vrim" << command << " exited with " << run.status;
        EXPECT_GT(run.residentKb, 0) << command;
        EXPECT_LT(run.residentKb, c.maxResidentKb) << "vrim" << command;
        std::printf("vrim%s%s: peak resident %ld KB\n", command.c_str(),
                    c.feedBytes != 0 ? " (pipe)" : "", run.residentKb);
    }
    std::error_code error;
    const std::uintmax_t page = std::filesystem::file_size("memory-test-report.html", error);
    EXPECT_FALSE(error) << "no page written";
    EXPECT_LT(page, kMaxPageBytes);
}

} // namespace
