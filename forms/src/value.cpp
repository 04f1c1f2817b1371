#include "forms/value.h"

#include "forms/component.h"
#include "forms/strings.h"

TValue TValue::Integer(std::int64_t value) {
  TValue v;
  v.FKind = TTypeKind::tkInteger;
  v.FInt = value;
  return v;
}

TValue TValue::Boolean(bool value) {
  TValue v;
  v.FKind = TTypeKind::tkBool;
  v.FInt = value ? 1 : 0;
  return v;
}

TValue TValue::String(std::string value) {
  TValue v;
  v.FKind = TTypeKind::tkString;
  v.FStr = std::move(value);
  return v;
}

TValue TValue::Enum(std::string identifier, std::int64_t ordinal) {
  TValue v;
  v.FKind = TTypeKind::tkEnum;
  v.FStr = std::move(identifier);
  v.FInt = ordinal;
  return v;
}

TValue TValue::Set(std::vector<std::string> identifiers) {
  TValue v;
  v.FKind = TTypeKind::tkSet;
  v.FSet = std::move(identifiers);
  return v;
}

TValue TValue::Strings(TStrings* list) {
  TValue v;
  v.FKind = TTypeKind::tkStrings;
  v.FObject = list;
  return v;
}

TValue TValue::Component(TComponent* component) {
  TValue v;
  v.FKind = TTypeKind::tkComponent;
  v.FObject = component;
  return v;
}

TValue TValue::Object(TPersistent* object) {
  TValue v;
  v.FKind = TTypeKind::tkObject;
  v.FObject = object;
  return v;
}

TValue TValue::Event(std::string handlerName, std::any function) {
  TValue v;
  v.FKind = TTypeKind::tkEvent;
  v.FStr = std::move(handlerName);
  v.FEvent = std::move(function);
  return v;
}

void TValue::WrongKind(const char* wanted) const {
  throw EPropertyError(std::string("Invalid property value: ") + wanted + " expected, " +
                       TypeKindName(FKind) + " " + ToString() + " given");
}

std::int64_t TValue::AsInteger() const {
  if (FKind == TTypeKind::tkInteger || FKind == TTypeKind::tkBool) return FInt;
  if (FKind == TTypeKind::tkEnum && FInt >= 0) return FInt;
  WrongKind("an integer");
}

bool TValue::AsBoolean() const {
  if (FKind == TTypeKind::tkBool) return FInt != 0;
  if (FKind == TTypeKind::tkInteger && (FInt == 0 || FInt == 1)) return FInt != 0;
  WrongKind("a boolean");
}

const std::string& TValue::AsString() const {
  if (FKind == TTypeKind::tkString || FKind == TTypeKind::tkEnum || FKind == TTypeKind::tkEvent)
    return FStr;
  WrongKind("a string");
}

const std::vector<std::string>& TValue::AsSet() const {
  if (FKind == TTypeKind::tkSet) return FSet;
  WrongKind("a set");
}

TStrings* TValue::AsStrings() const {
  if (FKind == TTypeKind::tkStrings) return static_cast<TStrings*>(FObject);
  if (FKind == TTypeKind::tkObject || FKind == TTypeKind::tkComponent) {
    if (!FObject) return nullptr;
    if (auto* list = dynamic_cast<TStrings*>(FObject)) return list;
  }
  WrongKind("a string list");
}

TComponent* TValue::AsComponent() const {
  if (FKind == TTypeKind::tkComponent) return static_cast<TComponent*>(FObject);
  if (FKind == TTypeKind::tkObject && !FObject) return nullptr;
  if (FKind == TTypeKind::tkObject)
    if (auto* component = dynamic_cast<TComponent*>(FObject)) return component;
  WrongKind("a component");
}

TPersistent* TValue::AsObject() const {
  if (FKind == TTypeKind::tkObject || FKind == TTypeKind::tkStrings ||
      FKind == TTypeKind::tkComponent)
    return FObject;
  WrongKind("an object");
}

const std::any& TValue::EventFunction() const {
  if (FKind == TTypeKind::tkEvent) return FEvent;
  WrongKind("an event handler");
}

std::string TValue::ToString() const {
  switch (FKind) {
    case TTypeKind::tkUnknown:
      return "(none)";
    case TTypeKind::tkInteger:
      return std::to_string(FInt);
    case TTypeKind::tkBool:
      return FInt ? "True" : "False";
    case TTypeKind::tkString:
      return "'" + FStr + "'";
    case TTypeKind::tkEnum:
      return FStr;
    case TTypeKind::tkSet: {
      std::string out = "[";
      for (std::size_t i = 0; i < FSet.size(); ++i) out += (i ? ", " : "") + FSet[i];
      return out + "]";
    }
    case TTypeKind::tkStrings:
      return FObject ? "(" + std::to_string(static_cast<TStrings*>(FObject)->Count()) + " lines)"
                     : "nil";
    case TTypeKind::tkComponent: {
      auto* c = static_cast<TComponent*>(FObject);
      return c ? (c->Name().empty() ? "(" + c->ClassName() + ")" : c->Name()) : "nil";
    }
    case TTypeKind::tkObject:
      return FObject ? "(" + FObject->ClassName() + ")" : "nil";
    case TTypeKind::tkEvent:
      return FEvent.has_value() ? (FStr.empty() ? "(handler)" : FStr) : "nil";
  }
  return {};
}

const char* TypeKindName(TTypeKind kind) {
  switch (kind) {
    case TTypeKind::tkUnknown:
      return "nothing";
    case TTypeKind::tkInteger:
      return "integer";
    case TTypeKind::tkBool:
      return "boolean";
    case TTypeKind::tkString:
      return "string";
    case TTypeKind::tkEnum:
      return "identifier";
    case TTypeKind::tkSet:
      return "set";
    case TTypeKind::tkStrings:
      return "string list";
    case TTypeKind::tkComponent:
      return "component";
    case TTypeKind::tkObject:
      return "object";
    case TTypeKind::tkEvent:
      return "event";
  }
  return "?";
}
