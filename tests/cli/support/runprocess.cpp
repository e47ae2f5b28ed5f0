// Subprocess runner for the terminal front end's tests (see runprocess.h).
#include "support/runprocess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

ProcessResult RunProcess(const std::vector<std::string>& argv, const SignalPlan& plan, const RunPlace& place)
{
    using Clock = std::chrono::steady_clock;
    ProcessResult result;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, place.stdinFile.empty() ? "/dev/null" : place.stdinFile.c_str(),
                                     O_RDONLY, 0);
    if (!place.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, place.cwd.c_str());
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    Clock::time_point sendAt = Clock::time_point::max(), sentAt;
    for (int open = rc == 0 ? 2 : 0; open > 0;) {
        if (plan.signal != 0 && !result.signalled) {
            if (sendAt == Clock::time_point::max() && result.err.find(plan.after) != std::string::npos)
                sendAt = Clock::now() + plan.delay;
            if (Clock::now() >= sendAt) {
                ::kill(pid, plan.signal);
                sentAt = Clock::now();
                result.signalled = true;
            }
        }
        const int wait = plan.signal != 0 && !result.signalled ? 5 : 60000;
        const int ready = ::poll(fds, 2, wait);
        if (ready < 0 || (ready == 0 && wait == 60000)) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) sinks[i]->append(buffer, static_cast<std::size_t>(n));
            if (n > 0 || (n < 0 && errno == EINTR)) continue;
            ::close(fds[i].fd);
            fds[i].fd = -1;
            --open;
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    int status = 0;
    if (rc != 0 || ::waitpid(pid, &status, 0) != pid) return result;
    if (result.signalled)
        result.msFromSignalToExit = std::chrono::duration<double, std::milli>(Clock::now() - sentAt).count();
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}
