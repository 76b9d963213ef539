#include "tools/vrim/module/session.h"
#include "plugin/identity.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace vrim {

namespace {

// The interface version the host asks the key editor for.
constexpr int32_t kInterfaceVersion = 1;

} // namespace

std::string defaultModulePath() {
    const char* named = std::getenv("VRIM_MODULE");
    if (named != nullptr && named[0] != '\0') {
        return named;
    }
    const std::string beside = standin::executableDirectory() + "vrim_s.p";
    const std::filesystem::path installed =
        std::filesystem::path(standin::executableDirectory() + VRIM_MODULE_FROM_BIN "vrim_s.p")
            .lexically_normal();
    std::error_code error;
    if (!std::filesystem::exists(beside, error) && std::filesystem::exists(installed, error)) {
        return installed.string();
    }
    return beside;
}

std::string moduleLine() {
    const std::string path = defaultModulePath();
    std::error_code error;
    return "module: " + path +
           (std::filesystem::is_regular_file(path, error) ? "" : " (not found)");
}

Session::Session(const std::string& modulePath) {
    host_.logMotion = false; // a long preview would keep every call
    host_.panelServices = panelHost_.services();
    std::string error;
    module_ = standin::ModuleFile::open(modulePath, error);
    if (module_ == nullptr) {
        throw ToolError(error);
    }
    const int code = handler_.activate(*module_, host_, vrim::kServerName);
    if (code == -1) {
        throw ToolError("'" + modulePath +
                        "' is not a shake module: it has no \"ItemMotionHandler\" server "
                        "named \"VRIM_S\"");
    }
    if (code != 0) {
        throw ToolError("'" + modulePath + "': the motion handler refused activation (code " +
                        std::to_string(code) + ")");
    }
}

Session::~Session() {
    for (ShakeInstance* instance : instances_) {
        handler_.destroy(instance);
    }
}

ShakeInstance* Session::newInstance() {
    HostError error = nullptr;
    auto* instance = static_cast<ShakeInstance*>(handler_.create(&error));
    if (instance == nullptr) {
        throw ToolError(std::string("the module could not create an instance: ") +
                        (error != nullptr ? error : "no reason given"));
    }
    instances_.push_back(instance);
    return instance;
}

std::size_t Session::load(ShakeInstance* instance, const std::vector<std::string>& lines) {
    standin::LineReader reader(lines);
    LoadState state = reader.state();
    handler_.load(instance, state);
    return reader.consumed();
}

Session::Motion Session::evaluate(ShakeInstance* instance, int32_t frame, double time,
                                  const double rest[3]) {
    std::memcpy(host_.position, rest, sizeof host_.position);
    Motion motion;
    motion.moved = handler_.evaluate(host_, instance, frame, time);
    std::memcpy(motion.position, host_.position, sizeof motion.position);
    return motion;
}

int Session::openKeyEditor(ShakeInstance* instance) {
    // The interface server takes the edited instance as its local record.
    const ActivateFunc activate = module_->findServer(kInterfaceClass, vrim::kServerName);
    if (activate == nullptr) {
        return -1;
    }
    panelHost_.setScript({standin::PanelAction{standin::PanelAction::Kind::Close, {}, {}, 0}});
    return activate(kInterfaceVersion, host_.global(), instance, nullptr);
}

} // namespace vrim
