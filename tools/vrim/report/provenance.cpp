#include "tools/vrim/report/provenance.h"
#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/files/paths.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#ifdef _WIN32
// Windows' own hashing (CryptoAPI, in every Windows since XP SP3 and in
// Wine): the Windows build links no hashing library of its own.
#include <windows.h>
// After windows.h, whose types it uses.
#include <wincrypt.h>
#else
// OpenSSL's libcrypto (Debian's libssl-dev): a hash used by every Debian
// system, faster than a hand-written one on a scene of hundreds of megabytes.
#include <openssl/evp.h>
#endif

namespace vrim::report {

namespace {

// A file is read in blocks of this size, not cleared first: clearing a
// large block would cost more than hashing a small file.
constexpr std::size_t kBlock = 1 << 16;

std::string hex(const unsigned char* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

} // namespace

#ifdef _WIN32
class Sha256::State {
  public:
    State() {
        ok_ =
            CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
            CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_);
    }
    ~State() {
        if (hash_ != 0) {
            CryptDestroyHash(hash_);
        }
        if (provider_ != 0) {
            CryptReleaseContext(provider_, 0);
        }
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    bool update(const char* data, std::size_t size) {
        return ok_ && CryptHashData(hash_, reinterpret_cast<const BYTE*>(data),
                                    static_cast<DWORD>(size), 0);
    }
    std::string finish() {
        BYTE digest[32];
        DWORD size = sizeof digest;
        if (!ok_ || !CryptGetHashParam(hash_, HP_HASHVAL, digest, &size, 0) || size != 32) {
            return "";
        }
        return hex(digest, size);
    }

  private:
    HCRYPTPROV provider_ = 0;
    HCRYPTHASH hash_ = 0;
    bool ok_ = false;
};
#else
class Sha256::State {
  public:
    State() : context_(EVP_MD_CTX_new()) {
        ok_ = context_ != nullptr && EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) == 1;
    }
    ~State() { EVP_MD_CTX_free(context_); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    bool update(const char* data, std::size_t size) {
        return ok_ && EVP_DigestUpdate(context_, data, size) == 1;
    }
    std::string finish() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        if (!ok_ || EVP_DigestFinal_ex(context_, digest, &size) != 1) {
            return "";
        }
        return hex(digest, size);
    }

  private:
    EVP_MD_CTX* context_;
    bool ok_ = false;
};
#endif

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

void Sha256::update(std::string_view bytes) {
    ok_ = ok_ && state_->update(bytes.data(), bytes.size());
}

std::string Sha256::finish() {
    return ok_ ? state_->finish() : std::string();
}

std::string sha256File(const std::string& path, std::string* problem) {
    auto fail = [&](const std::string& why) {
        if (problem != nullptr) {
            *problem = why;
        }
        return std::string();
    };
    // Through the file-system layer, as the scene reader opens it, so that
    // both name the same file.
    std::string error;
    files::ReadingFile file(files::systemFileSystem(), path, error);
    if (!file.isOpen()) {
        return fail("cannot be opened");
    }
    Sha256 hash;
    const std::unique_ptr<char[]> block(new char[kBlock]);
    for (;;) {
        const int64_t got = file.readFull(block.get(), kBlock, error);
        if (got < 0) {
            return fail("could not be read to its end");
        }
        hash.update(std::string_view(block.get(), static_cast<std::size_t>(got)));
        if (static_cast<std::size_t>(got) < kBlock) {
            break;
        }
    }
    const std::string digest = hash.finish();
    return digest.empty() ? fail("could not be hashed") : digest;
}

std::string absolutePath(const std::string& path) {
    if (path == "-") {
        return path;
    }
    std::error_code error;
    const std::filesystem::path whole = std::filesystem::absolute(files::pathOf(path), error);
    return error ? path : files::textOf(whole.lexically_normal());
}

std::string commandLine() {
#ifdef _WIN32
    std::string text = files::utf8(GetCommandLineW());
    // A command line started through the shell may end in blanks that are
    // no argument.
    text.erase(text.find_last_not_of(" \t") + 1);
    return text;
#else
    // The arguments as the kernel keeps them, each ended by a zero byte.
    std::string all, error;
    {
        files::ReadingFile file(files::systemFileSystem(), "/proc/self/cmdline", error);
        char chunk[4096];
        int64_t got = 0;
        while (file.isOpen() && (got = file.readFull(chunk, sizeof chunk, error)) > 0) {
            all.append(chunk, static_cast<std::size_t>(got));
        }
    }
    std::string text, argument;
    auto add = [&] {
        const bool plain =
            !argument.empty() &&
            argument.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                       "0123456789-_./:=,+@%") == std::string::npos;
        text += text.empty() ? "" : " ";
        if (plain) {
            text += argument;
            return;
        }
        text += '\'';
        for (char c : argument) {
            text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        text += '\'';
    };
    for (char c : all) {
        if (c == '\0') {
            add();
            argument.clear();
        } else {
            argument += c;
        }
    }
    return text;
#endif
}

std::string vrimVersion() {
    return VRIM_VERSION;
}

std::string utcNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &now);
#else
    gmtime_r(&now, &parts);
#endif
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

} // namespace vrim::report
