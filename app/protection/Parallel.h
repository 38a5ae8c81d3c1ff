#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
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
//
// first, when given, runs once before the tasks on one of the threads, which then joins them:
// work that holds one core for a long while (a key's derivation) goes on beside the tasks
// rather than before them, and the tasks still have every core once it is done. It must not
// throw.
template <class Task>
bool forEachTask(uint64_t count, const Task& task, const std::function<void()>& first = {}) {
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
    if (count == 0 && !first) {
        return true;
    }
    const unsigned most = gMostTaskThreads.load();
    const unsigned cores = most != 0 ? most : std::max(1u, std::thread::hardware_concurrency());
    // The thread that runs first needs no task of its own to be worth starting.
    const uint64_t helpers = first ? cores - 1 : std::min<uint64_t>(count, cores) - 1;
    bool firstDone = !first;
    std::vector<std::thread> threads;
    for (uint64_t h = 0; h < helpers; ++h) {
        try {
            if (firstDone) {
                threads.emplace_back(work);
            } else {
                threads.emplace_back([&] {
                    first();
                    work();
                });
                firstDone = true;
            }
        } catch (const std::system_error&) {
            break;
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    if (!firstDone) {
        first(); // no thread to be had: one after the other
    }
    work();
    for (std::thread& t : threads) {
        t.join();
    }
    return ok;
}

} // namespace brindmar
