// Runs a fuzz target's entry code over every file in the folders it is given: the target's seed
// corpus and every input that ever crashed it. A failing input aborts or trips a sanitizer; its
// path is printed just before it runs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

// Inputs are the folder's regular files; notes about them (README*) are not inputs.
std::vector<fs::path> InputsIn(const fs::path& folder) {
    std::vector<fs::path> inputs;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.rfind("README", 0) != 0) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

// The bytes go into a block of exactly their size, so that a read past them is seen.
void Replay(const fs::path& input) {
    std::ifstream in(input, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    std::fprintf(stderr, "replay: %s\n", input.c_str());
    LLVMFuzzerTestOneInput(exact.get(), bytes.size());
}

}  // namespace

// Usage: replay_<target> <folder>...; a folder that does not exist holds no inputs yet, but at
// least one input must run.
int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
    size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        if (!fs::is_directory(argv[i])) continue;
        for (const fs::path& input : InputsIn(argv[i])) {
            Replay(input);
            ++count;
        }
    }
    std::fprintf(stderr, "replay: %zu inputs ran clean\n", count);
    return count > 0 ? 0 : 1;
}
