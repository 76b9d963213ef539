// Copying a scene file byte for byte while key blocks are put back in place
// of the old ones. The copy streams: it holds one chunk of the file and one
// key block at a time, whatever the file's size.
#pragma once

#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/files/replace_file.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vrim::edit {

// Takes bytes on their way; false with error set stops the copy.
using ByteSink = std::function<bool(const char* data, std::size_t size, std::string& error)>;

// What the copy reads at once.
constexpr std::size_t kCopyPieceBytes = 128 * 1024;

class SceneCopier {
  public:
    // every, when set, receives every byte read (a backup of the file).
    SceneCopier(files::FileSystem& fs, std::string path, ByteSink every = {});
    ~SceneCopier();
    SceneCopier(const SceneCopier&) = delete;
    SceneCopier& operator=(const SceneCopier&) = delete;

    bool open(std::string& error);
    // Reads the next piece of the file for a scene reader (bytes, valid
    // until the next call; empty at the end). The bytes read so far before
    // keepFrom are copied to sink first; those from keepFrom on are held
    // until copyTo or take reaches them, so one read serves the reader and
    // the copy.
    bool pull(std::string_view& bytes, uint64_t keepFrom, const ByteSink& sink, std::string& error);
    // Copies the bytes from the current position up to offset to sink (none:
    // passes them by).
    bool copyTo(uint64_t offset, const ByteSink& sink, std::string& error);
    // Reads the bytes from the current position up to end into bytes instead
    // of copying them.
    bool take(uint64_t end, std::string& bytes, std::string& error);
    // Copies the rest of the file and closes it; false when the file ended
    // early or went on past size.
    bool finish(uint64_t size, const ByteSink& sink, std::string& error);

    uint64_t position() const { return position_; }
    // The hash of every byte read so far.
    uint64_t hash() const { return hash_.value(); }

  private:
    files::FileSystem& fs_;
    std::string path_;
    ByteSink every_;
    files::FileHandle file_ = files::kNoFile;
    // Where a piece is read when it cannot be mapped; left untouched, and so
    // out of memory, when it can.
    std::unique_ptr<char[]> buffer_;
    const char* piece_ = nullptr;            // the piece read last: the file's bytes
    uint64_t pieceStart_ = 0, pieceEnd_ = 0; // [pieceStart_, pieceEnd_)
    std::string held_;                       // from heldAt_ on: [position_, pieceStart_)
    std::size_t heldAt_ = 0;
    uint64_t position_ = 0; // the bytes before it are copied or passed by
    files::ContentHash hash_;

    // Reads the piece after the current one; the current one must be done
    // with or held.
    bool fill(std::string& error);
};

// The text that replaces oldBytes: every line ended as oldBytes' first line
// is, the last one as oldBytes' last line is (which may be no end at all, at
// the end of the file). So an LF or CRLF block stays one, and a block in a
// file of mixed line ends takes its own.
std::string blockText(const std::vector<std::string>& lines, std::string_view oldBytes);

} // namespace vrim::edit
