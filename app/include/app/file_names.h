// Names of the download: trimming listing lines, which remote names may be fetched, and the
// local name of a remote file.
#pragma once

#include <string>

class TStrings;

// Removes spaces, TABs, line feeds and carriage returns from the end, then from the start.
std::string TrimBlanks(const std::string& text);

// The names of a names-only listing, one per line of `lines`, blanks trimmed, empty lines and
// the entries "." and ".." left out, replace what `queue` held.
void QueueListedNames(const TStrings& lines, TStrings& queue);

// Whether a name from the listing can be stored as one file of the local folder: not empty,
// not "." or "..", no path separator ('/' or '\' anywhere, also as a Big5 trail byte), no
// control character, none of the characters a Windows file name cannot hold (: * ? " < > |;
// a '|' that is the trail byte of a Big5 character is part of that character).
bool IsPlainFileName(const std::string& name);

// The installer is stored under its own name, so that an installer from elsewhere in the
// folder is never mistaken for it: exactly "Setup.exe" becomes "SetupKVB.exe".
std::string LocalFileName(const std::string& remoteName);

inline constexpr const char* InstallerFileName = "SetupKVB.exe";
inline constexpr const char* InstallerCommand = "SetupKVB";
