// Stand-alone driver of a libFuzzer target for builds without libFuzzer (the default compiler):
// replays a seed corpus, then runs random mutations of the seeds for a few seconds.
//
//   fuzz_protocol_smoke <corpus dir or file> [seconds, default 5] [seed, default from the time]
//
// The seed is printed first, so a run can be repeated. When an input crashes or aborts, it is
// written to "fuzz-crash.bin" in the working directory, to be replayed as the corpus of one.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

using Input = std::vector<uint8_t>;
constexpr size_t kMaxInput = 1 << 16;

const Input* g_current = nullptr;  // the input under test, for the crash file

void save_current()
{
    if (!g_current)
        return;
    const int fd = ::open("fuzz-crash.bin", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        (void)!::write(fd, g_current->data(), g_current->size());
        ::close(fd);
    }
    static const char note[] = "fuzz driver: the failing input is in fuzz-crash.bin\n";
    (void)!::write(2, note, sizeof note - 1);
}

void on_fatal_signal(int sig)
{
    save_current();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void run(const Input& in)
{
    g_current = &in;
    LLVMFuzzerTestOneInput(in.data(), in.size());
    g_current = nullptr;
}

// The files of a directory, or the one file named.
std::vector<Input> read_corpus(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(dir + "/" + e->d_name);
        ::closedir(d);
    } else {
        names.push_back(dir);
    }
    std::sort(names.begin(), names.end());
    std::vector<Input> corpus;
    for (const std::string& n : names) {
        std::ifstream f(n, std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    return corpus;
}

// The values that tend to find faults in this protocol: delimiters, escapes, bounds.
constexpr uint8_t kBytes[] = {0x00, 0x01, 0x02, 0x7F, 0x80, 0xFF, 0xA5, 0xA6, 0x5A, 0x5B, 0xF0, 0xF1};
constexpr uint32_t kWords[] = {0, 1, 0xFF, 0x100, 0x3FF, 0x400, 0x401, 0xFFF, 0x1000, 0x2000, 0x7FFF,
                               0x8000, 0xFFFF, 0x10000, 0x7FFFFFFF, 0xFFFFFFFF};

class Mutator {
public:
    Mutator(const std::vector<Input>& corpus, uint32_t seed) : corpus_(corpus), rng_(seed) {}

    Input next()
    {
        Input in = corpus_[pick(corpus_.size())];
        for (size_t k = 1 + pick(8); k > 0; --k)
            mutate(in);
        if (in.size() > kMaxInput)
            in.resize(kMaxInput);
        return in;
    }

private:
    size_t pick(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng_) : 0; }

    void mutate(Input& in)
    {
        const size_t at = pick(in.size() + 1);
        switch (pick(7)) {
        case 0:
            if (at < in.size())
                in[at] ^= uint8_t(1u << pick(8));
            break;
        case 1:
            if (at < in.size())
                in[at] = uint8_t(pick(256));
            break;
        case 2:
            if (at < in.size())
                in[at] = kBytes[pick(sizeof kBytes)];
            break;
        case 3:
            in.insert(in.begin() + long(at), 1 + pick(16), uint8_t(pick(256)));
            break;
        case 4:
            in.erase(in.begin() + long(at), in.begin() + long(std::min(in.size(), at + 1 + pick(16))));
            break;
        case 5: {  // a piece of another seed (or of itself) spliced in
            const Input& other = corpus_[pick(corpus_.size())];
            const size_t from = pick(other.size());
            const size_t n = std::min(other.size() - from, 1 + pick(64));
            in.insert(in.begin() + long(at), other.begin() + long(from), other.begin() + long(from + n));
            break;
        }
        default: {  // a 16- or 32-bit field set to a bound, low byte first
            const uint32_t v = kWords[pick(sizeof kWords / sizeof kWords[0])];
            for (size_t i = 0, n = 2 + 2 * pick(2); i < n && at + i < in.size(); ++i)
                in[at + i] = uint8_t(v >> (8 * i));
            break;
        }
        }
    }

    const std::vector<Input>& corpus_;
    std::mt19937 rng_;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus dir or file> [seconds] [seed]\n", argv[0]);
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    const uint32_t seed = argc > 3 ? uint32_t(std::strtoul(argv[3], nullptr, 0))
                                   : uint32_t(std::chrono::system_clock::now().time_since_epoch().count());
    std::printf("fuzz driver: seed %u\n", seed);
    for (int sig : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        std::signal(sig, on_fatal_signal);
    if (__sanitizer_set_death_callback)
        __sanitizer_set_death_callback(save_current);

    const std::vector<Input> corpus = read_corpus(argv[1]);
    if (corpus.empty()) {
        std::fprintf(stderr, "fuzz driver: no seeds in %s\n", argv[1]);
        return 2;
    }
    for (const Input& in : corpus)
        run(in);
    Mutator mutator(corpus, seed);
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    size_t runs = 0;
    while (std::chrono::steady_clock::now() < until) {
        run(mutator.next());
        ++runs;
    }
    std::printf("fuzz driver: %zu seeds replayed, %zu mutated inputs in %.0f s, no failure\n", corpus.size(), runs,
                seconds);
    return 0;
}
