// Paths inside the tool are UTF-8 text on every system. On Windows the
// system's own calls take UTF-16, and the narrow ones take the ANSI code
// page, which cannot spell most names; so every path goes to the system
// through the one conversion here. Elsewhere a path is handed on byte for
// byte, as the system stores it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vrim::files {

#ifdef _WIN32
// UTF-8 to UTF-16 and back; bytes or units that spell no character become
// U+FFFD.
std::wstring wide(std::string_view text);
std::string utf8(std::wstring_view text);
#endif

// A path as the standard library takes it.
std::filesystem::path pathOf(const std::string& text);
// A standard library path as the tool's text: with the system's own
// separators, or with "/" (generic).
std::string textOf(const std::filesystem::path& path);
std::string genericTextOf(const std::filesystem::path& path);

// std::fopen of a UTF-8 path.
std::FILE* openFile(const std::string& path, const char* mode);

// The program's arguments, the program's name first, in UTF-8: on Windows
// read again from the wide command line, as argv holds them in the ANSI
// code page.
std::vector<std::string> commandArguments(int argc, char** argv);

} // namespace vrim::files
