#pragma once
// A LineWriter fed from one thread and worked on a second one: encoding and writing a big
// output cost about as much as a pass that looks each line up, and the two overlap.

#include "shared/lexcore/line_writer.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace lex::phonetag {

class BackgroundWriter {
public:
    // Writes through `writer`, which nothing else touches until finish() or destruction.
    explicit BackgroundWriter(LineWriter &writer) : m_writer(writer) {
        m_thread = std::thread([this] { run(); });
    }
    // Abandons what was not written yet (the writer's output is then not to be closed).
    ~BackgroundWriter() { stop(false); }
    BackgroundWriter(const BackgroundWriter &) = delete;
    BackgroundWriter &operator=(const BackgroundWriter &) = delete;

    // A line whose text stays valid and unchanged until finish().
    void writeLine(std::u16string_view line) {
        m_filling.lines.push_back(line);
        if (m_filling.lines.size() == kBatchLines)
            handOver();
    }
    // A line whose text may change once the call returns: it is copied.
    void writeCopy(std::u16string_view line) {
        m_filling.copies.push_back(
            {m_filling.lines.size(), uint32_t(m_filling.text.size()), uint32_t(line.size())});
        m_filling.text += line;
        writeLine({}); // its view is made by the writing thread, once the copies no longer move
    }
    // Writes what is left and waits for it; rethrows a failure of the writer.
    void finish() {
        handOver();
        stop(true);
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    static constexpr size_t kBatchLines = 8192;
    static constexpr size_t kQueued = 4; // batches handed over and not yet written, at most

    struct Copy {
        size_t line;
        uint32_t offset, length; // in `text`
    };
    struct Batch {
        std::vector<std::u16string_view> lines;
        std::u16string text; // the copied lines
        std::vector<Copy> copies;
    };

    void handOver() {
        if (m_filling.lines.empty())
            return;
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_queue.size() < kQueued || m_failure || m_quit; });
        if (m_failure || m_quit) {
            m_filling = Batch();
            return;
        }
        m_queue.push_back(std::move(m_filling));
        if (!m_spare.empty()) {
            m_filling = std::move(m_spare.back());
            m_spare.pop_back();
        } else {
            m_filling = Batch();
        }
        m_filling.lines.clear();
        m_filling.text.clear();
        m_filling.copies.clear();
        m_changed.notify_all();
    }

    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [&] { return !m_queue.empty() || m_quit; });
            if (m_queue.empty())
                return;
            Batch batch = std::move(m_queue.front());
            m_queue.erase(m_queue.begin());
            lock.unlock();
            // The copies' views are made here, in the batch that stays put until it is written:
            // a short text is kept inside its string object, so every move of the batch until
            // now moved the text too.
            for (const Copy &c : batch.copies)
                batch.lines[c.line] = std::u16string_view(batch.text).substr(c.offset, c.length);
            try {
                for (std::u16string_view line : batch.lines)
                    m_writer.writeLine(line);
            } catch (...) {
                lock.lock();
                m_failure = std::current_exception();
                m_queue.clear();
                m_changed.notify_all();
                return;
            }
            lock.lock();
            m_spare.push_back(std::move(batch));
            m_changed.notify_all();
        }
    }

    // Ends the thread once the queue is written, or, without `drain`, at once.
    void stop(bool drain) {
        if (!m_thread.joinable())
            return;
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
            if (!drain)
                m_queue.clear();
        }
        m_changed.notify_all();
        m_thread.join();
    }

    LineWriter &m_writer;
    Batch m_filling;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Batch> m_queue, m_spare;
    std::exception_ptr m_failure;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace lex::phonetag
