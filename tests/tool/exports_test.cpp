// What a module file exports, read from the file: the built module and a
// library with another export, and files cut short, damaged or of another
// kind, which must give a fault and never a read outside the file.
#include "tools/vrim/module/exports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

namespace {

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(FileExports, NamesWhatEachFileExports) {
    struct Case {
        std::string path;
        std::vector<std::string> names;
        std::string fault; // part of the fault; empty: none
    };
    writeBytes("exports-text.p", "not a library\n");
    const std::vector<Case> cases = {
        {"vrim_s.p", {"_mod_descrip"}, ""},
        {"no-descriptor.p", {"notAModule"}, ""},
        {"exports-text.p", {}, "neither a Windows image nor a little-endian ELF file"},
        {"exports-missing.p", {}, "cannot open 'exports-missing.p'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string fault;
        const std::vector<std::string> names = vrim::fileExports(c.path, fault);
        if (c.fault.empty()) {
            EXPECT_EQ(fault, "");
            // A compiler may add exports of its own beside the library's.
            EXPECT_NE(std::find(names.begin(), names.end(), c.names[0]), names.end());
        } else {
            EXPECT_NE(fault.find(c.fault), std::string::npos) << fault;
        }
    }
    std::string fault;
    EXPECT_EQ(vrim::fileExports("vrim_s.p", fault), std::vector<std::string>{"_mod_descrip"});
}

// Cut at every length of its headers and damaged at random, the module file
// gives either its one export or a fault; the reader never reads outside
// the file (the sanitizer build checks that) and never lists without bound.
TEST(FileExports, CutOrDamagedFilesGiveAFault) {
    const std::string whole = bytesOf("vrim_s.p");
    ASSERT_GT(whole.size(), 1024u);
    std::vector<std::string> variants;
    for (std::size_t length = 0; length < 1024; length += 3) {
        variants.push_back(whole.substr(0, length));
    }
    for (std::size_t length = 1024; length < whole.size(); length += whole.size() / 64) {
        variants.push_back(whole.substr(0, length));
    }
    const std::size_t cuts = variants.size();
    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i) {
        std::string damaged = whole;
        // Damage the headers most of the time: that is where the reader looks.
        const std::size_t span = i % 4 == 0 ? damaged.size() : 1024;
        for (int flips = 0; flips < 4; ++flips) {
            damaged[random() % span] = static_cast<char>(random());
        }
        variants.push_back(damaged);
    }
    int faults = 0;
    for (std::size_t i = 0; i < variants.size(); ++i) {
        writeBytes("exports-damaged.p", variants[i]);
        std::string fault;
        const std::vector<std::string> names = vrim::fileExports("exports-damaged.p", fault);
        faults += !fault.empty();
        EXPECT_LE(names.size(), 70000u) << "variant " << i;
        if (i < cuts && fault.empty()) {
            // A file cut inside its headers cannot show its export whole.
            EXPECT_TRUE(names.empty() || names == std::vector<std::string>{"_mod_descrip"})
                << "variant " << i;
        }
    }
    EXPECT_GT(faults, 100);
}

} // namespace
