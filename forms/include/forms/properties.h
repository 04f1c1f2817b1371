// Reading, writing and testing published properties by name. A name may be a path through
// object properties ("Font.Name"); letter case is ignored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "forms/class_record.h"
#include "forms/value.h"

// The property's record, or null when `object` has no published property of that name.
const TPropInfo* FindPropInfo(const TObject* object, std::string_view name);
bool IsPublishedProp(const TObject* object, std::string_view name);
// Whether the property's value is of the given kind (false when there is no such property).
bool PropIsKind(const TObject* object, std::string_view name, TTypeKind kind);

// Raise EPropertyError when there is no such property or the value does not fit it.
TValue GetPropValue(const TObject* object, std::string_view name);
void SetPropValue(TObject* object, std::string_view name, const TValue& value);
bool IsStoredProp(const TObject* object, std::string_view name);

std::string GetStrProp(const TObject* object, std::string_view name);
void SetStrProp(TObject* object, std::string_view name, const std::string& value);
std::int64_t GetOrdProp(const TObject* object, std::string_view name);
void SetOrdProp(TObject* object, std::string_view name, std::int64_t value);
std::string GetEnumProp(const TObject* object, std::string_view name);
void SetEnumProp(TObject* object, std::string_view name, const std::string& identifier);
TPersistent* GetObjectProp(const TObject* object, std::string_view name);
TStrings* GetStringsProp(const TObject* object, std::string_view name);
TComponent* GetComponentProp(const TObject* object, std::string_view name);
void SetComponentProp(TObject* object, std::string_view name, TComponent* value);
