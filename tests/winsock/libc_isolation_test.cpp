// Loading the socket library must not take the C library's socket functions away from the
// program: the library exports socket, recv, select ... under the same names.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "platform/library.h"

namespace {

TEST(WinsockLibcIsolation, ProgramKeepsTheCLibrarysSocketFunctions) {
  HMODULE m = LoadLibraryA("WSOCK32");
  ASSERT_NE(m, nullptr);
  struct Name {
    const char* name;
    void* program;  // what this program's own calls are bound to
  };
  const Name names[] = {{"socket", reinterpret_cast<void*>(&::socket)},
                        {"recv", reinterpret_cast<void*>(&::recv)},
                        {"send", reinterpret_cast<void*>(&::send)},
                        {"connect", reinterpret_cast<void*>(&::connect)},
                        {"select", reinterpret_cast<void*>(&::select)}};
  for (const Name& n : names) {
    void* ours = reinterpret_cast<void*>(GetProcAddress(m, n.name));
    ASSERT_NE(ours, nullptr) << n.name;
    EXPECT_NE(n.program, ours) << n.name;
    EXPECT_NE(dlsym(RTLD_DEFAULT, n.name), ours) << n.name;
  }

  // And they work as the C library's do: descriptors, not Winsock handles.
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  ASSERT_EQ(::send(fds[0], "abc", 3, 0), 3);
  char buf[4];
  ASSERT_EQ(::recv(fds[1], buf, sizeof buf, 0), 3);
  EXPECT_EQ(std::memcmp(buf, "abc", 3), 0);
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_GE(s, 0);
  EXPECT_LT(s, 0x100) << "a descriptor, not one of the library's handles";
  ::close(s);
  ::close(fds[0]);
  ::close(fds[1]);
  FreeLibrary(m);
}

}  // namespace
