// The history log, the links between client and log, and the published properties that the
// download window's stored description sets.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "forms/class_registry.h"
#include "forms/component.h"
#include "forms/properties.h"
#include "ftp/ftp_client.h"
#include "ftp/ftp_log.h"
#include "ftp_test_support.h"
#include "platform/sysutils.h"

using namespace ftptest;

namespace {

std::vector<std::string> HistoryLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class FtpLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner = new TComponent(nullptr);
    client = new TApdFtpClient(owner);
    log = new TApdFtpLog(owner);
    history = dir / "APROFTP.HIS";
    log->SetFtpHistoryName(history);
  }
  void TearDown() override { TObject::Free(owner); }

  TempDir dir;
  TComponent* owner = nullptr;
  TApdFtpClient* client = nullptr;
  TApdFtpLog* log = nullptr;
  std::string history;
};

TEST_F(FtpLogTest, ALogMadeBesideAClientLinksBothWays) {
  EXPECT_EQ(client->FtpLog(), log);
  EXPECT_EQ(log->FtpClient(), client);
  // A second log finds the client taken.
  auto* second = new TApdFtpLog(owner);
  EXPECT_EQ(second->FtpClient(), nullptr);
  EXPECT_EQ(client->FtpLog(), log);
  // Destroying the log empties the client's link, destroying the client the log's.
  TObject::Free(log);
  EXPECT_EQ(client->FtpLog(), nullptr);
  client->SetFtpLog(second);
  EXPECT_EQ(second->FtpClient(), client);
  TObject::Free(client);
  EXPECT_EQ(second->FtpClient(), nullptr);
  log = nullptr;
  client = nullptr;
}

TEST_F(FtpLogTest, DisabledWritesNothing) {
  log->WriteHistoryLine(flDownloading);
  EXPECT_FALSE(fs::exists(history));
  log->SetEnabled(true);
  log->SetFtpHistoryName("");
  log->WriteHistoryLine(flDownloading);
  EXPECT_FALSE(fs::exists(history));
}

TEST_F(FtpLogTest, LinesAreAppendedWithDateTimePrefixAndTheClientsData) {
  log->SetEnabled(true);
  client->SetUserName("dlmorv");
  client->SetServerAddress("ftp.example.com");
  client->SetResumeOffset(4096);
  auto savedFormat = platform::FormatSettings().ShortDateFormat;
  platform::FormatSettings().ShortDateFormat = "yyyy/mm/dd";
  for (int code = flDisconnected; code <= flUserAbort; ++code)
    log->WriteHistoryLine(static_cast<TFtpLogCode>(code));
  log->WriteHistoryLine(static_cast<TFtpLogCode>(99));
  platform::FormatSettings().ShortDateFormat = savedFormat;

  auto lines = HistoryLines(history);
  ASSERT_EQ(lines.size(), 13u);
  const std::vector<std::string> texts{"Disconnected",
                                       "Connected to ftp.example.com",
                                       "dlmorv logged out",
                                       "dlmorv logged in",
                                       "Deleting ",
                                       "Renaming ",
                                       "Downloading ",
                                       "Uploading ",
                                       "Transfer complete. 0 bytes Transferred",
                                       "Attempting re-transfer at 4096 bytes",
                                       "Transfer timed out",
                                       "Transfer aborted by user",
                                       ""};
  const std::regex prefix(R"(^\d{4}/\d{2}/\d{2}( \d{1,2}:\d{2}:\d{2}( [AP]M)?)? : )");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i].back(), '\r') << i;
    std::string line = lines[i].substr(0, lines[i].size() - 1);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(line, match, prefix)) << line;
    EXPECT_EQ(line.substr(static_cast<std::size_t>(match.length(0))), texts[i]) << i;
  }

  // Another log on the same file, as a later run would be, appends.
  auto* later = new TApdFtpLog(nullptr);
  later->SetFtpHistoryName(history);
  later->SetEnabled(true);
  later->WriteHistoryLine(flUserAbort);
  // Without a client the texts that need one are written without its data.
  later->WriteHistoryLine(flConnected);
  later->WriteHistoryLine(flTransferComplete);
  TObject::Free(later);
  lines = HistoryLines(history);
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_NE(lines[13].find(" : Transfer aborted by user\r"), std::string::npos);
  EXPECT_NE(lines[14].find(" : Connected to \r"), std::string::npos);
  EXPECT_NE(lines[15].find(" : Transfer complete. 0 bytes Transferred\r"), std::string::npos);
}

