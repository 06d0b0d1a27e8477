// Runs byte-driven sequences of map, list and array operations against standard-library
// models and checks contents, count and cursor after every step. Some insertions run with the
// allocator failing and must then change nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <iterator>
#include <list>
#include <string>
#include <vector>

#include "runtime/core/array.h"
#include "runtime/core/layout.h"
#include "runtime/core/list.h"
#include "runtime/core/map.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"

namespace vorlune {
namespace {

void Expect(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_containers: %s\n", what);
    std::abort();
}

// Elements carry their id twice, once as a string, so the layout walkers copy and release text.
struct Item {
    int64_t id;
    char16_t* text;
};
const int64_t kItemLayout[] = {8, kLayoutEnd};

void Stamp(void* element, int64_t id) {
    auto* item = static_cast<Item*>(element);
    item->id = id;
    std::free(item->text);
    item->text = nullptr;
    const std::string digits = std::to_string(id);
    const std::u16string text(digits.begin(), digits.end());
    DuplicateString(&item->text, text.c_str());
}

int64_t IdOf(const void* element) {
    if (element == nullptr) return 0;
    const auto* item = static_cast<const Item*>(element);
    const std::string digits = std::to_string(item->id);
    const char16_t* text = item->text;
    for (char digit : digits)
        Expect(text != nullptr && *text++ == static_cast<char16_t>(digit), "text lost its id");
    return item->id;
}

bool FailEverything(uint64_t) {
    return true;
}

class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return position_ >= size_; }
    uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// Map ------------------------------------------------------------------------------------------

class MapCheck {
  public:
    MapCheck(uint8_t config) : kind_(config % 3) {
        const int32_t buckets[] = {1, 2, 7, 64, 1024};
        map_ = CreateMap(sizeof(Item), 0, kItemLayout, nullptr, buckets[config / 3 % 5]);
        map_->flags |= Flags();
    }
    ~MapCheck() { DestroyMap(map_); }

