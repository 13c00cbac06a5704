#ifndef CIPHERBENCH_TESTS_BUFFERREFUSAL_H
#define CIPHERBENCH_TESTS_BUFFERREFUSAL_H

#include "codec/workbuffer.h"

#include <cstddef>
#include <cstring>
#include <vector>

// While alive, working buffers come from `source`; the source it replaced is
// back however the test leaves the scope, a failed QVERIFY's early return
// included.
class BufferSourceSwap
{
public:
    explicit BufferSourceSwap(WorkBuffer::Source source) : previous(WorkBuffer::setSource(source))
    {}
    ~BufferSourceSwap() { WorkBuffer::setSource(previous); }
    BufferSourceSwap(const BufferSourceSwap &) = delete;
    BufferSourceSwap &operator=(const BufferSourceSwap &) = delete;

private:
    WorkBuffer::Source previous;
};

// While alive, working buffers come from a source that refuses the
// `occurrence`-th request for the buffer called `name`, or every request when
// `name` is null; all others are served as the default source serves them.
// Picking by name keeps a test on its buffer when another one is added. Only
// one refusal may be alive.
//
//   BufferRefusal refusal("key2");
//   page.press(true);
//   QVERIFY(refusal.fired());
class BufferRefusal
{
public:
    explicit BufferRefusal(const char *name, int occurrence = 1) : swap(arm(name, occurrence)) {}
    BufferRefusal(const BufferRefusal &) = delete;
    BufferRefusal &operator=(const BufferRefusal &) = delete;

    bool fired() const { return state().fired; }

private:
    struct State
    {
        const char *name;
        int occurrence;
        int seen;
        bool fired;
    };
    static State &state()
    {
        static State s;
        return s;
    }
    static WorkBuffer::Source arm(const char *name, int occurrence)
    {
        state() = {name, occurrence, 0, false};
        return refuse;
    }
    static char *refuse(std::size_t size, const char *name)
    {
        State &s = state();
        const bool named = !s.name || (name && std::strcmp(name, s.name) == 0);
        if (named && (!s.name || ++s.seen == s.occurrence)) {
            s.fired = true;
            return nullptr;
        }
        return WorkBuffer::defaultSource(size, name);
    }

    BufferSourceSwap swap;
};

// While alive, working buffers come from a source that refuses every request
// above `largest` bytes, serves the others as the default source does, and
// remembers the sizes asked for. A low limit stands in for an int's: a page's
// guard for sizes an int cannot count is reached with a few hundred bytes.
class BufferSizeLimit
{
public:
    explicit BufferSizeLimit(std::size_t largest) : swap(arm(largest)) {}
    const std::vector<std::size_t> &requests() const { return asked; }

private:
    static WorkBuffer::Source arm(std::size_t most)
    {
        largest = most;
        asked.clear();
        return [](std::size_t size, const char *name) -> char * {
            asked.push_back(size);
            return size > largest ? nullptr : WorkBuffer::defaultSource(size, name);
        };
    }
    static inline std::size_t largest = 0;
    static inline std::vector<std::size_t> asked;
    BufferSourceSwap swap;
};

#endif
