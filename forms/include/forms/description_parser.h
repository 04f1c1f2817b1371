// Stored window descriptions: the text format and its parser.
//
//   // a comment runs to the end of the line
//   object GetUpdateFile: TGetUpdateFile
//     Caption = 'KVB \xAA\xD1\xA5\xAB '       // strings: bytes; \xHH \\ \' \r \n \t
//     ClientWidth = 544                        // integers: -12, $FF, 0xFF
//     Font.Name = 'MS Sans Serif'              // parts of an object property
//     Font.Style = [fsBold]                    // sets
//     BorderStyle = bsDialog                   // identifiers: enumerations, True/False, nil,
//     OnCreate = FormCreate                    //   named integers, components, handlers
//     object Memo1: TMemo
//       Lines = ('first line' 'second line')   // string lists
//     end
//     object StatusBar1: TStatusBar
//       Panels = <item Text = 'a' Width = 50 end item Text = 'b' end>   // collections
//     end
//   end
//
// The text itself is ASCII: bytes above 0x7E inside a string must be written as \xHH, so that
// Big5 text (whose trail bytes include '\' and ''') survives any editor. Strings may be joined
// with '+' to split long texts over lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sysutils.h"

// An error in a description, with its place. Message(): "source(line:column): reason".
class EDescriptionError : public platform::Exception {
 public:
  EDescriptionError(std::string source, int line, int column, std::string reason);
  const std::string& Source() const { return FSource; }
  int Line() const { return FLine; }
  int Column() const { return FColumn; }
  const std::string& Reason() const { return FReason; }

 private:
  std::string FSource;
  int FLine;
  int FColumn;
  std::string FReason;
};

struct TDescPosition {
  int Line = 1;
  int Column = 1;
};

struct TDescProperty;

struct TDescValue {
  enum TKind { vkInteger, vkString, vkIdent, vkSet, vkList, vkCollection };
  TKind Kind = vkInteger;
  TDescPosition Position;
  std::int64_t Integer = 0;
  std::string Text;                // string bytes, or the identifier
  std::vector<std::string> Items;  // set identifiers, list strings
  std::vector<std::vector<TDescProperty>> CollectionItems;
};

struct TDescProperty {
  std::string Path;  // "Caption", "Font.Name"
  TDescPosition Position;
  TDescValue Value;
};

struct TDescObject {
  std::string Name;
  std::string ClassName;
  TDescPosition Position;
  std::vector<TDescProperty> Properties;
  std::vector<TDescObject> Children;
};

// Syntax only: raises EDescriptionError at the first fault. `source` names the text in messages.
TDescObject ParseDescription(std::string_view text, const std::string& source);

// A string as the writer stores it: quoted, with escapes for everything outside ' ' .. '~'.
std::string QuoteDescriptionString(std::string_view bytes);