    void Step(Input& in, int64_t& lastId) {
        const uint8_t op = in.Byte() % 8;
        const Key key = ReadKey(in);
        if (op <= 1) {
            const int32_t mode = op == 0 ? kMapAddAlways : kMapReuseKey;
            const bool failing = (in.Byte() & 7) == 0;
            if (failing) SetAllocationFailureHook(FailEverything);
            void* element = Add(key, mode);
            SetAllocationFailureHook(nullptr);
            Entry* reused = mode == kMapReuseKey ? Newest(key) : nullptr;
            if (failing && reused == nullptr) {
                Expect(element == nullptr, "a failed insertion returned an element");
            } else {
                Expect(element != nullptr, "insertion failed");
                Expect(static_cast<Item*>(element)->id == 0, "element not zero-filled");
                Stamp(element, ++lastId);
                if (reused == nullptr) {
                    entries_.push_back(Entry{key, lastId, ++sequence_, Bucket(key)});
                    reused = &entries_.back();
                }
                reused->id = lastId;
                At(reused->id);
            }
        } else if (op == 2) {
            Entry* hit = Newest(key);
            Expect(IdOf(Find(key)) == (hit ? hit->id : 0), "lookup disagrees");
            if (hit != nullptr) At(hit->id);
        } else if (op == 3) {
            const std::vector<Entry*> order = Order();
            Entry* next = nullptr;
            if (cursor_ == kReset && !order.empty()) next = order.front();
            if (cursor_ == kAt) {
                const size_t i = IndexOf(order, current_);
                if (i + 1 < order.size()) next = order[i + 1];
            }
            Expect(IdOf(NextElement(map_)) == (next ? next->id : 0), "iteration disagrees");
            if (next != nullptr)
                At(next->id);
            else
                cursor_ = kEnd;
        } else if (op == 4) {
            Delete();
        } else if (op == 5) {
            ResetIteration(map_);
            cursor_ = kReset;
        } else if (op == 6) {
            CheckCopy(in.Byte());
        } else if (in.Byte() < 16) {
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
        Key key;
        int64_t id;
        uint64_t sequence;
        uint32_t bucket;
    };

    uint8_t Flags() const { return kind_ == 1 ? kMapNoCase : kind_ == 2 ? kMapIntegerKeys : 0; }

    Key ReadKey(Input& in) const {
        Key key{u"", 0};
        const uint8_t shape = in.Byte();
        if (kind_ == 2) {
            const int64_t numbers[] = {0, 1, -1, 1024, -1024, INT64_MIN, INT64_MAX, 7};
            key.number =
                static_cast<int64_t>(static_cast<uint64_t>(numbers[shape % 8]) + shape / 8 % 4);
            return key;
        }
        for (int length = shape % 4; length > 0; --length)
            key.text += u"aAbB\xFF\xC0\x3A3\x3C3"[in.Byte() % 8];
        return key;
    }

    std::u16string Folded(const std::u16string& text) const {
        std::u16string folded = text;
        if (kind_ == 1)
            for (char16_t& unit : folded)
                unit = static_cast<char16_t>(std::towlower(unit));
        return folded;
    }

    bool SameKey(const Key& a, const Key& b) const {
        return kind_ == 2 ? a.number == b.number : Folded(a.text) == Folded(b.text);
    }

    uint32_t Bucket(const Key& key) const {
        if (kind_ == 2) return static_cast<uint64_t>(key.number) % map_->bucketCount;
        const uint32_t hash =
            kind_ == 1 ? HashKeyNoCase(key.text.c_str()) : HashKey(key.text.c_str());
        return hash % map_->bucketCount;
    }

    void* Add(const Key& key, int32_t mode) {
        return kind_ == 2 ? AddMapElementInt(map_, key.number, mode)
                          : AddMapElement(map_, key.text.c_str(), mode);
    }

    void* Find(const Key& key) {
        return kind_ == 2 ? FindElementInt(map_, key.number) : FindElement(map_, key.text.c_str());
    }

    Entry* Newest(const Key& key) {
        Entry* newest = nullptr;
        for (Entry& entry : entries_)
            if (SameKey(entry.key, key) && (!newest || entry.sequence > newest->sequence))
                newest = &entry;
        return newest;
    }

    std::vector<Entry*> Order() {
        std::vector<Entry*> order;
        for (Entry& entry : entries_)
            order.push_back(&entry);
        std::sort(order.begin(), order.end(), [](const Entry* a, const Entry* b) {
            return a->bucket != b->bucket ? a->bucket < b->bucket : a->sequence > b->sequence;
        });
        return order;
    }

    static size_t IndexOf(const std::vector<Entry*>& order, int64_t id) {
        size_t i = 0;
        while (i < order.size() && order[i]->id != id)
            ++i;
        Expect(i < order.size(), "model lost its current element");
        return i;
    }

    void At(int64_t id) {
        cursor_ = kAt;
        current_ = id;
    }

    void Delete() {
        if (cursor_ != kAt) {
            Expect(DeleteCurrent(map_) == nullptr, "deleted without a current element");
            return;
        }
        const std::vector<Entry*> order = Order();
        const size_t i = IndexOf(order, current_);
        const int64_t before = i == 0 ? 0 : order[i - 1]->id;
        Expect(IdOf(DeleteCurrent(map_)) == before, "deletion left the wrong current element");
        entries_.erase(std::find_if(entries_.begin(), entries_.end(),
                                    [&](const Entry& e) { return e.id == current_; }));
        if (before == 0)
            cursor_ = kReset;
        else
            At(before);
    }

    // A copy with the same buckets has the same chains, element for element.
    void CheckCopy(uint8_t how) {
        HashMap* copy = CreateMap(sizeof(Item), 0, kItemLayout, nullptr, map_->bucketCount);
        copy->flags |= Flags();
        if (how & 1) {
            Stamp(kind_ == 2 ? AddMapElementInt(copy, 5, 0) : AddMapElement(copy, u"old", 0), 0);
        }
        Expect(CopyMap(map_, copy, 1) == 1, "copy failed");
        Expect(Chains(copy) == Chains(map_), "copy differs");
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
        Expect(map_->count == static_cast<int32_t>(entries_.size()), "count differs");
        std::vector<int64_t> expected;
        for (const Entry* entry : Order())
            expected.push_back(entry->id);
        Expect(Chains(map_) == expected, "contents or order differ");
        if (cursor_ == kAt) {
            Expect(map_->current != nullptr && IdOf(map_->current + 1) == current_,
                   "cursor differs");
        } else {
            Expect(map_->current == nullptr, "cursor should be empty");
            Expect((map_->currentBucket == -1) == (cursor_ == kReset), "iteration state differs");
        }
    }

    int kind_;  // 0 text, 1 text without case, 2 integers
    HashMap* map_;
    std::list<Entry> entries_;
    Cursor cursor_ = kReset;
    int64_t current_ = 0;
    uint64_t sequence_ = 0;
};

// List -----------------------------------------------------------------------------------------

struct ListSide {
    ListVariable variable{};
    LinkedList* list = CreateList(sizeof(Item), &variable, kItemLayout, 0);
    std::list<int64_t> model;
    int64_t current = -1;

    ~ListSide() { DestroyList(list); }

    void InsertAfterCurrent(int64_t id) {
        auto at = current < 0 ? model.begin() : std::next(model.begin(), current + 1);
        model.insert(at, id);
        current = current < 0 ? 0 : current + 1;
    }

