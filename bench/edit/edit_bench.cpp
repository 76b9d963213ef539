// vrim edit on a large scene beside a plain copy of the same file, in one
// run: the edit of one item must cost at most one and a half copies, and
// the tool's peak memory must not grow with the file.
//
//   vrim_edit_bench [--scene-mb N] [google benchmark flags]
//
// The copy is the least an edit can cost: every byte read once, written
// once, flushed and renamed into place. The edit runs the vrim binary beside
// this program as a user does, so its time includes loading the module; its
// peak resident size comes from the kernel's account of the child process.
#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/files/replace_file.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::filesystem::path folder;
std::filesystem::path scene;
std::filesystem::path copyPath;
std::string vrimPath, modulePath;

// Items with and without a shake and another plug-in's data, as a crowd
// scene holds them; the edited one in the middle.
void makeScene(std::size_t megabytes) {
    std::ofstream out(scene, std::ios::binary | std::ios::trunc);
    out << "LWSC\n3\n\nFirstFrame 0\nLastFrame 900\nFramesPerSecond 30\n\n";
    const std::string shaken =
        "AddNullObject Prop\nShowObject 6 3\nObjectMotion\nNumChannels 9\n"
        "Plugin ItemMotionHandler 1 VRIM_S\nVRIM_START\nKEY_NUM 2.000000\nKEY_START\n"
        "FREQ 0.100000\nFREQ_W_X 0.000000\nFREQ_W_Y 0.080000\nFREQ_W_Z 0.000000\n"
        "START_F 0.000000\nEND_F 24.000000\nFALL_OFF 1.000000\nKEY_START\nFREQ 0.250000\n"
        "FREQ_W_X 0.050000\nFREQ_W_Y 0.000000\nFREQ_W_Z 0.030000\nSTART_F 36.000000\n"
        "END_F 60.000000\nFALL_OFF 0.000000\nVRIM_END\nEndPlugin\n\n";
    const std::string other = "LoadObjectLayer 1 Objects/Rock.lwo\nShowObject 6 3\n"
                              "Plugin ItemMotionHandler 1 OtherShake\nAMOUNT 0.5\nEndPlugin\n\n";
    const std::size_t bytes = megabytes << 20;
    std::size_t written = 0;
    bool target = false;
    while (written < bytes) {
        if (!target && written >= bytes / 2) {
            std::string item = shaken;
            item.replace(item.find("Prop"), 4, "Target");
            out << item;
            written += item.size();
            target = true;
        }
        out << shaken << other;
        written += shaken.size() + other.size();
    }
}

void copyFile(benchmark::State& state) {
    vrim::files::FileSystem& fs = vrim::files::systemFileSystem();
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        std::string error;
        vrim::files::FileWriter copy(fs, copyPath.string());
        const vrim::files::FileHandle in = fs.openRead(scene.string(), error);
        bool ok = in != vrim::files::kNoFile && copy.open(error);
        for (int64_t got = 1; ok && got > 0;) {
            got = fs.read(in, buffer.data(), buffer.size(), error);
            ok = got >= 0 && copy.write(buffer.data(), static_cast<std::size_t>(got), error);
        }
        ok = ok && fs.close(in, error) && copy.finish(error);
        if (!ok) {
            state.SkipWithError(("copy failed: " + error).c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(scene)));
}

// Edits so far, over every repetition: each repetition is a call of its own,
// and an edit that sets the value the last one set writes nothing.
int edits = 0;

void editOneItem(benchmark::State& state) {
    long peakKb = 0;
    for (auto _ : state) {
        // A value that differs from the last one, so that every edit writes.
        const std::string value = "freq=" + std::to_string(0.1 + 0.01 * (++edits % 2));
        struct stat old {};
        stat(scene.c_str(), &old);
        const pid_t child = fork();
        if (child == 0) {
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            execl(vrimPath.c_str(), "vrim", "edit", scene.c_str(), "--item", "Target", "--set",
                  value.c_str(), "--module", modulePath.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("vrim edit failed");
            return;
        }
        // A new version is a new file: the same one means nothing was written.
        struct stat now {};
        if (stat(scene.c_str(), &now) != 0 || now.st_ino == old.st_ino) {
            state.SkipWithError("vrim edit wrote nothing");
            return;
        }
        peakKb = std::max(peakKb, usage.ru_maxrss);
    }
    state.counters["peak_rss_mb"] = static_cast<double>(peakKb) / 1024.0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(scene)));
}

} // namespace

int main(int argc, char** argv) {
    std::size_t megabytes = 200;
    std::vector<char*> rest = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scene-mb") == 0 && i + 1 < argc) {
            megabytes = static_cast<std::size_t>(std::atol(argv[++i]));
        } else {
            rest.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe").parent_path();
    vrimPath = (self / "vrim").string();
    modulePath = (self / "vrim_s.p").string();
    folder = std::filesystem::current_path() / "edit-bench";
    std::filesystem::create_directories(folder);
    scene = folder / "crowd.lws";
    copyPath = folder / "crowd-copy.lws";
    makeScene(megabytes);
    std::printf("scene: %s, %.1f MB\n", scene.c_str(),
                static_cast<double>(std::filesystem::file_size(scene)) / (1 << 20));
    benchmark::RegisterBenchmark("edit/copy", copyFile)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("edit/vrim_edit_one_item", editOneItem)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
