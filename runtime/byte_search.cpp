#include "runtime/byte_search.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#define RUNTIME_SEARCH_SSE2 1
#endif

namespace runtime {
namespace {

const char* FindEitherBytewise(const char* p, const char* to, char a, char b) {
  for (; p < to; ++p) {
    if (*p == a || *p == b) return p;
  }
  return to;
}

#ifdef RUNTIME_SEARCH_SSE2
// A 32-bit build for older processors compiles this part for SSE2 all the same; it is called
// only where the processor has it.
#ifndef __SSE2__
#pragma GCC push_options
#pragma GCC target("sse2")
#endif

// The bytes of the 16 at `at` that equal `a`, or `a` or `b`. One byte sought saves a compare
// and an OR in every block.
template <bool kEither>
inline __attribute__((always_inline)) __m128i Matches(const char* at, __m128i a, __m128i b) {
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i hits = _mm_cmpeq_epi8(block, a);
  return kEither ? _mm_or_si128(hits, _mm_cmpeq_epi8(block, b)) : hits;
}

template <bool kEither>
const char* FindSse2(const char* p, const char* to, char a, char b) {
  const __m128i want_a = _mm_set1_epi8(a);
  const __m128i want_b = _mm_set1_epi8(b);
  // 64 bytes a round with one test: what is sought is rare in the large buffers searched.
  for (; to - p >= 64; p += 64) {
    const __m128i any =
        _mm_or_si128(_mm_or_si128(Matches<kEither>(p, want_a, want_b),
                                  Matches<kEither>(p + 16, want_a, want_b)),
                     _mm_or_si128(Matches<kEither>(p + 32, want_a, want_b),
                                  Matches<kEither>(p + 48, want_a, want_b)));
    if (_mm_movemask_epi8(any) != 0) break;
  }
  for (; to - p >= 16; p += 16) {
    const auto hits =
        static_cast<unsigned>(_mm_movemask_epi8(Matches<kEither>(p, want_a, want_b)));
    if (hits != 0) return p + __builtin_ctz(hits);
  }
  return FindEitherBytewise(p, to, a, b);
}

#ifndef __SSE2__
#pragma GCC pop_options
#endif

bool HasSse2() {
#ifdef __SSE2__
  return true;
#else
  __builtin_cpu_init();  // cheap once done; a call before the constructors ran needs it
  return __builtin_cpu_supports("sse2");
#endif
}
#endif

}  // namespace

const char* FindEither(const char* from, const char* to, char a, char b) {
#ifdef RUNTIME_SEARCH_SSE2
  if (HasSse2()) {
    return a == b ? FindSse2<false>(from, to, a, b) : FindSse2<true>(from, to, a, b);
  }
#endif
  return FindEitherBytewise(from, to, a, b);
}

}  // namespace runtime
