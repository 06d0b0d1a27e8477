#include "runtime/core/map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <limits>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "tests/core/container_test_support.h"

namespace vorlune {
namespace {

using test::Ascii;
using test::ContainerTest;
using test::U16;

struct Value {
    int64_t id;
    int64_t payload;
};

int64_t IdOf(const void* element) {
    return element == nullptr ? 0 : static_cast<const Value*>(element)->id;
}

using MapTest = ContainerTest;

TEST_F(MapTest, HashesMultiplyBy65599WithWrapAround) {
    EXPECT_EQ(HashKey(u""), 0u);
    EXPECT_EQ(HashKey(nullptr), 0u);
    EXPECT_EQ(HashKey(u"A"), 65u);
    EXPECT_EQ(HashKey(u"ab"), 97u * 65599u + 98u);
    EXPECT_EQ(HashKey(u"\xFFFF\xFFFF\xFFFF"),
              static_cast<uint32_t>((0xFFFFull * 65599 + 0xFFFF) * 65599 + 0xFFFF));
    EXPECT_EQ(HashKeyNoCase(u"Abc"), HashKey(u"abc"));
    EXPECT_EQ(HashKeyNoCase(u"aBC"), HashKey(u"abc"));
}

TEST_F(MapTest, KeysAddLookUpAndResetAsDocumented) {
    HashMap* map = nullptr;
    ASSERT_NE(CreateMap(sizeof(Value), 7, nullptr, &map, 0), nullptr);
    EXPECT_EQ(map->bucketCount, 1u);

    auto* first = static_cast<Value*>(AddMapElement(map, u"k", kMapReuseKey));
    first->id = 1;
    EXPECT_EQ(PutMapElement(map, u"k"), first);
    EXPECT_EQ(first->id, 0) << "adding an existing key zero-fills the element again";
    first->id = 1;
    auto* second = static_cast<Value*>(AddMapElement(map, u"k", kMapAddAlways));
    second->id = 2;
    EXPECT_EQ(map->count, 2);
    EXPECT_EQ(FindElement(map, u"k"), second);

    static_cast<Value*>(AddMapElement(map, nullptr, kMapAddAlways))->id = 3;
    EXPECT_EQ(IdOf(FindElement(map, u"")), 3);
    EXPECT_EQ(FindElement(map, u"K"), nullptr);
    EXPECT_EQ(IdOf(map->current + 1), 3) << "a miss keeps the current element";
    EXPECT_EQ(FindElementInt(map, 0), nullptr) << "integer lookups in a map of strings";

    HashMap* noCase = CreateMap(sizeof(Value), 0, nullptr, nullptr, 16);
    noCase->flags |= kMapNoCase;
    static_cast<Value*>(PutMapElement(noCase, u"Abc"))->id = 4;
    EXPECT_EQ(IdOf(PutMapElement(noCase, u"aBC")), 0);
    EXPECT_EQ(noCase->count, 1);
    DestroyMap(noCase);

    ASSERT_NE(CreateMap(sizeof(Value), 0, nullptr, &map, 4), nullptr);
    EXPECT_EQ(map->count, 0) << "a new map for the same owner; the old one is destroyed";
    DestroyMap(map);
    EXPECT_EQ(map, nullptr);
}

TEST_F(MapTest, NegativeIntegerKeysLandInAValidBucket) {
    HashMap* map = CreateMap(sizeof(Value), 0, nullptr, nullptr, 1000);
    map->flags |= kMapIntegerKeys;
    const int64_t keys[] = {-1, -999, -1000, std::numeric_limits<int64_t>::min(), 5};
    for (int64_t key : keys)
        static_cast<Value*>(AddMapElementInt(map, key, kMapAddAlways))->id = key;
    for (int64_t key : keys) {
        EXPECT_EQ(IdOf(FindElementInt(map, key)), key);
        EXPECT_EQ(MapElementKeyInt(map->current + 1), key);
        EXPECT_LT(static_cast<uint32_t>(map->currentBucket), map->bucketCount);
    }
    EXPECT_EQ(AddMapElement(map, u"text", 0), nullptr) << "string keys in a map of integers";
    DestroyMap(map);
}

// Every element exactly once, also when each one is deleted as soon as it is visited.
TEST_F(MapTest, IteratingAndDeletingEveryElementVisitsEachOnce) {
    for (int32_t buckets : {1, 3, 1024}) {
        for (bool deleting : {false, true}) {
            HashMap* map = CreateMap(sizeof(Value), 0, nullptr, nullptr, buckets);
            for (int i = 1; i <= 50; ++i) {
                auto* value =
                    static_cast<Value*>(AddMapElement(map, U16(std::to_string(i % 20)).c_str(), 0));
                value->id = i;
            }
            std::vector<int64_t> seen;
            ResetIteration(map);
            while (void* element = NextElement(map)) {
                seen.push_back(IdOf(element));
                if (deleting) DeleteCurrent(map);
            }
            std::sort(seen.begin(), seen.end());
            ASSERT_EQ(seen.size(), 50u) << buckets;
            for (int i = 0; i < 50; ++i)
                EXPECT_EQ(seen[i], i + 1);
            EXPECT_EQ(map->count, deleting ? 0 : 50);
            DestroyMap(map);
        }
    }
}

TEST_F(MapTest, DeletingTwiceAfterALookupRemovesTheElementBefore) {
    HashMap* map = CreateMap(sizeof(Value), 0, nullptr, nullptr, 1);
    for (int64_t id = 1; id <= 4; ++id)
        static_cast<Value*>(AddMapElement(map, U16(std::to_string(id)).c_str(), 0))->id = id;
    ASSERT_EQ(IdOf(FindElement(map, u"2")), 2);  // the chain runs 4, 3, 2, 1
    EXPECT_EQ(IdOf(DeleteCurrent(map)), 3);
    EXPECT_EQ(IdOf(DeleteCurrent(map)), 4);
    EXPECT_EQ(DeleteCurrent(map), nullptr);
    EXPECT_EQ(IdOf(NextElement(map)), 1);
    EXPECT_EQ(map->count, 1);
    DestroyMap(map);
}

TEST_F(MapTest, FailedAllocationLeavesTheMapUnchanged) {
    struct Case {
        const char* what;
        int64_t allowed;  // requests that succeed before the failing one
        bool integerKeys;
    };
    for (const Case& c :
         {Case{"node", 0, false}, Case{"key copy", 1, false}, Case{"integer node", 0, true}}) {
        SCOPED_TRACE(c.what);
        HashMap* map = CreateMap(sizeof(Value), 0, nullptr, nullptr, 8);
        if (c.integerKeys) map->flags |= kMapIntegerKeys;
        const auto add = [&](int64_t key, int32_t mode) {
            return c.integerKeys ? AddMapElementInt(map, key, mode)
                                 : AddMapElement(map, U16(std::to_string(key)).c_str(), mode);
        };
        for (int64_t key = 1; key <= 3; ++key)
            static_cast<Value*>(add(key, 0))->id = key;
        ASSERT_NE(c.integerKeys ? FindElementInt(map, 2) : FindElement(map, u"2"), nullptr);
        const HashMap before = *map;
        FailAllocationsAfter(c.allowed);
        EXPECT_EQ(add(9, kMapReuseKey), nullptr);
        EXPECT_EQ(add(2, kMapAddAlways), nullptr);
        StopFailing();
        EXPECT_EQ(map->count, before.count);
        EXPECT_EQ(map->current, before.current);
        EXPECT_EQ(map->currentBucket, before.currentBucket);
        ResetIteration(map);
        int64_t sum = 0;
        while (void* element = NextElement(map))
            sum += IdOf(element);
        EXPECT_EQ(sum, 6);
        DestroyMap(map);
    }
    for (int64_t allowed = 0; allowed < 4; ++allowed) {
        HashMap* owner = nullptr;
        FailAllocationsAfter(allowed);
        EXPECT_EQ(CreateMap(sizeof(Value), 0, nullptr, &owner, 64), nullptr);
        StopFailing();
        EXPECT_EQ(owner, nullptr);
    }
}

TEST_F(MapTest, CopiesKeepWhatLookupsAnswerAndRefuseOtherKinds) {
    HashMap* source = CreateMap(sizeof(Value), 0, nullptr, nullptr, 4);
    for (int64_t id = 1; id <= 30; ++id)
        static_cast<Value*>(AddMapElement(source, U16(std::to_string(id % 7)).c_str(), 0))->id = id;
    HashMap* target = CreateMap(sizeof(Value), 0, nullptr, nullptr, 4);
    static_cast<Value*>(AddMapElement(target, u"old", 0))->id = 99;
    ASSERT_NE(FindElement(source, u"3"), nullptr);
    MapNode* const sourceCursor = source->current;

    EXPECT_EQ(CopyMapReplacing(source, target), 1);
    EXPECT_EQ(source->current, sourceCursor);
    EXPECT_EQ(target->count, 30);
    EXPECT_EQ(FindElement(target, u"old"), nullptr);
    for (int key = 0; key < 7; ++key) {
        const std::u16string text = U16(std::to_string(key));
        EXPECT_EQ(IdOf(FindElement(target, text.c_str())), IdOf(FindElement(source, text.c_str())));
    }
    ResetIteration(source);
    ResetIteration(target);
    for (void* a = NextElement(source); a != nullptr; a = NextElement(source))
        EXPECT_EQ(IdOf(NextElement(target)), IdOf(a)) << "same order with the same buckets";

    EXPECT_EQ(CopyMap(source, source, 0), 1);
    EXPECT_EQ(source->count, 30);
    EXPECT_EQ(CopyMap(source, nullptr, 1), 0);
    HashMap* wider = CreateMap(sizeof(Value) + 8, 0, nullptr, nullptr, 4);
    HashMap* numbers = CreateMap(sizeof(Value), 0, nullptr, nullptr, 4);
    numbers->flags |= kMapIntegerKeys;
    EXPECT_EQ(CopyMap(source, wider, 0), 0);
    EXPECT_EQ(CopyMap(source, numbers, 0), 0);
    EXPECT_EQ(wider->count + numbers->count, 0);
    for (HashMap* map : {source, target, wider, numbers})
        DestroyMap(map);
}

// The model: contents in a std::unordered_multimap, and the documented iteration order
// (bucket by bucket, each chain newest first) derived from it, which fixes the cursor.
class MapModel {
  public:
    enum class Keys { kText, kNoCase, kInteger };
    MapModel(Keys keys, int32_t buckets, uint32_t seed)
        : keys_(keys), random_(seed), map_(CreateMap(sizeof(Value), 0, nullptr, nullptr, buckets)) {
        if (keys == Keys::kNoCase) map_->flags |= kMapNoCase;
        if (keys == Keys::kInteger) map_->flags |= kMapIntegerKeys;
    }
    ~MapModel() { DestroyMap(map_); }

