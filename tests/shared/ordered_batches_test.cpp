// Batches worked on two threads come out in the order they were read, whatever thread worked
// each and however long it took; a failure surfaces at its batch's turn, after the batches
// before it, and leaves no thread behind.

#include "shared/lexcore/ordered_batches.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

struct Batch {
    std::vector<int> values;
    int worker = -1;
};

// Batches of up to 7 numbers from 0 to count - 1; work squares them, sleeping on some batches
// so that the two threads overtake each other.
std::vector<int> run(int count, int failAt, std::vector<int> &workers) {
    Batch batches[4];
    int next = 0;
    std::vector<int> out;
    lex::runOrderedBatches(
        batches,
        [&](Batch &b) {
            b.values.clear();
            for (int i = 0; i < 7 && next < count; ++i)
                b.values.push_back(next++);
            return next < count;
        },
        [&](Batch &b, int thread) {
            b.worker = thread;
            if (!b.values.empty() && b.values[0] % 3 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            for (int &v : b.values) {
                if (v == failAt)
                    throw std::runtime_error("failed at " + std::to_string(v));
                v *= v;
            }
        },
        [&](Batch &b) {
            out.insert(out.end(), b.values.begin(), b.values.end());
            workers.push_back(b.worker);
        });
    return out;
}

TEST(OrderedBatches, ComeOutInOrderWhicheverThreadWorksThem) {
    for (int count : {0, 1, 7, 8, 300}) {
        std::vector<int> workers;
        const std::vector<int> out = run(count, -1, workers);
        ASSERT_EQ(out.size(), size_t(count));
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(out[size_t(i)], i * i) << count;
    }
}

TEST(OrderedBatches, AFailureComesAfterTheBatchesBeforeIt) {
    for (int failAt : {0, 5, 150, 299}) {
        std::vector<int> workers;
        std::vector<int> out;
        try {
            out = run(300, failAt, workers);
            FAIL() << "no failure at " << failAt;
        } catch (const std::runtime_error &e) {
            EXPECT_EQ(std::string(e.what()), "failed at " + std::to_string(failAt));
        }
        // Every batch wholly before the failing one was passed on, and none after it.
        EXPECT_EQ(workers.size(), size_t(failAt / 7));
    }
}

} // namespace
