// Block copies of ring data: every distance between source and destination within a page,
// every size class, the bytes around the destination left alone; and ring reads whose
// destination sits just past the ring position.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dispatch/byte_copy.h"
#include "dispatch/test_device.h"

namespace {

constexpr std::size_t Page = 4096;
constexpr unsigned char Guard = 0xA5;

std::vector<unsigned char> Numbered(std::size_t n, unsigned seed) {
  std::vector<unsigned char> bytes(n);
  for (std::size_t i = 0; i < n; ++i)
    bytes[i] = static_cast<unsigned char>(i * 13 + seed + i / 251);
  return bytes;
}

// Page-aligned start inside a vector, so that distances are exact.
unsigned char* PageStart(std::vector<unsigned char>& v) {
  auto address = reinterpret_cast<std::uintptr_t>(v.data());
  return v.data() + ((Page - address % Page) % Page);
}

TEST(ByteCopyTest, EveryDistanceAndSizeCopiesExactlyTheBytes) {
  const std::size_t sizes[] = {0, 1, 15, 63, 64, 65, 2047, 2048, 2049, 4096, 5000, 8191, 8192};
  std::vector<unsigned char> sourceArea(3 * Page + 8192);
  std::vector<unsigned char> targetArea(3 * Page + 8192 + 2 * Page);
  unsigned char* source = PageStart(sourceArea) + 128;
  for (std::size_t size : sizes) {
    const std::vector<unsigned char> data = Numbered(size, static_cast<unsigned>(size));
    std::copy(data.begin(), data.end(), source);
    // Every distance below 256 (the slow ones among them) and a spread over the rest.
    for (std::size_t distance = 0; distance < Page; distance += distance < 256 ? 1 : 61) {
      std::fill(targetArea.begin(), targetArea.end(), Guard);
      unsigned char* target = PageStart(targetArea) + Page + 128 + distance;
      CopyBytes(target, source, size);
      ASSERT_TRUE(std::equal(data.begin(), data.end(), target))
          << "size " << size << " distance " << distance;
      ASSERT_EQ(target[-1], Guard) << "size " << size << " distance " << distance;
      ASSERT_EQ(target[size], Guard) << "size " << size << " distance " << distance;
    }
  }
}

// A handler's buffer just past the ring's read position within a page: the ring gives the
// bytes in order, also across the ring end, whatever the distance.
TEST(ByteCopyTest, RingReadsIntoBuffersJustPastTheReadPosition) {
  TTestDispatcher d;
  ASSERT_EQ(d.Open(), 0);
  std::vector<unsigned char> area(InputRingSize + 3 * Page);
  unsigned sent = 0;
  unsigned received = 0;
  const DWORD positions[] = {0, 100, InputRingSize - 3000};
  for (DWORD start : positions) {
    // Move the ring to `start` with bytes read at once.
    DWORD move = (start + InputRingSize - d.InputTail) % InputRingSize;
    if (move > 0) {
      d.Arrive(std::string(move, 'x'));
      ASSERT_TRUE(d.FillInput());
      std::string skip(move, '\0');
      ASSERT_EQ(d.ReadInput(skip.data(), move), static_cast<int>(move));
    }
    ASSERT_EQ(d.InputTail, start);
    for (std::uintptr_t distance : {1u, 8u, 31u, 63u, 64u}) {
      const DWORD size = 6000;
      std::string chunk(size, '\0');
      for (DWORD i = 0; i < size; ++i) chunk[i] = static_cast<char>((sent + i) * 7 + 3);
      sent += size;
      d.Arrive(chunk);
      ASSERT_TRUE(d.FillInput());
      auto from = reinterpret_cast<std::uintptr_t>(d.InputBuffer.get() + d.InputTail);
      auto base = reinterpret_cast<std::uintptr_t>(area.data());
      std::uintptr_t offset = (from + distance - base) % Page;
      unsigned char* target = area.data() + offset + Page;
      ASSERT_EQ(d.ReadInput(target, size), static_cast<int>(size));
      for (DWORD i = 0; i < size; ++i)
        ASSERT_EQ(target[i], static_cast<unsigned char>((received + i) * 7 + 3))
            << "start " << start << " distance " << distance << " byte " << i;
      received += size;
    }
  }
}

}  // namespace
