#pragma once
// How a fuzz target reports a fault: its name and what went wrong on standard error, then an
// abort, which the fuzzer keeps as a crash.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vorlune::fuzz {

[[noreturn]] inline void Fail(const char* target, const char* what) {
    std::fprintf(stderr, "%s: %s\n", target, what);
    std::abort();
}

// The two numbers say where (a pixel, two lengths).
[[noreturn]] inline void Fail(const char* target, const char* what, int64_t a, int64_t b) {
    std::fprintf(stderr, "%s: %s (%lld, %lld)\n", target, what, static_cast<long long>(a),
                 static_cast<long long>(b));
    std::abort();
}

inline void Check(bool condition, const char* target, const char* what) {
    if (!condition) Fail(target, what);
}

// A file of this process for a target that reads its input from a file too: in memory where
// /dev/shm can be written.
inline std::string ScratchFilePath(const char* target, const char* extension) {
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(folder) + "/" + target + "-" + std::to_string(getpid()) + extension;
}

// False when the bytes could not be written whole.
inline bool WriteScratchFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace vorlune::fuzz
