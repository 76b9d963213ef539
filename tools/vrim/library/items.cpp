// ItemTable: a scene's items as a few bytes each. An item is written as
// numbers of 7 bits a byte (the high bit: more bytes follow), each the
// difference from the item before it where the two are close (its start
// from the previous end, its first line from the previous last line, its
// block number from the previous one) and a length where it is its own
// (its bytes, its lines). Differences are folded so that one going
// backwards stays small too: the table takes items in any order.
//
// Names are the larger part: a scene's names are mostly alike (Null_1041,
// Null_1042), so each is kept as the bytes it shares with the name before
// it and the rest; an address the reader made, "NAME@N" with N the block's
// number, is kept as NAME and a mark. The first item of every marked run
// is kept whole, so that reading starts at any mark.
#include "tools/vrim/library/vrim.h"

#include <algorithm>
#include <functional>

namespace vrim::library {

namespace {

void putNumber(std::string& out, std::uint64_t value) {
    while (value >= 0x80) {
        out += static_cast<char>((value & 0x7f) | 0x80);
        value >>= 7;
    }
    out += static_cast<char>(value);
}

// A difference that may be negative, folded: 0, -1, 1, -2, 2... as 0, 1, 2,
// 3, 4... Unsigned arithmetic wraps, so any two offsets have one.
void putDifference(std::string& out, std::uint64_t to, std::uint64_t from) {
    const std::uint64_t difference = to - from;
    const bool negative = (difference >> 63) != 0;
    putNumber(out, negative ? ((~difference) << 1) | 1 : difference << 1);
}

std::uint64_t getNumber(const std::string& in, std::size_t& at) {
    std::uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(in[at++]);
        value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0) {
            return value;
        }
    }
}

std::uint64_t getDifference(const std::string& in, std::size_t& at, std::uint64_t from) {
    const std::uint64_t folded = getNumber(in, at);
    const std::uint64_t difference = (folded & 1) != 0 ? ~(folded >> 1) : folded >> 1;
    return from + difference;
}

// NAME@N with N the number: the address the reader makes for a block whose
// name is taken. Hands NAME.
std::optional<std::string_view> generatedBase(std::string_view name, std::size_t number) {
    // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) on the
    // temporary of "@" + text.
    std::string suffix = "@";
    suffix += std::to_string(number);
    if (name.size() < suffix.size() || name.substr(name.size() - suffix.size()) != suffix) {
        return std::nullopt;
    }
    return name.substr(0, name.size() - suffix.size());
}

std::uint32_t hashOf(std::string_view name) {
    return static_cast<std::uint32_t>(std::hash<std::string_view>{}(name));
}

// Counts are never negative; a larger one than a 32-bit int holds cannot be
// counted by check in the first place.
std::uint64_t count(int value) {
    return static_cast<std::uint64_t>(std::max(value, 0));
}

} // namespace

void ItemTable::putName(std::string& out, const Item& item, std::string_view before) {
    const std::optional<std::string_view> generated = generatedBase(item.name, item.block);
    const std::string_view name = generated ? *generated : std::string_view(item.name);
    std::size_t shared = 0;
    while (shared < name.size() && shared < before.size() && name[shared] == before[shared]) {
        ++shared;
    }
    putNumber(out, shared);
    putNumber(out, ((name.size() - shared) << 1) | (generated ? 1 : 0));
    out.append(name.substr(shared));
    lastName_.assign(name);
}

void ItemTable::getName(const std::string& in, std::size_t& at, std::string& before, Item& item) {
    const auto shared = static_cast<std::size_t>(getNumber(in, at));
    const std::uint64_t rest = getNumber(in, at);
    const auto length = static_cast<std::size_t>(rest >> 1);
    before.resize(shared);
    before.append(in, at, length);
    at += length;
    item.name = before;
    if ((rest & 1) != 0) {
        item.name += '@';
        item.name += std::to_string(item.block);
    }
}

