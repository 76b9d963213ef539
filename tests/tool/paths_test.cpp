// Scene paths that are not ASCII, as the vrim binary takes them on the
// command line, through folders and in edit: each command must do with a
// folder and a scene named "Ordner_äß_папка/Größe_шот.lws" exactly what it
// does with "shots/scene.lws", byte for byte, files written beside it
// included. On Windows, where the names cross the wide command line and the
// wide file calls, this is the Wine suite's check of both; every command
// also ends its lines the same way there, with LF.
#include "support/own_folder.h"
#include "support/tool_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

using testsupport::readBytes;
using testsupport::ToolRun;
using testsupport::writeBytes;

// A path from UTF-8 text, and a file name back as UTF-8, on every system.
fs::path utf8Path(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}
std::string utf8Name(const fs::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

// One spelling of the scene's place: ROOT/FOLDER/STEM.lws.
struct Spelling {
    std::string root, folder, stem;
};
const Spelling kPlain = {"plain", "shots", "scene"};
const Spelling kWide = {"wide", "Ordner_äß_папка", "Größe_шот"};

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
}

// The text with the wide spelling's names put back to the plain ones.
std::string plainSpelled(std::string text) {
    replaceAll(text, "/" + kWide.root + "/", "/" + kPlain.root + "/");
    replaceAll(text, kWide.folder, kPlain.folder);
    replaceAll(text, kWide.stem, kPlain.stem);
    return text;
}

struct Case {
    const char* name;      // also the case's folder
    const char* arguments; // {root}, {folder}, {scene} and {stem} stand for the spelled names
    int status;
    bool lockFirst;                   // a lock left beside the scene before the run
    bool module;                      // the module file copied beside it, as STEM.p
    std::vector<std::string> listing; // the scene's folder afterwards, plainly spelled
    bool edits;                       // the scene's bytes change
};

// What one run did: its output, and the scene's folder afterwards.
struct Outcome {
    ToolRun run;
    std::vector<std::string> listing;
    std::vector<std::string> contents; // each file's bytes, in the listing's order
};

Outcome runSpelled(const Case& c, const Spelling& spelling, const std::string& original) {
    const std::string root =
        testsupport::ownName("tool-paths") + "/" + c.name + "/" + spelling.root;
    const std::string folder = root + "/" + spelling.folder;
    const std::string scene = folder + "/" + spelling.stem + ".lws";
    fs::create_directories(utf8Path(folder));
    writeBytes(utf8Path(scene), original);
    if (c.lockFirst) {
        writeBytes(utf8Path(scene + ".lock"), "");
    }
    if (c.module) {
        fs::copy_file("vrim_s.p", utf8Path(folder + "/" + spelling.stem + ".p"));
    }
    std::string arguments = c.arguments;
    replaceAll(arguments, "{root}", root);
    replaceAll(arguments, "{folder}", folder);
    replaceAll(arguments, "{scene}", scene);
    replaceAll(arguments, "{stem}", spelling.stem);

    Outcome outcome;
    outcome.run = testsupport::runVrim(arguments, testsupport::ownName("tool-paths") + "/" +
                                                      c.name + "-" + spelling.root);
    std::vector<std::pair<std::string, std::string>> files; // plainly spelled name, bytes
    for (const fs::directory_entry& entry : fs::directory_iterator(utf8Path(folder))) {
        files.emplace_back(plainSpelled(utf8Name(entry.path())), readBytes(entry.path()));
    }
    std::sort(files.begin(), files.end());
    for (const auto& [name, bytes] : files) {
        outcome.listing.push_back(name);
        outcome.contents.push_back(bytes);
    }
    return outcome;
}

TEST(ToolPaths, NonAsciiNamesDoWhatPlainNamesDo) {
    testsupport::ownFolder("tool-paths");
    const std::string original = readBytes("samples/two-items.lws");
    ASSERT_FALSE(original.empty()) << "samples/two-items.lws beside the binaries";
    ASSERT_EQ(original.find('\r'), std::string::npos) << "the sample's lines end in LF";

    // The scene's folder afterwards.
    const std::vector<std::string> alone = {"scene.lws"};
    const std::vector<std::string> baked = {"baked.csv", "scene.lws"};
    const std::vector<std::string> backup = {"scene.lws", "scene.lws.bak"};
    const std::vector<std::string> locked = {"scene.lws", "scene.lws.lock"};
    const std::vector<std::string> module = {"scene.lws", "scene.p"};
    // name, arguments, status, lock first, module beside, listing, edits
    const std::vector<Case> cases = {
        {"ls-folder", "ls {folder}", 1, false, false, alone, false},
        {"ls-recursive", "ls -r {root}", 1, false, false, alone, false},
        {"ls-json", "ls --json {folder}", 1, false, false, alone, false},
        {"check-folder", "check {folder}", 1, false, false, alone, false},
        {"check-recursive", "check -r {root}", 1, false, false, alone, false},
        {"show", "show {scene} --block 2", 0, false, false, alone, false},
        {"bake", "bake {scene} --block 1 --frames 1:4", 0, false, false, alone, false},
        {"bake-file", "bake {scene} --block 1 --frames 1:4 -o {folder}/baked.csv", 0, false, false,
         baked, false},
        {"edit", "edit {scene} --block 1 --key 1 --set end=30 --backup", 0, false, false, backup,
         true},
        {"edit-recursive", "edit -r {root} --all-items --shift 12", 0, false, false, alone, true},
        {"edit-dry-run", "edit {scene} --block 1 --shift 5 --dry-run", 0, false, false, alone,
         false},
        {"edit-locked", "edit {scene} --block 1 --shift 5", 2, true, false, locked, false},
        {"show-module", "show {scene} --block 1 --module {folder}/{stem}.p", 0, false, true, module,
         false},
        {"validate-module", "validate {folder}/{stem}.p --level 1 --seed 1", 0, false, true, module,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome plain = runSpelled(c, kPlain, original);
        const Outcome wide = runSpelled(c, kWide, original);

        EXPECT_EQ(plain.run.status, c.status) << plain.run.out << plain.run.err;
        EXPECT_EQ(wide.run.status, c.status) << wide.run.out << wide.run.err;
        EXPECT_EQ(plainSpelled(wide.run.out), plain.run.out);
        EXPECT_EQ(plainSpelled(wide.run.err), plain.run.err);
        for (const std::string* text : {&wide.run.out, &wide.run.err}) {
            EXPECT_EQ(text->find('\r'), std::string::npos) << "lines end in LF:\n" << *text;
        }
        EXPECT_EQ(plain.listing, c.listing);
        EXPECT_EQ(wide.listing, c.listing);
        EXPECT_EQ(wide.contents, plain.contents);
        const auto scene = std::find(wide.listing.begin(), wide.listing.end(), "scene.lws");
        ASSERT_NE(scene, wide.listing.end());
        EXPECT_EQ(wide.contents[std::size_t(scene - wide.listing.begin())] != original, c.edits);
    }
}

} // namespace
