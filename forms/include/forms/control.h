// Controls: position, size, text, font, colour, visibility; TWinControl holds child controls.
// The model is the truth; every change that shows is passed on to the widget set.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "forms/component.h"
#include "forms/events.h"
#include "forms/graphics.h"
#include "forms/widget_set.h"

class TWinControl;
class TCustomForm;
class TBasicAction;

struct TPoint {
  int X = 0;
  int Y = 0;
};

class TControl : public TComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TControl(TComponent* owner);
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* parent);
  // The form this control is on (itself for a form); null when not on one.
  TCustomForm* ParentForm() const;

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int value) { SetBounds(value, FTop, FWidth, FHeight); }
  void SetTop(int value) { SetBounds(FLeft, value, FWidth, FHeight); }
  void SetWidth(int value) { SetBounds(FLeft, FTop, value, FHeight); }
  void SetHeight(int value) { SetBounds(FLeft, FTop, FWidth, value); }
  virtual void SetBounds(int left, int top, int width, int height);
  virtual int ClientWidth() const { return FWidth; }
  virtual int ClientHeight() const { return FHeight; }
  // A point of the control's client area on the screen (as the widget set places it; the
  // headless set adds the positions up).
  TPoint ClientToScreen(TPoint point) const;

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool enabled);

  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& hint);
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool show) { FShowHint = show; }

  // The control's own font; while ParentFont is true it follows the parent's.
  TFont* Font() const { return FFont.get(); }
  void SetFont(TFont* font);
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool parentFont);
  TColor Color() const { return FColor; }
  void SetColor(TColor color);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool parentColor);

  // Text of the control (a caption or an edit's text), bytes in the font's code page.
  const std::string& GetText() const { return FText; }
  void SetText(const std::string& text);

  TBasicAction* Action() const { return FAction; }
  void SetAction(TBasicAction* action);

  // Re-reads and repaints: the widget set shows the current state (models are always current).
  virtual void Update();
  void Repaint() { Update(); }
  void Refresh() { Update(); }
  void Invalidate() { Update(); }

  virtual void Click();
  // What the user did, as posted by the widget set.
  virtual void HandleNotice(TControlNotice notice);

  // Number that identifies the control in posted notices (never reused).
  std::uint32_t Serial() const { return FSerial; }
  static TControl* FindBySerial(std::uint32_t serial);

  TNotifyEvent OnClick;

  void BeforeDestruction() override;
  void Notification(TComponent* component, TOperation operation) override;
  void SetParentComponent(TComponent* parent) override;
  TComponent* GetParentComponent() const override;

 protected:
  // Passes a change on to the widget set unless the control is loading or going.
  void Changed(TWidgetChange change);
  virtual void TextChanged() { Changed(TWidgetChange::wcText); }
  virtual void FontChanged();
  // The parent's font or colour changed (or the control got a parent).
  virtual void ParentFontChanged();
  virtual void ParentColorChanged();
  // The action's caption, hint, enabled ... changed.
  virtual void ActionChanged();
  virtual void DestroyChildControls() {}
  bool Released() const { return FReleased; }
  // For classes that show or hide themselves in their own way (forms).
  void StoreVisible(bool visible) { FVisible = visible; }

 private:
  friend class TWinControl;

  TWinControl* FParent = nullptr;
  int FLeft = 0;
  int FTop = 0;
  int FWidth = 0;
  int FHeight = 0;
  std::string FText;
  std::string FHint;
  bool FShowHint = false;
  bool FVisible = true;
  bool FEnabled = true;
  std::unique_ptr<TFont> FFont;
  bool FParentFont = true;
  bool FFollowingParent = false;  // a font change that comes from the parent
  TColor FColor = clBtnFace;
  bool FParentColor = false;
  TBasicAction* FAction = nullptr;
  std::uint32_t FSerial;
  bool FReleased = false;
};

class TWinControl : public TControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TWinControl(TComponent* owner);

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int index) const;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);

  // Place in the parent's tab sequence; -1 until set (then the order of creation counts).
  int TabOrder() const { return FTabOrder; }
  void SetTabOrder(int order) { FTabOrder = order; }
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool tabStop) { FTabStop = tabStop; }
  // The child controls with windows in tab order: by TabOrder, those without one after them,
  // in the order of creation.
  std::vector<TWinControl*> TabOrderList() const;

 protected:
  void FontChanged() override;
  void ParentColorChanged() override;
  void DestroyChildControls() override;

 private:
  friend class TControl;
  void NotifyChildrenColor();

  std::vector<TControl*> FControls;
  bool FTabStop = false;
  int FTabOrder = -1;
};

// A control without a window of its own (labels, pictures).
class TGraphicControl : public TControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TGraphicControl(TComponent* owner) : TControl(owner) {}
};
