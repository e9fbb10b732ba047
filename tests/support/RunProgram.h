#pragma once
// Runs one of the built programs as a script would: arguments, a child set-up
// of the test's own, standard output and standard error collected at once
// (so that neither pipe fills while the other is read), the exit status. A
// program still running at the deadline is killed (exit status -1).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct ProgramResult {
    int exitCode = -1;
    std::string out, err;
};

struct ProgramRun {
    // In the child before exec: change folder, environment, file modes; a
    // false return ends the child with exit status 126.
    std::function<bool()> inChild;
    // Standard input: /dev/null, or a pipe that never ends (a program that
    // waited for input would hit the deadline instead of finishing).
    bool endlessInput = false;
    std::chrono::seconds deadline{120};
};

inline ProgramResult RunProgramAt(const std::string& path, const std::vector<std::string>& args,
                                  const ProgramRun& run = {}) {
    ProgramResult result;
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return result;
    const pid_t pid = fork();
    if (pid == 0) {
        const int input = run.endlessInput ? in[0] : open("/dev/null", O_RDONLY);
        dup2(input, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1], input})
            if (fd > 2) close(fd);
        if (run.inChild && !run.inChild()) _exit(126);
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
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    const auto deadline = std::chrono::steady_clock::now() + run.deadline;
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (poll(fds, 2, 1000) <= 0) continue;
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
    if (open > 0) kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(in[1]);
    for (const pollfd& fd : fds)
        if (fd.fd >= 0) close(fd.fd);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// A program of the build; `unset` names variables taken out of the
// environment, `set` "NAME=value" ones put in.
inline ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::vector<std::string>& unset = {},
                                const std::vector<std::string>& set = {}) {
    ProgramRun run;
    run.inChild = [&] {
        for (const std::string& name : unset) unsetenv(name.c_str());
        for (const std::string& pair : set) putenv(const_cast<char*>(pair.c_str()));
        return true;
    };
    return RunProgramAt(std::string(MWST_TEST_BIN_DIR) + "/" + program, args, run);
}

}  // namespace testsupport
