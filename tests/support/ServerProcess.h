#pragma once
// The real evt07800-server (or any program) as a process, for the tests of
// what an administrator runs: a command to its end with its output, or a
// server in the background until the test stops it.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace corvana::test {

struct ProgramRun {
    int exitCode = -1;   // -1: it did not end by itself
    std::string output;  // standard output and error together
};

inline std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs a program to its end.
inline ProgramRun RunProgram(const std::vector<std::string>& args) {
    std::string command;
    for (const std::string& a : args) command += ShellQuoted(a) + " ";
    command += "2>&1";
    ProgramRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    return run;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A program started in the background with its standard error (and
// output) in `logFile`; ended with SIGTERM by Stop or the destructor.
class BackgroundProgram {
public:
    BackgroundProgram(const std::vector<std::string>& args, std::string logFile)
        : log_(std::move(logFile)) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~BackgroundProgram() { Stop(); }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    // Waits for a line of the log to match `pattern`; answers its first
    // group ("" when the program ended or the time passed first).
    std::string WaitFor(const std::string& pattern,
                        std::chrono::seconds wait = std::chrono::seconds(30)) {
        const std::regex re(pattern);
        const auto until = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < until) {
            std::smatch m;
            const std::string text = Log();
            if (std::regex_search(text, m, re)) return m.size() > 1 ? m[1].str() : m[0].str();
            if (!Running()) return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return {};
    }

    // The port of an evt07800-server started with --port 0.
    int ServerPort() {
        const std::string port = WaitFor(R"(ouvindo em https?://[^ ]*:([0-9]+))");
        return port.empty() ? 0 : std::stoi(port);
    }

    bool Running() {
        if (pid_ <= 0 || exited_) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return false;
        }
        return true;
    }

    // SIGTERM, then waits; answers the exit code (-1 when killed).
    int Stop() {
        if (Running()) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            for (int i = 0; i < 500 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (::waitpid(pid_, &status, WNOHANG) == 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
            exited_ = true;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return exitCode_;
    }

    // Waits for the program to end by itself.
    int Wait() {
        if (pid_ > 0 && !exited_) {
            int status = 0;
            ::waitpid(pid_, &status, 0);
            exited_ = true;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return exitCode_;
    }

    std::string Log() const { return ReadFile(log_); }
    pid_t Pid() const { return pid_; }

private:
    std::string log_;
    pid_t pid_ = -1;
    bool exited_ = false;
    int exitCode_ = -1;
};

}  // namespace corvana::test
