#include "plugin/identity.h"
#include "plugin/vocabulary.h"
#include "text/words.h"
#include "tools/vrim/scene/reader_input.h"
#include "tools/vrim/scene/reader_lines.h"
#include "tools/vrim/scene/scene.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>

namespace vrim::scene {

namespace {

text::Encoding gNameEncoding = text::Encoding::Auto;

// "NAME@N": the form of a generated address.
bool looksGenerated(std::string_view name) {
    const std::size_t at = name.rfind('@');
    if (at == std::string_view::npos || at + 1 == name.size()) {
        return false;
    }
    for (std::size_t i = at + 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return false;
        }
    }
    return true;
}

std::string nulsEscaped(std::string_view name) {
    std::string escaped;
    for (const char c : name) {
        if (c == '\0') {
            escaped += "\\x00";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// The name an item takes when its name line never comes.
const char* fallbackName(ItemKind kind) {
    switch (kind) {
    case ItemKind::Object:
        return "Object";
    case ItemKind::Null:
        return "Null";
    case ItemKind::Camera:
        return "Camera";
    case ItemKind::Light:
        return "Light";
    case ItemKind::Bone:
        return "Bone";
    }
    return "";
}

std::string megabytes(std::size_t bytes) {
    return std::to_string(bytes / (1024 * 1024)) + " MB";
}

} // namespace

void setNameEncoding(text::Encoding encoding) {
    gNameEncoding = encoding;
}

text::Encoding nameEncoding() {
    return gNameEncoding;
}

const char* itemKindName(ItemKind kind) {
    switch (kind) {
    case ItemKind::Object:
        return "object";
    case ItemKind::Null:
        return "null";
    case ItemKind::Camera:
        return "camera";
    case ItemKind::Light:
        return "light";
    case ItemKind::Bone:
        return "bone";
    }
    return "";
}

struct Reader::State {
    std::string name;
    Input input;
    Header header;
    std::vector<Problem> problems;
    bool stopped = false;
    bool finished = false;

    // The item lines belong to; its name may still be coming (AddCamera
    // before CameraName).
    std::optional<Item> current;
    bool namePending = false;
    std::size_t items = 0;
    std::unordered_set<std::string> addressed; // names that address a block

    // Events found but not yet handed out, items before the block they own.
    std::deque<Item> readyItems;
    std::optional<Block> readyBlock;
    Item item;
    Block block;

    // The key block being read, and other plug-ins' data being passed over.
    std::optional<Block> open;
    std::size_t openBytes = 0, openLines = 0;
    std::function<bool(const Block&)> wanted;
    bool keepOpen = true; // the open block keeps its lines
    bool seenLF = false, seenCRLF = false;
    bool inOtherPlugin = false;
    std::size_t blocks = 0;
    bool sceneHeader = false; // the first line is "LWSC"
    bool crOnly = false;      // the first line holds a CR: lines end in CR alone

    void stop(std::uint64_t line, std::string message) {
        problems.push_back({line, std::move(message), true});
        stopped = true;
    }

    // The pending item is complete: decode its name and hand it out.
    bool settleItem() {
        if (!current || !namePending) {
            return true;
        }
        namePending = false;
        if (current->name.size() > kMaxNameBytes) {
            stop(current->line, "the item name is longer than " + std::to_string(kMaxNameBytes) +
                                    " bytes (the longest name the tool reads)");
            return false;
        }
        current->name = text::decode(current->name, gNameEncoding);
        readyItems.push_back(*current);
        return true;
    }

    // The block's address: its item's name the first time the name has a
    // block, else NAME@N. A command line cannot carry a NUL byte, so in an
    // address it is written "\x00", as a terminal shows it; the table of
    // addresses keeps such a name apart from one spelled that way.
    std::string address(const Block& block) {
        static const std::string kNoName;
        const std::string& itemName = block.item ? block.item->name : kNoName;
        std::string escaped;
        if (itemName.find('\0') != std::string::npos) {
            escaped = nulsEscaped(itemName);
        }
        const std::string& name = escaped.empty() ? itemName : escaped;
        if (!name.empty() && !looksGenerated(name) && addressed.size() < kMaxDistinctNames &&
            addressed.insert(name).second) {
            return name;
        }
        char number[24];
        const auto end = std::to_chars(number, number + sizeof number, block.number).ptr;
        std::string generated;
        generated.reserve(name.size() + 1 + static_cast<std::size_t>(end - number));
        generated += name;
        generated += '@';
        generated.append(number, end);
        return generated;
    }

    void newItem(ItemKind kind, std::string name, const Line& line) {
        if (!settleItem()) {
            return;
        }
        Item item;
        item.number = ++items;
        item.kind = kind;
        item.name = name.empty() ? fallbackName(kind) : std::move(name);
        item.line = line.number;
        item.offset = line.begin;
        current = std::move(item);
        namePending = true;
    }

    void nameItem(ItemKind kind, std::string_view rest, const Line& line) {
        (void)line;
        if (current && namePending && current->kind == kind && !rest.empty()) {
            current->name = std::string(rest);
            settleItem();
        }
    }

    void headerValue(std::optional<HeaderValue>& value, std::string_view rest, const Line& line,
                     const char* keyword) {
        if (value) {
            return; // the first one counts
        }
        HeaderValue header;
        header.line = line.number;
        header.text = std::string(rest);
        header.isNumber = parseDecimal(rest, header.number) && std::isfinite(header.number);
        if (!header.isNumber) {
            problems.push_back(
                {line.number, std::string(keyword) + " \"" + printable(rest) + "\" is not a number",
                 false});
        }
        value = std::move(header);
    }

    void startBlock(const Line& line, bool wrapped) {
        if (!settleItem()) {
            return;
        }
        Block block;
        block.number = ++blocks;
        block.item = current;
        block.address = address(block);
        block.wrapped = wrapped;
        block.whole.firstLine = line.number;
        block.whole.begin = line.begin;
        keepOpen = !wanted || wanted(block);
        open = std::move(block);
        openBytes = 0;
        openLines = 0;
        seenLF = seenCRLF = false;
        noteLineEnd(line);
        if (!wrapped) {
            addBlockLine(line);
        } else {
            open->whole.lastLine = line.number;
            open->whole.end = line.end;
            open->firstLine = line.number + 1;
        }
    }

    void noteLineEnd(const Line& line) {
        seenLF = seenLF || line.ending == Ending::LF;
        seenCRLF = seenCRLF || line.ending == Ending::CRLF;
    }

    void addBlockLine(const Line& line) {
        Block& block = *open;
        if (openLines == 0) {
            block.firstLine = line.number;
        }
        openBytes += line.text.size();
        if (openBytes > kMaxBlockBytes || openLines >= kMaxBlockLines) {
            stop(block.whole.firstLine, "the key block that starts here is longer than " +
                                            megabytes(kMaxBlockBytes) + " or " +
                                            std::to_string(kMaxBlockLines) + " lines");
            open.reset();
            return;
        }
        ++openLines;
        if (keepOpen) {
            block.lines.emplace_back(line.text);
        }
        block.whole.lastLine = line.number;
        block.whole.end = line.end;
        if (line.text == kBlockStart && !block.data) {
            block.data = Span{line.number, line.number, line.begin, line.end};
        } else if (block.data && !block.ended) {
            block.data->lastLine = line.number;
            block.data->end = line.end;
            block.ended = line.text == kBlockEnd;
        }
    }

    void closeBlock() {
        Block& block = *open;
        if (!block.wrapped) {
            block.closed = block.ended;
        }
        block.lineEnd = seenLF && seenCRLF ? LineEnd::Mixed
                        : seenCRLF         ? LineEnd::CRLF
                        : seenLF           ? LineEnd::LF
                                           : LineEnd::None;
        readyBlock = std::move(open);
        open.reset();
    }

    // The lines of a wrapped block that keeps none, up to its EndPlugin line,
    // taken in one go from the bytes at hand when that line is among them:
    // each line is looked at only for what addBlockLine would learn from it
    // (its end, whether it starts or ends the data), without being handed
    // out. False, with nothing passed, when the bytes at hand do not hold
    // the end or the lines would pass a bound; blockLine then reads on.
    bool passBlock() {
        // No line within the first kMaxLineBytes can be over that bound.
        const std::string_view bytes = input.atHand().substr(0, kMaxLineBytes);
        const std::uint64_t firstByte = input.bytes();
        std::uint64_t number = input.lines(); // of the line looked at
        std::uint64_t textBytes = 0, lf = 0, crlf = 0;
        std::optional<Span> data = open->data;
        bool ended = open->ended;
        std::size_t at = 0; // where the line looked at starts
        for (;;) {
            const void* found = std::memchr(bytes.data() + at, '\n', bytes.size() - at);
            if (found == nullptr) {
                return false;
            }
            const auto end =
                static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
            std::string_view text = bytes.substr(at, end - at);
            const bool cr = !text.empty() && text.back() == '\r';
            if (cr) {
                text.remove_suffix(1);
            }
            ++number;
            if (text == "EndPlugin") {
                break;
            }
            textBytes += text.size();
            ++(cr ? crlf : lf);
            if (!data) {
                if (text == kBlockStart) {
                    data = Span{number, number, firstByte + at, firstByte + end + 1};
                }
            } else if (!ended) {
                data->lastLine = number;
                data->end = firstByte + end + 1;
                ended = text == kBlockEnd;
            }
            at = end + 1;
        }
        const std::uint64_t passed = lf + crlf;
        if (passed == 0 || openBytes + textBytes > kMaxBlockBytes ||
            openLines + passed > kMaxBlockLines) {
            return false;
        }
        Block& block = *open;
        if (openLines == 0) {
            block.firstLine = input.lines() + 1;
        }
        openBytes += textBytes;
        openLines += passed;
        seenLF = seenLF || lf > 0;
        seenCRLF = seenCRLF || crlf > 0;
        block.data = data;
        block.ended = ended;
        block.whole.lastLine = number - 1;
        block.whole.end = firstByte + at;
        input.pass(at, passed);
        return true;
    }

    // One line inside a key block.
    void blockLine(const Line& line) {
        noteLineEnd(line);
        if (open->wrapped && line.text == "EndPlugin") {
            open->whole.lastLine = line.number;
            open->whole.end = line.end;
            open->closed = true;
            closeBlock();
            return;
        }
        addBlockLine(line);
        if (open && !open->wrapped && open->ended) {
            closeBlock();
        }
    }

    // One line outside key blocks.
    void sceneLine(const Line& line) {
        if (inOtherPlugin) {
            inOtherPlugin = line.text != "EndPlugin";
            return;
        }
        if (line.text == kBlockStart) {
            startBlock(line, false);
            return;
        }
        if (mayBeKeyword(line.text)) {
            keywordLine(line);
        }
    }

    // Most lines are none of the keywords keywordLine reads: their first
    // letter, one of the cases of its switch, tells before the line is split
    // into words.
    static bool mayBeKeyword(std::string_view text) {
        std::size_t first = 0;
        while (first < text.size() && text::isBlank(text[first])) {
            ++first;
        }
        if (first == text.size()) {
            return false;
        }
        switch (text[first]) {
        case 'A':
        case 'B':
        case 'C':
        case 'F':
        case 'L':
        case 'P':
            return true;
        default:
            return false;
        }
    }

    // A line that may start with a keyword of the scene's header or items.
    void keywordLine(const Line& line) {
        Words words(line.text);
        const std::string_view keyword = words.next();
        if (keyword.empty()) {
            return;
        }
        const std::string_view rest = words.rest();
        switch (keyword[0]) {
        case 'A':
            addLine(keyword, rest, line);
            break;
        case 'B':
            if (keyword == "BoneName") {
                nameItem(ItemKind::Bone, rest, line);
            }
            break;
        case 'C':
            if (keyword == "CameraName") {
                nameItem(ItemKind::Camera, rest, line);
            }
            break;
        case 'F':
            headerLine(keyword, rest, line);
            break;
        case 'L':
            if (!headerLine(keyword, rest, line)) {
                lightOrObjectLine(keyword, rest, line);
            }
            break;
        case 'P':
            if (keyword == "Plugin") {
                pluginLine(words, line);
            }
            break;
        default:
            break;
        }
    }

    // "Add..." lines: a new item. A null is named on its own line; other
    // kinds by a later "...Name" line.
    void addLine(std::string_view keyword, std::string_view rest, const Line& line) {
        if (keyword == "AddNullObject") {
            newItem(ItemKind::Null, std::string(withoutId(rest)), line);
            settleItem();
        } else if (keyword == "AddCamera") {
            newItem(ItemKind::Camera, "", line);
        } else if (keyword == "AddLight") {
            newItem(ItemKind::Light, "", line);
        } else if (keyword == "AddBone") {
            newItem(ItemKind::Bone, "", line);
        }
    }

    // The header's lines of the frame rate and range; false for any other.
    bool headerLine(std::string_view keyword, std::string_view rest, const Line& line) {
        if (keyword == "FramesPerSecond") {
            headerValue(header.framesPerSecond, rest, line, "FramesPerSecond");
        } else if (keyword == "FirstFrame") {
            headerValue(header.firstFrame, rest, line, "FirstFrame");
        } else if (keyword == "FrameStep") {
            headerValue(header.frameStep, rest, line, "FrameStep");
        } else if (keyword == "LastFrame") {
            headerValue(header.lastFrame, rest, line, "LastFrame");
        } else {
            return false;
        }
        return true;
    }

    // A light's name, or an object loaded.
    void lightOrObjectLine(std::string_view keyword, std::string_view rest, const Line& line) {
        if (keyword == "LightName") {
            nameItem(ItemKind::Light, rest, line);
        } else if (keyword == "LoadObject") {
            newItem(ItemKind::Object, objectName(rest), line);
            settleItem();
        } else if (keyword == "LoadObjectLayer") {
            Words layer(rest);
            layer.next();
            newItem(ItemKind::Object, objectName(withoutId(layer.rest())), line);
            settleItem();
        }
    }

    // A "Plugin" line: the start of a key block, or of another plug-in's
    // lines, skipped up to its "EndPlugin".
    void pluginLine(Words& words, const Line& line) {
        const std::string_view kind = words.next();
        words.next(); // the handler's place in the item's list
        const std::string_view server = words.next();
        if (kind == "ItemMotionHandler" && server == kServerName) {
            startBlock(line, true);
        } else {
            inOtherPlugin = true;
        }
    }

    // Why bytes without a key block are no scene: the likeliest cause first.
    std::string notSceneMessage() const {
        if (input.lines() == 0) {
            return "not a scene file: it is empty";
        }
        if (crOnly) {
            // Old Mac text: the host reads the whole file as one line.
            return "not a scene file as the host reads it: its lines end in CR alone (old Mac "
                   "line ends), which the host does not take as line ends; convert them to LF "
                   "or CRLF";
        }
        return "not a scene file: no \"LWSC\" first line and no VRIM_S key block";
    }

    bool ready() const { return !readyItems.empty() || readyBlock.has_value(); }

    Event next() {
        while (!ready() && !finished) {
            if (stopped) {
                finished = true;
                break;
            }
            Line line;
            if (!input.nextLine(line)) {
                if (input.problem()) {
                    stop(input.problemLine(), input.problemText());
                } else if (open) {
                    closeBlock();
                }
                settleItem();
                if (!stopped && !sceneHeader && blocks == 0) {
                    // Random bytes, an empty file, some other text: not a
                    // scene that happens to hold no shake.
                    stop(input.lines() == 0 ? 0 : 1, notSceneMessage());
                }
                finished = true;
                break;
            }
            if (line.number == 1) {
                sceneHeader = text::trimBlanks(line.text) == "LWSC";
                crOnly = line.text.find('\r') != std::string_view::npos;
            }
            if (open) {
                blockLine(line);
            } else {
                sceneLine(line);
                // A block that keeps no lines is passed whole where it can be.
                if (open && !keepOpen && open->wrapped && openLines == 0) {
                    passBlock();
                }
            }
        }
        if (!readyItems.empty()) {
            item = std::move(readyItems.front());
            readyItems.pop_front();
            return Event::Item;
        }
        if (readyBlock) {
            block = std::move(*readyBlock);
            readyBlock.reset();
            return Event::Block;
        }
        return Event::End;
    }
};

Reader::Reader(std::unique_ptr<State> state) : state_(std::move(state)) {}
Reader::Reader(Reader&&) noexcept = default;
Reader& Reader::operator=(Reader&&) noexcept = default;
Reader::~Reader() = default;

Reader Reader::open(const std::string& path, files::FileSystem& fs) {
    auto state = std::make_unique<State>();
    state->name = path == "-" ? "standard input" : path;
    state->input = Input::openFile(path, fs);
    return Reader(std::move(state));
}

Reader Reader::fromBytes(std::string_view bytes, std::string name, std::uint64_t firstLine,
                         std::uint64_t firstByte) {
    auto state = std::make_unique<State>();
    state->name = std::move(name);
    state->input = Input::fromBytes(bytes, firstLine, firstByte);
    return Reader(std::move(state));
}

void Reader::watch(std::function<void(std::string_view)> onBytes) {
    state_->input.watch(std::move(onBytes));
}

bool Reader::readWhole() const {
    return state_->input.readWhole();
}

Reader Reader::fromSource(std::function<bool(std::string_view&, std::string&)> source,
                          std::string name) {
    auto state = std::make_unique<State>();
    state->name = std::move(name);
    state->input = Input::fromSource(std::move(source));
    return Reader(std::move(state));
}

void Reader::keepLinesOf(std::function<bool(const Block&)> wanted) {
    state_->wanted = std::move(wanted);
}

std::uint64_t Reader::keepFrom() const {
    return state_->open ? state_->open->whole.begin : state_->input.bytes();
}

Event Reader::next() {
    return state_->next();
}

const Item& Reader::item() const {
    return state_->item;
}
const Block& Reader::block() const {
    return state_->block;
}
const Header& Reader::header() const {
    return state_->header;
}
const std::vector<Problem>& Reader::problems() const {
    return state_->problems;
}
bool Reader::stopped() const {
    return state_->stopped;
}
const std::string& Reader::name() const {
    return state_->name;
}
std::uint64_t Reader::linesRead() const {
    return state_->input.lines();
}
std::uint64_t Reader::bytesRead() const {
    return state_->input.bytes();
}

} // namespace vrim::scene
