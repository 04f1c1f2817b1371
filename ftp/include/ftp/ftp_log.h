// TApdFtpLog writes one line per FTP log code to a history file while it is enabled. An FTP
// client whose FtpLog is set hands its log codes here instead of firing OnFtpLog.
//
// History file: lines ending in CR LF, only ever appended to. Each line is the local date and
// time (short date format, a blank, long time format; the date alone at midnight), " : ",
// and the code's text ("Downloading " + the client's remote name, and so on).
#pragma once

#include <string>

#include "ftp/ftp_types.h"
#include "port/base_component.h"

class TApdCustomFtpClient;

inline constexpr const char* DefaultFtpHistoryName = "APROFTP.HIS";

class TApdFtpLog : public TApdBaseComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  // Links itself to a client of the same owner that has no log yet.
  explicit TApdFtpLog(TComponent* owner);
  ~TApdFtpLog() override;
  void BeforeDestruction() override;
  void Notification(TComponent* component, TOperation operation) override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled) { FEnabled = enabled; }
  // Relative paths are taken from the current directory.
  const std::string& FtpHistoryName() const { return FFtpHistoryName; }
  void SetFtpHistoryName(const std::string& name) { FFtpHistoryName = name; }
  TApdCustomFtpClient* FtpClient() const { return FFtpClient; }
  void SetFtpClient(TApdCustomFtpClient* client);

  // Appends the line of `code` (nothing while disabled or without a file name). Failures
  // raise platform::EInOutError; a history file held by another program (sharing violation)
  // is reported that way and never re-created.
  virtual void WriteHistoryLine(TFtpLogCode code);

  // The line's text after " : " (empty for a code outside the table).
  std::string LineText(TFtpLogCode code) const;

 private:
  bool FEnabled = false;
  std::string FFtpHistoryName = DefaultFtpHistoryName;
  TApdCustomFtpClient* FFtpClient = nullptr;
};
