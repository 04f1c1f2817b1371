#include "dispatch/byte_copy.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Copies shorter than this never take the string-move path.
constexpr std::size_t StringMoveFrom = 2048;
// Destination minus source, within a 4 KiB page, that makes the string move slow.
constexpr std::uintptr_t SlowDistanceBelow = 64;

bool SlowForStringMove(const void* destination, const void* source, std::size_t count) {
  const std::uintptr_t distance =
      (reinterpret_cast<std::uintptr_t>(destination) - reinterpret_cast<std::uintptr_t>(source)) &
      4095;
  return count >= StringMoveFrom && distance != 0 && distance < SlowDistanceBelow;
}

// 64-byte blocks of 16-byte vector moves, then the rest.
void CopyByVectors(unsigned char* out, const unsigned char* in, std::size_t count) {
#if defined(__SSE2__)
  for (; count >= 64; count -= 64, in += 64, out += 64) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 48));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), a);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), c);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), d);
  }
  // The rest is below 64 bytes, far under the string-move sizes.
#endif
  if (count > 0) std::memcpy(out, in, count);
}

}  // namespace

void CopyBytes(void* destination, const void* source, std::size_t count) {
  if (SlowForStringMove(destination, source, count))
    CopyByVectors(static_cast<unsigned char*>(destination),
                  static_cast<const unsigned char*>(source), count);
  else
    std::memcpy(destination, source, count);
}
