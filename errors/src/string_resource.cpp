#include "errors/string_resource.h"

#include <cstring>

#include "errors/code_message.h"
#include "errors/codes.h"
#include "platform/codepages.h"
#include "platform/library.h"
#include "platform/resources.h"

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kEntrySize = 12;

struct TEntry {
  std::int32_t Id;
  std::uint32_t Offset;
  std::uint32_t Length;
};

std::uint32_t ReadU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

TEntry ReadEntry(const unsigned char* block, std::uint32_t index) {
  const unsigned char* p = block + kHeaderSize + kEntrySize * index;
  return {static_cast<std::int32_t>(ReadU32(p)), ReadU32(p + 4), ReadU32(p + 8)};
}

// Set while the reader's own table is being opened, so that its failures do not reach for it.
thread_local bool gOpeningReaderTable = false;

// The reader's own messages. While "ADSRMGR_STRINGS" itself cannot be read (it is the table
// being opened, or the program was built without it) the same texts are used from here, so a
// broken build still says what is wrong.
std::string ReaderMessage(int id) {
  static const char* const fallback[] = {
      "",
      "String not found: %d",
      "Cannot lock resource",
      "String resource not found: %s",
      "Unable to open string resource: %s",
      "Invalid TPString resource",
  };
  std::string text;
  if (!gOpeningReaderTable) {
    try {
      text = AdsrmgrStrings().TextOf(id);
    } catch (const platform::Exception&) {
      text.clear();
    }
  }
  if (text.empty() && id >= 1 && id <= 5) text = fallback[id];
  return text;
}

[[noreturn]] void RaiseReaderError(int id, const std::string& argument = std::string()) {
  throw ETpsStringResourceError(FormatTableText(ReaderMessage(id), argument));
}

}  // namespace

std::int64_t ValidateStringTable(const void* data, std::size_t size) {
  const auto* block = static_cast<const unsigned char*>(data);
  if (block == nullptr || size < kHeaderSize || std::memcmp(block, "STR0", 4) != 0) return -1;
  const std::uint32_t count = ReadU32(block + 4);
  // 64-bit arithmetic: a huge count must not wrap around to something that fits.
  const std::uint64_t textStart = kHeaderSize + std::uint64_t{kEntrySize} * count;
  if (textStart > size) return -1;
  for (std::uint32_t i = 0; i < count; ++i) {
    const TEntry entry = ReadEntry(block, i);
    if (i > 0 && entry.Id <= ReadEntry(block, i - 1).Id) return -1;  // binary search needs order
    const std::uint64_t end = std::uint64_t{entry.Offset} + 2 * std::uint64_t{entry.Length};
    if (entry.Offset < textStart || end > size) return -1;
  }
  return count;
}

TAdStringResource::TAdStringResource(HMODULE module, const std::string& resourceName) {
  if (!resourceName.empty()) OpenResource(module, resourceName);
}

TAdStringResource::~TAdStringResource() {
  CloseResource();
}

void TAdStringResource::CloseResource() {
  if (FResource != nullptr) FreeResource(FResource);
  FResource = nullptr;
  FResourceInfo = nullptr;
  FModule = nullptr;
  FSize = 0;
}

void TAdStringResource::OpenResource(HMODULE module, const std::string& resourceName) {
  CloseResource();
  HMODULE found = module;
  HRSRC info = FindResourceA(module, resourceName.c_str(), RT_RCDATA);
  if (info == nullptr && module != nullptr) {
    found = nullptr;
    info = FindResourceA(nullptr, resourceName.c_str(), RT_RCDATA);
  }
  if (info == nullptr) RaiseReaderError(idResourceNotFound, resourceName);

  HGLOBAL loaded = LoadResource(found, info);
  if (loaded == nullptr) RaiseReaderError(idCannotOpenResource, resourceName);
  const void* block = LockResource(loaded);
  if (block == nullptr) {
    FreeResource(loaded);
    RaiseReaderError(idCannotLockResource);
  }
  // The whole block is checked once here, so that TextOf can trust every offset it reads.
  const DWORD size = SizeofResource(found, info);
  if (ValidateStringTable(block, size) < 0) {
    FreeResource(loaded);
    RaiseReaderError(idInvalidStringResource);
  }
  FModule = found;
  FResourceInfo = info;
  FResource = loaded;
  FSize = size;
}

std::uint32_t TAdStringResource::Count() const {
  if (FResource == nullptr) return 0;
  const void* block = LockResource(FResource);
  return block == nullptr ? 0 : ReadU32(static_cast<const unsigned char*>(block) + 4);
}

bool TAdStringResource::Find(int identifier, std::u16string& text) const {
  if (FResource == nullptr) return false;
  const auto* block = static_cast<const unsigned char*>(LockResource(FResource));
  if (block == nullptr) RaiseReaderError(idCannotLockResource);
  const std::uint32_t count = ReadU32(block + 4);
  std::int64_t low = 0;
  std::int64_t high = static_cast<std::int64_t>(count) - 1;
  while (low <= high) {
    const std::int64_t middle = (low + high) / 2;
    const TEntry entry = ReadEntry(block, static_cast<std::uint32_t>(middle));
    if (entry.Id == identifier) {
      text.resize(entry.Length);
      const unsigned char* p = block + entry.Offset;
      for (std::uint32_t i = 0; i < entry.Length; ++i)
        text[i] = static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
      return true;
    }
    if (entry.Id < identifier)
      low = middle + 1;
    else
      high = middle - 1;
  }
  return false;
}

std::u16string TAdStringResource::WideTextOf(int identifier) const {
  std::u16string text;
  if (!Find(identifier, text) && ReportMissing)
    RaiseReaderError(idStringNotFound, std::to_string(identifier));
  return text;
}

std::string TAdStringResource::TextOf(int identifier) const {
  const std::u16string text = WideTextOf(identifier);
  return text.empty() ? std::string() : platform::FromUtf16(text, CP_ACP);
}

TAdStringResource& AdsrmgrStrings() {
  static TAdStringResource instance = [] {
    struct TOpening {
      TOpening() { gOpeningReaderTable = true; }
      ~TOpening() { gOpeningReaderTable = false; }
    } opening;
    return TAdStringResource(GetModuleHandleA(nullptr), "ADSRMGR_STRINGS");
  }();
  return instance;
}

TAdStringResource& AproErrorStrings() {
  static TAdStringResource instance(GetModuleHandleA(nullptr), "APRO_ERROR_STRINGS_ENGLISH");
  return instance;
}
