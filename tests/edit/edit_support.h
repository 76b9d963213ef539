// Scenes, folders and files for the tests of vrim edit, and the module driven
// through the stand-in host directly: what a panel script does to a block
// when nothing of vrim plays it.
#pragma once

#include "plugin/identity.h"
#include "standin/panel_host.h"
#include "standin/scene_io.h"
#include "standin/standin.h"
#include "support/module_fixture.h"
#include "support/own_folder.h"
#include "support/tool_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace edittest {

using testsupport::readBytes;
using testsupport::writeBytes;

// The names in a folder, sorted: a stray temporary file shows up here.
inline std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh, empty folder of this process's own under the working folder.
inline std::filesystem::path freshFolder(const std::string& name) {
    return testsupport::ownFolder(name);
}

// One key as the module writes it.
inline std::string keyLines(double freq, double wx, double wy, double wz, int start, int end,
                            int fallOff, const std::string& eol = "\n") {
    char text[512];
    std::snprintf(text, sizeof text,
                  "KEY_START%sFREQ %f%sFREQ_W_X %f%sFREQ_W_Y %f%sFREQ_W_Z %f%sSTART_F %f%s"
                  "END_F %f%sFALL_OFF %f%s",
                  eol.c_str(), freq, eol.c_str(), wx, eol.c_str(), wy, eol.c_str(), wz, eol.c_str(),
                  static_cast<double>(start), eol.c_str(), static_cast<double>(end), eol.c_str(),
                  static_cast<double>(fallOff), eol.c_str());
    return text;
}

// A small scene: Camera_Rig with two keys, Single with one, Plain without
// a shake, and another plug-in's data between them.
inline std::string smallScene() {
    return "LWSC\n3\n\nFirstFrame 0\nLastFrame 90\nFramesPerSecond 30\n\n"
           "AddNullObject Camera_Rig\nPlugin ItemMotionHandler 1 VRIM_S\nVRIM_START\n"
           "KEY_NUM 2.000000\n" +
           keyLines(0.1, 0, 0.08, 0, 0, 24, 1) + keyLines(0.25, 0.05, 0, 0.03, 36, 60, 0) +
           "VRIM_END\nEndPlugin\n\nAddNullObject Plain\n"
           "Plugin ItemMotionHandler 1 OtherShake\nVRIM_START\nKEY_NUM 9\nVRIM_END\nEndPlugin\n\n"
           "AddNullObject Single\nPlugin ItemMotionHandler 1 VRIM_S\nVRIM_START\n"
           "KEY_NUM 1.000000\n" +
           keyLines(0.5, 0.2, 0, 0, 0, 90, 1) + "VRIM_END\nEndPlugin\n";
}

// The module loaded into a stand-in host of its own, the panel played from a
// script as the stand-in host plays one.
class DirectModule {
  public:
    DirectModule() {
        module_ = testsupport::openModule(testsupport::kProductModule);
        host_.panelServices = panelHost_.services();
        EXPECT_EQ(handler_.activate(*module_, host_, vrim::kServerName), 0);
    }

    // The block the module saves after loading block and playing script.
    std::vector<std::string> edit(const std::vector<std::string>& block,
                                  const std::string& script) {
        void* instance = handler_.create();
        standin::LineReader reader(block);
        handler_.load(instance, reader.state());
        std::vector<standin::PanelAction> actions;
        std::string error;
        EXPECT_TRUE(standin::parsePanelScript(script, actions, error)) << error;
        panelHost_.setScript(actions);
        const ActivateFunc activate = module_->findServer("ItemMotionInterface", vrim::kServerName);
        EXPECT_EQ(activate(1, host_.global(), instance, nullptr), 0);
        EXPECT_TRUE(panelHost_.problems.empty()) << panelHost_.problems.front();
        standin::LineWriter writer;
        handler_.save(instance, writer.state());
        handler_.destroy(instance);
        return writer.lines;
    }

  private:
    standin::Host host_;
    standin::PanelHost panelHost_;
    std::unique_ptr<standin::ModuleFile> module_;
    standin::Handler handler_;
};

// vrim run as a user runs it, with nothing on standard input.
inline testsupport::ToolRun runEdit(const std::string& arguments, const std::string& prefix = "") {
    static const std::string stem = [] {
        testsupport::ownFolder("edit-runs");
        return testsupport::ownName("edit-runs") + "/vrim";
    }();
    // Standard input is empty unless the arguments redirect it themselves.
    const bool ownInput = arguments.find('<') != std::string::npos;
    return testsupport::runVrim(ownInput ? arguments : arguments + " </dev/null", stem, prefix);
}

// Lines joined with one line end, and that end after the last one.
inline std::string joined(const std::vector<std::string>& lines, const std::string& eol) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + eol;
    }
    return text;
}

} // namespace edittest
