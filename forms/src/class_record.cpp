#include "forms/class_record.h"

#include <algorithm>

int TEnumInfo::IndexOf(std::string_view name) const {
  for (std::size_t i = 0; i < Names.size(); ++i)
    if (SameTextAscii(Names[i], name)) return static_cast<int>(i);
  return -1;
}

bool TIdentMap::ToValue(std::string_view identifier, std::int64_t& value) const {
  for (auto& [name, v] : Entries)
    if (SameTextAscii(name, identifier)) {
      value = v;
      return true;
    }
  return false;
}

bool TIdentMap::ToIdent(std::int64_t value, std::string& identifier) const {
  for (auto& [name, v] : Entries)
    if (v == value) {
      identifier = name;
      return true;
    }
  return false;
}

TValue TPropInfo::Get(const TObject& object) const {
  return Getter(object);
}

void TPropInfo::Set(TObject& object, const TValue& value) const {
  if (!Setter) forms::detail::ReadOnlyProperty(*this);
  Setter(object, value);
}

bool TPropInfo::IsStored(const TObject& object) const {
  if (StoredRule && !StoredRule(object)) return false;
  TValue v = Getter(object);
  switch (Kind) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkBool:
    case TTypeKind::tkEnum:
      return !DefaultValue || v.AsInteger() != *DefaultValue;
    case TTypeKind::tkSet: {
      if (!DefaultValue) return true;
      std::uint32_t bits = 0;
      for (auto& name : v.AsSet()) bits |= 1u << Enum->IndexOf(name);
      return bits != static_cast<std::uint32_t>(*DefaultValue);
    }
    case TTypeKind::tkString:
      return !v.AsString().empty();
    case TTypeKind::tkStrings:
      return v.AsStrings() && v.AsStrings()->Count() > 0;
    case TTypeKind::tkComponent:
      return v.AsComponent() != nullptr;
    case TTypeKind::tkObject:
      return v.AsObject() != nullptr;
    case TTypeKind::tkEvent:
      return v.EventFunction().has_value() && !v.AsString().empty();
    case TTypeKind::tkUnknown:
      return false;
  }
  return false;
}

TClassRecord::TClassRecord(std::string className, const TClassRecord* parent)
    : FClassName(std::move(className)), FParent(parent) {}

bool TClassRecord::InheritsFrom(const TClassRecord& other) const {
  for (auto* r = this; r; r = r->FParent)
    if (r == &other) return true;
  return false;
}

bool TClassRecord::InheritsFrom(std::string_view className) const {
  for (auto* r = this; r; r = r->FParent)
    if (SameTextAscii(r->FClassName, className)) return true;
  return false;
}

const TPropInfo* TClassRecord::FindProperty(std::string_view name) const {
  for (auto* r = this; r; r = r->FParent)
    for (auto& info : r->FProperties)
      if (SameTextAscii(info->Name, name)) return info.get();
  return nullptr;
}

std::vector<const TPropInfo*> TClassRecord::Properties() const {
  std::vector<const TClassRecord*> chain;
  for (auto* r = this; r; r = r->FParent) chain.push_back(r);
  std::vector<const TPropInfo*> out;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    for (auto& info : (*it)->FProperties) {
      auto same = std::find_if(out.begin(), out.end(), [&](const TPropInfo* p) {
        return SameTextAscii(p->Name, info->Name);
      });
      if (same != out.end())
        *same = info.get();  // re-published by a descendant
      else
        out.push_back(info.get());
    }
  }
  return out;
}

const THandlerInfo* TClassRecord::FindHandler(std::string_view name) const {
  for (auto* r = this; r; r = r->FParent)
    for (auto& h : r->FHandlers)
      if (SameTextAscii(h.Name, name)) return &h;
  return nullptr;
}

const TFieldInfo* TClassRecord::FindField(std::string_view name) const {
  for (auto* r = this; r; r = r->FParent)
    for (auto& f : r->FFields)
      if (SameTextAscii(f.Name, name)) return &f;
  return nullptr;
}

TComponent* TClassRecord::Create(TComponent* owner) const {
  if (!FFactory) throw EPropertyError("Cannot create an instance of class " + FClassName);
  return FFactory(owner);
}

namespace forms::detail {

void ReadOnlyProperty(const TPropInfo& info) {
  throw EPropertyError("Property " + info.Name + " is read-only");
}

void WrongClass(const TPropInfo& info, const TObject* given) {
  throw EPropertyError("Invalid property value: " + info.Name + " needs a " +
                       info.RefClass()->ClassName() + ", not a " + given->ClassName());
}

std::int64_t CheckedInteger(const TPropInfo& info, const TValue& value) {
  std::int64_t v;
  if (value.Kind() == TTypeKind::tkEnum && info.Idents &&
      info.Idents->ToValue(value.AsString(), v)) {
    // a named value such as clBlue
  } else if (value.Kind() == TTypeKind::tkEnum && value.AsInteger() < 0) {
    throw EPropertyError("Invalid property value: " + info.Name + " has no value named " +
                         value.AsString());
  } else {
    v = value.AsInteger();
  }
  if (v < info.Min || v > info.Max)
    throw EPropertyError("Invalid property value: " + info.Name + " must be between " +
                         std::to_string(info.Min) + " and " + std::to_string(info.Max) + ", not " +
                         std::to_string(v));
  return v;
}

int CheckedOrdinal(const TPropInfo& info, const TValue& value) {
  const auto& names = info.Enum->Names;
  if (value.Kind() == TTypeKind::tkEnum || value.Kind() == TTypeKind::tkString) {
    int index = info.Enum->IndexOf(value.AsString());
    if (index < 0)
      throw EPropertyError("Invalid property value: " + value.AsString() + " is not a value of " +
                           info.Enum->TypeName + " (" + info.Name + ")");
    return index;
  }
  std::int64_t v = value.AsInteger();
  if (v < 0 || v >= static_cast<std::int64_t>(names.size()))
    throw EPropertyError("Invalid property value: " + std::to_string(v) + " is out of range for " +
                         info.Enum->TypeName + " (" + info.Name + ")");
  return static_cast<int>(v);
}

std::uint32_t CheckedSetBits(const TPropInfo& info, const TValue& value) {
  if (value.Kind() == TTypeKind::tkInteger) return static_cast<std::uint32_t>(value.AsInteger());
  std::uint32_t bits = 0;
  for (auto& name : value.AsSet()) {
    int index = info.Enum->IndexOf(name);
    if (index < 0)
      throw EPropertyError("Invalid property value: " + name + " is not a value of " +
                           info.Enum->TypeName + " (" + info.Name + ")");
    bits |= 1u << index;
  }
  return bits;
}

std::vector<std::string> SetNames(const TEnumInfo& info, std::uint32_t bits) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < info.Names.size() && i < 32; ++i)
    if (bits & (1u << i)) out.push_back(info.Names[i]);
  return out;
}

}  // namespace forms::detail
