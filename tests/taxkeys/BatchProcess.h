#pragma once
// Runs the real mwst-batch program, as a script would.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/FileModes.h"

namespace batchtest {

struct BatchResult {
    int exitCode = -1;
    std::string out, err;
};

struct RunOptions {
    std::string cwd;             // empty: the test's own
    bool obeyFileModes = false;  // even as root (exit 126 when that is refused)
};

// Runs mwst-batch without a display and with a standard input that never ends:
// a run that waited for input would hit the time limit instead of finishing.
inline BatchResult RunBatch(const std::vector<std::string>& args, const RunOptions& options = {}) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {};
    const std::string path = std::string(MWST_TEST_BIN_DIR) + "/mwst-batch";
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        unsetenv("QT_QPA_PLATFORM");
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(127);
        if (options.obeyFileModes && !testsupport::ObeyFileModesFromNowOn()) _exit(126);
        std::vector<std::string> copies(args);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (std::string& arg : copies) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    BatchResult result;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&result.out, &result.err};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (poll(fds, 2, 1000) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (open > 0) kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(in[1]);
    for (const pollfd& fd : fds)
        if (fd.fd >= 0) close(fd.fd);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace batchtest
