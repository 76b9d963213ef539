#include "tools/vrim/edit/splice.h"

#include <algorithm>

namespace vrim::edit {

namespace {

constexpr std::size_t kChunk = 256 * 1024;

std::string_view lineEndAt(std::string_view bytes, std::size_t lineEnd) {
    if (lineEnd == std::string_view::npos) {
        return {};
    }
    if (lineEnd > 0 && bytes[lineEnd - 1] == '\r') {
        return "\r\n";
    }
    return "\n";
}

} // namespace

SceneCopier::SceneCopier(files::FileSystem& fs, std::string path, ByteSink every)
    : fs_(fs), path_(std::move(path)), every_(std::move(every)), buffer_(kChunk) {}

SceneCopier::~SceneCopier() {
    if (file_ != files::kNoFile) {
        std::string ignored;
        fs_.close(file_, ignored);
    }
}

bool SceneCopier::open(std::string& error) {
    file_ = fs_.openRead(path_, error);
    return file_ != files::kNoFile;
}

bool SceneCopier::fill(std::string& error) {
    const int64_t got = fs_.read(file_, buffer_.data(), buffer_.size(), error);
    if (got < 0) {
        return false;
    }
    bufferStart_ = 0;
    bufferEnd_ = static_cast<std::size_t>(got);
    hash_.add(buffer_.data(), bufferEnd_);
    if (every_ && got > 0 && !every_(buffer_.data(), bufferEnd_, error)) {
        return false;
    }
    return true;
}

bool SceneCopier::copyTo(uint64_t offset, const ByteSink& sink, std::string& error) {
    while (position_ < offset) {
        if (bufferStart_ == bufferEnd_) {
            if (!fill(error)) {
                return false;
            }
            if (bufferEnd_ == 0) {
                error = "it is shorter than when it was read";
                return false;
            }
        }
        const std::size_t count = static_cast<std::size_t>(
            std::min<uint64_t>(offset - position_, bufferEnd_ - bufferStart_));
        if (sink && !sink(buffer_.data() + bufferStart_, count, error)) {
            return false;
        }
        bufferStart_ += count;
        position_ += count;
    }
    return true;
}

bool SceneCopier::take(uint64_t end, std::string& bytes, std::string& error) {
    bytes.clear();
    return copyTo(
        end,
        [&bytes](const char* data, std::size_t size, std::string&) {
            bytes.append(data, size);
            return true;
        },
        error);
}

bool SceneCopier::finish(uint64_t size, const ByteSink& sink, std::string& error) {
    if (!copyTo(size, sink, error)) {
        return false;
    }
    if (bufferStart_ == bufferEnd_ && !fill(error)) {
        return false;
    }
    if (bufferEnd_ != bufferStart_) {
        error = "it is longer than when it was read";
        return false;
    }
    const files::FileHandle file = file_;
    file_ = files::kNoFile;
    return fs_.close(file, error);
}

std::vector<std::string> blockLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t end = bytes.find('\n', at);
        std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
        if (end == std::string_view::npos) {
            end = bytes.size();
        } else if (end > at && bytes[end - 1] == '\r') {
            --end;
        }
        lines.emplace_back(bytes.substr(at, end - at));
        at = next;
    }
    return lines;
}

std::string blockText(const std::vector<std::string>& lines, std::string_view oldBytes) {
    const std::string_view first = lineEndAt(oldBytes, oldBytes.find('\n'));
    std::string_view last;
    if (!oldBytes.empty() && oldBytes.back() == '\n') {
        last = lineEndAt(oldBytes, oldBytes.size() - 1);
    }
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        // A block always has a first line with an end, unless it is the
        // file's only line; then a new line between its lines is LF.
        text += i + 1 < lines.size() ? (first.empty() ? std::string_view("\n") : first) : last;
    }
    return text;
}

} // namespace vrim::edit
