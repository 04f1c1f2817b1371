// Texts shown by the download window's code, in both languages; the one shown is chosen by
// UseChinese at the moment it is shown. Chinese texts are Big5 bytes.
#pragma once

#include <string>

struct TRunText {
  const char* Chinese;
  const char* English;
};

// The text for the current value of UseChinese.
std::string Pick(const TRunText& text);

namespace runtext {
extern const TRunText PleaseWait;
extern const TRunText Connected;
extern const TRunText LoggedIn;
extern const TRunText LoggedOut;
extern const TRunText Downloading;
extern const TRunText Completed;
extern const TRunText Login;
extern const TRunText InstallQuestion;
extern const TRunText InstallerMissing;
// Put before a name from the listing that is not a plain file name.
extern const TRunText BadFileName;
// Shown when the listing of the remote folder was longer than the FTP client keeps.
extern const TRunText ListingCut;
}  // namespace runtext

// The same in both languages.
inline constexpr const char* OperationCompleteText = "operation complete";
inline constexpr const char* TransferTimedOutText = "Transfer timed out";
inline constexpr const char* FtpErrorCaption = "FTP Error: ";
inline constexpr const char* ApplicationTitle = "KVB Download";
