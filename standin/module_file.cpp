#include "standin/standin.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace standin {

namespace {

// A bare file name would send dlopen searching the library path; the host
// opens the file it was given.
std::string asFilePath(const std::string& path) {
    if (path.find('/') == std::string::npos && path.find('\\') == std::string::npos) {
        return "./" + path;
    }
    return path;
}

void* openLibrary(const std::string& path, std::string& why) {
#if defined(_WIN32)
    HMODULE library = LoadLibraryA(path.c_str());
    if (library == nullptr) {
        why = "error " + std::to_string(GetLastError());
    }
    return reinterpret_cast<void*>(library);
#else
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* text = dlerror();
        why = text != nullptr ? text : "unknown error";
    }
    return library;
#endif
}

void* findSymbol(void* library, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

void closeLibrary(void* library) {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(library));
#else
    dlclose(library);
#endif
}

} // namespace

std::unique_ptr<ModuleFile> ModuleFile::open(const std::string& path, std::string& error,
                                             Refusal* refusal) {
    Refusal ignored = Refusal::None;
    Refusal& why = refusal != nullptr ? *refusal : ignored;
    why = Refusal::None;
    std::string reason;
    void* library = openLibrary(asFilePath(path), reason);
    if (library == nullptr) {
        error = "cannot load module file '" + path + "': " + reason;
        why = Refusal::NotALibrary;
        return nullptr;
    }
    auto* descriptor = static_cast<const ModuleDescriptor*>(findSymbol(library, "_mod_descrip"));
    if (descriptor == nullptr) {
        closeLibrary(library);
        error = "'" + path + "' is not a plug-in module: it exports no _mod_descrip";
        why = Refusal::NoDescriptor;
        return nullptr;
    }
    if (descriptor->syncMagic != kModuleMagic) {
        closeLibrary(library);
        error = "'" + path + "' is not a plug-in module: wrong descriptor magic";
        why = Refusal::Refused;
        return nullptr;
    }
    std::unique_ptr<ModuleFile> module(new ModuleFile());
    module->library_ = library;
    module->descriptor_ = descriptor;
    module->path_ = path;
    if (descriptor->startup != nullptr) {
        module->startupToken_ = descriptor->startup();
    }
    if (module->startupToken_ == nullptr) {
        error = "'" + path + "': module startup failed";
        why = Refusal::Refused;
        return nullptr; // the destructor still unloads it
    }
    return module;
}

ModuleFile::~ModuleFile() {
    if (descriptor_ != nullptr && startupToken_ != nullptr && descriptor_->shutdown != nullptr) {
        descriptor_->shutdown(startupToken_);
    }
    if (library_ != nullptr) {
        closeLibrary(library_);
    }
}

std::vector<ServerRecord> ModuleFile::servers() const {
    std::vector<ServerRecord> rows;
    for (const ServerRecord* row = descriptor_->servers;
         row != nullptr &&
         (row->serverClass != nullptr || row->serverName != nullptr || row->activate != nullptr);
         ++row) {
        rows.push_back(*row);
    }
    return rows;
}

ActivateFunc ModuleFile::findServer(const std::string& serverClass, const std::string& name) const {
    for (const ServerRecord& row : servers()) {
        if (row.serverClass != nullptr && row.serverName != nullptr &&
            serverClass == row.serverClass && name == row.serverName) {
            return row.activate;
        }
    }
    return nullptr;
}

void* ModuleFile::symbol(const char* name) const {
    return findSymbol(library_, name);
}

MemoryProbe* ModuleFile::memoryProbe() const {
    auto probe = reinterpret_cast<MemoryProbeFunc>(symbol(kMemoryProbeSymbol));
    return probe != nullptr ? probe() : nullptr;
}

std::string executableDirectory() {
    std::string path;
#if defined(_WIN32)
    char buffer[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    path.assign(buffer, length);
#else
    char buffer[4096];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length > 0) {
        path.assign(buffer, static_cast<size_t>(length));
    }
#endif
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

} // namespace standin
