#pragma once
// Worker threads posting into the runtime's event queue while the main thread drains it with
// WaitForEvent, for the thread-safe build on either platform. The workers post events with
// payloads in pairs of identical posts (the second merges with the first unless another
// worker's event came between), run a bound callback with every post, and meanwhile use the
// shared pools, lists, maps and a lazily created registry. What went wrong is gathered as text.

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/core/list.h"
#include "runtime/core/map.h"
#include "runtime/core/memory.h"
#include "runtime/core/registry.h"
#include "runtime/events/event_queue.h"
#include "runtime/screen/screen.h"

namespace vorlune::test {

constexpr int32_t kTrafficEvent = 0x1000;  // object: the worker; subtype: the pair
constexpr int32_t kTrafficDone = 0x1001;   // object: the worker, its last post
constexpr int64_t kTrafficWindow = 77;
constexpr uint64_t kSharedElementBytes = 40;

class EventTraffic {
  public:
    EventTraffic(int workers, int postsPerWorker)
        : workers_(workers),
          posts_(postsPerWorker),
          payloads_(new Payload[static_cast<size_t>(workers * postsPerWorker)]),
          fetched_(static_cast<size_t>(workers)),
          registriesSeen_(static_cast<size_t>(workers), nullptr) {
        for (int worker = 0; worker < workers; ++worker) {
            for (int index = 0; index < postsPerWorker; ++index) {
                PayloadOf(worker, index).worker = worker;
                PayloadOf(worker, index).index = index;
            }
        }
    }
    ~EventTraffic() { Join(); }

    // Binds the counting callback, holds one reference to the shared pool, starts the workers.
    void Start() {
        callbackRuns().store(0);
        callbackFaults().store(0);
        BindEvent(kTrafficEvent, CountCallback, kTrafficWindow);
        sharedPool_ = CreatePool(kSharedElementBytes, 16, 256, kPoolShared | kPoolOwnLock);
        for (int worker = 0; worker < workers_; ++worker) {
            threads_.emplace_back([this, worker] { Work(worker); });
        }
    }

    // WaitForEvent until every worker's last event came out, then one more fetch, which frees
    // the payload of the event current then.
    void Drain() {
        int done = 0;
        int64_t passes = 0;
        while (done < workers_) {
            const int64_t type = WaitForEvent();
            if (type == kTrafficEvent) Record();
            if (type == kTrafficDone) ++done;
            if (++passes % 97 == 0) UseSharedContainers(workers_);
        }
        while (FetchEvent() != 0) {
            ++unexpected_;
        }
    }

    void Join() {
        for (std::thread& thread : threads_)
            thread.join();
        threads_.clear();
        if (sharedPool_ != nullptr) DestroyPool(sharedPool_);
        sharedPool_ = nullptr;
        RemoveEventBinding(kTrafficEvent, CountCallback, kTrafficWindow);
    }

    int64_t Posts() const { return static_cast<int64_t>(workers_) * posts_; }
    int64_t Merged() const {
        int64_t merged = 0;
        for (int worker = 0; worker < workers_; ++worker) {
            merged += posts_ - static_cast<int64_t>(fetched_[static_cast<size_t>(worker)].size());
        }
        return merged;
    }
    int64_t CallbackRuns() const { return callbackRuns().load(); }

    // Empty when every check held.
    std::string Faults() const {
        std::ostringstream out;
        for (int worker = 0; worker < workers_; ++worker)
            CheckWorker(worker, out);
        if (CallbackRuns() != Posts()) {
            out << "callbacks ran " << CallbackRuns() << " times for " << Posts() << " posts\n";
        }
        if (callbackFaults().load() != 0) {
            out << callbackFaults().load() << " callbacks saw another event than their post\n";
        }
        if (currentFaults_ != 0) out << currentFaults_ << " fetched events read back wrongly\n";
        if (unexpected_ != 0) out << unexpected_ << " events after the last done event\n";
        if (containerFaults_.load() != 0) {
            out << containerFaults_.load() << " faults in shared pools, lists or maps\n";
        }
        for (int worker = 0; worker < workers_; ++worker) {
            const ObjectRegistry* seen = registriesSeen_[static_cast<size_t>(worker)];
            if (seen == nullptr || seen != registriesSeen_[0]) {
                out << "worker " << worker << " saw another lazily created registry\n";
            }
        }
        return out.str();
    }

  private:
    struct Payload {
        int worker;
        int index;
        std::atomic<int> frees;
    };

    static void FreeCounted(void* payload) { static_cast<Payload*>(payload)->frees.fetch_add(1); }

    static std::atomic<int64_t>& callbackRuns() {
        static std::atomic<int64_t> runs{0};
        return runs;
    }
    static std::atomic<int64_t>& callbackFaults() {
        static std::atomic<int64_t> faults{0};
        return faults;
    }

