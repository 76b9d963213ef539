// A shake module loaded into the stand-in host, its motion handler activated
// as the host activates it, and the instances made through it. The keys the
// tool shows and the positions it prints and draws come from the module
// through these calls; which key acts on which frame it works out itself
// (analysis.h).
#pragma once

#include "plugin/core/shake.h"
#include "standin/panel_host.h"
#include "standin/scene_io.h"
#include "standin/standin.h"
#include "tools/vrim/error.h"

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vrim {

// The module file the tool drives when no --module is given: the file that
// VRIM_MODULE names; else vrim_s.p beside the tool (a build folder, the
// Windows package); else where an install puts it, in ../lib/vrim/ from the
// tool's bin/. When none of them exists, the first place looked in, so that
// the error names it.
std::string defaultModulePath();

// The --version line that names that file, and says when it is missing.
std::string moduleLine();

class Session {
  public:
    // Throws ToolError when the file is not a module with a motion handler.
    explicit Session(const std::string& modulePath);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A fresh instance, as the host makes one for a newly shaken item. The
    // session destroys it when it ends.
    ShakeInstance* newInstance();
    // Hands the block's lines to the module's load callback; returns how many
    // lines the module read.
    std::size_t load(ShakeInstance* instance, const std::vector<std::string>& lines);

    struct Motion {
        bool moved = false; // the module set the position
        double position[3] = {0.0, 0.0, 0.0};
    };
    // Evaluates the instance for an item resting at rest, as the host does at
    // this frame and time.
    Motion evaluate(ShakeInstance* instance, int32_t frame, double time, const double rest[3]);
    // The same without the stand-in host's records: the motion access
    // answers from this thread's own position, so threads may evaluate at
    // once, each an instance no other call loads, saves or destroys
    // meanwhile. The module's evaluation touches nothing else.
    Motion evaluateOnThisThread(ShakeInstance* instance, int32_t frame, double time,
                                const double rest[3]) const;

    // Opens the key editor on the instance as the host does when the user
    // opens the modifier's options, and closes it at once; the module fills
    // the instance's list lines as the panel opens. Returns the activation
    // code, or -1 when the module has no "ItemMotionInterface" server.
    int openKeyEditor(ShakeInstance* instance);

    // Opens the key editor on the instance with user at the panel: it is
    // asked for each action until it closes the panel. Returns the
    // activation code, or -1 when the module has no "ItemMotionInterface"
    // server.
    int runKeyEditor(ShakeInstance* instance,
                     std::function<std::optional<standin::PanelAction>(standin::Panel&)> user);
    // The block the module's save callback writes for the instance.
    std::vector<std::string> save(ShakeInstance* instance);
    // Destroys an instance before the session ends.
    void release(ShakeInstance* instance);

    standin::Host& host() { return host_; }
    standin::PanelHost& panelHost() { return panelHost_; }
    const standin::ModuleFile& module() const { return *module_; }
    const standin::Handler& handler() const { return handler_; }

  private:
    standin::Host host_;
    standin::PanelHost panelHost_;
    std::unique_ptr<standin::ModuleFile> module_;
    standin::Handler handler_;
    std::vector<ShakeInstance*> instances_;
};

} // namespace vrim
