#pragma once
// Work on two threads that still comes out in order. This thread fills batches (reading input
// is sequential), either thread works whichever batch waits next, and this thread passes each
// batch on as soon as it and every batch before it are done, so what the caller writes, counts
// and yields is what one thread would have done, in the same order.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

namespace lex {

// fill(batch) reads the next batch and returns false once there is nothing more (the batch it
// was given is then empty, or holds the last lines); work(batch, thread) runs on either thread
// (thread 0 is this one, 1 the helper); emit(batch) runs on this thread in fill order. Failures
// of work are rethrown here when their batch's turn comes; a failure of fill or emit stops the
// helper before it propagates.
template <class Batch, size_t kSlots, class Fill, class Work, class Emit>
void runOrderedBatches(Batch (&batch)[kSlots], Fill fill, Work work, Emit emit) {
    static_assert(kSlots >= 2);
    enum class Stage { Empty, Ready, Working, Done };
    Stage stage[kSlots] = {};
    bool more = fill(batch[0]);
    if (!more) { // one batch: no second thread
        work(batch[0], 0);
        emit(batch[0]);
        return;
    }

    std::mutex mutex;
    std::condition_variable changed;
    uint64_t filled = 1, passed = 0; // batches read and passed on; slot = number % kSlots
    stage[0] = Stage::Ready;
    bool quit = false;
    std::exception_ptr failure[kSlots];
    // The first batch waiting to be worked, or kSlots.
    auto claim = [&] {
        for (uint64_t n = passed; n < filled; ++n)
            if (stage[n % kSlots] == Stage::Ready) {
                stage[n % kSlots] = Stage::Working;
                return size_t(n % kSlots);
            }
        return kSlots;
    };
    auto run = [&](size_t slot, int thread) {
        try {
            work(batch[slot], thread);
        } catch (...) {
            failure[slot] = std::current_exception();
        }
    };
    std::thread helper([&] {
        std::unique_lock lock(mutex);
        for (;;) {
            size_t slot = kSlots;
            changed.wait(lock, [&] { return quit || (slot = claim()) != kSlots; });
            if (quit)
                return;
            lock.unlock();
            run(slot, 1);
            lock.lock();
            stage[slot] = Stage::Done;
            changed.notify_all();
        }
    });
    struct Stop {
        std::thread &t;
        std::mutex &m;
        std::condition_variable &c;
        bool &quit;
        ~Stop() {
            {
                std::lock_guard lock(m);
                quit = true;
            }
            c.notify_all();
            t.join();
        }
    } stop{helper, mutex, changed, quit};

    std::unique_lock lock(mutex);
    while (passed < filled) {
        if (more && filled - passed < kSlots) {
            // Read the next batch into the free slot; the helper may work the others meanwhile.
            const size_t slot = filled % kSlots;
            lock.unlock();
            more = fill(batch[slot]);
            lock.lock();
            stage[slot] = Stage::Ready;
            ++filled;
            changed.notify_all();
            continue;
        }
        const size_t next = passed % kSlots;
        if (stage[next] == Stage::Done) {
            if (failure[next])
                std::rethrow_exception(failure[next]);
            lock.unlock();
            emit(batch[next]);
            lock.lock();
            stage[next] = Stage::Empty;
            ++passed;
            continue;
        }
        if (const size_t slot = claim(); slot != kSlots) {
            lock.unlock();
            run(slot, 0);
            lock.lock();
            stage[slot] = Stage::Done;
            continue;
        }
        changed.wait(lock, [&] { return stage[next] == Stage::Done; });
    }
}

} // namespace lex
