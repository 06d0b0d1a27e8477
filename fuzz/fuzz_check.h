#pragma once
// How a fuzz target reports a fault: its name and what went wrong on standard error, then an
// abort, which the fuzzer keeps as a crash.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

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

}  // namespace vorlune::fuzz
