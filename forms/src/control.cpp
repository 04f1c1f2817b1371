#include "forms/control.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include "forms/actions.h"
#include "forms/class_record.h"
#include "forms/form.h"

namespace {
std::unordered_map<std::uint32_t, TControl*>& Serials() {
  static std::unordered_map<std::uint32_t, TControl*> map;
  return map;
}
std::uint32_t NextSerial() {
  static std::uint32_t next = 0;
  return ++next;
}
}  // namespace

const TClassRecord& TControl::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TControl, TComponent>("TControl", [](TClassBuilder<TControl>& c) {
        c.Int("Left", &TControl::Left, &TControl::SetLeft);
        c.Int("Top", &TControl::Top, &TControl::SetTop);
        c.Int("Width", &TControl::Width, &TControl::SetWidth);
        c.Int("Height", &TControl::Height, &TControl::SetHeight);
        c.Str("Hint", &TControl::Hint, &TControl::SetHint);
        c.Bool("ShowHint", &TControl::ShowHint, &TControl::SetShowHint).Default(0);
        c.Bool("Visible", &TControl::Visible, &TControl::SetVisible).Default(1);
        c.Bool("Enabled", &TControl::Enabled, &TControl::SetEnabled).Default(1);
        c.Int("Color", &TControl::Color, &TControl::SetColor)
            .WithIdents(ColorIdents())
            .Default(clBtnFace)
            .Stored(
                [](const TObject& o) { return !static_cast<const TControl&>(o).ParentColor(); });
        c.Bool("ParentColor", &TControl::ParentColor, &TControl::SetParentColor).Default(0);
        c.Object("Font", &TControl::Font, &TControl::SetFont).Stored([](const TObject& o) {
          return !static_cast<const TControl&>(o).ParentFont();
        });
        c.Bool("ParentFont", &TControl::ParentFont, &TControl::SetParentFont).Default(1);
        c.Event("OnClick", &TControl::OnClick);
      });
  return record;
}

TControl::TControl(TComponent* owner)
    : TComponent(owner), FFont(std::make_unique<TFont>()), FSerial(NextSerial()) {
  Serials()[FSerial] = this;
  FFont->SetObserver([this] { FontChanged(); });
}

TControl::~TControl() {
  if (!FReleased) {
    // Deleted without Free: take the control out of what refers to it.
    FReleased = true;
    if (FAction) FAction->UnRegisterClient(this);
    if (FParent) FParent->RemoveControl(this);
    WidgetSet().ReleaseControl(this);
  }
  Serials().erase(FSerial);
}

TControl* TControl::FindBySerial(std::uint32_t serial) {
  auto it = Serials().find(serial);
  return it == Serials().end() ? nullptr : it->second;
}

void TControl::BeforeDestruction() {
  if (FReleased) return;
  TComponent::BeforeDestruction();
  DestroyChildControls();
  FReleased = true;
  SetAction(nullptr);
  if (FParent) FParent->RemoveControl(this);
  WidgetSet().ReleaseControl(this);
  Serials().erase(FSerial);
}

void TControl::Changed(TWidgetChange change) {
  if (Loading() || Destroying() || FReleased) return;
  WidgetSet().ControlChanged(this, change);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == FParent) return;
  if (parent == this) throw EComponentError("A control cannot have itself as its parent");
  for (TControl* p = parent; p; p = p->FParent)
    if (p == this) throw EComponentError("A control cannot be put inside one of its own controls");
  if (FParent) FParent->RemoveControl(this);
  if (parent) parent->InsertControl(this);
  if (FParentFont) ParentFontChanged();
  if (FParentColor) ParentColorChanged();
  Changed(TWidgetChange::wcParent);
}

TCustomForm* TControl::ParentForm() const {
  const TControl* c = this;
  while (c->FParent) c = c->FParent;
  return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == FLeft && top == FTop && width == FWidth && height == FHeight) return;
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  Changed(TWidgetChange::wcBounds);
}

TPoint TControl::ClientToScreen(TPoint point) const {
  TWidgetProbe probe;
  if (WidgetSet().Probe(const_cast<TControl*>(this), probe) && probe.Mapped)
    return {probe.ScreenLeft + point.X, probe.ScreenTop + point.Y};
  for (const TControl* c = this; c; c = c->FParent) {
    point.X += c->FLeft;
    point.Y += c->FTop;
  }
  return point;
}

void TControl::SetVisible(bool visible) {
  if (visible == FVisible) return;
  FVisible = visible;
  Changed(TWidgetChange::wcVisible);
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == FEnabled) return;
  FEnabled = enabled;
  Changed(TWidgetChange::wcEnabled);
}

void TControl::SetHint(const std::string& hint) {
  if (hint == FHint) return;
  FHint = hint;
  Changed(TWidgetChange::wcHint);
}