void ItemTable::push_back(const Item& item) {
    if (count_ % kMarkEvery == 0) {
        marks_.push_back(last_);
    }
    if (hashes_.empty() || hashes_.back().size() == kHashesPerPiece) {
        hashes_.emplace_back().reserve(kHashesPerPiece);
    }
    hashes_.back().push_back(hashOf(item.name));
    const auto kind = static_cast<std::size_t>(std::find(kinds_.begin(), kinds_.end(), item.kind) -
                                               kinds_.begin());
    if (kind == kinds_.size()) {
        kinds_.push_back(item.kind);
    }
    std::string bytes;
    putDifference(bytes, item.begin, last_.end);
    putNumber(bytes, item.end - item.begin);
    putDifference(bytes, item.firstLine, last_.lastLine);
    putNumber(bytes, item.lastLine - item.firstLine);
    putDifference(bytes, item.block, last_.block);
    putNumber(bytes, item.keyCount);
    putNumber(bytes, count(item.errors));
    putNumber(bytes, count(item.warnings));
    putNumber(bytes, kind);
    putName(bytes, item, count_ % kMarkEvery == 0 ? std::string_view() : lastName_);
    // A new piece when the item does not fit the last one: pieces are never
    // moved as they fill, so the table never holds two copies of itself.
    if (chunks_.empty() || chunks_.back().size() + bytes.size() > chunks_.back().capacity()) {
        chunks_.emplace_back().reserve(std::max(kChunkBytes, bytes.size()));
    }
    chunks_.back() += bytes;
    last_ = {chunks_.size() - 1, chunks_.back().size(), item.end, item.lastLine, item.block, {}};
    ++count_;
}

Item ItemTable::next(Cursor& cursor) const {
    if (cursor.at == chunks_[cursor.chunk].size()) {
        ++cursor.chunk;
        cursor.at = 0;
    }
    const std::string& bytes = chunks_[cursor.chunk];
    Item item;
    std::size_t& at = cursor.at;
    item.begin = getDifference(bytes, at, cursor.end);
    item.end = item.begin + getNumber(bytes, at);
    item.firstLine = getDifference(bytes, at, cursor.lastLine);
    item.lastLine = item.firstLine + getNumber(bytes, at);
    item.block = static_cast<std::size_t>(getDifference(bytes, at, cursor.block));
    item.keyCount = static_cast<std::size_t>(getNumber(bytes, at));
    item.errors = static_cast<int>(getNumber(bytes, at));
    item.warnings = static_cast<int>(getNumber(bytes, at));
    item.kind = kinds_[static_cast<std::size_t>(getNumber(bytes, at))];
    getName(bytes, at, cursor.name, item);
    cursor.end = item.end;
    cursor.lastLine = item.lastLine;
    cursor.block = item.block;
    return item;
}

ItemTable::Cursor ItemTable::cursorAt(std::size_t index) const {
    Cursor cursor = marks_[index / kMarkEvery];
    for (std::size_t skipped = index % kMarkEvery; skipped > 0; --skipped) {
        next(cursor);
    }
    return cursor;
}

Item ItemTable::at(std::size_t index) const {
    if (index >= count_) {
        throw std::out_of_range("item " + std::to_string(index) + " of " + std::to_string(count_));
    }
    Cursor cursor = cursorAt(index);
    return next(cursor);
}

std::vector<Item> ItemTable::range(std::size_t first, std::size_t count) const {
    std::vector<Item> items;
    if (first >= count_) {
        return items;
    }
    const std::size_t last = first + std::min(count, count_ - first);
    items.reserve(last - first);
    Cursor cursor = cursorAt(first);
    for (std::size_t index = first; index < last; ++index) {
        items.push_back(next(cursor));
    }
    return items;
}

std::optional<std::size_t> ItemTable::find(const std::string& name) const {
    const std::uint32_t wanted = hashOf(name);
    std::size_t index = 0;
    for (const std::vector<std::uint32_t>& piece : hashes_) {
        for (const std::uint32_t hash : piece) {
            if (hash == wanted && at(index).name == name) {
                return index;
            }
            ++index;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> ItemTable::findBlock(std::size_t number) const {
    // Every block of a scene opened whole is an item, numbered from 1 in
    // file order: the item is at number - 1, unless the table skips some.
    if (number >= 1 && number <= count_ && at(number - 1).block == number) {
        return number - 1;
    }
    Cursor cursor;
    for (std::size_t index = 0; index < count_; ++index) {
        if (next(cursor).block == number) {
            return index;
        }
    }
    return std::nullopt;
}

std::size_t ItemTable::heldBytes() const {
    std::size_t bytes =
        marks_.capacity() * sizeof(Cursor) + chunks_.capacity() * sizeof(std::string);
    for (const std::string& chunk : chunks_) {
        bytes += chunk.capacity();
    }
    for (const std::string& kind : kinds_) {
        bytes += sizeof(kind) + kind.capacity();
    }
    bytes += hashes_.capacity() * sizeof(hashes_[0]);
    for (const std::vector<std::uint32_t>& piece : hashes_) {
        bytes += piece.capacity() * sizeof(piece[0]);
    }
    return bytes;
}

void ItemTable::shrinkToFit() {
    if (!chunks_.empty()) {
        chunks_.back().shrink_to_fit();
    }
    if (!hashes_.empty()) {
        hashes_.back().shrink_to_fit();
    }
    marks_.shrink_to_fit();
}

} // namespace vrim::library
