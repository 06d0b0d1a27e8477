#pragma once
// Shared by the container tests: the hook table, allocations that fail on demand, UTF-16 text.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "runtime/core/array.h"
#include "runtime/core/list.h"
#include "runtime/core/map.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "tests/core/container_models.h"

namespace vorlune::test {

class ContainerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitLists();
        InitMaps();
        InitArrays();
    }
    void TearDown() override { SetAllocationFailureHook(nullptr); }

    static void FailAllocationsAfter(int64_t allowed) { model::FailAllocationsAfter(allowed); }
    static void StopFailing() { model::StopFailing(); }
};

inline std::u16string U16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

inline std::string Ascii(const char16_t* text) {
    std::string result;
    for (; text != nullptr && *text != 0; ++text)
        result += static_cast<char>(*text);
    return result;
}

// A string field's value: malloc'd, as the layout walkers expect.
inline void SetText(char16_t*& field, const std::string& ascii) {
    std::free(field);
    field = nullptr;
    DuplicateString(&field, U16(ascii).c_str());
}

}  // namespace vorlune::test