    // Runs on the posting worker: the event shown is its own post, whatever the main thread
    // fetched meanwhile.
    static void CountCallback() {
        callbackRuns().fetch_add(1);
        const auto* payload = static_cast<const Payload*>(EventPayload());
        if (EventType() != kTrafficEvent || payload == nullptr ||
            EventMenuID() != payload->worker || EventSubtype() != payload->index / 2) {
            callbackFaults().fetch_add(1);
        }
    }

    Payload& PayloadOf(int worker, int index) {
        return payloads_[static_cast<size_t>(worker * posts_ + index)];
    }
    const Payload& PayloadOf(int worker, int index) const {
        return payloads_[static_cast<size_t>(worker * posts_ + index)];
    }

    void Work(int worker) {
        registriesSeen_[static_cast<size_t>(worker)] = InitScreenSystem();
        for (int index = 0; index < posts_; ++index) {
            PostEventWithPayload(kTrafficEvent, worker, kTrafficWindow, index / 2,
                                 &PayloadOf(worker, index), FreeCounted);
            if (index % 64 == 0) UseSharedContainers(worker);
            if (index % 16 == 15) std::this_thread::yield();  // more interleaving, fewer merges
        }
        PostEvent(kTrafficDone, worker, kTrafficWindow, 0);
    }

    // The main thread's current event holds what was fetched, never a worker's post.
    void Record() {
        const auto* payload = static_cast<const Payload*>(EventPayload());
        if (payload == nullptr || EventMenuID() != payload->worker ||
            EventWindow() != kTrafficWindow || EventSubtype() != payload->index / 2) {
            ++currentFaults_;
            return;
        }
        fetched_[static_cast<size_t>(payload->worker)].push_back(payload->index);
    }

    // Each worker's events come out in order; only the second of a pair may be missing (merged
    // into the first), and every payload is freed exactly once.
    void CheckWorker(int worker, std::ostringstream& out) const {
        const std::vector<int>& fetched = fetched_[static_cast<size_t>(worker)];
        size_t next = 0;
        for (int index = 0; index < posts_; ++index) {
            const bool cameOut = next < fetched.size() && fetched[next] == index;
            if (cameOut) ++next;
            if (!cameOut && index % 2 == 0) {
                out << "worker " << worker << ": post " << index << " was lost\n";
            }
            const int frees = PayloadOf(worker, index).frees.load();
            if (frees != 1) {
                out << "worker " << worker << ": payload " << index << " freed " << frees
                    << " times\n";
            }
        }
        if (next != fetched.size()) out << "worker " << worker << ": events out of order\n";
    }

    void UseSharedContainers(int user) {
        Pool* pool = CreatePool(kSharedElementBytes, 16, 256, kPoolShared | kPoolOwnLock);
        if (pool != sharedPool_) containerFaults_.fetch_add(1);
        void* elements[8];
        for (void*& element : elements) {
            element = PoolAlloc(pool);
            std::memset(element, user, kSharedElementBytes);
        }
        for (void* element : elements) {
            const auto* bytes = static_cast<const unsigned char*>(element);
            if (bytes[0] != user || bytes[kSharedElementBytes - 1] != user) {
                containerFaults_.fetch_add(1);
            }
            PoolFree(pool, element);
        }
        DestroyPool(pool);

        LinkedList* list = CreateList(sizeof(int64_t), nullptr, nullptr, 0);
        HashMap* map = CreateMap(16, 0, nullptr, nullptr, 16);
        map->flags |= kMapIntegerKeys;
        for (int64_t key = 0; key < 16; ++key) {
            *static_cast<int64_t*>(AddListElement(list)) = key;
            *static_cast<int64_t*>(AddMapElementInt(map, key, kMapAddAlways)) = key * user;
        }
        for (int64_t key = 0; key < 16; ++key) {
            const auto* value = static_cast<const int64_t*>(FindElementInt(map, key));
            if (value == nullptr || *value != key * user) containerFaults_.fetch_add(1);
        }
        if (list->count != 16) containerFaults_.fetch_add(1);
        DestroyList(list);
        DestroyMap(map);
    }

    const int workers_;
    const int posts_;
    std::unique_ptr<Payload[]> payloads_;
    std::vector<std::vector<int>> fetched_;  // payload indices per worker, main thread only
    std::vector<ObjectRegistry*> registriesSeen_;
    std::vector<std::thread> threads_;
    Pool* sharedPool_ = nullptr;
    int64_t currentFaults_ = 0;
    int64_t unexpected_ = 0;
    std::atomic<int64_t> containerFaults_{0};
};

}  // namespace vorlune::test
