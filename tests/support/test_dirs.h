// Where a test finds the checkout and the build: KVB_SOURCE_DIR and KVB_BINARY_DIR as ctest
// sets them, else the folders the test program was built from and into, so that a test program
// started by hand, from any folder, finds its servers, scripts and tables too.
#pragma once

#include <cstdlib>
#include <string>

#ifndef KVB_TEST_SOURCE_DIR
#define KVB_TEST_SOURCE_DIR "."
#endif
#ifndef KVB_TEST_BINARY_DIR
#define KVB_TEST_BINARY_DIR "."
#endif

namespace testsupport {

inline std::string SourceDir() {
  const char* dir = std::getenv("KVB_SOURCE_DIR");
  return dir ? dir : KVB_TEST_SOURCE_DIR;
}

inline std::string BinaryDir() {
  const char* dir = std::getenv("KVB_BINARY_DIR");
  return dir ? dir : KVB_TEST_BINARY_DIR;
}

}  // namespace testsupport
