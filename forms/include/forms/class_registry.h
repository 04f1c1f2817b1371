// The class registry: components are created from their class name (description reading).
// The classes of this library register themselves the first time the registry is used; other
// layers register theirs at start-up with RegisterClass.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class TClassRecord;
class TComponent;

// A class registered twice is kept once; another class of the same name raises EPropertyError.
void RegisterClass(const TClassRecord& record);
void RegisterClasses(std::initializer_list<const TClassRecord*> records);
void UnRegisterClass(const TClassRecord& record);
// Null when no class of that name (letter case ignored) is registered.
const TClassRecord* FindClass(std::string_view className);
// Raises EPropertyError "Class X not found" when unknown.
const TClassRecord& GetClass(std::string_view className);
TComponent* CreateComponent(std::string_view className, TComponent* owner);
std::vector<const TClassRecord*> RegisteredClasses();
