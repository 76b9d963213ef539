// The host's side of scene files: load and save states over lines of text,
// and the key blocks of a plug-in, between the lines that open and close
// them, found in a scene file.
#pragma once

#include "abi/handler.h"

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

// Hands the module one line per read call, as the host does while loading a
// scene. A read copies at most the buffer length given, NUL included (a
// longer line is cut). Past the last line a read fails: it returns -1 and
// leaves the buffer untouched.
class LineReader {
  public:
    explicit LineReader(std::vector<std::string> lines);
    // Valid while this reader lives.
    LoadState state();
    int reads() const { return reads_; }
    // Lines handed out so far (a failed read past the end does not count).
    std::size_t consumed() const { return next_; }

  private:
    static int32_t read(void* data, char* buffer, int32_t length);
    std::vector<std::string> lines_;
    std::size_t next_ = 0;
    int reads_ = 0;
};

// Keeps every line the module writes, and the byte count each write passed.
class LineWriter {
  public:
    // Valid while this writer lives.
    SaveState state();
    std::vector<std::string> lines;
    std::vector<int32_t> byteCounts;
    int writes() const { return static_cast<int>(lines.size()); }

  private:
    static int32_t write(void* data, const char* text, int32_t length);
};

// One key block of a scene file: from a line that is exactly the plug-in's
// start line up to and including the next line that is exactly its end line,
// or to the end of the file when the block never ends. The host knows where a
// plug-in's data lies without reading it; how the lines inside are read is
// the module's business, so a block is handed to it whole.
struct KeyBlock {
    std::size_t firstLine = 0; // 1-based line number of the start line
    std::size_t lastLine = 0;  // 1-based line number of the end line, or of the file's last line
    bool ended = false;        // false: the file ended inside the block
    std::vector<std::string> lines; // the block's lines, first and last included
};

// Splits text into lines: LF or CRLF line ends, the final line end optional;
// the lines come without their line ends.
std::vector<std::string> splitLines(const std::string& text);

// Every key block in a scene's lines, in file order, between the lines that
// open and close the plug-in's blocks (the driver of the module names them).
std::vector<KeyBlock> findKeyBlocks(const std::vector<std::string>& lines, const std::string& start,
                                    const std::string& end);

// Reads a scene file into lines (splitLines: LF or CRLF, final line end
// optional); false with error set (one line) when it cannot be read.
bool readSceneFile(const std::string& path, std::vector<std::string>& lines, std::string& error);

} // namespace standin
