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
// Compiled for SSE2 even in a 32-bit build for older processors; called only where it runs.
__attribute__((target("sse2"))) const char* FindEitherSse2(const char* p, const char* to,
                                                           char a, char b) {
  const __m128i want_a = _mm_set1_epi8(a);
  const __m128i want_b = _mm_set1_epi8(b);
  // Two blocks a round: the loads of the second overlap the compares of the first.
  for (; to - p >= 32; p += 32) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const unsigned low = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(first, want_a), _mm_cmpeq_epi8(first, want_b))));
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(second, want_a), _mm_cmpeq_epi8(second, want_b))));
    if ((low | high) != 0) return p + __builtin_ctz(low | (high << 16));
  }
  return FindEitherBytewise(p, to, a, b);
}

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
  if (HasSse2()) return FindEitherSse2(from, to, a, b);
#endif
  return FindEitherBytewise(from, to, a, b);
}

}  // namespace runtime
