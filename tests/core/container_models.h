#pragma once
// Standard-library models of the map, the list and the array, driven by bytes that choose the
// operations. After every step the container must match its model in contents, count and
// cursor. Shared by the differential tests (random bytes) and the container fuzz target.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <iterator>
#include <list>
#include <random>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/core/array.h"
#include "runtime/core/layout.h"
#include "runtime/core/list.h"
#include "runtime/core/map.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"

namespace vorlune::model {

// Where the operations come from; past its end a source reads 0.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual uint8_t Byte() = 0;
};

class RandomBytes : public ByteSource {
  public:
    explicit RandomBytes(uint32_t seed) : random_(seed) {}
    uint8_t Byte() override { return static_cast<uint8_t>(random_()); }

  private:
    std::mt19937 random_;
};

// A mismatch throws: the tests report it, the fuzz target lets it end the run.
inline void Check(bool condition, const char* what) {
    if (!condition) throw std::logic_error(what);
}

// Allocation failure on demand: the given number of requests succeed, every later one fails.
inline int64_t allocationsLeft = -1;
inline bool FailWhenExhausted(uint64_t) {
    if (allocationsLeft < 0) return false;
    if (allocationsLeft == 0) return true;
    --allocationsLeft;
    return false;
}
inline void FailAllocationsAfter(int64_t allowed) {
    allocationsLeft = allowed;
    SetAllocationFailureHook(FailWhenExhausted);
}
inline void StopFailing() {
    SetAllocationFailureHook(nullptr);
}

// Elements carry their id twice, once as text, so the layout walkers copy and release strings.
struct Item {
    int64_t id;
    char16_t* text;
};
inline const int64_t kItemLayout[] = {8, kLayoutEnd};

inline void Stamp(void* element, int64_t id) {
    auto* item = static_cast<Item*>(element);
    item->id = id;
    std::free(item->text);
    item->text = nullptr;
    const std::string digits = std::to_string(id);
    DuplicateString(&item->text, std::u16string(digits.begin(), digits.end()).c_str());
}

inline int64_t IdOf(const void* element) {
    if (element == nullptr) return 0;
    const auto* item = static_cast<const Item*>(element);
    const std::string digits = std::to_string(item->id);
    const char16_t* text = item->text;
    if (item->id == 0 && text == nullptr) return 0;
    for (char digit : digits)
        Check(text != nullptr && *text++ == static_cast<char16_t>(digit), "text lost its id");
    return item->id;
}

// Map ------------------------------------------------------------------------------------------

// The documented order (bucket by bucket, each chain newest first) follows from the model's
// entries, so the model knows where NextElement and DeleteCurrent must leave the cursor.
class MapModel {
  public:
    enum Keys { kText, kNoCase, kInteger };

    explicit MapModel(uint8_t config) : keys_(static_cast<Keys>(config % 3)) {
        const int32_t buckets[] = {1, 2, 7, 64, 1024};
        map_ = CreateMap(sizeof(Item), 0, kItemLayout, nullptr, buckets[config / 3 % 5]);
        map_->flags |= Flags();
    }
    ~MapModel() { DestroyMap(map_); }

    void Step(ByteSource& in) {
        const uint8_t op = in.Byte() % 16;
        const Key key = ReadKey(in);
        if (op < 5) {
            Add(key, op < 3 ? kMapAddAlways : kMapReuseKey, in.Byte());
        } else if (op < 7) {
            Entry* hit = Newest(key);
            Check(IdOf(Find(key)) == (hit ? hit->id : 0), "lookup disagrees");
            if (hit != nullptr) At(hit->id);
        } else if (op < 11) {
            Next();
        } else if (op < 13) {
            Delete();
        } else if (op == 13) {
            ResetIteration(map_);
            cursor_ = kReset;
        } else if (op == 14) {
            CheckCopy(in.Byte());
        } else if (in.Byte() < 32) {
            ClearMap(map_);
            entries_.clear();
            cursor_ = kReset;
        }
        Compare();
    }

  private:
    enum Cursor { kReset, kEnd, kAt };
    struct Key {
        std::u16string text;
        int64_t number;
    };
    struct Entry {
        int64_t id;
        uint64_t sequence;
        uint32_t bucket;
    };

