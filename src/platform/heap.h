// How the C library's allocator keeps freed memory, set once at start-up.
#pragma once

#include <cstddef>

namespace dialsift::platform {

// Blocks below this size come from the heap, not from a mapping of their own.
inline constexpr std::size_t kHeapMapThreshold = std::size_t{8} << 20;
// Free memory at the heap's top kept for reuse, up to this much.
inline constexpr std::size_t kHeapKeep = std::size_t{32} << 20;

// Keeps memory a workbook freed for the next one. With glibc's defaults a
// buffer of a few megabytes that every workbook allocates and frees (the
// numbers waiting for their place in sheet order, say) is handed back to the
// system at the end of each workbook and faulted in again, page by page, by
// the next. Peak memory does not change: only what was in use is kept. Call
// before any thread starts.
void KeepFreedMemoryForReuse();

// Heap memory a reading thread is apt to use, at most.
inline constexpr std::size_t kReaderHeap = std::size_t{7} << 20;

// Has the calling thread's heap hold `bytes` of memory already backed by
// pages (with KeepFreedMemoryForReuse, it keeps them): its first workbooks
// then take no page faults for their buffers, at the cost of backing all of
// it at once. Worth it for a thread that reads several workbooks, not for a
// run over one. Below the heap's mapping threshold.
void PrefaultHeap(std::size_t bytes);

}  // namespace dialsift::platform
