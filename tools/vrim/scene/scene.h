// The scene model of the vrim tool: a streaming reader of host scene files.
//
// How to use it
// -------------
//   vrim::scene::Reader reader = vrim::scene::Reader::open(path); // "-": standard input
//   for (;;) {
//       const vrim::scene::Event event = reader.next();
//       if (event == vrim::scene::Event::Item) {
//           use(reader.item());            // every item, with or without a shake
//       } else if (event == vrim::scene::Event::Block) {
//           use(reader.block());           // one VRIM_S key block, with its item
//       } else {
//           break;                         // Event::End: the file is read, or reading stopped
//       }
//   }
//   reader.header();    // FramesPerSecond, FirstFrame, LastFrame, FrameStep seen so far
//   reader.problems();  // what is wrong with the file, each with its line
//   reader.stopped();   // true when a problem stopped the reading before the file's end
//
// The reader never holds the file: it keeps the line it is on (at most
// kMaxLineBytes), the key block it is on (at most kMaxBlockBytes and
// kMaxBlockLines), the header values, the item that lines belong to, and the
// table of the names that address a block so far (at most kMaxDistinctNames
// names of at most kMaxNameBytes bytes as written). Whatever goes past one
// of these bounds is a problem that stops the reading, reported with its line
// number; the input is never read whole into memory, so the tool's memory
// stays bounded on any input, an endless one included.
//
// item() and block() stay valid until the next call of next(). header() grows
// as the header lines go by: a host writes them before its first item, so by
// the first block they are all known; after Event::End it holds every value
// of the file.
//
// Lines: LF or CRLF ends a line (a lone CR does not); the last line's end is
// optional. Line numbers count from 1; byte offsets from 0, from the start of
// the input. Spans include their last line's line end (when it has one), so
// copying the bytes outside [begin, end) and writing new text in their place
// keeps every other byte of the file as it was.
//
// Names: the bytes of a name line decoded to UTF-8 as nameEncoding() says
// (by default UTF-8 when the name is valid UTF-8, else Windows-1252).
//
// Addresses: every key block has one, what --item takes. The first block
// of an item name is addressed by the name itself; every other block is
// addressed NAME@N, N its block number: a second item of one name, a second
// VRIM_S modifier on one item, and a block before any item line (which has
// no name: "@N"). A real name that itself ends in "@" and digits is also
// addressed NAME@N, so a generated address never equals a name that stands
// for itself, and no two blocks share an address. Past kMaxDistinctNames
// names, a block of a name not yet seen is addressed NAME@N too. A NUL byte
// of a name, which no command line can carry, is "\x00" in its address.
//
// What the reader knows of the host's scene lines:
//   FramesPerSecond R, FirstFrame N, LastFrame N, FrameStep N   (the header;
//       the first of each counts)
//   LoadObject PATH, LoadObjectLayer LAYER [ID] PATH   (object: the file name
//       without folder, '/' or '\', and without extension)
//   AddNullObject [ID] NAME                            (null object)
//   AddCamera [ID] then CameraName NAME                (camera)
//   AddLight [ID] then LightName NAME                  (light)
//   AddBone [ID] then BoneName NAME                    (bone)
//   Plugin ItemMotionHandler N VRIM_S ... EndPlugin    (a key block of the item
//       whose line came last before it)
//   VRIM_START ... VRIM_END outside any Plugin lines   (a bare key block)
// The data of other plug-ins (Plugin ... EndPlugin) is passed over unread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/names.h"
#include "tools/vrim/files/filesystem.h"

