#include "tools/vrim/module/exports.h"
#include "tools/vrim/files/filesystem.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace vrim {

namespace {

// A module file is small (tens of kilobytes); anything far larger is not one.
constexpr std::size_t kMaxFileBytes = 64u << 20;

template <typename T> bool readAt(const std::string& file, uint64_t offset, T& value) {
    if (offset > file.size() || file.size() - offset < sizeof value) {
        return false;
    }
    std::memcpy(&value, file.data() + offset, sizeof value);
    return true;
}

// A NUL-terminated name at offset, or false when it runs off the file.
bool nameAt(const std::string& file, uint64_t offset, std::string& name) {
    if (offset >= file.size()) {
        return false;
    }
    const std::size_t end = file.find('\0', static_cast<std::size_t>(offset));
    if (end == std::string::npos) {
        return false;
    }
    name.assign(file, static_cast<std::size_t>(offset), end - static_cast<std::size_t>(offset));
    return true;
}

// ---------------------------------------------------------------------------
// Windows images

struct PeSection {
    uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

// Where the bytes of an address relative to the image lie in the file.
bool fileOffset(const std::vector<PeSection>& sections, uint32_t rva, uint64_t& offset) {
    for (const PeSection& section : sections) {
        const uint32_t size = std::max(section.virtualSize, section.rawSize);
        if (rva >= section.virtualAddress && rva - section.virtualAddress < size) {
            if (rva - section.virtualAddress >= section.rawSize) {
                return false; // in memory only: no bytes in the file
            }
            offset = uint64_t{section.rawOffset} + (rva - section.virtualAddress);
            return true;
        }
    }
    return false;
}

// Where a Windows image's headers say its sections and exports are.
struct PeLayout {
    uint64_t optional = 0; // the optional header's offset
    uint16_t optionalSize = 0, sectionCount = 0;
    uint32_t exportRva = 0, exportSize = 0;
};

bool peLayout(const std::string& file, PeLayout& layout, std::string& fault) {
    uint32_t peAt = 0;
    char signature[4];
    uint16_t magic = 0;
    if (!readAt(file, 0x3c, peAt) || !readAt(file, peAt, signature) ||
        std::memcmp(signature, "PE\0\0", 4) != 0 || !readAt(file, peAt + 6, layout.sectionCount) ||
        !readAt(file, peAt + 20, layout.optionalSize) || !readAt(file, peAt + 24, magic)) {
        fault = "the Windows image's headers are cut short or damaged";
        return false;
    }
    layout.optional = uint64_t{peAt} + 24;
    // The export directory is the first data directory entry.
    const uint64_t directories = layout.optional + (magic == 0x20b ? 112 : 96);
    if ((magic != 0x10b && magic != 0x20b) ||
        directories + 8 > layout.optional + layout.optionalSize ||
        !readAt(file, directories, layout.exportRva) ||
        !readAt(file, directories + 4, layout.exportSize)) {
        fault = "the Windows image has no readable optional header";
        return false;
    }
    return true;
}

bool peSections(const std::string& file, const PeLayout& layout, std::vector<PeSection>& sections,
                std::string& fault) {
    for (uint16_t i = 0; i < layout.sectionCount; ++i) {
        const uint64_t at = layout.optional + layout.optionalSize + uint64_t{i} * 40;
        PeSection section{};
        if (!readAt(file, at + 8, section.virtualSize) ||
            !readAt(file, at + 12, section.virtualAddress) ||
            !readAt(file, at + 16, section.rawSize) || !readAt(file, at + 20, section.rawOffset)) {
            fault = "a section header of the Windows image is cut short";
            return false;
        }
        sections.push_back(section);
    }
    return true;
}

// The names of the export directory at directory, then the exports by
// ordinal alone; as far as they could be read when fault is set.
std::vector<std::string> peExportNames(const std::string& file,
                                       const std::vector<PeSection>& sections, uint64_t directory,
                                       std::string& fault) {
    uint32_t base = 0, functionCount = 0, nameCount = 0, namesRva = 0;
    if (!readAt(file, directory + 16, base) || !readAt(file, directory + 20, functionCount) ||
        !readAt(file, directory + 24, nameCount) || !readAt(file, directory + 32, namesRva)) {
        fault = "the export directory lies outside the file";
        return {};
    }
    std::vector<std::string> exported;
    uint64_t names = 0;
    if (nameCount > 0 && !fileOffset(sections, namesRva, names)) {
        fault = "the export name table lies outside the file";
        return {};
    }
    for (uint32_t i = 0; i < nameCount; ++i) {
        uint32_t nameRva = 0;
        uint64_t at = 0;
        std::string name;
        if (!readAt(file, names + uint64_t{i} * 4, nameRva) || !fileOffset(sections, nameRva, at) ||
            !nameAt(file, at, name)) {
            fault = "an export name lies outside the file";
            return exported;
        }
        exported.push_back(name);
    }
    // An export by ordinal alone has no name but is an export all the same.
    for (uint32_t i = nameCount; i < functionCount && i - nameCount < 65536; ++i) {
        exported.push_back("ordinal " + std::to_string(uint64_t{base} + i));
    }
    return exported;
}

std::vector<std::string> peExports(const std::string& file, std::string& fault) {
    PeLayout layout;
    if (!peLayout(file, layout, fault)) {
        return {};
    }
    if (layout.exportRva == 0 || layout.exportSize == 0) {
        return {};
    }
    std::vector<PeSection> sections;
    if (!peSections(file, layout, sections, fault)) {
        return {};
    }
    uint64_t directory = 0;
    if (!fileOffset(sections, layout.exportRva, directory)) {
        fault = "the export directory lies outside the file";
        return {};
    }
    return peExportNames(file, sections, directory, fault);
}

// ---------------------------------------------------------------------------
// ELF files

// The defined, visible symbols of the file's dynamic symbol table. Both ELF
// classes share field names, so one template reads either.
template <typename Header, typename Section, typename Symbol>
std::vector<std::string> dynamicSymbols(const std::string& file, std::string& fault) {
    Header header;
    std::vector<std::string> exported;
    if (!readAt(file, 0, header)) {
        fault = "the ELF header is cut short";
        return {};
    }
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        Section table;
        if (!readAt(file, header.e_shoff + uint64_t{i} * header.e_shentsize, table)) {
            fault = "a section header is cut short";
            return {};
        }
        if (table.sh_type != 11 /* SHT_DYNSYM */ || table.sh_entsize == 0) {
            continue;
        }
        Section strings;
        if (!readAt(file, header.e_shoff + uint64_t{table.sh_link} * header.e_shentsize, strings)) {
            fault = "the dynamic string table is missing";
            return {};
        }
        for (uint64_t at = table.sh_offset;
             at + table.sh_entsize <= table.sh_offset + table.sh_size; at += table.sh_entsize) {
            Symbol symbol;
            if (!readAt(file, at, symbol)) {
                break;
            }
            const unsigned binding = symbol.st_info >> 4;
            const unsigned visibility = symbol.st_other & 3;
            const bool global = binding == 1 /* GLOBAL */ || binding == 2 /* WEAK */ ||
                                binding == 10 /* GNU_UNIQUE */;
            const bool visible = visibility == 0 /* DEFAULT */ || visibility == 3 /* PROTECTED */;
            if (symbol.st_shndx == 0 /* undefined */ || !global || !visible) {
                continue;
            }
            std::string name;
            if (!nameAt(file, uint64_t{strings.sh_offset} + symbol.st_name, name)) {
                fault = "a symbol name lies outside the file";
                return {};
            }
            exported.push_back(name);
        }
    }
    return exported;
}

struct Elf32Header {
    unsigned char e_ident[16];
    uint16_t e_type, e_machine;
    uint32_t e_version, e_entry, e_phoff, e_shoff, e_flags;
    uint16_t e_ehsize, e_phentsize, e_phnum, e_shentsize, e_shnum, e_shstrndx;
};
struct Elf32Section {
    uint32_t sh_name, sh_type, sh_flags, sh_addr, sh_offset, sh_size, sh_link, sh_info,
        sh_addralign, sh_entsize;
};
struct Elf32Symbol {
    uint32_t st_name, st_value, st_size;
    unsigned char st_info, st_other;
    uint16_t st_shndx;
};
struct Elf64Header {
    unsigned char e_ident[16];
    uint16_t e_type, e_machine;
    uint32_t e_version;
    uint64_t e_entry, e_phoff, e_shoff;
    uint32_t e_flags;
    uint16_t e_ehsize, e_phentsize, e_phnum, e_shentsize, e_shnum, e_shstrndx;
};
struct Elf64Section {
    uint32_t sh_name, sh_type;
    uint64_t sh_flags, sh_addr, sh_offset, sh_size;
    uint32_t sh_link, sh_info;
    uint64_t sh_addralign, sh_entsize;
};
struct Elf64Symbol {
    uint32_t st_name;
    unsigned char st_info, st_other;
    uint16_t st_shndx;
    uint64_t st_value, st_size;
};

} // namespace