    void Compare() const {
        std::vector<int64_t> ids;
        const LinkedListNode* previous = nullptr;
        for (LinkedListNode* node = list->first; node != nullptr; node = node->next) {
            Expect(node->prev == previous, "backward link broken");
            ids.push_back(IdOf(ListNodeElement(node)));
            previous = node;
        }
        Expect(list->last == previous, "last node wrong");
        Expect(ids == std::vector<int64_t>(model.begin(), model.end()), "list contents differ");
        Expect(list->count == static_cast<int64_t>(model.size()), "list count differs");
        Expect(variable.currentNode == list->currentNode, "list variable out of step");
        Expect((list->noCurrent != 0) == (current < 0), "list cursor differs");
        if (current >= 0) {
            Expect(list->currentIndex == current, "list index differs");
            Expect(IdOf(ListNodeElement(list->currentNode)) == *std::next(model.begin(), current),
                   "list current element differs");
        }
    }
};

void ListStep(ListSide sides[2], Input& in, int64_t& lastId) {
    const uint8_t op = in.Byte();
    ListSide& side = sides[op & 1];
    ListSide& other = sides[1 - (op & 1)];
    switch (op / 2 % 5) {
        case 0:
        case 1: {
            const bool failing = (in.Byte() & 7) == 0;
            if (failing) SetAllocationFailureHook(FailEverything);
            void* element = AddListElement(side.list);
            SetAllocationFailureHook(nullptr);
            Expect((element == nullptr) == failing, "list insertion result");
            if (element == nullptr) break;
            Stamp(element, ++lastId);
            side.InsertAfterCurrent(lastId);
            break;
        }
        case 2: {
            const int64_t count = static_cast<int64_t>(side.model.size());
            const int64_t index = static_cast<int64_t>(in.Byte() % (count + 4)) - 2;
            const bool inside = index >= 0 && index < count;
            Expect(IdOf(SelectListElement(side.list, index)) ==
                       (inside ? *std::next(side.model.begin(), index) : 0),
                   "selection disagrees");
            side.current = inside ? index : -1;
            break;
        }
        case 3: {
            const bool clear = (in.Byte() & 1) != 0 || side.model.size() > 64;
            Expect(CopyList(other.list, side.list, clear ? 1 : 0) == 1, "list copy failed");
            if (clear) {
                side.model.clear();
                side.current = -1;
            }
            for (int64_t id : other.model)
                side.InsertAfterCurrent(id);
            break;
        }
        default:
            if (in.Byte() < 32) {
                ClearList(side.list);
                side.model.clear();
                side.current = -1;
            }
    }
    side.Compare();
    other.Compare();
}

// Arrays ---------------------------------------------------------------------------------------

struct ArraySide {
    void* owner[3] = {};  // data pointer and room for two strides
    std::vector<int64_t> model;

    ~ArraySide() { FreeArray(owner[0]); }

    void Compare() const {
        Expect(ArrayCount(owner[0]) == static_cast<int64_t>(model.size()), "array count differs");
        for (size_t i = 0; i < model.size(); ++i) {
            const Item& item = static_cast<const Item*>(owner[0])[i];
            Expect(item.id == model[i] && (item.id == 0 || IdOf(&item) == model[i]),
                   "array contents differ");
        }
    }
};

void ArrayStep(ArraySide sides[2], Input& in, int64_t& lastId) {
    const uint8_t op = in.Byte();
    ArraySide& side = sides[op & 1];
    ArraySide& other = sides[1 - (op & 1)];
    const uint8_t value = in.Byte();
    switch (op / 2 % 4) {
        case 0: {
            const int64_t count = static_cast<int64_t>(value % 12) - 2;
            CreateArray(sizeof(Item), count, 0, kItemLayout, side.owner);
            side.model.assign(count > 0 ? static_cast<size_t>(count) : 0, 0);
            break;
        }
        case 1:
            if (side.model.empty()) break;
            Stamp(&static_cast<Item*>(side.owner[0])[value % side.model.size()], ++lastId);
            side.model[value % side.model.size()] = lastId;
            break;
        case 2: {
            const bool recreate = (value & 1) != 0;
            const bool possible = !side.model.empty() && !other.model.empty() &&
                                  (recreate || side.model.size() == other.model.size());
            Expect(CopyArray(other.owner[0], side.owner[0], recreate) == (possible ? 1 : 0),
                   "array copy result");
            if (possible) side.model = other.model;
            break;
        }
        default:
            FreeArray(side.owner[0]);
            side.model.clear();
    }
    side.Compare();
    other.Compare();
}

}  // namespace
}  // namespace vorlune

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vorlune::InitLists();
    vorlune::InitMaps();
    vorlune::InitArrays();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorlune;
    if (size > 4096) return 0;
    Input in(data, size);
    MapCheck map(in.Byte());
    ListSide lists[2];
    ArraySide arrays[2];
    int64_t lastId = 0;
    while (!in.Empty()) {
        const uint8_t which = in.Byte() % 4;
        if (which <= 1)
            map.Step(in, lastId);
        else if (which == 2)
            ListStep(lists, in, lastId);
        else
            ArrayStep(arrays, in, lastId);
    }
    return 0;
}
