#pragma once
// Saving a file whole or not at all, for the image encoders.

#include <cstdint>

namespace vorlune {

// The content goes to a temporary file beside the file it replaces and is renamed over it once
// complete and flushed, so a failed save leaves the old file as it was and no partial one.
// A symbolic link is followed to the file it names (a dangling link's target is created) and
// stays a link. A replaced file keeps its permission bits and, where allowed, its owner and
// group; a new file gets 0666 less the umask. Existing files that are not regular or that the
// caller may not write are refused.
class AtomicSave {
  public:
    AtomicSave() = default;
    AtomicSave(const AtomicSave&) = delete;
    AtomicSave& operator=(const AtomicSave&) = delete;
    ~AtomicSave();  // an uncommitted save is abandoned: its temporary file is removed

    bool Open(const char* path);                                     // false: nothing was created
    bool WriteAt(int64_t offset, const void* bytes, int64_t count);  // false on a short write
    bool Commit();  // true once the file is in place; false leaves the old one, as does abandoning

  private:
    void Abandon();

    int descriptor_ = -1;
    char* target_ = nullptr;
    char* temporary_ = nullptr;
};

}  // namespace vorlune
