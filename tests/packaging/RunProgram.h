#pragma once
// Runs one of the built programs with arguments and an environment of its
// own, collecting standard output, standard error and the exit status.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace testsupport {

struct ProgramResult {
    int exitCode = -1;
    std::string out, err;
};

// `unset` names variables taken out of the environment, `set` "NAME=value" ones put in.
inline ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::vector<std::string>& unset = {},
                                const std::vector<std::string>& set = {}) {
    int out[2], err[2];
    ProgramResult result;
    if (pipe(out) != 0 || pipe(err) != 0) return result;
    const std::string path = std::string(MWST_TEST_BIN_DIR) + "/" + program;
    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {out[0], out[1], err[0], err[1], devnull}) close(fd);
        for (const std::string& name : unset) unsetenv(name.c_str());
        for (const std::string& pair : set) putenv(const_cast<char*>(pair.c_str()));
        std::vector<std::string> copies(args);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    // Both pipes at once, so that neither fills while the other is read.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0 && poll(fds, 2, 60000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& p : fds)
        if (p.fd >= 0) close(p.fd);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace testsupport
