#pragma once
// The CPU time the benchmarks print beside wall time: one definition for all of them.

#include <sys/resource.h>

namespace vestronia::bench {

// CPU time (user and system, every thread) this process has used so far, in milliseconds.
inline double cpuMs()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

} // namespace vestronia::bench