    uint8_t Flags() const {
        return keys_ == kNoCase ? kMapNoCase : keys_ == kInteger ? kMapIntegerKeys : 0;
    }

    Key ReadKey(ByteSource& in) const {
        Key key{u"", 0};
        const uint8_t shape = in.Byte();
        if (keys_ == kInteger) {
            const int64_t numbers[] = {0, 1, -1, 1024, -1024, INT64_MIN, INT64_MAX, 7};
            key.number =
                static_cast<int64_t>(static_cast<uint64_t>(numbers[shape % 8]) + shape / 8 % 4);
            return key;
        }
        for (int length = shape % 4; length > 0; --length)
            key.text += u"aAbB\xFF\xC0\x3A3\x3C3"[in.Byte() % 8];
        return key;
    }

    std::u16string Folded(std::u16string text) const {
        if (keys_ == kNoCase)
            for (char16_t& unit : text)
                unit = static_cast<char16_t>(std::towlower(unit));
        return text;
    }

    // Keys that the map calls equal have the same model key.
    std::u16string ModelKey(const Key& key) const {
        if (keys_ != kInteger) return Folded(key.text);
        const auto* units = reinterpret_cast<const char16_t*>(&key.number);
        return std::u16string(units, units + 4);
    }

    uint32_t Bucket(const Key& key) const {
        if (keys_ == kInteger) return static_cast<uint64_t>(key.number) % map_->bucketCount;
        const char16_t* text = key.text.c_str();
        return (keys_ == kNoCase ? HashKeyNoCase(text) : HashKey(text)) % map_->bucketCount;
    }

    void* Find(const Key& key) {
        return keys_ == kInteger ? FindElementInt(map_, key.number)
                                 : FindElement(map_, key.text.c_str());
    }

    Entry* Newest(const Key& key) {
        Entry* newest = nullptr;
        auto [from, to] = entries_.equal_range(ModelKey(key));
        for (; from != to; ++from)
            if (newest == nullptr || from->second.sequence > newest->sequence)
                newest = &from->second;
        return newest;
    }

    std::vector<Entry*> Order() {
        std::vector<Entry*> order;
        for (auto& [key, entry] : entries_)
            order.push_back(&entry);
        std::sort(order.begin(), order.end(), [](const Entry* a, const Entry* b) {
            return a->bucket != b->bucket ? a->bucket < b->bucket : a->sequence > b->sequence;
        });
        return order;
    }

    size_t CurrentIndex(const std::vector<Entry*>& order) const {
        size_t i = 0;
        while (i < order.size() && order[i]->id != current_)
            ++i;
        Check(i < order.size(), "model lost its current element");
        return i;
    }

    void At(int64_t id) {
        cursor_ = kAt;
        current_ = id;
    }

    // Some insertions run with the allocator failing after 0 or 1 requests; a null result
    // must then leave everything as it was.
    void Add(const Key& key, int32_t mode, uint8_t failure) {
        if (failure < 32) FailAllocationsAfter(failure & 1);
        void* element = keys_ == kInteger ? AddMapElementInt(map_, key.number, mode)
                                          : AddMapElement(map_, key.text.c_str(), mode);
        StopFailing();
        Entry* entry = mode == kMapReuseKey ? Newest(key) : nullptr;
        Check(element != nullptr || (failure < 32 && entry == nullptr), "insertion failed");
        if (element == nullptr) return;
        Check(static_cast<Item*>(element)->id == 0, "element not zero-filled");
        Stamp(element, ++lastId_);
        if (entry == nullptr) {
            entry = &entries_.emplace(ModelKey(key), Entry{0, ++sequence_, Bucket(key)})->second;
        }
        entry->id = lastId_;
        At(lastId_);
    }

    void Next() {
        const std::vector<Entry*> order = Order();
        Entry* next = nullptr;
        if (cursor_ == kReset && !order.empty()) next = order.front();
        if (cursor_ == kAt && CurrentIndex(order) + 1 < order.size()) {
            next = order[CurrentIndex(order) + 1];
        }
        Check(IdOf(NextElement(map_)) == (next ? next->id : 0), "iteration disagrees");
        if (next != nullptr)
            At(next->id);
        else
            cursor_ = kEnd;
    }

