// The base of the comm components: publishes the library's version text.
#pragma once

#include <string>

#include "forms/class_record.h"
#include "forms/component.h"

inline constexpr const char* ApdVersionText = "v3.04";

class TApdBaseComponent : public TComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TApdBaseComponent(TComponent* owner) : TComponent(owner) {}

  // Read-only and never stored.
  std::string Version() const { return ApdVersionText; }
};
