#include "tools/vrim/scene/reader_input.h"

#include "tools/vrim/error.h"
#include "tools/vrim/scene/scene.h"

#include <cerrno>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace vrim::scene {

namespace {

// Large enough that a read call costs little per byte, small beside the
// memory the tool may use.
constexpr std::size_t kBufferBytes = 256 * 1024;

} // namespace

Input Input::openFile(const std::string& path, files::FileSystem& fs) {
    Input input;
    input.path_ = path;
    if (path == "-") {
#ifdef _WIN32
        // Keep CR LF as it is: the reader tells line ends apart itself.
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        input.file_ = stdin;
    } else {
        files::FileInfo info;
        std::string error;
        if (fs.stat(path, info, error) && info.kind == files::FileKind::Folder) {
            // A folder opens like an empty file on some systems.
            throw ToolError("'" + path + "' is a folder, not a scene file");
        }
        input.handle_ = fs.openRead(path, error);
        if (input.handle_ == files::kNoFile) {
            throw ToolError("cannot open scene file '" + path + "': " + error);
        }
        input.fs_ = &fs;
    }
    input.buffer_.resize(kBufferBytes);
    return input;
}

Input Input::fromBytes(std::string_view bytes, std::uint64_t firstLine, std::uint64_t firstByte) {
    Input input;
    input.fromMemory_ = true;
    input.bytes_ = bytes;
    input.lines_ = firstLine - 1;
    input.offset_ = firstByte;
    return input;
}

Input Input::fromSource(Source source) {
    Input input;
    input.source_ = std::move(source);
    return input;
}

Input::Input(Input&& other) noexcept {
    *this = std::move(other);
}

Input& Input::operator=(Input&& other) noexcept {
    if (this != &other) {
        close();
        file_ = std::exchange(other.file_, nullptr);
        fs_ = std::exchange(other.fs_, nullptr);
        handle_ = std::exchange(other.handle_, files::kNoFile);
        source_ = std::move(other.source_);
        path_ = std::move(other.path_);
        buffer_ = std::move(other.buffer_);
        bytes_ = std::exchange(other.bytes_, {});
        fromMemory_ = other.fromMemory_;
        atEnd_ = other.atEnd_;
        carry_ = std::move(other.carry_);
        problem_ = std::move(other.problem_);
        problemLine_ = other.problemLine_;
        lines_ = other.lines_;
        offset_ = other.offset_;
        watch_ = std::move(other.watch_);
    }
    return *this;
}

Input::~Input() {
    close();
}

void Input::close() {
    if (handle_ != files::kNoFile) {
        std::string ignored; // only read: nothing of the file is lost
        fs_->close(handle_, ignored);
    }
    handle_ = files::kNoFile;
    fs_ = nullptr;
    file_ = nullptr;
}

std::size_t Input::readBuffer() {
    if (handle_ != files::kNoFile) {
        std::string error;
        const int64_t got = fs_->read(handle_, buffer_.data(), buffer_.size(), error);
        atEnd_ = got <= 0;
        if (got < 0) {
            problem_ = "cannot read on: " + error;
            problemLine_ = lines_ + 1;
        }
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    const std::size_t count = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    atEnd_ = count == 0;
    if (atEnd_ && std::ferror(file_)) {
        problem_ = std::string("cannot read on: ") + std::strerror(errno);
        problemLine_ = lines_ + 1;
    }
    return count;
}

bool Input::fill() {
    if (source_ && !atEnd_) {
        std::string error;
        std::string_view got;
        if (!source_(got, error)) {
            problem_ = "cannot read on: " + error;
            problemLine_ = lines_ + 1;
        }
        atEnd_ = got.empty() || !problem_.empty();
        bytes_ = atEnd_ ? std::string_view() : got;
    } else {
        if (fromMemory_ || atEnd_ || (file_ == nullptr && handle_ == files::kNoFile)) {
            return false;
        }
        bytes_ = std::string_view(buffer_.data(), readBuffer());
    }
    if (atEnd_) {
        return false;
    }
    if (watch_) {
        watch_(bytes_);
    }
    return true;
}

bool Input::gatherLine(std::string_view& text, Ending& ending, std::size_t& rawBytes) {
    bool carrying = false;
    ending = Ending::LF;
    for (;;) {
        if (bytes_.empty() && !fill()) {
            if (!problem_.empty() || !carrying) {
                return false;
            }
            text = carry_;
            ending = Ending::None;
            return true;
        }
        const void* found = std::memchr(bytes_.data(), '\n', bytes_.size());
        if (found != nullptr) {
            const auto count =
                static_cast<std::size_t>(static_cast<const char*>(found) - bytes_.data());
            rawBytes += count + 1;
            if (carrying) {
                carry_.append(bytes_.data(), count);
                text = carry_;
            } else {
                text = bytes_.substr(0, count);
            }
            bytes_.remove_prefix(count + 1);
            return true;
        }
        if (!carrying) {
            carry_.clear();
            carrying = true;
        }
        rawBytes += bytes_.size();
        carry_.append(bytes_);
        bytes_ = {};
        // One byte over for the CR of a CR LF line end.
        if (carry_.size() > kMaxLineBytes + 1) {
            text = carry_;
            return true;
        }
    }
}

bool Input::readLine(Line& line) {
    if (!problem_.empty()) {
        return false;
    }
    std::size_t rawBytes = 0; // the line's bytes, its LF included
    std::string_view text;
    Ending ending = Ending::LF;
    if (!gatherLine(text, ending, rawBytes)) {
        return false;
    }
    if (!text.empty() && text.back() == '\r' && ending == Ending::LF) {
        text.remove_suffix(1);
        ending = Ending::CRLF;
    }
    ++lines_;
    if (text.size() > kMaxLineBytes) {
        problem_ = "line longer than " + std::to_string(kMaxLineBytes / (1024 * 1024)) +
                   " MB: vrim reads lines up to that length";
        problemLine_ = lines_;
        carry_.clear();
        carry_.shrink_to_fit();
        return false;
    }
    line.text = text;
    line.ending = ending;
    line.number = lines_;
    line.begin = offset_;
    offset_ += rawBytes;
    line.end = offset_;
    return true;
}

} // namespace vrim::scene