    void Delete() {
        if (cursor_ != kAt) {
            Check(DeleteCurrent(map_) == nullptr, "deleted without a current element");
            return;
        }
        const std::vector<Entry*> order = Order();
        const size_t i = CurrentIndex(order);
        const int64_t before = i == 0 ? 0 : order[i - 1]->id;
        Check(IdOf(DeleteCurrent(map_)) == before, "deletion left the wrong current element");
        std::erase_if(entries_, [&](const auto& entry) { return entry.second.id == current_; });
        if (before == 0)
            cursor_ = kReset;
        else
            At(before);
    }

    // With the same bucket count a copy has the same chains, element for element.
    void CheckCopy(uint8_t how) {
        HashMap* copy = CreateMap(sizeof(Item), 0, kItemLayout, nullptr, map_->bucketCount);
        copy->flags |= Flags();
        Stamp(keys_ == kInteger ? AddMapElementInt(copy, 5, 0) : AddMapElement(copy, u"x", 0), 0);
        const int32_t clear = how & 1;
        Check(CopyMap(map_, copy, clear) == 1, "copy failed");
        std::vector<int64_t> copied = Chains(copy);
        if (clear == 0) {
            const auto old = std::find(copied.begin(), copied.end(), 0);
            Check(old != copied.end(), "copy without clearing lost the old element");
            copied.erase(old);
        }
        Check(copied == Chains(map_), "copy differs");
        DestroyMap(copy);
    }

    std::vector<int64_t> Chains(HashMap* map) const {
        std::vector<int64_t> ids;
        for (uint32_t bucket = 0; bucket < map->bucketCount; ++bucket)
            for (MapNode* node = map->buckets[bucket]; node != nullptr; node = node->next)
                ids.push_back(IdOf(node + 1));
        return ids;
    }

    void Compare() {
        Check(map_->count == static_cast<int32_t>(entries_.size()), "count differs");
        std::vector<int64_t> expected;
        for (const Entry* entry : Order())
            expected.push_back(entry->id);
        Check(Chains(map_) == expected, "contents or order differ");
        if (cursor_ == kAt) {
            Check(map_->current != nullptr && IdOf(map_->current + 1) == current_,
                  "cursor differs");
        } else {
            Check(map_->current == nullptr, "cursor should be empty");
            Check((map_->currentBucket == -1) == (cursor_ == kReset), "iteration state differs");
        }
    }

    Keys keys_;
    HashMap* map_;
    std::unordered_multimap<std::u16string, Entry> entries_;
    Cursor cursor_ = kReset;
    int64_t current_ = 0;
    int64_t lastId_ = 0;
    uint64_t sequence_ = 0;
};

// List -----------------------------------------------------------------------------------------

// Two lists, so that copies in both directions are covered; the cursor is an index.
class ListModel {
  public:
    void Step(ByteSource& in) {
        const uint8_t op = in.Byte();
        Side& side = sides_[op & 1];
        Side& other = sides_[1 - (op & 1)];
        const uint8_t value = in.Byte();
        switch (op / 2 % 8) {
            case 0:
            case 1:
            case 2:
                Add(side, value);
                break;
            case 3:
            case 4:
            case 5:
                Select(side, value);
                break;
            case 6:
                Copy(side, other, (value & 1) != 0 || side.model.size() > 64);
                break;
            default:
                if (value < 32) {
                    ClearList(side.list);
                    side.model.clear();
                    side.current = -1;
                }
        }
        side.Compare();
        other.Compare();
    }

  private:
    struct Side {
        ListVariable variable{};
        LinkedList* list = CreateList(sizeof(Item), &variable, kItemLayout, 0);
        std::list<int64_t> model;
        int64_t current = -1;

        ~Side() { DestroyList(list); }

        void InsertAfterCurrent(int64_t id) {
            model.insert(current < 0 ? model.begin() : std::next(model.begin(), current + 1), id);
            current = current < 0 ? 0 : current + 1;
        }

