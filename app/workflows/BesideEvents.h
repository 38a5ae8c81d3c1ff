#pragma once

#include "workflows/WorkflowContext.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace brindmar {

// The coder derives its key (a third of a second or more) and walks the whole picture, which
// cannot be interrupted; it runs on a thread of its own while the window keeps answering, and
// Stop ends the wait at once. A job left behind finishes alone on its own copies, and wipes
// what it holds when it lets go of it. False when the user stopped.
template <typename Job>
inline bool finishedBesideEvents(WorkflowContext& ctx, std::shared_ptr<Job> job) {
    struct Finish {
        std::mutex mutex;
        std::condition_variable signal;
        bool done = false;
    };
    auto finish = std::make_shared<Finish>();
    try {
        std::thread([job, finish] {
            job->run();
            const std::lock_guard lock(finish->mutex);
            finish->done = true;
            finish->signal.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        job->run(); // no thread to be had: the window waits instead
        return true;
    }
    for (;;) {
        {
            std::unique_lock lock(finish->mutex);
            if (finish->signal.wait_for(lock, std::chrono::milliseconds(25),
                                        [&finish] { return finish->done; })) {
                return true;
            }
        }
        ctx.letEventsRun();
        if (ctx.model.stopRequest) {
            return false;
        }
    }
}

} // namespace brindmar
