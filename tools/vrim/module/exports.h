// What a module file exports, read from the file itself: the names in a
// Windows image's export directory (PE32 and PE32+), or the defined, visible
// symbols of an ELF file's dynamic symbol table (either class). A host finds
// a module's descriptor by one of these names, so a module should offer no
// other. The validator, the module-file test and the footprint report all
// read exports here, whichever platform they run on.
#pragma once

#include <string>
#include <vector>

namespace vrim {

// The exported names in file order; an export by ordinal alone as
// "ordinal N". On a file that is neither format, or is cut short or
// damaged, fault is set to one line and what was read so far is returned.
std::vector<std::string> fileExports(const std::string& path, std::string& fault);

} // namespace vrim
