#pragma once
// Saving a file whole or not at all, for the image encoders.

#include <cstdint>
#include <memory>

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

    bool Open(const char* path);  // false: nothing was created
    // Writes that follow each other are gathered into large ones; false when a write failed,
    // this one or a gathered one before it.
    bool WriteAt(int64_t offset, const void* bytes, int64_t count);
    bool Commit();  // true once the file is in place; false leaves the old one, as does abandoning

  private:
    bool WriteNow(int64_t offset, const uint8_t* bytes, int64_t count);
    bool WritePending();
    void Abandon();

    int descriptor_ = -1;
    std::unique_ptr<uint8_t[]> pending_;  // gathered bytes; null: every write goes straight out
    int64_t pendingOffset_ = 0;
    int64_t pendingCount_ = 0;
    char* target_ = nullptr;
    char* temporary_ = nullptr;
};

}  // namespace vorlune
