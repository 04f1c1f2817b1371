// What the parts of the GTK widget set share: the record of each control's widgets, the widget
// set itself, the message box, and the helpers for text, styles and pictures. This header is
// theirs alone; GTK's headers reach only forms/gtk/.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "forms/control.h"
#include "forms/form.h"
#include "forms/graphics.h"
#include "forms/message_box.h"
#include "forms/widget_set.h"
// After the platform's types: GLib defines TRUE and FALSE as macros only where they are not
// defined yet.
#include <gtk/gtk.h>

#include "gtk_loop_source.h"

namespace gtkws {

enum class TKind {
  Form,
  Label,
  Button,
  BitBtn,
  CheckBox,
  RadioButton,
  Edit,
  Memo,
  ListBox,
  ComboBox,
  StatusBar,
  Image,
  Frame,  // panels, group boxes, radio groups and controls drawn only as a frame
};

struct TEntry {
  TKind Kind = TKind::Frame;
  GtkWidget* Outer = nullptr;      // placed in the parent's container (the window for a form)
  GtkWidget* Inner = nullptr;      // shows the content
  GtkWidget* Label = nullptr;      // caption label of buttons, frames and check boxes
  GtkWidget* Image = nullptr;      // glyph of a picture button
  GtkWidget* Container = nullptr;  // GtkFixed for child controls
  GtkWidget* Panels = nullptr;     // box of a status line's panels
  GtkListStore* Store = nullptr;   // rows of a list box
  std::vector<GtkWidget*> Radios;  // buttons of a radio group
};

// ---- text, styles and pictures (gtk_text.cpp)

std::string ToScreen(const std::string& bytes, TFontCharset charset);
std::string FromScreen(const std::string& utf8, TFontCharset charset);
std::string ScreenLines(std::string text);
std::string CssColor(TColor color);
std::string CssFamilies(const std::string& families);
void SetWidgetCss(GtkWidget* widget, const std::string& css);
// The chrome of the widget set's own sheet (kControlSheet).
inline constexpr int kButtonChrome = 2 * (1 + 3);  // border and padding, both sides
inline constexpr int kCheckChrome = 13 + 4;        // indicator and its margin
inline constexpr int kGlyphSpacing = 4;            // between a picture button's glyph and caption
void InstallControlSheet();
int TextWidth(GtkWidget* widget, const std::string& text, const std::string& families, int pixels,
              bool condensed, bool bold, bool italic);
GdkPixbuf* PixbufOf(const TBitmap* bitmap);

// Serial numbers travel through signal data, so that a callback never holds a control.
inline gpointer SerialData(TControl* control) {
  return GUINT_TO_POINTER(control->Serial());
}
inline TControl* ControlOf(gpointer data) {
  return TControl::FindBySerial(GPOINTER_TO_UINT(data));
}

// ---- the window (gtk_window.cpp)

GtkWidget* FocusWidget(const TEntry& e);
void SetWindowIcon(GtkWidget* window);
gboolean OnFormKey(GtkWidget*, GdkEventKey* event, gpointer data);
gboolean OnDeleteForm(GtkWidget*, GdkEvent*, gpointer data);

// ---- message boxes (gtk_message_box.cpp)

const char* IconName(TMessageBoxIcon icon);

class TGtkWidgetSet;

// A message box: its own modal window; the buttons set the result and wake the loop.
class TGtkMessageBox : public TModalBox {
 public:
  TGtkMessageBox(TGtkWidgetSet* set, const TMessageBoxRequest& request, GtkWindow* owner);
  ~TGtkMessageBox() override;
  GtkWidget* Button(int id) const;
  GtkWidget* Window() const { return FWindow; }

 private:
  static void OnButton(GtkButton* button, gpointer self);
  static gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer self);
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
  void Answer(int result);

  TGtkWidgetSet* FSet;
  GtkWidget* FWindow;
  UINT FFlags;
  std::vector<std::pair<int, GtkWidget*>> FButtons;
};

class TGtkWidgetSet : public TWidgetSet {
 public:
  TGtkWidgetSet() { platform::SetLoopSource(&FSource); }
  ~TGtkWidgetSet() override;

  bool Acquired() const { return FSource.Acquired(); }
  std::string Name() const override { return "gtk"; }
  void ShowForm(TCustomForm* form) override;
  void HideForm(TCustomForm* form) override;
  void ControlChanged(TControl* control, TWidgetChange change) override;
  void ReleaseControl(TControl* control) override;
  bool ReadText(TControl* control, std::string& text) override;
  bool ReadChecked(TControl* control, bool& checked) override;
  bool ReadItemIndex(TControl* control, int& index) override;
  std::unique_ptr<TModalBox> OpenMessageBox(const TMessageBoxRequest& request) override;
  bool Probe(TControl* control, TWidgetProbe& probe) override;
  bool ProbeBoxButton(int id, TWidgetProbe& probe);

  // Tab and Shift+Tab: the focus moves to the next (previous) control in the window's tab
  // order, around at the ends. False when the window has no control that takes the focus.
  bool MoveFocus(TCustomForm* form, bool backward);

  // Signals that come while the model is being mirrored are the widget set's own doing.
  bool Mirroring() const { return FMirroring > 0; }
  void BoxClosed(TGtkMessageBox* box) { std::erase(FBoxes, box); }

 private:
  struct TMirror {
    int& Depth;
    explicit TMirror(int& depth) : Depth(depth) { ++Depth; }
    ~TMirror() { --Depth; }
  };

  TEntry* Find(TControl* control) {
    auto it = FEntries.find(control);
    return it == FEntries.end() ? nullptr : &it->second;
  }
  GtkWidget* ContainerOf(TWinControl* parent) {
    TEntry* e = parent ? Find(parent) : nullptr;
    return e ? e->Container : nullptr;
  }
  void Build(TControl* control, GtkWidget* container);
  void BuildChildren(TWinControl* parent);
  void BuildForm(TCustomForm* form);
  void TabChain(TWinControl* parent, std::vector<GtkWidget*>& chain);
  void Forget(GtkWidget* outer);
  void Apply(TControl* control, TEntry& e, TWidgetChange change);
  void ApplyText(TControl* control, TEntry& e);
  void ApplyBounds(TControl* control, TEntry& e);
  void ApplyStyle(TControl* control, TEntry& e);
  void FitCaption(TControl* control, TEntry& e, const std::string& text, const std::string& family,
                  int& pixels, bool& condensed);
  void ApplyItems(TControl* control, TEntry& e);
  void ApplyItemIndex(TControl* control, TEntry& e);
  void ApplyOptions(TControl* control, TEntry& e);
  void ApplyPicture(TControl* control, TEntry& e);
  void ApplyAll(TControl* control, TEntry& e);

  TGtkLoopSource FSource;
  std::unordered_map<TControl*, TEntry> FEntries;
  std::vector<TGtkMessageBox*> FBoxes;
  int FMirroring = 0;
};

// ---- signal handlers and probes (gtk_widget_set.cpp)

extern TGtkWidgetSet* gActive;  // the set whose widgets send signals
bool Quiet();
void OnClicked(GtkButton*, gpointer data);
void OnToggled(GtkToggleButton*, gpointer data);
void OnEdited(gpointer, gpointer data);
void OnSelected(gpointer, gpointer data);
void ProbeWidget(GtkWidget* widget, TWidgetProbe& probe);
void ProbeLabel(GtkWidget* label, TWidgetProbe& probe);

}  // namespace gtkws