    void Step() {
        const std::u16string key = RandomKey();
        const int choice = Pick(100);
        if (choice < 20) {
            Add(key, kMapAddAlways);
        } else if (choice < 35) {
            Add(key, kMapReuseKey);
        } else if (choice < 50) {
            Entry* hit = Newest(key);
            EXPECT_EQ(IdOf(Find(key)), hit == nullptr ? 0 : hit->id);
            if (hit != nullptr) MoveTo(hit);
        } else if (choice < 75) {
            Entry* next = Successor();
            EXPECT_EQ(IdOf(NextElement(map_)), next == nullptr ? 0 : next->id);
            if (next != nullptr)
                MoveTo(next);
            else
                cursor_ = Cursor::kEnd;
        } else if (choice < 92) {
            Delete();
        } else if (choice < 99) {
            ResetIteration(map_);
            cursor_ = Cursor::kReset;
        } else if (Pick(4) == 0) {
            ClearMap(map_);
            entries_.clear();
            cursor_ = Cursor::kReset;
        }
        Compare();
    }

  private:
    enum class Cursor { kReset, kEnd, kAt };
    struct Entry {
        int64_t id;
        uint64_t sequence;
        uint32_t bucket;
    };

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    std::u16string RandomKey() {
        if (keys_ == Keys::kInteger) {
            const int64_t numbers[] = {-3,
                                       -1,
                                       0,
                                       1,
                                       2,
                                       1023,
                                       1024,
                                       -1025,
                                       std::numeric_limits<int64_t>::min(),
                                       std::numeric_limits<int64_t>::max()};
            return U16(std::to_string(numbers[Pick(10)]));
        }
        std::u16string key;
        for (int length = Pick(4); length > 0; --length)
            key += u"aAbB"[Pick(4)];
        return key;
    }

