// Reader of the "STR0" string tables compiled into a module as RCDATA resources.
//
// Layout, all numbers little-endian:
//   0        4       "STR0"
//   4        4       N, the number of entries
//   8        12 * N  entries sorted by identifier: id (int32), offset of the text from the start
//                    of the resource (uint32), length in UTF-16 code units (uint32)
//   8 + 12N  ...     the texts, UTF-16LE, without terminators
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/sysutils.h"
#include "platform/wintypes.h"

// The reader's exception; its messages come from "ADSRMGR_STRINGS".
class ETpsStringResourceError : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

class TAdStringResource {
 public:
  // Opens the table at once when a name is given; raises ETpsStringResourceError when the
  // resource is missing, cannot be loaded or is not a well-formed table.
  TAdStringResource(HMODULE module, const std::string& resourceName);
  ~TAdStringResource();
  TAdStringResource(const TAdStringResource&) = delete;
  TAdStringResource& operator=(const TAdStringResource&) = delete;

  // Closes any table held, then opens resourceName: first in module, then in the program.
  void OpenResource(HMODULE module, const std::string& resourceName);
  void CloseResource();
  bool IsOpen() const { return FResource != nullptr; }

  // The text of identifier in the system ANSI code page; empty when missing, unless
  // ReportMissing is set ("String not found: %d").
  std::string TextOf(int identifier) const;
  // The same text as UTF-16, unconverted.
  std::u16string WideTextOf(int identifier) const;
  // Number of entries of the open table (0 when closed).
  std::uint32_t Count() const;

  bool ReportMissing = false;

 private:
  // Finds the entry; false when the table lacks it. Raises when the block cannot be locked.
  bool Find(int identifier, std::u16string& text) const;

  HMODULE FModule = nullptr;
  HRSRC FResourceInfo = nullptr;
  HGLOBAL FResource = nullptr;  // the loaded resource
  std::uint32_t FSize = 0;
};

// Checks that size bytes at data form a well-formed table: the magic, a count that fits,
// identifiers strictly ascending and every text inside the block after the entries. Returns
// the number of entries, or -1 when the block is not a valid table.
std::int64_t ValidateStringTable(const void* data, std::size_t size);

// The two process-wide readers of the program's own tables, kept to program end: the
// reader's own messages, and the message table of the comm library. The program opens them
// at start; they are opened on first use where nothing did.
TAdStringResource& AdsrmgrStrings();
TAdStringResource& AproErrorStrings();
