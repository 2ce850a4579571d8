#pragma once

#include <cstdio>
#include <cstdlib>

namespace qmpvx::fuzz {

// A broken property is a finding: libFuzzer keeps the input that caused it.
inline void check(bool holds, const char* property)
{
    if (!holds) {
        std::fprintf(stderr, "Property broken: %s\n", property);
        std::abort();
    }
}

} // namespace qmpvx::fuzz