std::vector<std::string> fileExports(const std::string& path, std::string& fault) {
    std::string error;
    files::ReadingFile in(files::systemFileSystem(), path, error);
    if (!in.isOpen()) {
        fault = "cannot open '" + path + "'";
        return {};
    }
    files::FileInfo info;
    if (!in.fs().statOpen(in.handle(), info, error)) {
        fault = "cannot read '" + path + "'";
        return {};
    }
    if (info.size > kMaxFileBytes) {
        fault = "'" + path + "' is larger than any module file";
        return {};
    }
    std::string file(static_cast<std::size_t>(info.size), '\0');
    if (in.readFull(file.data(), file.size(), error) != static_cast<int64_t>(file.size())) {
        fault = "cannot read '" + path + "'";
        return {};
    }
    if (file.size() >= 64 && file.compare(0, 2, "MZ") == 0) {
        return peExports(file, fault);
    }
    if (file.size() >= 16 &&
        file.compare(0, 4,
                     "\x7f"
                     "ELF") == 0 &&
        file[5] == 1) {
        return file[4] == 2 ? dynamicSymbols<Elf64Header, Elf64Section, Elf64Symbol>(file, fault)
                            : dynamicSymbols<Elf32Header, Elf32Section, Elf32Symbol>(file, fault);
    }
    fault = "'" + path + "' is neither a Windows image nor a little-endian ELF file";
    return {};
}

} // namespace vrim
