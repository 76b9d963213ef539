// Reading a file in place through the machine's file system: the pieces
// handed out make the file, whatever other reads come between them, and a
// file cut short by another program while it is mapped ends the run cleanly.
#include "support/own_folder.h"
#include "support/tool_run.h"
#include "tools/vrim/files/cleanup.h"
#include "tools/vrim/files/filesystem.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using vrim::files::FileHandle;
using vrim::files::kNoFile;

// Bytes that tell every place apart from its neighbours, over a few pages
// and not a whole number of them.
std::string patterned(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 4096) % 251);
    }
    return bytes;
}

TEST(ReadInPlace, PiecesMakeTheFileWhateverReadsComeBetween) {
    vrim::files::FileSystem& system = vrim::files::systemFileSystem();
    const fs::path folder = testsupport::ownFolder("read-in-place");
    const fs::path path = folder / "scene.lws";
    const std::string bytes = patterned(3 * 1024 * 1024 + 12345);
    const std::string grown = "and a line written while it was read\n";
    struct Case {
        const char* what;
        std::vector<std::size_t> inPlace, read; // sizes asked, taken in turn
    };
    const Case cases[] = {
        {"large pieces", {1 << 20}, {}},
        {"pieces smaller than a page", {1000}, {}},
        {"reads between, off the page", {300000, 7}, {4097, 1}},
    };
    for (const Case& c : cases) {
        testsupport::writeBytes(path, bytes);
        std::string error;
        const FileHandle file = system.openRead(path.string(), error);
        ASSERT_NE(file, kNoFile) << error;
        std::vector<char> buffer(1 << 20);
        std::string got;
        for (std::size_t turn = 0;; ++turn) {
            int64_t count = 0;
            std::size_t asked = 0;
            const char* data = buffer.data();
            if (!c.read.empty() && turn % 2 == 1) {
                asked = c.read[turn / 2 % c.read.size()];
                count = system.read(file, buffer.data(), asked, error);
            } else {
                asked = c.inPlace[turn / 2 % c.inPlace.size()];
                count = system.readInPlace(file, data, buffer.data(), asked, error);
            }
            ASSERT_GE(count, 0) << c.what << ": " << error;
            ASSERT_LE(static_cast<std::size_t>(count), asked) << c.what;
            if (count == 0) {
                break;
            }
            got.append(data, static_cast<std::size_t>(count));
            if (turn == 0) {
                // What is written on meanwhile is read too, as read would.
                std::ofstream(path, std::ios::binary | std::ios::app) << grown;
            }
        }
        EXPECT_TRUE(system.close(file, error)) << error;
        EXPECT_EQ(got.size(), bytes.size() + grown.size()) << c.what;
        EXPECT_TRUE(got == bytes + grown) << c.what;
    }
}

TEST(ReadInPlace, AFileCutShortWhileMappedEndsTheRunAndRemovesItsNewFiles) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows reads into the buffer; a mapped file cannot be cut short there";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const fs::path folder = testsupport::ownFolder("cut-short");
    const fs::path path = folder / "scene.lws";
    const fs::path lock = folder / "scene.lws.lock";
    testsupport::writeBytes(path, patterned(2 * 1024 * 1024));
    const auto readWhileCut = [&] {
        testsupport::writeBytes(lock, "half a new scene");
        vrim::files::removeOnSignal(lock.string());
        vrim::files::FileSystem& system = vrim::files::systemFileSystem();
        std::string error;
        const FileHandle file = system.openRead(path.string(), error);
        std::vector<char> buffer(1 << 20);
        const char* data = nullptr;
        const int64_t count = system.readInPlace(file, data, buffer.data(), buffer.size(), error);
        if (count < 400000 || data == buffer.data()) {
            std::_Exit(3); // not mapped: nothing to cut short
        }
        fs::resize_file(path, 0);
        volatile char touched = data[300000];
        (void)touched;
        std::_Exit(4); // the bytes were still there
    };
    EXPECT_EXIT(readWhileCut(), testing::ExitedWithCode(135),
                "a file was cut short by another program while vrim read it; nothing was "
                "written");
    EXPECT_FALSE(fs::exists(lock)) << "the run's new file goes with it";
#endif
}

} // namespace
