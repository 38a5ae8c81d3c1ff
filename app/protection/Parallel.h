#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace brindmar {

// The most threads forEachTask uses; 0 for as many as the machine has cores. Tests set it to
// show that the results do not depend on it.
inline std::atomic<unsigned> gMostTaskThreads{0};

// Runs task(0) ... task(count - 1) on the machine's cores, each exactly once, and returns once
// all are done. Tasks write only their own results, so what they produce does not depend on
// how many threads ran them. A thread that cannot be started leaves its share to the others;
// false when a task ran out of memory (the other tasks still ran).
template <class Task> bool forEachTask(uint64_t count, const Task& task) {
    std::atomic<uint64_t> next{0};
    std::atomic<bool> ok{true};
    auto work = [&] {
        for (uint64_t t = next++; t < count; t = next++) {
            try {
                task(t);
            } catch (const std::bad_alloc&) {
                ok = false;
            }
        }
    };
    if (count == 0) {
        return true;
    }
    const unsigned most = gMostTaskThreads.load();
    const unsigned cores = most != 0 ? most : std::max(1u, std::thread::hardware_concurrency());
    const uint64_t helpers = std::min<uint64_t>(count, cores) - 1;
    std::vector<std::thread> threads;
    for (uint64_t h = 0; h < helpers; ++h) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    work();
    for (std::thread& t : threads) {
        t.join();
    }
    return ok;
}

} // namespace brindmar
