#include "ata/SmartReaderProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

// Both ends close on exec; the child gets the write end as its stdout.
bool makePipe(int ends[2]) {
    return ::pipe2(ends, O_CLOEXEC) == 0;
}

// Whether the child has ended by the deadline (or can't be watched, in which
// case waiting for it is all there is).
bool endsWithin(pid_t pid, Clock::time_point deadline) {
    const int watch = int(::syscall(SYS_pidfd_open, pid, 0));
    if (watch < 0) {
        return true;
    }
    bool ended = false;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd exited = {watch, POLLIN, 0};
        const int ready = ::poll(&exited, 1, int(std::max<long long>(left.count(), 0)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        ended = ready > 0;
        break;
    }
    ::close(watch);
    return ended;
}

// Waits for the child to end, also through EINTR; -1 when it can't be waited
// for (someone else reaped it).
int reap(pid_t pid) {
    int status = 0;
    pid_t waited;
    do {
        waited = ::waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    return waited == pid ? status : -1;
}
} // namespace

SmartReaderProcess SmartReaderProcess::run(const std::string& program,
                                           const std::vector<std::string>& arguments,
                                           std::chrono::milliseconds limit, size_t maxOutput) {
    SmartReaderProcess run;
    int out[2];
    if (!makePipe(out)) {
        run.startError = errno;
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    char* noEnvironment[] = {nullptr};

    pid_t pid = 0;
    const int spawned =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), noEnvironment);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        run.startError = spawned;
        return run;
    }

    const Clock::time_point deadline = Clock::now() + limit;
    bool overflow = false;
    bool late = false;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            late = true;
            break;
        }
        pollfd readable = {out[0], POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            late = ready == 0;
            break;
        }
        char buffer[1024];
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break; // the reader closed its output
        }
        if (run.output.size() + size_t(got) > maxOutput) {
            overflow = true;
            break;
        }
        run.output.append(buffer, size_t(got));
    }
    ::close(out[0]);
    // A reader that closed its output may still be running: it gets what is
    // left of the time to end.
    if (!late && !overflow && !endsWithin(pid, deadline)) {
        late = true;
    }
    if (late || overflow) {
        ::kill(pid, SIGKILL);
    }
    const int status = reap(pid);
    if (late) {
        run.outcome = Outcome::timedOut;
    } else if (overflow || status < 0 || !WIFEXITED(status)) {
        run.outcome = Outcome::killed;
    } else {
        run.outcome = Outcome::finished;
        run.exitStatus = WEXITSTATUS(status);
    }
    return run;
}
