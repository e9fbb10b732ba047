#pragma once
#include <functional>

// Long work runs on a thread of its own while the window goes on handling
// its events; what the work shows (log lines, progress, boxes) is handed to
// the window's thread, which alone touches widgets.
namespace workthread {

// Runs `work` on a new thread and returns once it ended, handling the
// window's events meanwhile, as a modal dialog does. What the work posted is
// shown before this returns; an exception of `work` is thrown again here.
void Run(const std::function<void()>& work);

// True on the window's (the application's main) thread.
bool OnWindowThread();

// `update` on the window's thread: queued, in order, from any other thread;
// at once on the window's thread itself.
void Post(std::function<void()> update);

// `call` on the window's thread, waiting until it returned (a box the work
// asks for). An exception of `call` is thrown again on the calling thread.
void Call(const std::function<void()>& call);

}  // namespace workthread
