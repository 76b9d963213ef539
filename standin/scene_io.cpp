#include "standin/scene_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

namespace standin {

LineReader::LineReader(std::vector<std::string> lines) : lines_(std::move(lines)) {}

LoadState LineReader::state() {
    LoadState state{};
    state.readData = this;
    state.read = &LineReader::read;
    return state;
}

int32_t LineReader::read(void* data, char* buffer, int32_t length) {
    auto* reader = static_cast<LineReader*>(data);
    ++reader->reads_;
    if (reader->next_ >= reader->lines_.size() || length <= 0) {
        return -1;
    }
    const std::string& line = reader->lines_[reader->next_++];
    const std::size_t count = std::min(line.size(), static_cast<std::size_t>(length) - 1);
    std::memcpy(buffer, line.data(), count);
    buffer[count] = '\0';
    return static_cast<int32_t>(count);
}

SaveState LineWriter::state() {
    SaveState state{};
    state.writeData = this;
    state.write = &LineWriter::write;
    return state;
}

int32_t LineWriter::write(void* data, const char* text, int32_t length) {
    auto* writer = static_cast<LineWriter*>(data);
    writer->lines.emplace_back(text != nullptr ? text : "");
    writer->byteCounts.push_back(length);
    return length;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start && text[end - 1] == '\r') {
            --end;
        }
        lines.push_back(text.substr(start, end - start));
        start = next;
    }
    return lines;
}

std::vector<KeyBlock> findKeyBlocks(const std::vector<std::string>& lines, const std::string& start,
                                    const std::string& end) {
    std::vector<KeyBlock> blocks;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != start) {
            continue;
        }
        KeyBlock block;
        block.firstLine = i + 1;
        std::size_t j = i;
        for (; j < lines.size(); ++j) {
            block.lines.push_back(lines[j]);
            if (lines[j] == end) {
                block.ended = true;
                break;
            }
        }
        block.lastLine = block.ended ? j + 1 : lines.size();
        i = block.lastLine - 1; // the next block starts after this one
        blocks.push_back(std::move(block));
    }
    return blocks;
}

bool readSceneFile(const std::string& path, std::vector<std::string>& lines, std::string& error) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        // A folder opens like an empty file on some systems.
        error = "'" + path + "' is a folder, not a scene file";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open scene file '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        error = "cannot read scene file '" + path + "'";
        return false;
    }
    lines = splitLines(text.str());
    return true;
}

} // namespace standin
