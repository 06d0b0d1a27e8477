// Saving over what is at a path: the written file's mode, symbolic links followed to their
// target, and failures that leave the old file as it was.
#include "runtime/images/atomic_save.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/images/bmp.h"
#include "tests/images/codec_helpers.h"

namespace vorlune {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;

const std::vector<uint8_t> kOldContent = {'o', 'l', 'd'};

// A scratch folder with a subfolder "sub"; names are relative to the scratch folder.
class Scene {
  public:
    Scene() { fs::create_directory(At("sub")); }
    ~Scene() { chmod(At("sub").c_str(), 0755); }  // so that the folder can be removed

    std::string At(const std::string& name) const { return folder_.File(name); }
    void File(const std::string& name, mode_t mode) const {
        testing::WriteFile(At(name), kOldContent);
        chmod(At(name).c_str(), mode);
    }
    void Link(const std::string& name, const std::string& text) const {
        ASSERT_EQ(symlink(text.c_str(), At(name).c_str()), 0);
    }
    void ReadOnly(const std::string& folder) const { chmod(At(folder).c_str(), 0555); }

    // Names left behind by a save, in both folders.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const char* folder : {"", "sub"}) {
            for (const auto& entry : fs::directory_iterator(At(folder))) {
                const std::string name = entry.path().filename().string();
                if (name.find(".tmp") != std::string::npos) names.push_back(name);
            }
        }
        return names;
    }

  private:
    testing::ScratchFolder folder_;
};

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

bool IsLink(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

// Writes beyond this many bytes fail as on a full disk while it lives.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved_;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, SIG_DFL);
    }

  private:
    struct rlimit saved_ {};
};

enum class Condition { kNone, kFileSizeLimit, kUnprivileged };

