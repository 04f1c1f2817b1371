#include "app/run_texts.h"

#include "app/session_values.h"

std::string Pick(const TRunText& text) {
  return UseChinese ? text.Chinese : text.English;
}

// Big5 bytes; a hexadecimal escape is closed before a following letter or digit that would
// otherwise continue it.
namespace runtext {
const TRunText PleaseWait{"\xBD\xD0\xB5y\xAD\xD4.....", "Please wait....."};
const TRunText Connected{
    "\xA4w\xB3s\xB1\xB5\xA5"
    "D\xA6\xF8\xAA"
    "A\xBE\xB9",
    "Connected to Main Server"};
const TRunText LoggedIn{"\xA4w\xA6\xA8\xA5\x5C\xB5n\xA4J", "Login success"};
const TRunText LoggedOut{"\xA4w\xB5n\xA5X\xA8t\xB2\xCE", "Logged out"};
const TRunText Downloading{"\xA4U\xB8\xFC\xA4\xA4...", "Downloading..."};
const TRunText Completed{"\xA4U\xB8\xFC\xA7\xB9\xA6\xA8", "Download completed"};
const TRunText Login{"\xB5n\xA4J", "Login"};
const TRunText InstallQuestion{
    "\xA9\xD2\xBB\xDD\xC0\xC9\xAE\xD7\xA4w\xA4U\xB8\xFC\xA7\xB9\xA6\xA8, "
    "\xB2{\xA6"
    "b\xB6}\xA9l\xA6w\xB8\xCB\xB3n\xA5\xF3?",
    "Required files had been completely downloaded, install program now?"};
const TRunText InstallerMissing{
    "\xA9\xD2\xBB\xDD\xC0\xC9\xAE\xD7\xA4\xA3\xA6s\xA6"
    "b!",
    "Required files not found !"};
const TRunText BadFileName{"\xC0\xC9\xAE\xD7\xA6W\xBA\xD9\xB5L\xAE\xC4: ",
                           "Not a valid file name: "};
const TRunText ListingCut{
    "\xC0\xC9\xAE\xD7\xB2M\xB3\xE6\xB9L\xAA\xF8, \xA5u\xAF\xE0\xA4U\xB8\xFC\xB2M\xB3\xE6\xAB"
    "e\xAD\xB1\xAA\xBA\xC0\xC9\xAE\xD7",
    "The file list is too long; only the files at its start can be fetched"};
}  // namespace runtext
