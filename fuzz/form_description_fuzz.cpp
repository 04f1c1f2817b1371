// The stored window description reader: the input is a description's text. It is parsed; when
// its root class can be made, the components are created from it, written back as a
// description and read again.
//
// Checked: a refused text is refused with an EDescriptionError that names a place in the text
// (no other exception escapes); a description the writer produced is always read again, and
// writing what was read from it gives the same text; a quoted string reads back as its bytes.
#include <cstdint>
#include <string>
#include <string_view>

#include "forms/component.h"
#include "forms/description_parser.h"
#include "forms/description_reader.h"
#include "forms/description_writer.h"
#include "fuzz_support.h"

namespace {

void CheckPlace(const EDescriptionError& error, std::string_view text) {
  FUZZ_CHECK(error.Line() >= 1 && error.Column() >= 1, "a place before the text's start");
  std::size_t lines = 1;
  for (char c : text) lines += c == '\n';
  FUZZ_CHECK(static_cast<std::size_t>(error.Line()) <= lines + 1,
             "line " + std::to_string(error.Line()) + " of " + std::to_string(lines));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::SetUpApplication();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // Any bytes, quoted by the writer's rules, read back as themselves.
  const std::string quoted = QuoteDescriptionString(text.substr(0, 256));
  const std::string probe = "object A: TComponent\n  Tag = " + quoted + "\nend\n";
  try {
    TDescObject parsed = ParseDescription(probe, "probe");
    FUZZ_CHECK(
        parsed.Properties.size() == 1 && parsed.Properties[0].Value.Text == text.substr(0, 256),
        "quoted string read back differently: " + quoted);
  } catch (const EDescriptionError& error) {
    FUZZ_CHECK(false, "a quoted string is refused: " + std::string(error.what()));
  }

  try {
    ParseDescription(text, "input");
  } catch (const EDescriptionError& error) {
    CheckPlace(error, text);
    return 0;
  }

  TComponent* root = nullptr;
  try {
    root = CreateFromDescription(text, "input", nullptr);
  } catch (const EDescriptionError& error) {
    CheckPlace(error, text);
    return 0;
  }
  const std::string written = WriteDescription(root);
  TObject::Free(root);

  TComponent* again = nullptr;
  try {
    again = CreateFromDescription(written, "written", nullptr);
  } catch (const EDescriptionError& error) {
    FUZZ_CHECK(false,
               std::string("a written description is refused: ") + error.what() + "\n" + written);
  }
  const std::string rewritten = WriteDescription(again);
  TObject::Free(again);
  FUZZ_CHECK(rewritten == written,
             "written twice differently:\n" + written + "\n----\n" + rewritten);
  return 0;
}
