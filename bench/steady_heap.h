#pragma once
// Included by a benchmark program of the settings file: holds the heap steady from before main.
//
// Their loops make and drop documents of some megabytes. glibc gives the freed top of the heap
// back to the system, and serves large blocks from fresh mappings, by thresholds that move
// with the history of the process; whether an iteration then faults in every page again flips
// with changes anywhere in the program (measured: BM_Parse1MB 1.7 or 10 to 16 ms from one
// build or one run to the next, the same code). Fixed thresholds keep the heap, so that the
// numbers are those of our code. The program itself keeps glibc's defaults: it parses a file a
// few times in a session, not thousands of times a second.
#include <malloc.h>

namespace vorda::bench {

inline const bool kSteadyHeap = [] {
    mallopt(M_TRIM_THRESHOLD, 512 << 20);  // never give the heap back while the benchmarks run
    mallopt(M_MMAP_THRESHOLD, 32 << 20);   // the largest that glibc allows: blocks from the heap
    return true;
}();

}  // namespace vorda::bench