TEST_F(FtpLogTest, HistoryHeldByAnotherProgramIsReportedAndKept) {
  log->SetEnabled(true);
  log->WriteHistoryLine(flLoggedIn);
  const std::string before = ReadFile(history);
  {
    platform::TFileStream holder(history, platform::fmOpenReadWrite | platform::fmShareExclusive);
    try {
      log->WriteHistoryLine(flLoggedOut);
      ADD_FAILURE() << "no exception";
    } catch (const platform::EInOutError& e) {
      EXPECT_EQ(e.ErrorCode, 32);
    }
  }
  EXPECT_EQ(ReadFile(history), before);
  log->WriteHistoryLine(flLoggedOut);
  EXPECT_EQ(HistoryLines(history).size(), 2u);
}

TEST_F(FtpLogTest, HistoryInAMissingFolderRaises) {
  log->SetEnabled(true);
  log->SetFtpHistoryName(dir / "no-folder/APROFTP.HIS");
  EXPECT_THROW(log->WriteHistoryLine(flLoggedIn), platform::EInOutError);
}

TEST(FtpComponents, StoredDescriptionsCanCreateAndSetThem) {
  const TClassRecord* clientClass = FindClass("TApdFtpClient");
  const TClassRecord* logClass = FindClass("TApdFtpLog");
  ASSERT_NE(clientClass, nullptr);
  ASSERT_NE(logClass, nullptr);
  auto* form = new TComponent(nullptr);
  TComponent* client = CreateComponent("TApdFtpClient", form);
  TComponent* log = CreateComponent("TApdFtpLog", form);
  ASSERT_NE(dynamic_cast<TApdFtpClient*>(client), nullptr);

  EXPECT_EQ(GetStrProp(client, "WsPort"), "ftp");
  EXPECT_EQ(GetOrdProp(client, "TransferTimeout"), 1092);
  EXPECT_EQ(GetOrdProp(client, "ConnectTimeout"), 0);
  EXPECT_EQ(GetEnumProp(client, "FileType"), "ftBinary");
  EXPECT_EQ(GetOrdProp(client, "PassiveMode"), 0);
  EXPECT_EQ(GetStrProp(client, "LogName"), "APRO.LOG");
  EXPECT_EQ(GetStrProp(client, "TraceName"), "APRO.TRC");
  EXPECT_EQ(GetEnumProp(client, "Tracing"), "tlOff");
  EXPECT_EQ(GetStrProp(client, "Version"), "v3.04");

  SetStrProp(client, "UserName", "dlmorv");
  SetStrProp(client, "ServerAddress", "  ftp.example.com ");
  SetOrdProp(client, "TransferTimeout", 3000);
  SetEnumProp(client, "FileType", "ftAscii");
  SetOrdProp(client, "PassiveMode", 1);
  SetComponentProp(client, "FtpLog", log);
  auto* typed = static_cast<TApdFtpClient*>(client);
  EXPECT_EQ(typed->UserName(), "dlmorv");
  EXPECT_EQ(typed->ServerAddress(), "ftp.example.com");
  EXPECT_EQ(typed->TransferTimeout(), 3000);
  EXPECT_EQ(typed->FileType(), ftAscii);
  EXPECT_TRUE(typed->PassiveMode());
  EXPECT_EQ(GetComponentProp(log, "FtpClient"), client);
  EXPECT_EQ(GetOrdProp(log, "Enabled"), 0);
  EXPECT_EQ(GetStrProp(log, "FtpHistoryName"), "APROFTP.HIS");
  for (const char* event : {"OnFtpError", "OnFtpLog", "OnFtpReply", "OnFtpStatus"})
    EXPECT_TRUE(IsPublishedProp(client, event)) << event;
  TObject::Free(form);
}

}  // namespace