        void Compare() const {
            std::vector<int64_t> ids;
            const LinkedListNode* previous = nullptr;
            for (LinkedListNode* node = list->first; node != nullptr; node = node->next) {
                Check(node->prev == previous, "backward link broken");
                ids.push_back(IdOf(ListNodeElement(node)));
                previous = node;
            }
            Check(list->last == previous, "last node wrong");
            Check(ids == std::vector<int64_t>(model.begin(), model.end()), "contents differ");
            Check(list->count == static_cast<int64_t>(model.size()), "count differs");
            Check(variable.currentNode == list->currentNode, "list variable out of step");
            Check((list->noCurrent != 0) == (current < 0), "cursor differs");
            if (current < 0) return;
            Check(list->currentIndex == current, "current index differs");
            Check(IdOf(ListNodeElement(list->currentNode)) == *std::next(model.begin(), current),
                  "current element differs");
        }
    };

    void Add(Side& side, uint8_t failure) {
        if (failure < 32) FailAllocationsAfter(0);
        void* element = AddListElement(side.list);
        StopFailing();
        Check((element == nullptr) == (failure < 32), "insertion result");
        if (element == nullptr) return;
        Stamp(element, ++lastId_);
        side.InsertAfterCurrent(lastId_);
    }

    void Select(Side& side, uint8_t value) {
        const int64_t count = static_cast<int64_t>(side.model.size());
        const int64_t index = static_cast<int64_t>(value % (count + 4)) - 2;
        const bool inside = index >= 0 && index < count;
        Check(IdOf(SelectListElement(side.list, index)) ==
                  (inside ? *std::next(side.model.begin(), index) : 0),
              "selection disagrees");
        side.current = inside ? index : -1;
    }

    void Copy(Side& side, const Side& other, bool clear) {
        Check(CopyList(other.list, side.list, clear ? 1 : 0) == 1, "copy failed");
        if (clear) {
            side.model.clear();
            side.current = -1;
        }
        for (int64_t id : other.model)
            side.InsertAfterCurrent(id);
    }

    Side sides_[2];
    int64_t lastId_ = 0;
};

// Arrays ---------------------------------------------------------------------------------------

class ArrayModel {
  public:
    void Step(ByteSource& in) {
        const uint8_t op = in.Byte();
        Side& side = sides_[op & 1];
        Side& other = sides_[1 - (op & 1)];
        const uint8_t value = in.Byte();
        switch (op / 2 % 8) {
            case 0:
                Create(side, value);
                break;
            case 1:
            case 2:
            case 3:
                if (side.model.empty()) break;
                Stamp(&static_cast<Item*>(side.owner[0])[value % side.model.size()], ++lastId_);
                side.model[value % side.model.size()] = lastId_;
                break;
            case 4:
            case 5:
            case 6:
                Copy(side, other, (value & 1) != 0);
                break;
            default:
                FreeArray(side.owner[0]);
                side.model.clear();
        }
        side.Compare();
        other.Compare();
    }

  private:
    struct Side {
        void* owner[2] = {};  // data pointer and one stride
        std::vector<int64_t> model;

        ~Side() { FreeArray(owner[0]); }

        void Compare() const {
            Check(ArrayCount(owner[0]) == static_cast<int64_t>(model.size()), "count differs");
            for (size_t i = 0; i < model.size(); ++i)
                Check(IdOf(&static_cast<const Item*>(owner[0])[i]) == model[i], "contents differ");
        }
    };

    // A failed creation, like a count of 0, leaves the variable without an array.
    static void Create(Side& side, uint8_t value) {
        const int64_t count = static_cast<int64_t>(value % 14) - 2;
        const bool failing = value >= 224;
        if (failing) FailAllocationsAfter(0);
        void* data = CreateArray(sizeof(Item), count, 0, kItemLayout, side.owner);
        StopFailing();
        Check((data == nullptr) == (count <= 0 || failing), "creation result");
        side.model.assign(data == nullptr ? 0 : static_cast<size_t>(count), 0);
    }

    static void Copy(Side& side, const Side& other, bool recreate) {
        const bool possible = !side.model.empty() && !other.model.empty() &&
                              (recreate || side.model.size() == other.model.size());
        Check(CopyArray(other.owner[0], side.owner[0], recreate ? 1 : 0) == (possible ? 1 : 0),
              "copy result");
        if (possible) side.model = other.model;
    }

    Side sides_[2];
    int64_t lastId_ = 0;
};

}  // namespace vorlune::model
