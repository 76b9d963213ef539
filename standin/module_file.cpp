#include "standin/standin.h"

#include <cstring>
#include <vector>

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

#if defined(_WIN32)
// Paths are UTF-8, as the tool that drives the host spells them; Windows
// takes them as UTF-16 (its narrow calls would read the ANSI code page).
std::wstring widePath(const std::string& path) {
    const int count =
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(count > 0 ? count : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), out.data(), count);
    return out;
}

std::string utf8Path(const wchar_t* path, int length) {
    const int count = WideCharToMultiByte(CP_UTF8, 0, path, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(count > 0 ? count : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path, length, out.data(), count, nullptr, nullptr);
    return out;
}
#endif

void* openLibrary(const std::string& path, std::string& why) {
#if defined(_WIN32)
    HMODULE library = LoadLibraryW(widePath(path).c_str());
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
    // The longest path Windows makes, not MAX_PATH: a deep install folder
    // would be cut short.
    std::vector<wchar_t> buffer(32768);
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    path = utf8Path(buffer.data(), static_cast<int>(length));
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
