// Process-wide values of the download tool: set when the window is created and used by the
// download session. The server is fixed; only the command line may name another one.
#pragma once

#include <string>

class TStringList;

// Texts built by the window's code are Chinese (true) or English (false); as a number it is
// also the language index of the multi-language component (0 English, 1 Chinese).
extern bool UseChinese;
// Remote folder whose files are downloaded.
extern std::string RemoteDir;
// Folder of the program file, with its trailing separator.
extern std::string ProgramDir;
// Folder the files are downloaded into (also the current directory), with a trailing backslash.
extern std::string LocalDir;
// Remote names still to fetch; the first one is being fetched. Lives from FormCreate to
// FormDestroy.
extern TStringList* FileQueue;

// The server the session connects to. The real host is not known here, so the placeholder
// lives under the reserved ".example" domain; the command line can name another.
inline constexpr const char* DefaultServerHost = "ftp.kvb.example";
extern std::string ServerHost;
// Port (number or service name) instead of the client's stored "ftp"; empty keeps it.
extern std::string ServerPort;
