// A Winsock library that lacks one name (WSAIsBlocking, which nothing calls): the binding
// fails as a whole, and every socket operation raises 9002. The binding is process-wide, so
// this program chooses the library before anything binds it.

#include <gtest/gtest.h>

#include <filesystem>

#include "errors/codes.h"
#include "port/device_socket.h"
#include "port/socket.h"
#include "port/winsock_binding.h"
#include "port/winsock_port.h"
#include "port_test_support.h"

namespace {

const char* const NotInitialized = "Winsock not initialized - Error loading Winsock DLL";

class MissingNameEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // Built beside the test programs, in bin/missing/.
    auto program = std::filesystem::read_symlink("/proc/self/exe");
    auto library = program.parent_path() / "missing" / "libwsock32.so";
    ASSERT_TRUE(std::filesystem::exists(library)) << library;
    SetWinsockLibraryName(library.string());
  }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new MissingNameEnvironment);

template <class F>
void ExpectNotInitialized(F&& operation, const char* what) {
  try {
    operation();
    ADD_FAILURE() << what << " did not raise";
  } catch (const EApdSocketException& e) {
    EXPECT_EQ(e.ErrorCode, ecWsLoadError) << what;
    EXPECT_EQ(std::string(e.what()), NotInitialized) << what;
  }
}

}  // namespace

TEST(MissingName, BindingFailsButKeepsTheLibraryLoaded) {
  EXPECT_FALSE(BindWinsock());
  const TWinsockEntryTable& table = WinsockEntryTable();
  EXPECT_NE(table.Library, nullptr);
  EXPECT_NE(table.accept, nullptr);  // names before the missing one keep their addresses
  EXPECT_EQ(table.WSAIsBlocking, nullptr);
  EXPECT_EQ(table.WSAAsyncSelect, nullptr);  // later ones were never looked up
}

TEST(MissingName, EverySocketOperationRaises9002) {
  TApdSocket socket(nullptr);
  EXPECT_FALSE(socket.Bound());
  EXPECT_EQ(socket.StartupError(), ecWsLoadError);
  EXPECT_EQ(socket.NoticeWindow(), nullptr);
  TSockAddrIn address{};
  ExpectNotInitialized([&] { socket.WinsockError(); }, "WinsockError");
  ExpectNotInitialized([&] { socket.PortToNetwork(21); }, "PortToNetwork");
  ExpectNotInitialized([&] { socket.PortFromNetwork(21); }, "PortFromNetwork");
  ExpectNotInitialized([&] { socket.AddressToDotted(0); }, "AddressToDotted");
  ExpectNotInitialized([&] { socket.DottedToAddress("127.0.0.1"); }, "DottedToAddress");
  ExpectNotInitialized([&] { socket.ResolveHost("localhost"); }, "ResolveHost");
  ExpectNotInitialized([&] { socket.ResolveService("ftp"); }, "ResolveService");
  ExpectNotInitialized([&] { socket.MakeStreamSocket(); }, "MakeStreamSocket");
  ExpectNotInitialized([&] { socket.BindLocal(1, address); }, "BindLocal");
  ExpectNotInitialized([&] { socket.StartConnect(1, address); }, "StartConnect");
  ExpectNotInitialized([&] { socket.StartListening(1, 5); }, "StartListening");
  ExpectNotInitialized([&] { socket.TakeConnection(1, address); }, "TakeConnection");
  ExpectNotInitialized([&] { socket.DropSocket(1); }, "DropSocket");
  ExpectNotInitialized([&] { socket.StopSocket(1, 2); }, "StopSocket");
  char buffer[4];
  ExpectNotInitialized([&] { socket.ReceiveInto(1, buffer, 4, 0); }, "ReceiveInto");
  ExpectNotInitialized([&] { socket.SendFrom(1, buffer, 4, 0); }, "SendFrom");
  ExpectNotInitialized([&] { socket.RequestNotices(1, 1); }, "RequestNotices");
  int one = 1;
  ExpectNotInitialized([&] { socket.SetOption(1, 0xFFFF, 4, &one, 4); }, "SetOption");
}

TEST(MissingName, WinsockPortOpenRaisesAndStaysClosed) {
  TApdWinsockPort port(nullptr);
  port.SetServerAddress("127.0.0.1");
  port.SetWsPort("21");
  ExpectNotInitialized([&] { port.SetPortOpen(true); }, "PortOpen");
  EXPECT_EQ(port.PortState, psClosed);
  EXPECT_FALSE(port.PortOpen());
  EXPECT_EQ(port.CurrentDispatcher(), nullptr);
  EXPECT_EQ(DeviceSocket().StartupError(), ecWsLoadError);
}