    int64_t Number(const std::u16string& key) const { return std::stoll(Ascii(key.c_str())); }

    std::u16string Folded(const std::u16string& key) const {
        std::u16string folded = key;
        if (keys_ == Keys::kNoCase)
            for (char16_t& unit : folded)
                unit = static_cast<char16_t>(std::towlower(unit));
        return folded;
    }

    uint32_t Bucket(const std::u16string& key) const {
        if (keys_ == Keys::kInteger) return static_cast<uint64_t>(Number(key)) % map_->bucketCount;
        return (keys_ == Keys::kNoCase ? HashKeyNoCase(key.c_str()) : HashKey(key.c_str())) %
               map_->bucketCount;
    }

    void* Find(const std::u16string& key) {
        return keys_ == Keys::kInteger ? FindElementInt(map_, Number(key))
                                       : FindElement(map_, key.c_str());
    }

    Entry* Newest(const std::u16string& key) {
        Entry* newest = nullptr;
        auto [from, to] = entries_.equal_range(Folded(key));
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

    Entry* Successor() {
        if (cursor_ == Cursor::kEnd) return nullptr;
        const std::vector<Entry*> order = Order();
        if (cursor_ == Cursor::kReset) return order.empty() ? nullptr : order.front();
        auto at = std::find_if(order.begin(), order.end(),
                               [&](const Entry* e) { return e->id == currentId_; });
        return at + 1 == order.end() ? nullptr : *(at + 1);
    }

    void MoveTo(const Entry* entry) {
        cursor_ = Cursor::kAt;
        currentId_ = entry->id;
    }

    void Add(const std::u16string& key, int32_t mode) {
        void* element = keys_ == Keys::kInteger ? AddMapElementInt(map_, Number(key), mode)
                                                : AddMapElement(map_, key.c_str(), mode);
        ASSERT_NE(element, nullptr);
        auto* value = static_cast<Value*>(element);
        EXPECT_EQ(value->id, 0);
        EXPECT_EQ(value->payload, 0);
        value->id = ++lastId_;
        value->payload = value->id;
        Entry* entry = mode == kMapReuseKey ? Newest(key) : nullptr;
        if (entry == nullptr) {
            entry = &entries_.emplace(Folded(key), Entry{0, ++lastSequence_, Bucket(key)})->second;
        }
        entry->id = value->id;
        MoveTo(entry);
    }

    void Delete() {
        if (cursor_ != Cursor::kAt) {
            EXPECT_EQ(DeleteCurrent(map_), nullptr);
            return;
        }
        const std::vector<Entry*> order = Order();
        auto at = std::find_if(order.begin(), order.end(),
                               [&](const Entry* e) { return e->id == currentId_; });
        const int64_t before = at == order.begin() ? 0 : (*(at - 1))->id;
        EXPECT_EQ(IdOf(DeleteCurrent(map_)), before);
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->second.id == currentId_) {
                entries_.erase(it);
                break;
            }
        }
        cursor_ = before == 0 ? Cursor::kReset : Cursor::kAt;
        currentId_ = before;
    }

