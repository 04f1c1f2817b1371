#include "port/base_component.h"

const TClassRecord& TApdBaseComponent::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TApdBaseComponent, TComponent>(
      "TApdBaseComponent", [](TClassBuilder<TApdBaseComponent>& c) {
        c.Str("Version", &TApdBaseComponent::Version).NotStored();
      });
  return record;
}
