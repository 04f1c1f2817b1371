// The names-only listing as the download window takes it: the listing text goes into the info
// memo, each of its lines is trimmed into the file queue, and each queued name is checked
// before it is fetched. The input is the listing text.
//
// Checked: trimming leaves no blank at either end and changes nothing more; no byte of the
// listing other than blanks and the lines "." and ".." (the folder and its parent) is lost on
// the way into the queue; a name that is accepted for
// fetching holds no path separator, control character or character a Windows file name cannot
// hold (a '\\' or '|' only as the second byte of a Big5 character) and is not "." or "..".
#include <cstdint>
#include <cstring>
#include <string>

#include "app/file_names.h"
#include "forms/std_controls.h"
#include "forms/strings.h"
#include "fuzz_support.h"
#include "platform/files.h"
#include "platform/sysutils.h"

namespace {

constexpr const char* DriveFolder = "/kvb-fuzz/drive_c";

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string WithoutBlanks(const std::string& text) {
  std::string out;
  for (char c : text)
    if (!IsBlank(c)) out += c;
  return out;
}

void CheckTrimmed(const std::string& text) {
  const std::string trimmed = TrimBlanks(text);
  FUZZ_CHECK(trimmed.empty() || (!IsBlank(trimmed.front()) && !IsBlank(trimmed.back())),
             "blank left at an end: " + fuzzsupport::Escaped(trimmed));
  FUZZ_CHECK(TrimBlanks(trimmed) == trimmed, "trimming twice changes the text");
  const std::size_t at = text.find(trimmed);
  FUZZ_CHECK(at != std::string::npos, "the trimmed text is not in the text");
  FUZZ_CHECK(WithoutBlanks(text.substr(0, at)).empty() &&
                 WithoutBlanks(text.substr(at + trimmed.size())).empty(),
             "trimming dropped more than blanks: " + fuzzsupport::Escaped(text));
}

void CheckPlainName(const std::string& name) {
  FUZZ_CHECK(name != "." && name != "..", "a dot folder accepted");
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < name.size() && name[i + 1] != '\0') {
      // A lead byte and the byte after it: a Big5 second byte may be '\\' or '|', but a byte
      // below 0x40 there is checked as if alone.
      c = static_cast<unsigned char>(name[++i]);
      if (c >= 0x40 && c != 0x7F) continue;
    }
    FUZZ_CHECK(c >= 0x20 && c != 0x7F,
               "a control character accepted: " + fuzzsupport::Escaped(name));
    FUZZ_CHECK(std::strchr("/\\:*?\"<>|", c) == nullptr || c == 0,
               "a separator or reserved character accepted: " + fuzzsupport::Escaped(name));
  }
  // Stored where the window stores it, the name is a file of the download folder, under the
  // same bytes.
  const std::string local = "C:\\SuperSetup\\" + name;
  FUZZ_CHECK(platform::ExtractFileName(local) == name &&
                 platform::ExtractFilePath(local) == "C:\\SuperSetup\\",
             "the name does not stay one file name: " + fuzzsupport::Escaped(name));
  FUZZ_CHECK(platform::ToHostPath(local) == std::string(DriveFolder) + "/SuperSetup/" + name,
             "the file lands elsewhere: " + fuzzsupport::Escaped(platform::ToHostPath(local)));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::SetUpApplication();
  platform::SetDriveFolder('C', DriveFolder);  // only mapped, never touched
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string listing(reinterpret_cast<const char*>(data), size);
  CheckTrimmed(listing);

  auto* memo = new TMemo(nullptr);
  memo->SetTextValue(listing);
  TStringList queue;
  QueueListedNames(*memo->Lines(), queue);
  FUZZ_CHECK(queue.Count() <= memo->Lines()->Count(), "more names than lines");

  std::string all, kept;
  for (int i = 0; i < memo->Lines()->Count(); ++i) {
    const std::string& line = memo->Lines()->Get(i);
    all += WithoutBlanks(line);
    const std::string name = TrimBlanks(line);
    if (name != "." && name != "..") kept += WithoutBlanks(line);
  }
  FUZZ_CHECK(all == WithoutBlanks(listing), "bytes of the listing were lost in the memo");
  std::string joined;
  for (int i = 0; i < queue.Count(); ++i) {
    const std::string& name = queue.Get(i);
    FUZZ_CHECK(!name.empty(), "an empty name queued");
    FUZZ_CHECK(name.find_first_of("\r\n") == std::string::npos, "a line break in a name");
    CheckTrimmed(name);
    FUZZ_CHECK(TrimBlanks(name) == name, "a queued name is not trimmed");
    FUZZ_CHECK(listing.find(name) != std::string::npos, "a name that is not in the listing");
    FUZZ_CHECK(name != "." && name != "..", "a dot folder queued");
    joined += name;
    if (IsPlainFileName(name)) CheckPlainName(name);
    FUZZ_CHECK(LocalFileName(name) == (name == "Setup.exe" ? std::string("SetupKVB.exe") : name),
               "local name of " + fuzzsupport::Escaped(name));
  }
  FUZZ_CHECK(WithoutBlanks(joined) == kept, "bytes of the listing were lost in the queue");
  TObject::Free(memo);
  return 0;
}
