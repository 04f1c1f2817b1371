#include "forms/properties.h"

#include <utility>

namespace {

// The object that holds the last part of `path` and that part's record; null record when
// some part does not exist. Raises when a middle part is not an object.
std::pair<const TObject*, const TPropInfo*> Resolve(const TObject* object, std::string_view path) {
  if (!object) throw EPropertyError("No object to read property " + std::string(path) + " of");
  for (;;) {
    auto dot = path.find('.');
    std::string_view head = path.substr(0, dot);
    const TPropInfo* info = object->ClassType().FindProperty(head);
    if (!info || dot == std::string_view::npos) return {object, info};
    if (info->Kind != TTypeKind::tkObject && info->Kind != TTypeKind::tkStrings)
      return {object, nullptr};
    const TObject* inner = info->Get(*object).AsObject();
    if (!inner) return {object, nullptr};
    object = inner;
    path = path.substr(dot + 1);
  }
}

std::pair<const TObject*, const TPropInfo*> ResolveOrThrow(const TObject* object,
                                                           std::string_view path) {
  auto found = Resolve(object, path);
  if (!found.second)
    throw EPropertyError("Property " + std::string(path) + " does not exist in class " +
                         object->ClassName());
  return found;
}

}  // namespace

const TPropInfo* FindPropInfo(const TObject* object, std::string_view name) {
  if (!object) return nullptr;
  return Resolve(object, name).second;
}

bool IsPublishedProp(const TObject* object, std::string_view name) {
  return FindPropInfo(object, name) != nullptr;
}

bool PropIsKind(const TObject* object, std::string_view name, TTypeKind kind) {
  auto* info = FindPropInfo(object, name);
  return info && info->Kind == kind;
}

TValue GetPropValue(const TObject* object, std::string_view name) {
  auto [holder, info] = ResolveOrThrow(object, name);
  return info->Get(*holder);
}

void SetPropValue(TObject* object, std::string_view name, const TValue& value) {
  auto [holder, info] = ResolveOrThrow(object, name);
  info->Set(const_cast<TObject&>(*holder), value);
}

bool IsStoredProp(const TObject* object, std::string_view name) {
  auto [holder, info] = ResolveOrThrow(object, name);
  return info->IsStored(*holder);
}

std::string GetStrProp(const TObject* object, std::string_view name) {
  return GetPropValue(object, name).AsString();
}

void SetStrProp(TObject* object, std::string_view name, const std::string& value) {
  SetPropValue(object, name, TValue::String(value));
}

std::int64_t GetOrdProp(const TObject* object, std::string_view name) {
  return GetPropValue(object, name).AsInteger();
}

void SetOrdProp(TObject* object, std::string_view name, std::int64_t value) {
  auto [holder, info] = ResolveOrThrow(object, name);
  info->Set(const_cast<TObject&>(*holder),
            info->Kind == TTypeKind::tkBool ? TValue::Boolean(value != 0) : TValue::Integer(value));
}

std::string GetEnumProp(const TObject* object, std::string_view name) {
  return GetPropValue(object, name).AsString();
}

void SetEnumProp(TObject* object, std::string_view name, const std::string& identifier) {
  SetPropValue(object, name, TValue::Enum(identifier));
}

TPersistent* GetObjectProp(const TObject* object, std::string_view name) {
  return GetPropValue(object, name).AsObject();
}

TStrings* GetStringsProp(const TObject* object, std::string_view name) {
  return GetPropValue(object, name).AsStrings();
}

TComponent* GetComponentProp(const TObject* object, std::string_view name) {
  return GetPropValue(object, name).AsComponent();
}

void SetComponentProp(TObject* object, std::string_view name, TComponent* value) {
  SetPropValue(object, name, TValue::Component(value));
}
