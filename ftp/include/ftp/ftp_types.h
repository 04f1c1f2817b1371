// Types of the FTP client's interface: file types, write modes, status and log codes, the
// four event types, and the messages the client posts to its own hidden window.
#pragma once

#include "forms/events.h"
#include "platform/wintypes.h"

enum TFtpFileType : BYTE { ftAscii = 0, ftBinary = 1 };

// How RetrieveFile writes the local file.
enum TFtpWriteMode : BYTE {
  wmAppend = 0,   // after the file's current end
  wmReplace = 1,  // the whole file, replaced only when the retrieval succeeds
  wmResume = 2,   // from ResumeOffset, asking the server to restart there ("REST")
};

enum TFtpStatusCode : BYTE {
  fsClosed = 0,
  fsConnected = 1,
  fsLoggedOut = 2,
  fsLoggedIn = 3,
  fsCommandDone = 4,
  fsDirectoryReply = 5,
  fsDataReceived = 6,
  fsProgress = 7,
  fsTransferDone = 8,
  fsTimedOut = 9,
};

enum TFtpLogCode : BYTE {
  flDisconnected = 0,
  flConnected = 1,
  flLoggedOut = 2,
  flLoggedIn = 3,
  flDeleting = 4,
  flRenaming = 5,
  flDownloading = 6,
  flUploading = 7,
  flTransferComplete = 8,
  flRestarting = 9,
  flTimedOut = 10,
  flUserAbort = 11,
};

// Texts are NUL-terminated bytes owned by the client, possibly null, valid only during the
// handler call.
using TFtpStatusEvent =
    TEvent<void(TObject* Sender, TFtpStatusCode StatusCode, const char* InfoText)>;
using TFtpErrorEvent = TEvent<void(TObject* Sender, int ErrorCode, const char* ErrorText)>;
using TFtpReplyEvent = TEvent<void(TObject* Sender, int ReplyCode, const char* ReplyText)>;
using TFtpLogEvent = TEvent<void(TObject* Sender, TFtpLogCode LogCode)>;

// Messages of the client's own window: wParam is the code; lParam carries the text.
inline constexpr UINT CM_APDFTPERROR = 2845;
inline constexpr UINT CM_APDFTPLOG = 2846;
inline constexpr UINT CM_APDFTPREPLY = 2847;
inline constexpr UINT CM_APDFTPSTATUS = 2848;
inline constexpr UINT CM_APDFTPTIMEOUT = 2849;
