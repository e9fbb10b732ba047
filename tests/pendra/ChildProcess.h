#pragma once
// A forked child process for the lock tests, talking to the test over two
// pipes line by line. The child runs `body` and exits with its result; it must
// not use the parent's mandates (it opens its own, as another process would).
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

namespace testsupport {

class ChildChannel {
public:
    ChildChannel(int in, int out) : in_(in), out_(out) {}
    void Send(const std::string& line) {
        std::string data = line + "\n";
        (void)!write(out_, data.data(), data.size());
    }
    // Blocks until the other side sends a line; nullopt at EOF or timeout.
    std::optional<std::string> Receive(int timeoutMs = 30000) {
        std::string line;
        for (;;) {
            pollfd p{in_, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
            char c;
            if (read(in_, &c, 1) != 1) return std::nullopt;
            if (c == '\n') return line;
            line += c;
        }
    }

private:
    int in_, out_;
};

class ChildProcess {
public:
    explicit ChildProcess(const std::function<int(ChildChannel&)>& body) {
        int toChild[2], toParent[2];
        if (pipe(toChild) != 0 || pipe(toParent) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(toChild[1]);
            close(toParent[0]);
            ChildChannel channel(toChild[0], toParent[1]);
            _exit(body(channel));
        }
        close(toChild[0]);
        close(toParent[1]);
        toChild_ = toChild[1];
        fromChild_ = toParent[0];
    }
    ~ChildProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            Wait();
        }
        if (toChild_ >= 0) close(toChild_);
        if (fromChild_ >= 0) close(fromChild_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    ChildChannel Channel() { return ChildChannel(fromChild_, toChild_); }
    void Kill() { kill(pid_, SIGKILL); }
    // Exit code; -1 when it died of a signal.
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int toChild_ = -1, fromChild_ = -1;
};

}  // namespace testsupport
