// A tiny library that the loader tests open at run time. Built several times with a different
// KVB_TESTLIB_WHERE, so that a test can tell which copy the search found.
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
}
