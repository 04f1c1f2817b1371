#include "ftp/ftp_log.h"

#include "forms/class_record.h"
#include "ftp/ftp_client.h"
#include "platform/sysutils.h"

const TClassRecord& TApdFtpLog::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TApdFtpLog, TApdBaseComponent>(
      "TApdFtpLog", [](TClassBuilder<TApdFtpLog>& c) {
        c.Bool("Enabled", &TApdFtpLog::Enabled, &TApdFtpLog::SetEnabled).Default(0);
        c.Str("FtpHistoryName", &TApdFtpLog::FtpHistoryName, &TApdFtpLog::SetFtpHistoryName);
        c.Component("FtpClient", &TApdFtpLog::FtpClient, &TApdFtpLog::SetFtpClient);
      });
  return record;
}

TApdFtpLog::TApdFtpLog(TComponent* owner) : TApdBaseComponent(owner) {
  // A client of the same owner without a log of its own takes this one.
  if (!owner) return;
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    auto* client = dynamic_cast<TApdCustomFtpClient*>(owner->Components(i));
    if (client && !client->FtpLog()) {
      client->SetFtpLog(this);
      break;
    }
  }
}

TApdFtpLog::~TApdFtpLog() {
  if (FFtpClient && FFtpClient->FtpLog() == this) FFtpClient->SetFtpLog(nullptr);
}

void TApdFtpLog::BeforeDestruction() {
  if (FFtpClient && FFtpClient->FtpLog() == this) FFtpClient->SetFtpLog(nullptr);
  TApdBaseComponent::BeforeDestruction();
}

void TApdFtpLog::Notification(TComponent* component, TOperation operation) {
  TApdBaseComponent::Notification(component, operation);
  if (operation == opRemove && component == FFtpClient && FFtpClient) FFtpClient = nullptr;
}

void TApdFtpLog::SetFtpClient(TApdCustomFtpClient* client) {
  if (client == FFtpClient) return;
  TApdCustomFtpClient* old = FFtpClient;
  FFtpClient = client;
  if (old && old->FtpLog() != this) RemoveFreeNotification(old);
  if (client) client->FreeNotification(this);
}

std::string TApdFtpLog::LineText(TFtpLogCode code) const {
  // Without a client the texts that name its data are written without them.
  static const std::string none;
  const std::string& server = FFtpClient ? FFtpClient->ServerAddress() : none;
  const std::string& user = FFtpClient ? FFtpClient->UserName() : none;
  const std::string& remote = FFtpClient ? FFtpClient->RemoteName() : none;
  const std::string& local = FFtpClient ? FFtpClient->LocalName() : none;
  switch (code) {
    case flDisconnected:
      return "Disconnected";
    case flConnected:
      return "Connected to " + server;
    case flLoggedOut:
      return user + " logged out";
    case flLoggedIn:
      return user + " logged in";
    case flDeleting:
      return "Deleting " + remote;
    case flRenaming:
      return "Renaming " + remote;
    case flDownloading:
      return "Downloading " + remote;
    case flUploading:
      return "Uploading " + local;
    case flTransferComplete:
      return "Transfer complete. " + std::to_string(FFtpClient ? FFtpClient->ByteCount() : 0) +
             " bytes Transferred";
    case flRestarting:
      return "Attempting re-transfer at " +
             std::to_string(FFtpClient ? FFtpClient->ResumeOffset() : 0) + " bytes";
    case flTimedOut:
      return "Transfer timed out";
    case flUserAbort:
      return "Transfer aborted by user";
  }
  return {};
}

void TApdFtpLog::WriteHistoryLine(TFtpLogCode code) {
  if (!FEnabled || FFtpHistoryName.empty()) return;
  platform::TTextFile file;
  int result = file.Append(FFtpHistoryName);
  // Only a missing file is created; one held by another program is reported, never
  // created anew, which would lose its history.
  if (result == static_cast<int>(ERROR_FILE_NOT_FOUND)) result = file.Rewrite(FFtpHistoryName);
  if (result != 0) platform::RaiseInOutError(result);
  std::string line = platform::FormatDateTime("c", platform::Now()) + " : " + LineText(code);
  result = file.WriteLn(line);
  int closed = file.Close();
  if (result == 0) result = closed;
  if (result != 0) platform::RaiseInOutError(result);
}