namespace vrim::scene {

// How names are decoded; the tool sets it once from --encoding, before any
// scene is read.
void setNameEncoding(text::Encoding encoding);
text::Encoding nameEncoding();

// Bounds of what the reader holds at once.
constexpr std::size_t kMaxLineBytes = 1024 * 1024;      // one line, its line end not counted
constexpr std::size_t kMaxBlockBytes = 4 * 1024 * 1024; // one key block's lines
constexpr std::size_t kMaxBlockLines = 100000;          // one key block's lines
constexpr std::size_t kMaxNameBytes = 256;              // one item name, as written
constexpr std::size_t kMaxDistinctNames = 50000;        // names held to keep addresses apart

// One header value: "FramesPerSecond 24" gives text "24" and number 24.
struct HeaderValue {
    std::uint64_t line = 0; // where it stands
    std::string text;       // as written after the keyword, blanks around it removed
    bool isNumber = false;  // the whole text is one finite decimal number
    double number = 0.0;    // its value when isNumber
};

// The scene's header values; each absent when the file (so far) has none.
struct Header {
    std::optional<HeaderValue> framesPerSecond;
    std::optional<HeaderValue> firstFrame;
    std::optional<HeaderValue> lastFrame;
    std::optional<HeaderValue> frameStep;
};

enum class ItemKind { Object, Null, Camera, Light, Bone };
// "object", "null", "camera", "light", "bone".
const char* itemKindName(ItemKind kind);

struct Item {
    std::size_t number = 0; // 1-based, in file order, over every item of the file
    ItemKind kind = ItemKind::Object;
    std::string name;         // as the scene names it, decoded to UTF-8
    std::uint64_t line = 0;   // the item's own line (LoadObject..., AddNullObject, AddCamera...)
    std::uint64_t offset = 0; // byte offset of the start of that line
};

enum class LineEnd {
    None,  // no line of the block has a line end (a last line at the end of the file)
    LF,    // every line that has one ends in LF
    CRLF,  // every line that has one ends in CR LF
    Mixed, // both
};

// Lines [firstLine, lastLine] of the input, which are bytes [begin, end).
struct Span {
    std::uint64_t firstLine = 0;
    std::uint64_t lastLine = 0;
    std::uint64_t begin = 0;
    std::uint64_t end = 0; // one past the last line's line end
};

// One key block of VRIM_S.
struct Block {
    std::size_t number = 0;   // 1-based, in file order (what --block N counts)
    std::optional<Item> item; // the item whose line came last before it; none: no item line yet
    std::string address;      // what --item takes: the item's name, or NAME@N (see above)
    bool wrapped = false;     // inside "Plugin ItemMotionHandler N VRIM_S" ... "EndPlugin"
    // wrapped: the Plugin line to the EndPlugin line; bare: VRIM_START to
    // VRIM_END. Both ends included; a block the file ends inside ends at the
    // file's last line.
    Span whole;
    // The "VRIM_START" line to the "VRIM_END" line alone, both included;
    // absent when a wrapped block has no line that is exactly "VRIM_START".
    // Ends at the last line of the block when no "VRIM_END" line follows.
    std::optional<Span> data;
    bool ended = false;              // a "VRIM_END" line closes the data
    bool closed = false;             // wrapped: an "EndPlugin" line closes it (bare: = ended)
    LineEnd lineEnd = LineEnd::None; // of the lines of whole
    // The lines the host hands the module's load callback, without line
    // ends: wrapped, every line between the Plugin line and the EndPlugin
    // line; bare, VRIM_START to VRIM_END. Lines that follow the data's
    // VRIM_END are lines the module leaves unread. Empty for a block the
    // caller said it does not want (Reader::keepLinesOf).
    std::vector<std::string> lines;
    // lines[i] is line firstLine + i of the input.
    std::uint64_t firstLine = 0;
};

// Something wrong with the file, at a line (0: not at one line).
struct Problem {
    std::uint64_t line = 0;
    std::string message; // one line, without the file name; e.g. "line is longer than 1 MB"
    bool stopsReading = false;
};

enum class Event { Item, Block, End };

class Reader {
  public:
    // Reads the file at path through fs, or standard input for "-". name is
    // what messages call it (path, or "standard input"). Throws
    // vrim::ToolError when the file cannot be opened or is a folder.
    static Reader open(const std::string& path, files::FileSystem& fs = files::systemFileSystem());
    // Reads bytes held in memory (tests, fuzzing, a block read again); the
    // bytes must outlive the reader. firstLine and firstByte: where in the
    // file they were cut from, so that lines and spans are numbered as there.
    static Reader fromBytes(std::string_view bytes, std::string name, std::uint64_t firstLine = 1,
                            std::uint64_t firstByte = 0);

    // Reads bytes that source hands out one piece after another, each valid
    // until the next call, an empty one at the end; false on a read error,
    // with error set. name is what messages call the input.
    static Reader
    fromSource(std::function<bool(std::string_view& bytes, std::string& error)> source,
               std::string name);

    Reader(Reader&&) noexcept;
    Reader& operator=(Reader&&) noexcept;
    ~Reader();

    // Reads on to the next item or key block. Returns Event::End at the end
    // of the input, after a problem that stops reading, and on every later
    // call. A read error of the input is a problem that stops reading.
    Event next();

    // Only the blocks for which wanted says true, asked as each block starts
    // (its number, item and address are known then), keep their lines; the
    // others come with lines empty, their bounds still checked. Unset: all.
    void keepLinesOf(std::function<bool(const Block& block)> wanted);
    // The first byte of the input that a block not yet handed out can hold:
    // where the key block being read starts, or else the end of the lines
    // read. Bytes before it are done with.
    std::uint64_t keepFrom() const;

    const Item& item() const;   // after Event::Item
    const Block& block() const; // after Event::Block
    const Header& header() const;
    const std::vector<Problem>& problems() const; // at most a few hundred; later ones are counted
    bool stopped() const;                         // a problem stopped reading before the end
    const std::string& name() const;              // what messages call the input
    std::uint64_t linesRead() const;
    std::uint64_t bytesRead() const;
    // A file's bytes as they are read (see Input::watch); set before the
    // first next(). readWhole: the file was read to its end, every byte seen.
    void watch(std::function<void(std::string_view)> onBytes);
    bool readWhole() const;

    struct State; // the reader's own; defined where it is read

  private:
    explicit Reader(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace vrim::scene
