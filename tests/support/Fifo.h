#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>

namespace testsupport {

// Runs `action`, which must not wait on the FIFO at `fifo`; true when it
// returned within `limit`. A reader that does wait is released by opening and
// closing the FIFO's write end, so a failing test ends instead of hanging.
inline bool FinishesWithoutWaitingOn(const std::string& fifo, const std::function<void()>& action,
                                     std::chrono::seconds limit = std::chrono::seconds(5)) {
    auto done = std::async(std::launch::async, action);
    if (done.wait_for(limit) == std::future_status::ready) {
        done.get();
        return true;
    }
    while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    }
    return false;
}

inline bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

}  // namespace testsupport
