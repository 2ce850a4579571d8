// Micro-benchmarks of the work done before the first key goes out: reading
// the key notation and planning keystrokes for a keymap.
#include "platform/keys/KeyNotation.h"
#include "platform/x11/KeystrokePlan.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string asciiNotation()
{
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += i % 10 == 0 ? std::string("{+}") : std::string(1, static_cast<char>('a' + i % 26));
    return text;
}

std::string mixedUnicode()
{
    const char* pool[] = {"ä", "日", "Ω", "ж", "€", "😀", "a", " "};
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += pool[(i * 7) % 8];
    return text;
}

void parseAscii(benchmark::State& state)
{
    const std::string text = asciiNotation();
    for (auto _ : state)
        benchmark::DoNotOptimize(qmpvx::keys::parseKeyNotation(text));
}
BENCHMARK(parseAscii);

void planMixedUnicode(benchmark::State& state)
{
    const qmpvx::x11::XkbContext context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    const qmpvx::x11::XkbKeymap keymap(xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    const auto actions = qmpvx::keys::parseKeyNotation(mixedUnicode());
    for (auto _ : state) {
        const qmpvx::x11::KeymapIndex layout(keymap.get(), 0);
        std::vector<qmpvx::x11::BorrowableKeycode> free;
        for (const std::uint8_t keycode : layout.spareKeycodes())
            free.push_back({keycode, {}, {}});
        benchmark::DoNotOptimize(qmpvx::x11::planKeystrokes(actions, layout, free));
    }
}
BENCHMARK(planMixedUnicode);

} // namespace

BENCHMARK_MAIN();
