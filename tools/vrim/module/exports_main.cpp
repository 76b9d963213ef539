// vrim_exports FILE: the names a module file exports, one per line, read
// from the file (a Windows image or an ELF file, on any platform). Exit 0,
// or 2 with one line on standard error when the file cannot be read as
// either.
#include "tools/vrim/files/paths.h"
#include "tools/vrim/module/exports.h"

#include <cstdio>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = vrim::files::commandArguments(argc, argv);
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: vrim_exports MODULE-FILE\n");
        return 2;
    }
    std::string fault;
    const std::vector<std::string> names = vrim::fileExports(arguments[1], fault);
    if (!fault.empty()) {
        std::fprintf(stderr, "vrim_exports: %s\n", fault.c_str());
        return 2;
    }
    for (const std::string& name : names) {
        std::printf("%s\n", name.c_str());
    }
    return std::fflush(stdout) == 0 ? 0 : 2;
}
