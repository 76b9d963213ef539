#include "tools/vrim/edit/splice.h"

#include <algorithm>

namespace vrim::edit {

namespace {

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
    : fs_(fs), path_(std::move(path)), every_(std::move(every)),
      buffer_(std::make_unique_for_overwrite<char[]>(kCopyPieceBytes)) {}

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
    const int64_t got = fs_.readInPlace(file_, piece_, buffer_.get(), kCopyPieceBytes, error);
    if (got < 0) {
        return false;
    }
    pieceStart_ = pieceEnd_;
    pieceEnd_ += static_cast<uint64_t>(got);
    hash_.add(piece_, static_cast<std::size_t>(got));
    if (every_ && got > 0 && !every_(piece_, static_cast<std::size_t>(got), error)) {
        return false;
    }
    return true;
}

bool SceneCopier::pull(std::string_view& bytes, uint64_t keepFrom, const ByteSink& sink,
                       std::string& error) {
    if (!copyTo(std::min(keepFrom, pieceEnd_), sink, error)) {
        return false;
    }
    if (position_ < pieceEnd_) {
        held_.erase(0, heldAt_);
        heldAt_ = 0;
        const uint64_t from = std::max(position_, pieceStart_);
        held_.append(piece_ + (from - pieceStart_), static_cast<std::size_t>(pieceEnd_ - from));
    }
    if (!fill(error)) {
        return false;
    }
    bytes = std::string_view(piece_, static_cast<std::size_t>(pieceEnd_ - pieceStart_));
    return true;
}

bool SceneCopier::copyTo(uint64_t offset, const ByteSink& sink, std::string& error) {
    while (position_ < offset) {
        const char* from = nullptr;
        uint64_t available = 0;
        if (position_ < pieceStart_) {
            from = held_.data() + heldAt_;
            available = pieceStart_ - position_;
        } else if (position_ < pieceEnd_) {
            from = piece_ + (position_ - pieceStart_);
            available = pieceEnd_ - position_;
        } else {
            if (!fill(error)) {
                return false;
            }
            if (pieceEnd_ == pieceStart_) {
                error = "it is shorter than when it was read";
                return false;
            }
            continue;
        }
        const auto count = static_cast<std::size_t>(std::min(offset - position_, available));
        if (sink && !sink(from, count, error)) {
            return false;
        }
        if (position_ < pieceStart_) {
            heldAt_ += count;
        }
        position_ += count;
    }
    if (heldAt_ > 0 && heldAt_ == held_.size()) {
        held_.clear();
        heldAt_ = 0;
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
    if (position_ == pieceEnd_ && !fill(error)) {
        return false;
    }
    if (position_ != pieceEnd_) {
        error = "it is longer than when it was read";
        return false;
    }
    const files::FileHandle file = file_;
    file_ = files::kNoFile;
    return fs_.close(file, error);
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
