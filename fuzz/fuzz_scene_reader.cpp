// Arbitrary bytes as a scene file, read by the tool's scene reader and every
// key block checked as `vrim ls` and `vrim check` check it, through the
// module loaded into the stand-in host.
//
// After every input: the reader handed out every byte or stopped with a
// problem; each block's spans lie inside the input, in order, and the bytes
// of its lines are the input's own; items come in file order; and checking a
// block never fails.
#include "text/names.h"
#include "tools/vrim/scene/findings.h"
#include "tools/vrim/scene/reader_choice.h"
#include "tools/vrim/scene/scene.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_scene_reader: %s\n", what);
        std::abort();
    }
}

// The block's lines are the input's lines of its span, without line ends.
void checkLines(std::string_view input, const vrim::scene::Block& block) {
    std::uint64_t at = block.whole.begin;
    std::uint64_t line = block.whole.firstLine;
    if (block.wrapped) {
        at = input.find('\n', at) + 1; // past the Plugin line
        ++line;
    }
    check(block.lines.empty() || block.firstLine == line, "first line number");
    for (const std::string& text : block.lines) {
        check(input.substr(at, text.size()) == text, "block line differs from the input");
        at += text.size();
        if (at < input.size() && input[at] == '\r' && at + 1 < input.size() &&
            input[at + 1] == '\n') {
            ++at;
        }
        if (at < input.size()) {
            check(input[at] == '\n', "block line does not end at a line end");
            ++at;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    vrim::scene::Reader reader = vrim::scene::Reader::fromBytes(input, "fuzz.lws");
    std::uint64_t lastEnd = 0;
    std::uint64_t lastItemLine = 0;
    std::size_t blocks = 0;
    std::set<std::string> addresses;
    // The module file built beside the fuzz target, loaded once. A key whose
    // numbers are not finite is evaluated frame by frame to say where that
    // shows: the same loop over 64 frames as over check's 100,000, which
    // would cost an input a second under the sanitizers.
    static vrim::Session session(vrim::defaultModulePath());
    static vrim::BlockChecker checker(session, 64);
    for (auto event = reader.next(); event != vrim::scene::Event::End; event = reader.next()) {
        if (event == vrim::scene::Event::Item) {
            const vrim::scene::Item& item = reader.item();
            check(item.line > lastItemLine, "items out of order");
            check(item.offset < size, "item offset outside the input");
            check(!item.name.empty(), "an item without a name");
            check(::text::isUtf8(item.name), "a name that is not UTF-8");
            lastItemLine = item.line;
            continue;
        }
        const vrim::scene::Block& block = reader.block();
        check(block.number == ++blocks, "block numbers");
        check(!block.address.empty() && addresses.insert(block.address).second,
              "two blocks of one address");
        check(block.whole.begin >= lastEnd && block.whole.begin < block.whole.end &&
                  block.whole.end <= size,
              "block span outside the input or out of order");
        check(block.whole.firstLine <= block.whole.lastLine, "block line numbers");
        if (block.data) {
            check(block.data->begin >= block.whole.begin && block.data->end <= block.whole.end,
                  "data span outside the block");
            check(input.substr(block.data->begin, 10) == "VRIM_START", "data starts elsewhere");
        }
        checkLines(input, block);
        lastEnd = block.whole.end;
        const vrim::BlockReport report =
            checker.check(block, vrim::sceneTiming(reader.header(), std::nullopt, std::nullopt));
        check(report.block.number == block.number, "report of another block");
    }
    check(reader.stopped() || reader.bytesRead() == size, "bytes left unread");
    // Every input starts from the same state and leaves nothing behind: an
    // input's path does not hang on the inputs before it, and libFuzzer,
    // which runs an input again under the leak checker whenever it leaves
    // more allocations than it freed, has no reason to.
    checker.forget();
    return 0;
}
