// shakeLoad and shakeSave as the host calls them, beside their floors.
//
// The host's side costs as little as a host's can: reading hands out lines
// already in memory, writing appends each line to one text. The floor of a
// load is the same read calls plus one decimal-to-double conversion (strtod)
// for each line that carries a number; the floor of a save is the same write
// calls, each line made of its keyword and, where it carries one, its number
// formatted with " %f". Neither floor builds keys or looks at keywords.
#include "bench/session.h"

#include "support/chains.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace bench {

namespace {

constexpr int32_t kLineSize = 256; // what the module's reads ask for

// Hands out one stored line per read, as a host does while loading a scene:
// at most length characters with the NUL; past the last line a read fails.
class BlockReader {
  public:
    explicit BlockReader(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    LoadState state() {
        LoadState state{};
        state.readData = this;
        state.read = &BlockReader::read;
        return state;
    }
    void rewind() { next_ = 0; }
    size_t lineCount() const { return lines_.size(); }

  private:
    static int32_t read(void* data, char* buffer, int32_t length) {
        auto* reader = static_cast<BlockReader*>(data);
        if (reader->next_ >= reader->lines_.size() || length <= 0) {
            return -1;
        }
        const std::string& line = reader->lines_[reader->next_++];
        const size_t count = std::min(line.size(), static_cast<size_t>(length) - 1);
        std::memcpy(buffer, line.data(), count);
        buffer[count] = '\0';
        return static_cast<int32_t>(count);
    }
    std::vector<std::string> lines_;
    size_t next_ = 0;
};

// Appends each written line and a line end to one text, as a host writing
// its scene file into a buffer does.
class BlockWriter {
  public:
    SaveState state() {
        SaveState state{};
        state.writeData = this;
        state.write = &BlockWriter::write;
        return state;
    }
    void clear() { text.clear(); }
    std::string text;

  private:
    static int32_t write(void* data, const char* line, int32_t length) {
        auto* writer = static_cast<BlockWriter*>(data);
        writer->text.append(line, static_cast<size_t>(length - 1));
        writer->text.push_back('\n');
        return length;
    }
};

std::vector<std::string> splitText(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Keys with the spread of values a real scene has: growing frames, periods
// and widths with six significant decimals, half of them with fall-off.
std::vector<ShakeKey> sceneKeys(int count) {
    std::vector<ShakeKey> keys;
    for (int i = 0; i < count; ++i) {
        keys.push_back(testsupport::keyValues(10 * i, 10 * i + 30, i % 2, 0.01 * (i % 7),
                                              0.1 + 0.000137 * i, -0.05 * (i % 3),
                                              0.1 + 0.0123 * (i % 13)));
    }
    return keys;
}

// The block the module itself writes for an instance with these keys.
std::string savedBlock(ShakeInstance* instance) {
    BlockWriter writer;
    const SaveState state = writer.state();
    session().handler.save(instance, state);
    return writer.text;
}

struct FloorLine {
    std::string keyword;
    bool hasNumber = false;
    double number = 0.0;
};

void registerSize(int count) {
    const standin::Handler handler = session().handler;
    ShakeInstance* source = chainInstance(sceneKeys(count));
    const std::string block = savedBlock(source);
    const std::vector<std::string> lines = splitText(block);
    auto* loaded = static_cast<ShakeInstance*>(handler.create());
    session().instances.push_back(loaded);
    const std::string size = "/keys:" + std::to_string(count);

    benchmark::RegisterBenchmark(("load" + size).c_str(), [=](benchmark::State& state) {
        BlockReader reader(lines);
        const LoadState loadState = reader.state();
        // The block must come back whole, or the wrong work would be timed.
        handler.load(loaded, loadState);
        if (loaded->keyCount != count || savedBlock(loaded) != block) {
            state.SkipWithError("the loaded block does not save back unchanged");
            return;
        }
        for (auto _ : state) {
            reader.rewind();
            handler.load(loaded, loadState);
        }
    });
    benchmark::RegisterBenchmark(("load_floor" + size).c_str(), [=](benchmark::State& state) {
        BlockReader reader(lines);
        const LoadState loadState = reader.state();
        for (auto _ : state) {
            reader.rewind();
            for (size_t i = 0; i < reader.lineCount(); ++i) {
                char buffer[kLineSize];
                loadState.read(loadState.readData, buffer, kLineSize);
                if (const char* blank = std::strchr(buffer, ' '); blank != nullptr) {
                    benchmark::DoNotOptimize(std::strtod(blank, nullptr));
                }
            }
        }
    });

    benchmark::RegisterBenchmark(("save" + size).c_str(), [=](benchmark::State& state) {
        BlockWriter writer;
        writer.text.reserve(block.size());
        const SaveState saveState = writer.state();
        for (auto _ : state) {
            writer.clear();
            handler.save(source, saveState);
        }
        if (writer.text != block) {
            state.SkipWithError("the save wrote something else than before");
        }
    });
    // The floor writes what the module wrote, line for line.
    std::vector<FloorLine> floorLines;
    for (const std::string& line : lines) {
        FloorLine floorLine;
        const size_t blank = line.find(' ');
        floorLine.keyword = line.substr(0, blank);
        floorLine.hasNumber = blank != std::string::npos;
        floorLine.number = floorLine.hasNumber ? std::strtod(line.c_str() + blank, nullptr) : 0.0;
        floorLines.push_back(floorLine);
    }
    benchmark::RegisterBenchmark(("save_floor" + size).c_str(), [=](benchmark::State& state) {
        BlockWriter writer;
        writer.text.reserve(block.size());
        const SaveState saveState = writer.state();
        for (auto _ : state) {
            writer.clear();
            for (const FloorLine& line : floorLines) {
                char text[kLineSize];
                const size_t length = line.keyword.size();
                std::memcpy(text, line.keyword.data(), length);
                int total = static_cast<int>(length);
                if (line.hasNumber) {
                    total += std::snprintf(text + length, sizeof text - length, " %f", line.number);
                } else {
                    text[length] = '\0';
                }
                saveState.write(saveState.writeData, text, total + 1);
            }
        }
        if (writer.text != block) {
            state.SkipWithError("the floor wrote something else than the module");
        }
    });
}

} // namespace

void registerScene() {
    for (int count : {1, 256, 10000}) {
        registerSize(count);
    }
}

} // namespace bench