TEST(AtomicSaveTest, SavesKeepModesFollowLinksAndFailWithoutDamage) {
    struct Case {
        const char* name;
        std::function<void(const Scene&)> build;
        const char* saved;   // the path given to the save
        const char* target;  // the file that receives the content; "" for none
        int64_t result;
        mode_t mode;  // of the target afterwards
        Condition condition = Condition::kNone;
        int error = 0;  // errno after a refusal
    };
    const Case cases[] = {
        {"new file", [](const Scene&) {}, "new.bmp", "new.bmp", 1, 0640},
        {"existing 0600", [](const Scene& s) { s.File("old.bmp", 0600); }, "old.bmp", "old.bmp", 1,
         0600},
        {"existing 0640", [](const Scene& s) { s.File("old.bmp", 0640); }, "old.bmp", "old.bmp", 1,
         0640},
        {"existing 0755", [](const Scene& s) { s.File("old.bmp", 0755); }, "old.bmp", "old.bmp", 1,
         0755},
        {"relative link",
         [](const Scene& s) {
             s.File("sub/t.bmp", 0600);
             s.Link("l.bmp", "sub/t.bmp");
         },
         "l.bmp", "sub/t.bmp", 1, 0600},
        {"absolute link",
         [](const Scene& s) {
             s.File("sub/t.bmp", 0755);
             s.Link("l.bmp", s.At("sub/t.bmp"));
         },
         "l.bmp", "sub/t.bmp", 1, 0755},
        {"link to a link, each relative to its own folder",
         [](const Scene& s) {
             s.File("sub/t.bmp", 0640);
             s.Link("sub/l.bmp", "t.bmp");
             s.Link("l.bmp", "sub/l.bmp");
         },
         "l.bmp", "sub/t.bmp", 1, 0640},
        {"dangling link", [](const Scene& s) { s.Link("l.bmp", "sub/missing.bmp"); }, "l.bmp",
         "sub/missing.bmp", 1, 0640},
        {"link loop",
         [](const Scene& s) {
             s.Link("a.bmp", "b.bmp");
             s.Link("b.bmp", "a.bmp");
         },
         "a.bmp", "", 0, 0, Condition::kNone, ELOOP},
        {"a folder", [](const Scene&) {}, "sub", "", 0, 0, Condition::kNone, EISDIR},
        {"no such folder", [](const Scene&) {}, "none/new.bmp", "", 0, 0, Condition::kNone, ENOENT},
        {"write fails part-way",
         [](const Scene& s) {
             s.File("sub/t.bmp", 0640);
             s.Link("l.bmp", "sub/t.bmp");
         },
         "l.bmp", "sub/t.bmp", 0, 0640, Condition::kFileSizeLimit, EFBIG},
        {"read-only folder",
         [](const Scene& s) {
             s.File("sub/t.bmp", 0640);
             s.ReadOnly("sub");
         },
         "sub/t.bmp", "sub/t.bmp", 0, 0640, Condition::kUnprivileged, EACCES},
        {"read-only file", [](const Scene& s) { s.File("r.bmp", 0444); }, "r.bmp", "r.bmp", 0, 0444,
         Condition::kUnprivileged, EACCES},
        {"link in a read-only folder: the temporary file goes beside the target",
         [](const Scene& s) {
             s.File("t.bmp", 0640);
             s.Link("sub/l.bmp", "../t.bmp");
             s.ReadOnly("sub");
         },
         "sub/l.bmp", "t.bmp", 1, 0640, Condition::kUnprivileged},
    };

    const std::vector<uint8_t> pixels(64 * 64 * 3, 0x5A);
    const std::vector<uint8_t> encoded = testing::TakeEncodedBlock(
        EncodeBmpFrom24(nullptr, pixels.data(), 64, 64, 64 * 3, 0, 0, 24));
    ASSERT_FALSE(encoded.empty());

    const mode_t savedUmask = umask(027);
    for (const Case& c : cases) {
        // Permissions do not hold a privileged saver back.
        if (c.condition == Condition::kUnprivileged && geteuid() == 0) continue;
        SCOPED_TRACE(c.name);
        const Scene scene;
        c.build(scene);
        const std::string saved = scene.At(c.saved);
        const std::string target = scene.At(c.target);
        const bool wasLink = IsLink(saved);
        int64_t result = 0;
        errno = 0;
        {
            std::optional<FileSizeLimit> limit;
            if (c.condition == Condition::kFileSizeLimit) limit.emplace(2000);
            result = EncodeBmpFrom24(saved.c_str(), pixels.data(), 64, 64, 64 * 3, 0, 0, 24);
        }
        EXPECT_EQ(result, c.result);
        if (c.result == 0) {
            EXPECT_EQ(errno, c.error) << std::strerror(errno);
        }
        EXPECT_EQ(scene.Leftovers(), std::vector<std::string>{});
        EXPECT_EQ(IsLink(saved), wasLink) << "a link stays a link";
        if (*c.target == 0) continue;
        EXPECT_EQ(ReadFile(target), c.result == 1 ? encoded : kOldContent);
        EXPECT_EQ(ModeOf(target), c.mode) << std::oct << ModeOf(target);
    }
    umask(savedUmask);
}

// Writes are gathered into large ones: in order, out of order (a header written last), over each
// other and larger than what is gathered, the file holds what each write put there, last write
// last.
TEST(AtomicSaveTest, GatheredWritesLandWhereAndAsTheyWereMade) {
    struct Write {
        int64_t offset;
        int64_t count;
    };
    const std::vector<std::vector<Write>> cases = {
        {{0, 54}, {54, 12288}, {12342, 12288}, {24630, 100}},
        {{54, 300000}, {300054, 7}, {0, 54}},
        {{0, 1000}, {500, 1000}, {200, 10}, {1 << 20, 3}},
        {{0, 1 << 19}, {100, 1 << 19}},
    };
    testing::ScratchFolder folder;
    const std::string path = folder.File("gathered.bin");
    uint8_t mark = 0;
    for (const std::vector<Write>& writes : cases) {
        std::vector<uint8_t> expected;
        AtomicSave save;
        ASSERT_TRUE(save.Open(path.c_str()));
        for (const Write& w : writes) {
            const std::vector<uint8_t> bytes(static_cast<size_t>(w.count), ++mark);
            ASSERT_TRUE(save.WriteAt(w.offset, bytes.data(), w.count));
            const auto end = static_cast<size_t>(w.offset + w.count);
            if (expected.size() < end) expected.resize(end, 0);
            std::copy(bytes.begin(), bytes.end(), expected.begin() + w.offset);
        }
        ASSERT_TRUE(save.Commit());
        EXPECT_TRUE(ReadFile(path) == expected) << "case with " << writes.size() << " writes";
    }
}

}  // namespace
}  // namespace vorlune
