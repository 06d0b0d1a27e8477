#include "runtime/images/atomic_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "runtime/core/memory.h"

namespace vorlune {

namespace {

constexpr int32_t kMostLinksFollowed = 40;  // the kernel's own limit on a path
constexpr int32_t kTemporaryNameAttempts = 64;
constexpr size_t kTemporaryNameBytes = 64;
constexpr mode_t kKeptModeBits = 0777;  // set-id bits are not handed on to a new file
// A few large writes instead of one per row: the file is written and flushed in half the time.
constexpr int64_t kPendingBytes = int64_t{256} << 10;

// Through the last slash; 0 for a bare name.
size_t FolderLength(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? static_cast<size_t>(slash - path) + 1 : 0;
}

// The first folderLength bytes of folder followed by name; null when out of memory.
char* JoinPath(const char* folder, size_t folderLength, const char* name) {
    const size_t nameLength = std::strlen(name);
    auto* path = static_cast<char*>(AllocRaw(folderLength + nameLength + 1));
    if (path == nullptr) return nullptr;
    std::memcpy(path, folder, folderLength);
    std::memcpy(path + folderLength, name, nameLength + 1);
    return path;
}

char* ReadLink(const char* link, off_t sizeHint) {
    for (auto capacity = std::max<size_t>(static_cast<size_t>(sizeHint) + 1, 64);; capacity *= 2) {
        auto* text = static_cast<char*>(AllocRaw(capacity));
        if (text == nullptr) return nullptr;
        const ssize_t length = readlink(link, text, capacity);
        if (length >= 0 && static_cast<size_t>(length) < capacity) {
            text[length] = 0;
            return text;
        }
        FreeMemory(text);
        if (length < 0) return nullptr;
    }
}

// A relative link names a file from the link's own folder.
char* FollowLink(const char* link, off_t sizeHint) {
    char* text = ReadLink(link, sizeHint);
    if (text == nullptr) return nullptr;
    char* next = JoinPath(link, text[0] == '/' ? 0 : FolderLength(link), text);
    FreeMemory(text);
    return next;
}

struct SaveTarget {
    char* path;  // null when the path leads nowhere a save can go
    bool exists;
    struct stat status;  // of the existing file
};

// The file a save replaces or creates: the path itself, or the end of its chain of links.
SaveTarget ResolveTarget(const char* path) {
    SaveTarget target{JoinPath("", 0, path), false, {}};
    for (int32_t links = 0; target.path != nullptr; ++links) {
        if (lstat(target.path, &target.status) != 0) {
            if (errno == ENOENT) return target;
            break;
        }
        if (!S_ISLNK(target.status.st_mode)) {
            target.exists = true;
            return target;
        }
        if (links == kMostLinksFollowed) {
            errno = ELOOP;
            break;
        }
        char* next = FollowLink(target.path, target.status.st_size);
        FreeMemory(target.path);
        target.path = next;
    }
    FreeMemory(target.path);
    target.path = nullptr;
    return target;
}

// A rename would replace what opening for writing refuses: a folder, a device, a file the
// caller may only read.
// errno says why not.
bool MayReplace(const SaveTarget& target) {
    if (S_ISDIR(target.status.st_mode)) {
        errno = EISDIR;
        return false;
    }
    if (!S_ISREG(target.status.st_mode)) {
        errno = EINVAL;
        return false;
    }
    return faccessat(AT_FDCWD, target.path, W_OK, AT_EACCESS) == 0;
}

// Owner first, since changing it may clear mode bits. Only a privileged saver may give the file
// away; any other may still keep its group if it belongs to it.
bool TakeOverAttributes(int descriptor, const struct stat& old) {
    if (fchown(descriptor, old.st_uid, old.st_gid) != 0 &&
        fchown(descriptor, static_cast<uid_t>(-1), old.st_gid) != 0) {
        // Neither is allowed: the file becomes the saver's, as a new one would.
    }
    return fchmod(descriptor, old.st_mode & kKeptModeBits) == 0;
}

}  // namespace

AtomicSave::~AtomicSave() {
    Abandon();
}

bool AtomicSave::Open(const char* path) {
    Abandon();
    if (path == nullptr || path[0] == 0) return false;
    const SaveTarget target = ResolveTarget(path);
    target_ = target.path;
    if (target_ == nullptr || (target.exists && !MayReplace(target))) {
        Abandon();
        return false;
    }
    const size_t folderLength = FolderLength(target_);
    temporary_ = static_cast<char*>(AllocRaw(folderLength + kTemporaryNameBytes));
    for (int32_t attempt = 0; temporary_ != nullptr && attempt < kTemporaryNameAttempts;
         ++attempt) {
        std::memcpy(temporary_, target_, folderLength);
        std::snprintf(temporary_ + folderLength, kTemporaryNameBytes, ".vorlune-%ld-%d.tmp",
                      static_cast<long>(getpid()), attempt);
        // A replacement starts private and takes the old file's bits at once.
        descriptor_ =
            open(temporary_, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, target.exists ? 0600 : 0666);
        if (descriptor_ >= 0 || errno != EEXIST) break;
    }
    if (descriptor_ < 0 || (target.exists && !TakeOverAttributes(descriptor_, target.status))) {
        Abandon();
        return false;
    }
    pending_.reset(new (std::nothrow)
                       uint8_t[kPendingBytes]);  // without it, writes go straight out
    pendingCount_ = 0;
    return true;
}

bool AtomicSave::WriteNow(int64_t offset, const uint8_t* bytes, int64_t count) {
    while (count > 0) {
        const ssize_t written = pwrite(descriptor_, bytes, static_cast<size_t>(count), offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        offset += written;
        count -= written;
    }
    return true;
}

bool AtomicSave::WritePending() {
    const int64_t count = pendingCount_;
    pendingCount_ = 0;
    return WriteNow(pendingOffset_, pending_.get(), count);
}

bool AtomicSave::WriteAt(int64_t offset, const void* bytes, int64_t count) {
    if (descriptor_ < 0 || offset < 0 || count < 0) return false;
    const auto* next = static_cast<const uint8_t*>(bytes);
    if (pending_ == nullptr) return WriteNow(offset, next, count);
    const bool follows = offset == pendingOffset_ + pendingCount_;
    if (follows && count <= kPendingBytes - pendingCount_) {
        std::memcpy(pending_.get() + pendingCount_, next, static_cast<size_t>(count));
        pendingCount_ += count;
        return true;
    }
    if (!WritePending()) return false;
    if (count >= kPendingBytes) return WriteNow(offset, next, count);
    std::memcpy(pending_.get(), next, static_cast<size_t>(count));
    pendingOffset_ = offset;
    pendingCount_ = count;
    return true;
}

bool AtomicSave::Commit() {
    if (descriptor_ < 0) return false;
    const bool flushed = WritePending() && fsync(descriptor_) == 0;
    const bool closed = close(descriptor_) == 0;
    descriptor_ = -1;
    const bool placed = flushed && closed && std::rename(temporary_, target_) == 0;
    if (!placed) unlink(temporary_);
    Abandon();
    return placed;
}

void AtomicSave::Abandon() {
    const int reason = errno;  // of the failure that led here, for the caller
    if (descriptor_ >= 0) {
        close(descriptor_);
        descriptor_ = -1;
        unlink(temporary_);
    }
    pending_.reset();
    pendingCount_ = 0;
    FreeMemory(temporary_);
    temporary_ = nullptr;
    FreeMemory(target_);
    target_ = nullptr;
    errno = reason;
}

}  // namespace vorlune
