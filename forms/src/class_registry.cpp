#include "forms/class_registry.h"

#include <algorithm>

#include "forms/class_record.h"

void RegisterStandardClasses();  // standard_classes.cpp

namespace {
struct TRegistry {
  std::vector<const TClassRecord*> Classes;
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

// The library's own classes, once; the flag is set first because RegisterStandardClasses
// comes back through RegisterClass.
void EnsureStandard() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterStandardClasses();
}
}  // namespace

void RegisterClass(const TClassRecord& record) {
  EnsureStandard();
  auto& classes = Registry().Classes;
  for (auto* r : classes) {
    if (r == &record) return;
    if (SameTextAscii(r->ClassName(), record.ClassName()))
      throw EPropertyError("A class named " + record.ClassName() + " is already registered");
  }
  classes.push_back(&record);
}

void RegisterClasses(std::initializer_list<const TClassRecord*> records) {
  for (auto* r : records) RegisterClass(*r);
}

void UnRegisterClass(const TClassRecord& record) {
  std::erase(Registry().Classes, &record);
}

const TClassRecord* FindClass(std::string_view className) {
  EnsureStandard();
  for (auto* r : Registry().Classes)
    if (SameTextAscii(r->ClassName(), className)) return r;
  return nullptr;
}

const TClassRecord& GetClass(std::string_view className) {
  const TClassRecord* r = FindClass(className);
  if (!r) throw EPropertyError("Class " + std::string(className) + " not found");
  return *r;
}

TComponent* CreateComponent(std::string_view className, TComponent* owner) {
  return GetClass(className).Create(owner);
}

std::vector<const TClassRecord*> RegisteredClasses() {
  EnsureStandard();
  return Registry().Classes;
}
