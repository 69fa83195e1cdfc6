// Hot row loops are built twice on x86-64, once for AVX2, and the one the processor can run is
// picked at load time. Not under ThreadSanitizer, whose instrumented resolver would run before its
// runtime is up.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define KV_ROW_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define KV_ROW_KERNEL
#endif
