#include "tools/vrim/module/session.h"
#include "plugin/identity.h"
#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/files/paths.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace vrim {

namespace {

// The interface version the host asks the key editor for.
constexpr int32_t kInterfaceVersion = 1;

// Which platform a module file was built for, read from its first bytes;
// empty when they say nothing known.
std::string builtFor(const std::string& path) {
    std::string error;
    files::ReadingFile file(files::systemFileSystem(), path, error);
    unsigned char head[64] = {};
    if (!file.isOpen() || file.readFull(reinterpret_cast<char*>(head), sizeof head, error) !=
                              static_cast<int64_t>(sizeof head)) {
        return "";
    }
    if (head[0] == 0x7f && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') {
        return head[4] == 2 ? "a 64-bit Linux module" : "a 32-bit Linux module";
    }
    if (head[0] != 'M' || head[1] != 'Z') {
        return "";
    }
    // The PE header's offset stands at 0x3c; the machine follows "PE\0\0".
    const uint32_t at = uint32_t{head[0x3c]} | uint32_t{head[0x3d]} << 8 |
                        uint32_t{head[0x3e]} << 16 | uint32_t{head[0x3f]} << 24;
    unsigned char pe[6] = {};
    if (file.fs().seek(file.handle(), at, error) &&
        file.readFull(reinterpret_cast<char*>(pe), sizeof pe, error) ==
            static_cast<int64_t>(sizeof pe) &&
        pe[0] == 'P' && pe[1] == 'E' && pe[2] == 0 && pe[3] == 0) {
        const unsigned machine = unsigned{pe[4]} | unsigned{pe[5]} << 8;
        if (machine == 0x8664) {
            return "a 64-bit Windows module";
        }
        if (machine == 0x014c) {
            return "a 32-bit Windows module";
        }
    }
    return "a Windows module";
}

// Whether path leads to something, and whether that is a plain file.
bool exists(const std::string& path) {
    files::FileInfo info;
    std::string ignored;
    return files::systemFileSystem().stat(path, info, ignored);
}

bool isRegularFile(const std::string& path) {
    files::FileInfo info;
    std::string ignored;
    return files::systemFileSystem().stat(path, info, ignored) && info.regular();
}

// Why a module file for another platform cannot be driven here, and how it can be.
std::string otherPlatform(const std::string& path) {
    const std::string kind = builtFor(path);
#if defined(_WIN32)
    if (kind.find("Linux") != std::string::npos) {
        return "'" + path + "' is " + kind +
               ": vrim.exe drives Windows modules; drive it with the Linux vrim (vrim --module " +
               path + " ...)";
    }
    if (kind == "a 64-bit Windows module") {
        return "'" + path + "' is " + kind +
               ": the host and vrim.exe are 32-bit and drive 32-bit modules only";
    }
#else
    if (kind.find("Windows") != std::string::npos) {
        return "'" + path + "' is " + kind +
               ": this vrim drives Linux modules; drive it with vrim.exe under Wine (wine "
               "vrim.exe COMMAND --module " +
               path + " ...)";
    }
#endif
    return "";
}

// The motion access of evaluateOnThisThread: its calls carry no context,
// so the position they read and write is the calling thread's (one record,
// found once a call).
struct ThreadMotion {
    double* position = nullptr;
    bool moved = false;
};
thread_local ThreadMotion threadMotion;

void threadGetParam(int /*param*/, double /*time*/, double value[3]) {
    std::memcpy(value, threadMotion.position, 3 * sizeof(double));
}

void threadSetParam(int /*param*/, const double value[3]) {
    ThreadMotion& motion = threadMotion;
    std::memcpy(motion.position, value, 3 * sizeof(double));
    motion.moved = true;
}

} // namespace

std::string defaultModulePath() {
    const char* named = std::getenv("VRIM_MODULE");
    if (named != nullptr && named[0] != '\0') {
        return named;
    }
    const std::string beside = standin::executableDirectory() + "vrim_s.p";
    const std::filesystem::path installed =
        files::pathOf(standin::executableDirectory() + VRIM_MODULE_FROM_BIN "vrim_s.p")
            .lexically_normal();
    if (!exists(beside) && exists(files::textOf(installed))) {
        return files::textOf(installed);
    }
    return beside;
}

std::string moduleLine() {
    const std::string path = defaultModulePath();
    return "module: " + path + (isRegularFile(path) ? "" : " (not found)");
}

Session::Session(const std::string& modulePath) {
    host_.logMotion = false;    // a long preview would keep every call
    panelHost_.keepLog = false; // a report opens the key editor for every item
    host_.panelServices = panelHost_.services();
    std::string error;
    module_ = standin::ModuleFile::open(modulePath, error);
    if (module_ == nullptr) {
        const std::string other = otherPlatform(modulePath);
        throw ToolError(other.empty() ? error : other);
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

Session::Motion Session::evaluateOnThisThread(ShakeInstance* instance, int32_t frame, double time,
                                              const double rest[3]) const {
    Motion motion;
    std::memcpy(motion.position, rest, sizeof motion.position);
    ThreadMotion& mine = threadMotion;
    mine = {motion.position, false};
    MotionAccess access{};
    access.frame = frame;
    access.time = time;
    access.getParam = threadGetParam;
    access.setParam = threadSetParam;
    handler_.record.evaluate(instance, &access);
    motion.moved = mine.moved;
    mine.position = nullptr;
    return motion;
}

int Session::openKeyEditor(ShakeInstance* instance) {
    // A user who closes the panel as soon as it shows.
    return runKeyEditor(instance, [](standin::Panel&) {
        return std::optional<standin::PanelAction>({standin::PanelAction::Kind::Close, {}, {}, 0});
    });
}

int Session::runKeyEditor(
    ShakeInstance* instance,
    std::function<std::optional<standin::PanelAction>(standin::Panel&)> user) {
    // The interface server takes the edited instance as its local record.
    const ActivateFunc activate = module_->findServer(kInterfaceClass, vrim::kServerName);
    if (activate == nullptr) {
        return -1;
    }
    panelHost_.setScript({});
    panelHost_.user = std::move(user);
    const int code = activate(kInterfaceVersion, host_.global(), instance, nullptr);
    panelHost_.user = nullptr;
    // Nothing of an opening is looked at again: keep the host's records from
    // growing with every block a command lists.
    panelHost_.forgetDestroyed();
    host_.lookups.clear();
    host_.messages.clear();
    return code;
}

std::vector<std::string> Session::save(ShakeInstance* instance) {
    standin::LineWriter writer;
    handler_.save(instance, writer.state());
    return writer.lines;
}

void Session::release(ShakeInstance* instance) {
    const auto found = std::find(instances_.begin(), instances_.end(), instance);
    if (found != instances_.end()) {
        instances_.erase(found);
        handler_.destroy(instance);
    }
}

} // namespace vrim
