// The "STR0" string table reader, given the input as an RCDATA resource of the program: it is
// opened by name through the resource functions, as the message tables are.
//
// Checked: the reader opens exactly the blocks the validator accepts; an open table has the
// validator's count, finds every identifier of its entries with the entry's text (read here
// from the block by the format's own rules) and finds nothing between them.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "errors/string_resource.h"
#include "fuzz_check.h"
#include "platform/resource_table.h"

namespace {

// A resource table of this program whose one blob is the current input.
platform::res::Blob gInputBlob{"FUZZ_STR0_INPUT", nullptr, 0};
const platform::res::Table gInputTable{platform::res::kTableMagic, 1, &gInputBlob, 0, nullptr};
[[gnu::used, gnu::section("kvb_resources")]] const platform::res::Table* gInputEntry = &gInputTable;

std::uint32_t U32(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The reader's own messages come from the program's table; open it before any input.
  AdsrmgrStrings();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy the size of the input, so that a read past its end is caught.
  std::vector<std::uint8_t> block(data, data + size);
  gInputBlob.data = block.data();
  gInputBlob.size = static_cast<std::uint32_t>(size);

  const std::int64_t count = ValidateStringTable(block.data(), block.size());
  TAdStringResource reader(nullptr, "");
  bool opened = false;
  try {
    reader.OpenResource(nullptr, "FUZZ_STR0_INPUT");
    opened = true;
  } catch (const ETpsStringResourceError& error) {
    FUZZ_CHECK(std::strlen(error.what()) > 0, "a refusal without a message");
  }
  FUZZ_CHECK(opened == (count >= 0),
             "open " + std::to_string(opened) + ", validator " + std::to_string(count));
  if (!opened) return 0;
  FUZZ_CHECK(reader.Count() == static_cast<std::uint32_t>(count), "count differs");

  reader.ReportMissing = false;
  for (std::int64_t i = 0; i < count && i < 512; ++i) {
    const std::uint8_t* entry = block.data() + 8 + 12 * i;
    const auto id = static_cast<std::int32_t>(U32(entry));
    const std::uint32_t offset = U32(entry + 4);
    const std::uint32_t length = U32(entry + 8);
    std::u16string expected(length, u'\0');
    for (std::uint32_t k = 0; k < length; ++k)
      expected[k] = static_cast<char16_t>(block[offset + 2 * k] | block[offset + 2 * k + 1] << 8);
    FUZZ_CHECK(reader.WideTextOf(id) == expected, "text of " + std::to_string(id));
    // The text in the ANSI code page: whatever the UTF-16 holds, it converts without failing.
    (void)reader.TextOf(id);
    if (id != INT32_MAX) {
      const std::int32_t after = id + 1;
      const bool listed = i + 1 < count && static_cast<std::int32_t>(U32(entry + 12)) == after;
      if (!listed) FUZZ_CHECK(reader.WideTextOf(after).empty(), "a text for a missing id");
    }
  }
  reader.ReportMissing = true;
  if (count == 0) {
    bool raised = false;
    try {
      reader.TextOf(1);
    } catch (const ETpsStringResourceError&) {
      raised = true;
    }
    FUZZ_CHECK(raised, "a missing string was not reported");
  }
  reader.CloseResource();
  return 0;
}
