// The first line of every benchmark's output names the target it was built for, so figures of
// the 32-bit and the 64-bit build are never mixed up.
#pragma once
#include <stdio.h>

namespace bench {

#if defined(__x86_64__)
const char kTarget[] = "x86_64";
#elif defined(__i386__)
const char kTarget[] = "i686";
#else
#error "a benchmark for an unknown target"
#endif

inline void PrintTarget()
{
    printf("target: %s\n", kTarget);
    fflush(stdout);
}

} // namespace bench
