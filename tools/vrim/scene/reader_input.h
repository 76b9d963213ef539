// The scene reader's input: bytes from a file, standard input or memory, cut
// into lines without ever holding more than one line.
#pragma once

#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/scene/scene.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vrim::scene {

enum class Ending { None, LF, CRLF };

struct Line {
    std::string_view text; // without its line end; valid until the next line is read
    Ending ending = Ending::None;
    std::uint64_t number = 0; // 1-based
    std::uint64_t begin = 0;  // byte offset of its first byte
    std::uint64_t end = 0;    // one past its line end
};

// Hands out the input's next bytes: a view valid until the next call, empty
// at the end. False on a read error, with error saying why.
using Source = std::function<bool(std::string_view& bytes, std::string& error)>;

class Input {
  public:
    Input() = default;
    // "-" is standard input; a file is read through fs. Throws
    // vrim::ToolError when the path cannot be opened or names a folder.
    static Input openFile(const std::string& path,
                          files::FileSystem& fs = files::systemFileSystem());
    // Bytes held in memory; firstLine and firstByte number them as the part
    // of a file they were cut from.
    static Input fromBytes(std::string_view bytes, std::uint64_t firstLine = 1,
                           std::uint64_t firstByte = 0);
    // Bytes pulled from source as they are wanted, without a copy.
    static Input fromSource(Source source);
    Input(Input&& other) noexcept;
    Input& operator=(Input&& other) noexcept;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input();

    // The next line; false at the end of the input or at a problem (a line
    // longer than kMaxLineBytes, a read error), which problem() then tells.
    bool nextLine(Line& line) {
        // Most lines lie whole in the bytes at hand: those take no more than
        // finding their end. The rest (a line across two reads, the end of
        // the input, one too long) go the long way.
        const void* found =
            bytes_.empty() ? nullptr : std::memchr(bytes_.data(), '\n', bytes_.size());
        if (found == nullptr || !problem_.empty()) {
            return readLine(line);
        }
        const auto count =
            static_cast<std::size_t>(static_cast<const char*>(found) - bytes_.data());
        if (count > kMaxLineBytes) {
            return readLine(line);
        }
        line.text = bytes_.substr(0, count);
        line.ending = Ending::LF;
        if (count > 0 && line.text.back() == '\r') {
            line.text.remove_suffix(1);
            line.ending = Ending::CRLF;
        }
        line.number = ++lines_;
        line.begin = offset_;
        offset_ += count + 1;
        line.end = offset_;
        bytes_.remove_prefix(count + 1);
        return true;
    }
    // The bytes read but not yet handed out as lines: they start a line.
    // Valid until the next call that reads on.
    std::string_view atHand() const { return problem_.empty() ? bytes_ : std::string_view(); }
    // Passes the first count bytes at hand, which hold lines whole lines (a
    // caller that read them from atHand), as if nextLine had handed them out.
    void pass(std::size_t count, std::uint64_t lines) {
        bytes_.remove_prefix(count);
        offset_ += count;
        lines_ += lines;
    }
    bool problem() const { return !problem_.empty(); }
    const std::string& problemText() const { return problem_; }
    std::uint64_t problemLine() const { return problemLine_; }
    std::uint64_t lines() const { return lines_; }
    std::uint64_t bytes() const { return offset_; }
    // Hands every block of the file to onBytes as it is read, for a caller
    // that needs the bytes themselves (a checksum) without reading twice.
    void watch(std::function<void(std::string_view)> onBytes) { watch_ = std::move(onBytes); }
    // Every byte of a file was read: its end was reached without a problem.
    bool readWhole() const { return atEnd_ && problem_.empty(); }

  private:
    // Refills the buffer; false at the end or at a read error.
    bool fill();
    // Reads the next bytes of a file or standard input into the buffer; 0 at
    // the end or at a read error, which problem_ then says.
    std::size_t readBuffer();
    bool readLine(Line& line);
    // The next line's text, its ending and its bytes with the LF, from the
    // bytes at hand and as many reads as it spans (cut past kMaxLineBytes);
    // false when the input ends without one or at a read error.
    bool gatherLine(std::string_view& text, Ending& ending, std::size_t& rawBytes);
    void close();

    std::FILE* file_ = nullptr; // standard input, read through the C library as it was given
    files::FileSystem* fs_ = nullptr;
    files::FileHandle handle_ = files::kNoFile; // a file opened through fs_
    Source source_;
    std::string path_;
    std::vector<char> buffer_;
    std::string_view bytes_; // what is left to hand out of buffer_ or the memory
    bool fromMemory_ = false;
    bool atEnd_ = false;
    std::string carry_; // a line that spans two buffer fills
    std::string problem_;
    std::uint64_t problemLine_ = 0;
    std::uint64_t lines_ = 0;
    std::uint64_t offset_ = 0;
    std::function<void(std::string_view)> watch_;
};

} // namespace vrim::scene
