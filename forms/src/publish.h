// Registration helpers for properties that many control classes publish alike.
#pragma once

#include "forms/class_record.h"
#include "forms/control.h"

namespace forms::detail {

// Caption: the control's text.
template <class C>
void PublishCaption(TClassBuilder<C>& c) {
  c.Str("Caption", &C::GetText, &C::SetText);
}

// Color with the class's own default; not stored while it follows the parent.
template <class C>
void PublishColor(TClassBuilder<C>& c, TColor defaultColor) {
  c.Int("Color", &C::Color, &C::SetColor)
      .WithIdents(ColorIdents())
      .Default(defaultColor)
      .Stored([](const TObject& o) { return !static_cast<const TControl&>(o).ParentColor(); });
}

}  // namespace forms::detail
