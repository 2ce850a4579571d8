// Stands in for libFuzzer where the compiler has none (GCC): runs the corpus,
// then seeded random mutations of it until the time budget is spent. Accepts
// the libFuzzer flags the test passes, so both builds share one command.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// Notation characters and UTF-8 (valid, truncated, surrogate) steer mutations
// towards the parser's branches.
constexpr std::string_view kTokens[] = {"+", "^", "%", "~", "(", ")", "{", "}", " ", "\r\n", "9",
                                        "{TAB 3}", "{a 9999}", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xED\xA0\x80", "\xC3"};

std::string currentInput;

// A finding aborts; dump the input first so that it can be replayed.
void reportCurrentInput(int signalNumber)
{
    std::fprintf(stderr, "fuzz_driver: signal %d on this input (hex):\n", signalNumber);
    for (const char c : currentInput)
        std::fprintf(stderr, "%02x", static_cast<unsigned char>(c));
    std::fprintf(stderr, "\n");
    std::_Exit(1);
}

void run(const std::string& input)
{
    currentInput = input;
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(currentInput.data()), currentInput.size());
}

} // namespace

int main(int argc, char** argv)
{
    double maxSeconds = 20;
    std::size_t maxLength = 2048;
    constexpr std::uint64_t kSeed = 20240531; // fixed, so that a failure repeats
    std::vector<std::string> corpus{""};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.starts_with("-max_total_time="))
            maxSeconds = std::stod(arg.substr(arg.find('=') + 1));
        else if (arg.starts_with("-max_len="))
            maxLength = std::stoul(arg.substr(arg.find('=') + 1));
        else if (!arg.starts_with("-") && std::filesystem::is_directory(arg))
            for (const auto& entry : std::filesystem::directory_iterator(arg)) {
                std::ifstream file(entry.path(), std::ios::binary);
                corpus.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>{});
            }
    }
    std::signal(SIGABRT, reportCurrentInput);
    std::signal(SIGSEGV, reportCurrentInput);
    std::printf("fuzz_driver: %zu inputs, seed %llu, %g s\n", corpus.size(), static_cast<unsigned long long>(kSeed),
                maxSeconds);
    std::fflush(stdout);

    for (const std::string& input : corpus)
        run(input.substr(0, maxLength));
    std::mt19937_64 random(kSeed);
    const auto below = [&random](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(maxSeconds);
    std::uint64_t runs = 0;
    std::string input;
    for (; std::chrono::steady_clock::now() < deadline; ++runs) {
        if (input.empty() || below(16) == 0) // mostly stack mutations on the last input
            input = corpus[below(corpus.size())];
        for (std::size_t n = 1 + below(8); n > 0; --n) {
            const std::size_t at = below(input.size() + 1);
            if (below(2) == 0 && !input.empty())
                input[at % input.size()] ^= static_cast<char>(1u << below(8));
            else
                input.insert(at, kTokens[below(std::size(kTokens))]);
        }
        input.resize(std::min(input.size(), maxLength));
        run(input);
    }
    std::printf("fuzz_driver: %llu mutated runs, no findings\n", static_cast<unsigned long long>(runs));
    return 0;
}