    void Compare() {
        ASSERT_EQ(map_->count, static_cast<int32_t>(entries_.size()));
        std::vector<int64_t> actual;
        for (uint32_t bucket = 0; bucket < map_->bucketCount; ++bucket) {
            for (MapNode* node = map_->buckets[bucket]; node != nullptr; node = node->next) {
                actual.push_back(IdOf(node + 1));
                const auto& value = *static_cast<Value*>(static_cast<void*>(node + 1));
                ASSERT_EQ(value.payload, value.id);
            }
        }
        std::vector<int64_t> expected;
        for (const Entry* entry : Order())
            expected.push_back(entry->id);
        ASSERT_EQ(actual, expected);
        switch (cursor_) {
            case Cursor::kReset:
                ASSERT_EQ(map_->current, nullptr);
                ASSERT_EQ(map_->currentBucket, -1);
                break;
            case Cursor::kEnd:
                ASSERT_EQ(map_->current, nullptr);
                ASSERT_NE(map_->currentBucket, -1);
                break;
            case Cursor::kAt:
                ASSERT_NE(map_->current, nullptr);
                ASSERT_EQ(IdOf(map_->current + 1), currentId_);
                break;
        }
    }

    Keys keys_;
    std::mt19937 random_;
    HashMap* map_;
    std::unordered_multimap<std::u16string, Entry> entries_;
    Cursor cursor_ = Cursor::kReset;
    int64_t currentId_ = 0;
    int64_t lastId_ = 0;
    uint64_t lastSequence_ = 0;
};

TEST_F(MapTest, RandomOperationsMatchAStandardMultimap) {
    using Keys = MapModel::Keys;
    for (Keys keys : {Keys::kText, Keys::kNoCase, Keys::kInteger}) {
        for (int32_t buckets : {1, 7, 1024}) {
            SCOPED_TRACE(testing::Message()
                         << "keys " << static_cast<int>(keys) << ", buckets " << buckets);
            MapModel model(keys, buckets, 20261208u + static_cast<uint32_t>(buckets));
            for (int step = 0; step < 3000 && !HasFatalFailure(); ++step)
                model.Step();
        }
    }
}

}  // namespace
}  // namespace vorlune
