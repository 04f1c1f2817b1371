// A tiny library that the loader tests open at run time. Built several times with a different
// KVB_TESTLIB_WHERE, so that a test can tell which copy the search found.
#include <cstdlib>
#include <cstring>

#ifndef KVB_TESTLIB_WHERE
#define KVB_TESTLIB_WHERE 0
#endif

namespace {
int loads = 0;
}

extern "C" {
__attribute__((visibility("default"))) int kvb_testlib_where() {
  return KVB_TESTLIB_WHERE;
}
// Counts calls: a library loaded twice is one library, so the count goes on.
__attribute__((visibility("default"))) int kvb_testlib_next() {
  return ++loads;
}
// Uses the C library, so that dlsym on this library would also find malloc and strlen there.
__attribute__((visibility("default"))) int kvb_testlib_length(const char* text) {
  char* copy = static_cast<char*>(std::malloc(std::strlen(text) + 1));
  if (copy == nullptr) return -1;
  std::strcpy(copy, text);
  int length = static_cast<int>(std::strlen(copy));
  std::free(copy);
  return length;
}
}
