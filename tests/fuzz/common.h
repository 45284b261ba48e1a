// Shared by the fuzz harnesses: a private folder for the files a harness writes, the
// paths pointed into it, and a reader that takes the input apart.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/vault_files.h"
#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/fileio.h"
#include "vault/locations.h"
#include "vault/record.h"

// Every harness defines these two. The seeds are the starting corpus, built by code.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
std::vector<std::string> FuzzSeeds();

namespace fuzz {

// Stops the run with a message (a finding) in a way every fuzzer reports as a crash.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "FUZZ FINDING: %s\n", what);
    std::abort();
}
#define FUZZ_CHECK(cond)                                                 \
    do {                                                                 \
        if (!(cond)) ::fuzz::fail(#cond " at line " FUZZ_STR(__LINE__)); \
    } while (0)
#define FUZZ_STR2(x) #x
#define FUZZ_STR(x) FUZZ_STR2(x)

// One folder per process, memory-backed when possible (the harnesses sync files),
// removed with what the harnesses leave in it when the process ends.
struct Folder {
    std::string path;
    Folder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : tmp ? tmp : "/tmp";
        path = base + "/keyfold-fuzz.XXXXXX";
        if (!::mkdtemp(path.data())) fail("no temporary folder");
    }
    ~Folder() {
        for (const char* name : {"KFOLD30.DAT", "KFOLD28.DAT", "SG_2.ini", "KFOLD30.DAT.tmp", "SG_2.ini.tmp"})
            std::remove((path + "/" + name).c_str());
        ::rmdir(path.c_str());
    }
};
inline const std::string& folder() {
    static Folder f;
    return f.path;
}

// The files of the folder; each input starts afresh (a new DataFile of its own).
inline vault::Locations usePaths() {
    vault::testing::clearFaults();
    return testsupport::locationsIn(folder());
}

using testsupport::writeBytes;
// The file's bytes into `bytes`; false when it cannot be read.
inline bool readFile(const std::string& path, std::string& bytes) {
    const std::optional<std::string> read = testsupport::bytesOf(path);
    if (read) bytes = *read;
    return read.has_value();
}

// Takes the input apart front to back; past the end everything is empty or zero.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}
    std::uint8_t byte() { return n_ ? (--n_, *p_++) : 0; }
    std::string take(std::size_t count) {
        count = count < n_ ? count : n_;
        std::string s(reinterpret_cast<const char*>(p_), count);
        p_ += count;
        n_ -= count;
        return s;
    }
    // A length byte, then that many bytes.
    std::string shortText() { return take(byte()); }
    std::string rest() { return take(n_); }
    std::int32_t int32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return static_cast<std::int32_t>(v);
    }
    std::size_t left() const { return n_; }

private:
    const std::uint8_t* p_;
    std::size_t n_;
};

// Builders for seeds.
inline std::string lengthPrefixed(const std::string& s) { return std::string(1, static_cast<char>(s.size())) + s; }
inline vault::SiteRecord record(const std::string& status, const std::string& name, const std::string& site,
                                const std::string& user, const std::string& comments, const std::string& password) {
    return vault::makeRecord(status, name, site, user, comments, password);
}
inline std::string bytesOf(const vault::SiteRecord& r) { return testsupport::slotBytes(r); }

}  // namespace fuzz
