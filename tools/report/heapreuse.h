#ifndef HEAPREUSE_H
#define HEAPREUSE_H

#include <cstdlib> // names the C library (__GLIBC__)

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// A PDF is painted page after page, each page building and dropping buffers of
// a few megabytes. With its default thresholds glibc maps each such buffer
// afresh and hands the freed top of the heap back to the system, so every page
// faults its memory in again: about a third of a 200 k-row report's time. A
// tool that paints and ends keeps the memory instead. Other C libraries keep
// their own ways.
inline void keepHeapForReuse()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

#endif // HEAPREUSE_H
