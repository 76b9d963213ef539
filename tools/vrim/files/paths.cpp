#include "tools/vrim/files/paths.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace vrim::files {

#ifdef _WIN32

std::wstring wide(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int count =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(count > 0 ? count : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), count);
    return out;
}

std::string utf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(count > 0 ? count : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), count,
                        nullptr, nullptr);
    return out;
}

std::filesystem::path pathOf(const std::string& text) {
    return std::filesystem::path(wide(text));
}

std::string textOf(const std::filesystem::path& path) {
    return utf8(path.native());
}

std::string genericTextOf(const std::filesystem::path& path) {
    return utf8(path.generic_wstring());
}

std::FILE* openFile(const std::string& path, const char* mode) {
    return _wfopen(wide(path).c_str(), wide(mode).c_str());
}

std::vector<std::string> commandArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        out.push_back(utf8(arguments[i]));
    }
    LocalFree(arguments);
    return out;
}

#else

std::filesystem::path pathOf(const std::string& text) {
    return std::filesystem::path(text);
}

std::string textOf(const std::filesystem::path& path) {
    return path.native();
}

std::string genericTextOf(const std::filesystem::path& path) {
    return path.generic_string();
}

std::FILE* openFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

std::vector<std::string> commandArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

#endif

} // namespace vrim::files
