#pragma once
// A bounds-checked reader of little-endian values from untrusted bytes.

#include <cstdint>

namespace vorlune {

// Every read checks the remaining length first; a failed read leaves the cursor where it was and
// answers false (or null), so callers refuse instead of reading past the end.
class ByteCursor {
  public:
    ByteCursor(const uint8_t* bytes, int64_t length) : bytes_(bytes), length_(length) {}

    int64_t Position() const { return position_; }
    int64_t Remaining() const { return length_ - position_; }
    bool AtEnd() const { return position_ >= length_; }

    bool Seek(int64_t position) {
        if (position < 0 || position > length_) return false;
        position_ = position;
        return true;
    }
    bool Skip(int64_t count) {
        return count >= 0 && count <= Remaining() && Seek(position_ + count);
    }

    bool ReadU8(uint8_t* value) {
        if (Remaining() < 1) return false;
        *value = bytes_[position_++];
        return true;
    }
    bool ReadU16(uint16_t* value) {
        if (Remaining() < 2) return false;
        const uint8_t* p = bytes_ + position_;
        *value = static_cast<uint16_t>(p[0] | p[1] << 8);
        position_ += 2;
        return true;
    }
    bool ReadU32(uint32_t* value) {
        if (Remaining() < 4) return false;
        const uint8_t* p = bytes_ + position_;
        *value = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                 static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        position_ += 4;
        return true;
    }
    bool ReadI32(int32_t* value) {
        uint32_t bits = 0;
        if (!ReadU32(&bits)) return false;
        *value = static_cast<int32_t>(bits);
        return true;
    }
    // The next count bytes, in place; null when fewer remain.
    const uint8_t* Take(int64_t count) {
        if (count < 0 || count > Remaining()) return nullptr;
        const uint8_t* start = bytes_ + position_;
        position_ += count;
        return start;
    }

  private:
    const uint8_t* bytes_;
    int64_t length_;
    int64_t position_ = 0;
};

}  // namespace vorlune
