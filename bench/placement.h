#pragma once
// Where the benchmark's threads run. Figures of two servers compare fairly only when both
// run alike: with the fixed placement every server thread (the device's and the anchor's)
// is on one CPU and the clients on another; a thread a server starts later inherits its
// creator's CPU. Unpinned, every thread may run on any CPU this process may use, as the
// scheduler pleases (the figures then swing with where the threads land round by round).
//   K57_BENCH_CPUS="s,c" picks the server and the client CPU (default: the last two allowed).
#include <dirent.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

class Placement {
public:
    Placement()
    {
        ::sched_getaffinity(0, sizeof allowed_, &allowed_);
        std::vector<int> cpus;
        for (int c = 0; c < CPU_SETSIZE; ++c)
            if (CPU_ISSET(c, &allowed_))
                cpus.push_back(c);
        server_ = cpus.size() > 1 ? cpus[cpus.size() - 2] : cpus.front();
        client_ = cpus.back();
        if (const char* env = std::getenv("K57_BENCH_CPUS"))
            std::sscanf(env, "%d,%d", &server_, &client_);
    }

    // The calling thread on the server CPU: the servers it creates next start there.
    void create_servers_here() const { pin_thread(::pthread_self(), server_); }
    // Every thread of the process on the server CPU but the calling one, the client, which
    // goes on the client CPU (threads it starts inherit that).
    void fixed() const
    {
        for_each_thread([this](pid_t tid) { set(tid, one(server_)); });
        pin_thread(::pthread_self(), client_);
    }
    // Every thread free on every allowed CPU.
    void unpinned() const
    {
        for_each_thread([this](pid_t tid) { set(tid, allowed_); });
    }
    // Takes a figure with fn(true) under the fixed placement, then with fn(false) unpinned.
    template <class Fn>
    void both(Fn fn) const
    {
        fixed();
        fn(true);
        unpinned();
        fn(false);
    }
    static const char* name(bool fixed) { return fixed ? "fixed placement" : "unpinned"; }
    std::string describe() const
    {
        return "servers on CPU " + std::to_string(server_) + ", clients on CPU " + std::to_string(client_) +
               " (unpinned: any of " + std::to_string(CPU_COUNT(&allowed_)) + " CPUs)";
    }

private:
    static cpu_set_t one(int cpu)
    {
        cpu_set_t s;
        CPU_ZERO(&s);
        CPU_SET(cpu, &s);
        return s;
    }
    static void set(pid_t tid, const cpu_set_t& s) { ::sched_setaffinity(tid, sizeof s, &s); }
    static void pin_thread(pthread_t t, int cpu)
    {
        const cpu_set_t s = one(cpu);
        ::pthread_setaffinity_np(t, sizeof s, &s);
    }
    template <class Fn>
    static void for_each_thread(Fn fn)
    {
        DIR* d = ::opendir("/proc/self/task");
        if (!d)
            return;
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                fn(pid_t(std::atoi(e->d_name)));
        ::closedir(d);
    }

    cpu_set_t allowed_;
    int server_ = 0, client_ = 0;
};

}  // namespace bench
