// Runs byte-driven sequences of map, list and array operations against standard-library
// models (tests/core/container_models.h); any difference in contents, count or cursor ends
// the run. Some insertions run with the allocator failing and must then change nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "fuzz/fuzz_check.h"
#include "tests/core/container_models.h"

namespace {

class FuzzInput : public vorlune::model::ByteSource {
  public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return position_ >= size_; }
    uint8_t Byte() override { return position_ < size_ ? data_[position_++] : 0; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vorlune::InitLists();
    vorlune::InitMaps();
    vorlune::InitArrays();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorlune::model;
    if (size > 4096) return 0;
    FuzzInput in(data, size);
    try {
        MapModel map(in.Byte());
        ListModel lists;
        ArrayModel arrays;
        while (!in.Empty()) {
            const uint8_t which = in.Byte() % 4;
            if (which <= 1)
                map.Step(in);
            else if (which == 2)
                lists.Step(in);
            else
                arrays.Step(in);
        }
    } catch (const std::logic_error& mismatch) {
        vorlune::fuzz::Fail("fuzz_containers", mismatch.what());
    }
    return 0;
}
