// The scene reader's input: bytes from a file, standard input or memory, cut
// into lines without ever holding more than one line.
#pragma once

#include <cstdint>
#include <cstdio>
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
    // "-" is standard input. Throws vrim::ToolError when the path cannot be
    // opened or names a folder.
    static Input openFile(const std::string& path);
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
    bool nextLine(Line& line);
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
    void close();

    std::FILE* file_ = nullptr;
    Source source_;
    bool ownsFile_ = false;
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