void TControl::SetFont(TFont* font) {
  if (font) FFont->Assign(font);
}

void TControl::SetParentFont(bool parentFont) {
  if (parentFont == FParentFont) return;
  FParentFont = parentFont;
  if (parentFont) ParentFontChanged();
}

void TControl::FontChanged() {
  if (!FFollowingParent) FParentFont = false;
  Changed(TWidgetChange::wcFont);
}

void TControl::ParentFontChanged() {
  if (!FParentFont || !FParent) return;
  FFollowingParent = true;
  try {
    FFont->Assign(FParent->Font());
  } catch (...) {
    FFollowingParent = false;
    throw;
  }
  FFollowingParent = false;
}

void TControl::SetColor(TColor color) {
  FParentColor = false;
  if (color == FColor) return;
  FColor = color;
  Changed(TWidgetChange::wcColor);
  if (auto* w = dynamic_cast<TWinControl*>(this)) w->NotifyChildrenColor();
}

void TControl::SetParentColor(bool parentColor) {
  if (parentColor == FParentColor) return;
  FParentColor = parentColor;
  if (parentColor) ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (!FParentColor || !FParent || FParent->Color() == FColor) return;
  FColor = FParent->Color();
  Changed(TWidgetChange::wcColor);
}

void TControl::SetText(const std::string& text) {
  if (text == FText) return;
  FText = text;
  TextChanged();
}

void TControl::SetAction(TBasicAction* action) {
  if (action == FAction) return;
  if (FAction) {
    FAction->UnRegisterClient(this);
    RemoveFreeNotification(FAction);
  }
  FAction = action;
  if (action) {
    action->RegisterClient(this, [this] { ActionChanged(); });
    FreeNotification(action);
    ActionChanged();
  }
}

void TControl::ActionChanged() {
  auto* action = dynamic_cast<TCustomAction*>(FAction);
  if (!action) return;
  SetText(action->Caption());
  SetHint(action->Hint());
  SetEnabled(action->Enabled());
  SetVisible(action->Visible());
}

void TControl::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component && component == FAction) FAction = nullptr;
  TComponent::Notification(component, operation);
}

void TControl::Update() {}

void TControl::Click() {
  if (OnClick.Assigned())
    OnClick(this);
  else if (FAction)
    FAction->Execute();
}

void TControl::HandleNotice(TControlNotice notice) {
  if (notice == cnClick && FEnabled) Click();
}

void TControl::SetParentComponent(TComponent* parent) {
  if (auto* w = dynamic_cast<TWinControl*>(parent)) SetParent(w);
}

TComponent* TControl::GetParentComponent() const {
  return FParent;
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TWinControl::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TWinControl, TControl>("TWinControl", [](TClassBuilder<TWinControl>& c) {
        c.Int("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder).Default(-1);
        c.Bool("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop).Default(0);
      });
  return record;
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount())
    throw EComponentError("Control index out of bounds (" + std::to_string(index) + ")");
  return FControls[static_cast<std::size_t>(index)];
}

std::vector<TWinControl*> TWinControl::TabOrderList() const {
  std::vector<TWinControl*> children;
  for (TControl* control : FControls)
    if (auto* child = dynamic_cast<TWinControl*>(control)) children.push_back(child);
  auto order = [](const TWinControl* c) {
    return c->TabOrder() < 0 ? std::numeric_limits<int>::max() : c->TabOrder();
  };
  std::stable_sort(children.begin(), children.end(),
                   [&](const TWinControl* a, const TWinControl* b) { return order(a) < order(b); });
  return children;
}

void TWinControl::InsertControl(TControl* control) {
  if (!control || control->FParent == this) return;
  FControls.push_back(control);
  control->FParent = this;
}

void TWinControl::RemoveControl(TControl* control) {
  if (!control || control->FParent != this) return;
  std::erase(FControls, control);
  control->FParent = nullptr;
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  auto children = FControls;
  for (TControl* c : children)
    if (c->ParentFont()) c->ParentFontChanged();
}

void TWinControl::ParentColorChanged() {
  TControl::ParentColorChanged();
  NotifyChildrenColor();
}

void TWinControl::NotifyChildrenColor() {
  auto children = FControls;
  for (TControl* c : children)
    if (c->ParentColor()) c->ParentColorChanged();
}

void TWinControl::DestroyChildControls() {
  // Controls of other owners that sit in this one go with it.
  while (!FControls.empty()) {
    TControl* last = FControls.back();
    TObject::Free(last);
    if (!FControls.empty() && FControls.back() == last) FControls.pop_back();
  }
}

const TClassRecord& TGraphicControl::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TGraphicControl, TControl>(
      "TGraphicControl", [](TClassBuilder<TGraphicControl>&) {});
  return record;
}
