// The floor under every per-refresh figure: what the kernel counts for a
// process that does nothing but wake up. On a virtual machine a wakeup from
// a long idle costs far more than on bare metal, and every refresh of the
// widget or the window wakes at least the client and the agent, so this is
// what no change to our code can go below on the machine that measures.
//
// 1. A thread that sleeps and wakes, after 0.1 s, 1 s and 4 s of sleep (run
//    side by side, each counted on its own thread's clock).
// 2. One question and answer between two processes over a socket pair every
//    4 s, the least a client and an agent can pay per refresh: the client
//    wakes on its timer and writes, the server wakes and answers, the client
//    wakes again to read it.
//
//   bench_wakeup [SECONDS]     (default 60)

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// CLOCK_THREAD_CPUTIME_ID or CLOCK_PROCESS_CPUTIME_ID, in seconds.
double cpuSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

struct Sleeper {
    int intervalMs;
    int rounds;
    double microsecondsEach = 0;

    void run() {
        const double start = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        for (int i = 0; i < rounds; ++i) {
            poll(nullptr, 0, intervalMs);
        }
        microsecondsEach = (cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start) * 1e6 / rounds;
    }
};

bool exchange(int socket, bool write) {
    std::array<char, 64> message{};
    if (write && ::write(socket, message.data(), message.size()) != ssize_t(message.size())) {
        return false;
    }
    return ::read(socket, message.data(), message.size()) == ssize_t(message.size());
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (seconds < 8) {
        std::fprintf(stderr, "usage: bench_wakeup [SECONDS >= 8]\n");
        return 2;
    }
    const int pairRounds = seconds / 4;

    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        std::perror("socketpair");
        return 1;
    }
    const pid_t server = fork();
    if (server == 0) {
        close(sockets[0]);
        const double start = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        int answered = 0;
        std::array<char, 64> message{};
        while (::read(sockets[1], message.data(), message.size()) == ssize_t(message.size())) {
            if (::write(sockets[1], message.data(), message.size()) != ssize_t(message.size())) {
                break;
            }
            ++answered;
        }
        const double spent = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - start;
        std::printf("Answering process   %.1f µs a question (%d questions)\n",
                    answered ? spent * 1e6 / answered : 0.0, answered);
        std::fflush(stdout);
        _exit(0);
    }
    close(sockets[1]);

    std::vector<Sleeper> sleepers{{100, seconds * 10}, {1000, seconds}, {4000, seconds / 4}};
    std::vector<std::thread> threads;
    for (Sleeper& sleeper : sleepers) {
        threads.emplace_back([&sleeper] { sleeper.run(); });
    }

    double asking = 0;
    int asked = 0;
    for (int i = 0; i < pairRounds; ++i) {
        poll(nullptr, 0, 4000);
        const double start = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        if (!exchange(sockets[0], true)) {
            break;
        }
        asking += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start;
        ++asked;
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const Sleeper& sleeper : sleepers) {
        std::printf("Waking after %4d ms %.1f µs a wakeup (%d wakeups)\n", sleeper.intervalMs,
                    sleeper.microsecondsEach, sleeper.rounds);
    }
    std::printf("Asking process      %.1f µs a question and its answer, besides its timer "
                "wakeup (%d questions)\n",
                asked ? asking * 1e6 / asked : 0.0, asked);
    std::fflush(stdout);
    close(sockets[0]);
    int status = 0;
    waitpid(server, &status, 0);
    return asked == pairRounds ? 0 : 1;
}
