// Property values as they are read and written by name: integer, boolean, string (8-bit
// bytes), enumeration identifier, set, string list, component reference, object, event.
#pragma once

#include <any>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sysutils.h"

class TPersistent;
class TStrings;
class TComponent;

enum class TTypeKind {
  tkUnknown,
  tkInteger,
  tkBool,
  tkString,
  tkEnum,
  tkSet,
  tkStrings,
  tkComponent,
  tkObject,
  tkEvent,
};

// Reading or writing a property failed: no such property, wrong kind, value out of range.
class EPropertyError : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

class TValue {
 public:
  TValue() = default;  // no value

  static TValue Integer(std::int64_t value);
  static TValue Boolean(bool value);
  static TValue String(std::string value);
  // An enumeration identifier; `ordinal` is filled in when the value is read from a property.
  static TValue Enum(std::string identifier, std::int64_t ordinal = -1);
  static TValue Set(std::vector<std::string> identifiers);
  static TValue Strings(TStrings* list);
  static TValue Component(TComponent* component);
  static TValue Object(TPersistent* object);
  // `function` holds a std::function of the event's signature, or nothing (unassigned).
  static TValue Event(std::string handlerName, std::any function);

  TTypeKind Kind() const { return FKind; }
  bool Empty() const { return FKind == TTypeKind::tkUnknown; }

  // Each raises EPropertyError when the value is of another kind. AsInteger also takes a
  // boolean (0, 1) and an enumeration's ordinal.
  std::int64_t AsInteger() const;
  bool AsBoolean() const;
  const std::string& AsString() const;  // string, enumeration identifier, handler name
  const std::vector<std::string>& AsSet() const;
  TStrings* AsStrings() const;
  TComponent* AsComponent() const;
  TPersistent* AsObject() const;  // object, string list or component
  const std::any& EventFunction() const;

  // For messages and tests: 12, True, 'text', alRight, [fsBold], (2 lines), Button1 ...
  std::string ToString() const;

 private:
  [[noreturn]] void WrongKind(const char* wanted) const;

  TTypeKind FKind = TTypeKind::tkUnknown;
  std::int64_t FInt = 0;
  std::string FStr;
  std::vector<std::string> FSet;
  TPersistent* FObject = nullptr;
  std::any FEvent;
};

const char* TypeKindName(TTypeKind kind);
