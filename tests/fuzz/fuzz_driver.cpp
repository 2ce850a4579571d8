// Stands in for libFuzzer where the compiler has none (GCC): runs the seed
// corpus, then seeded random mutations of it, within a run and time budget.
// Accepts the libFuzzer flags the tests use, so both builds share one command.
#include <algorithm>
#include <chrono>
#include <csignal>
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

struct Options {
    double maxSeconds = 20;
    std::uint64_t maxRuns = 50'000'000;
    std::size_t maxLength = 2048;
    std::uint64_t seed = 20240531;
    std::vector<std::filesystem::path> corpusDirectories;
};

// Tokens that steer mutations towards the parser's interesting paths.
constexpr std::string_view kTokens[] = {
    "+", "^", "%", "~", "(", ")", "{", "}", " ", "\t", "\r\n", "\r", "\n", "0", "9",
    "{ENTER}", "{TAB 3}", "{} 2}", "{{}", "{a 9999}", "{a 0}", "{f16}", "{LEFT  42}", " 99999999999",
    "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xED\xA0\x80", "\xC0\xAF", "\xFF", "\xC3", "\xF0\x9F",
};

std::string currentInput;

void reportCurrentInput(int signalNumber)
{
    std::fprintf(stderr, "fuzz_driver: died on signal %d with this input (hex):\n", signalNumber);
    for (const char c : currentInput)
        std::fprintf(stderr, "%02x", static_cast<unsigned char>(c));
    std::fprintf(stderr, "\n");
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

Options parseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&arg] { return std::string(arg.substr(arg.find('=') + 1)); };
        if (arg.starts_with("-max_total_time="))
            options.maxSeconds = std::stod(value());
        else if (arg.starts_with("-runs="))
            options.maxRuns = std::stoull(value());
        else if (arg.starts_with("-max_len="))
            options.maxLength = std::stoul(value());
        else if (arg.starts_with("-seed="))
            options.seed = std::stoull(value());
        else if (!arg.starts_with("-"))
            options.corpusDirectories.emplace_back(arg);
    }
    return options;
}

std::vector<std::string> loadSeeds(const Options& options)
{
    std::vector<std::string> seeds{""};
    for (const auto& directory : options.corpusDirectories) {
        if (!std::filesystem::is_directory(directory))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(directory)) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream file(entry.path(), std::ios::binary);
            std::string bytes{std::istreambuf_iterator<char>(file), {}};
            bytes.resize(std::min(bytes.size(), options.maxLength));
            seeds.push_back(std::move(bytes));
        }
    }
    return seeds;
}

void mutate(std::string& input, std::mt19937_64& random)
{
    const auto below = [&random](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    const std::size_t at = below(input.size() + 1);
    switch (below(6)) {
    case 0:
        if (!input.empty())
            input[at % input.size()] ^= static_cast<char>(1u << below(8));
        break;
    case 1:
        if (!input.empty())
            input[at % input.size()] = static_cast<char>(below(256));
        break;
    case 2:
        if (!input.empty())
            input.erase(at % input.size(), 1 + below(8));
        break;
    case 3:
        if (!input.empty()) {
            const std::size_t from = below(input.size());
            input.insert(at, input.substr(from, 1 + below(16)));
        }
        break;
    default: input.insert(at, kTokens[below(std::size(kTokens))]); break;
    }
}

void run(const std::string& input)
{
    currentInput = input;
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(currentInput.data()), currentInput.size());
}

} // namespace

int main(int argc, char** argv)
{
    const Options options = parseOptions(argc, argv);
    std::signal(SIGABRT, reportCurrentInput);
    std::signal(SIGSEGV, reportCurrentInput);

    const std::vector<std::string> seeds = loadSeeds(options);
    std::printf("fuzz_driver: %zu seeds, seed %llu (repeat with -seed=N), up to %llu runs or %g s\n", seeds.size(),
                static_cast<unsigned long long>(options.seed), static_cast<unsigned long long>(options.maxRuns),
                options.maxSeconds);
    std::fflush(stdout);

    std::mt19937_64 random(options.seed);
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    std::uint64_t runs = 0;
    for (const std::string& seed : seeds) {
        run(seed);
        ++runs;
    }
    std::string input;
    while (runs < options.maxRuns && (runs % 1024 != 0 || elapsed() < options.maxSeconds)) {
        // Mostly build on the previous input, so mutations can stack up.
        if (input.empty() || random() % 16 == 0)
            input = seeds[random() % seeds.size()];
        for (std::uint64_t n = 1 + random() % 8; n > 0; --n)
            mutate(input, random);
        if (input.size() > options.maxLength)
            input.resize(options.maxLength);
        run(input);
        ++runs;
    }
    std::printf("fuzz_driver: %llu runs in %.1f s, no findings\n", static_cast<unsigned long long>(runs), elapsed());
    return 0;
}
