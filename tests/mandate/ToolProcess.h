#pragma once
// Runs the real mwst-mandant program with arguments and standard input.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mandate/tools/MandantTool.h"

namespace testsupport {

inline std::string ToolPath() { return std::string(MWST_TEST_BIN_DIR) + "/mwst-mandant"; }

// A running mwst-mandant; stdin stays open until CloseInput.
class ToolProcess {
public:
    explicit ToolProcess(const std::vector<std::string>& args) {
        int in[2], out[2], err[2];
        if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
            for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
            std::string path = ToolPath();
            std::vector<char*> argv{path.data()};
            std::vector<std::string> copies(args);
            for (std::string& a : copies) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(path.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        input_ = in[1];
        output_ = out[0];
        error_ = err[0];
    }
    ~ToolProcess() {
        CloseInput();
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            Wait();
        }
        if (output_ >= 0) close(output_);
        if (error_ >= 0) close(error_);
    }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    void Write(const std::string& text) { (void)!write(input_, text.data(), text.size()); }
    void CloseInput() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }
    // One line of standard output; nullopt at EOF or after `timeoutMs`.
    std::optional<std::string> ReadLine(int timeoutMs = 30000) {
        std::string line;
        for (;;) {
            pollfd p{output_, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
            char c;
            if (read(output_, &c, 1) != 1) return std::nullopt;
            if (c == '\n') return line;
            line += c;
        }
    }
    // Closes stdin, collects the rest of both outputs, waits for the exit code.
    int Finish(std::string* out = nullptr, std::string* err = nullptr) {
        CloseInput();
        std::string o = Drain(output_), e = Drain(error_);
        if (out) *out = o;
        if (err) *err = e;
        return Wait();
    }

private:
    // Reads a pipe to EOF; stdout goes first, the tool writes far less than a
    // pipe holds to stderr meanwhile.
    std::string Drain(int fd) {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid_ = -1;
    bool exited_ = false;
    int input_ = -1, output_ = -1, error_ = -1;
};

struct ToolResult {
    int exitCode;
    std::string out, err;
};

// The tool's commands in this process (fast); a test of the program itself runs it with RunTool.
inline ToolResult RunToolInProcess(const std::vector<std::string>& args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    const int code = mandant::RunMandantTool(args, in, out, err);
    return {code, out.str(), err.str()};
}

// The tool's exit status in this process; its standard output in `output`.
inline int Tool(const std::vector<std::string>& args, const std::string& input = "",
                std::string* output = nullptr) {
    const ToolResult ran = RunToolInProcess(args, input);
    if (output) *output = ran.out;
    return ran.exitCode;
}

// The mandate's records as the tool's dump writes them.
inline std::string Dump(const std::string& dir) {
    std::string out;
    EXPECT_EQ(Tool({"dump", dir}, "", &out), 0);
    return out;
}

inline ToolResult RunTool(const std::vector<std::string>& args, const std::string& input = "") {
    ToolProcess tool(args);
    tool.Write(input);
    ToolResult result;
    result.exitCode = tool.Finish(&result.out, &result.err);
    return result;
}

}  // namespace testsupport
