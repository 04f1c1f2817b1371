// The GTK 3 widget set. Every form is a GtkWindow holding a GtkFixed; every control a widget
// placed in its parent's GtkFixed at the control's position and size. Texts are converted from
// the code page of the control's font to UTF-8. GTK signals only post notices or set results;
// the model changes when the platform loop handles them.
#include "forms/gtk_widget_set.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <unordered_map>
#include <vector>

#include "forms/application.h"
#include "forms/buttons.h"
#include "forms/com_controls.h"
#include "forms/ext_controls.h"
#include "forms/file_controls.h"
#include "forms/form.h"
#include "forms/message_box.h"
#include "forms/std_controls.h"
#include "gtk_loop_source.h"
#include "platform/codepages.h"

namespace {

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

// Text of the model (bytes of a code page) as UTF-8 for the screen.
std::string ToScreen(const std::string& bytes, TFontCharset charset) {
  if (bytes.empty()) return {};
  UINT page = CharSetToCodePage(charset);
  std::string utf8;
  if (page == 950 || page == 1252 || page == CP_UTF8) {
    utf8 = platform::ConvertCodePage(bytes, page, CP_UTF8);
  } else {
    std::string name = "CP" + std::to_string(page);
    gsize written = 0;
    gchar* converted = g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                                 name.c_str(), nullptr, &written, nullptr);
    if (converted) {
      utf8.assign(converted, written);
      g_free(converted);
    } else {
      utf8 = platform::ConvertCodePage(bytes, 1252, CP_UTF8);
    }
  }
  if (!g_utf8_validate(utf8.data(), static_cast<gssize>(utf8.size()), nullptr)) {
    gchar* valid = g_utf8_make_valid(utf8.data(), static_cast<gssize>(utf8.size()));
    utf8 = valid;
    g_free(valid);
  }
  return utf8;
}

std::string FromScreen(const std::string& utf8, TFontCharset charset) {
  UINT page = CharSetToCodePage(charset);
  if (page == 950 || page == 1252 || page == CP_UTF8)
    return platform::ConvertCodePage(utf8, CP_UTF8, page);
  std::string name = "CP" + std::to_string(page);
  gsize written = 0;
  gchar* converted =
      g_convert_with_fallback(utf8.data(), static_cast<gssize>(utf8.size()), name.c_str(), "UTF-8",
                              "?", nullptr, &written, nullptr);
  if (!converted) return platform::ConvertCodePage(utf8, CP_UTF8, 1252);
  std::string out(converted, written);
  g_free(converted);
  return out;
}

// Line breaks of the model (CR LF, lone CR) as the screen shows them.
std::string ScreenLines(std::string text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string CssColor(TColor color) {
  std::uint32_t rgb = ColorToRGB(color);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", rgb & 0xFF, (rgb >> 8) & 0xFF,
                (rgb >> 16) & 0xFF);
  return buffer;
}

std::string CssFamilies(const std::string& families) {
  // "AR PL UMing TW, Sans" -> "\"AR PL UMing TW\", \"Sans\""
  std::string out;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = families.find(',', start);
    std::string one =
        families.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    one.erase(0, one.find_first_not_of(' '));
    std::string quoted;
    for (char c : one)
      if (c != '"' && c != '\\') quoted += c;
    if (!out.empty()) out += ", ";
    out += "\"" + quoted + "\"";
    if (comma == std::string::npos) return out;
    start = comma + 1;
  }
}

// One provider per widget, replaced whenever the control's font or colours change.
void SetWidgetCss(GtkWidget* widget, const std::string& css) {
  if (!widget) return;
  GtkStyleContext* context = gtk_widget_get_style_context(widget);
  auto* old = static_cast<GtkCssProvider*>(g_object_get_data(G_OBJECT(widget), "kvb-css"));
  if (old) gtk_style_context_remove_provider(context, GTK_STYLE_PROVIDER(old));
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css.c_str(), static_cast<gssize>(css.size()), nullptr);
  gtk_style_context_add_provider(context, GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_set_data_full(G_OBJECT(widget), "kvb-css", provider, g_object_unref);
}

// The widget set's own sheet, above the theme's: controls keep the sizes their window gives
// them, where the theme's minimum sizes and paddings are larger (Adwaita makes every button
// at least 34 pixels high). The chrome constants below are the sheet's.
constexpr const char* kControlSheet =
    "button.kvb-control { min-height: 0; min-width: 0; padding: 0 3px; border-width: 1px; }"
    "checkbutton.kvb-control, radiobutton.kvb-control { min-height: 0; padding: 0; }"
    "checkbutton.kvb-control check, radiobutton.kvb-control radio {"
    " min-width: 13px; min-height: 13px; margin: 0 4px 0 0; padding: 0; }"
    "entry.kvb-control { min-height: 0; padding: 0 2px; }"
    "combobox.kvb-control button { min-height: 0; padding: 0 2px; }"
    // A list's rows are as high as its items (no room kept for expanders it never has).
    "treeview.kvb-control { -GtkTreeView-vertical-separator: 0; -GtkTreeView-expander-size: 0; }";
constexpr int kButtonChrome = 2 * (1 + 3);  // border and padding, both sides
constexpr int kCheckChrome = 13 + 4;        // indicator and its margin
constexpr int kGlyphSpacing = 4;            // between a picture button's glyph and caption

void InstallControlSheet() {
  static bool installed = false;
  GdkScreen* screen = gdk_screen_get_default();
  if (installed || !screen) return;
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, kControlSheet, -1, nullptr);
  gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_SETTINGS);
  g_object_unref(provider);
  installed = true;
}

// Width in pixels of `text` drawn in `families` (a CSS family list without quotes) at `pixels`.
int TextWidth(GtkWidget* widget, const std::string& text, const std::string& families, int pixels,
              bool condensed, bool bold, bool italic) {
  PangoLayout* layout = gtk_widget_create_pango_layout(widget, text.c_str());
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, families.c_str());
  pango_font_description_set_absolute_size(font, pixels * PANGO_SCALE);
  pango_font_description_set_weight(font, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(font, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_font_description_set_stretch(font,
                                     condensed ? PANGO_STRETCH_CONDENSED : PANGO_STRETCH_NORMAL);
  pango_layout_set_font_description(layout, font);
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  pango_font_description_free(font);
  g_object_unref(layout);
  return width;
}

GdkPixbuf* PixbufOf(const TBitmap* bitmap) {
  if (!bitmap || bitmap->Empty()) return nullptr;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  const std::string& data = bitmap->Data();
  GdkPixbuf* pixbuf = nullptr;
  if (gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(data.data()), data.size(),
                              nullptr) &&
      gdk_pixbuf_loader_close(loader, nullptr)) {
    pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
    if (pixbuf) g_object_ref(pixbuf);
  } else {
    gdk_pixbuf_loader_close(loader, nullptr);
  }
  g_object_unref(loader);
  return pixbuf;
}

// Serial numbers travel through signal data, so that a callback never holds a control.
gpointer SerialData(TControl* control) {
  return GUINT_TO_POINTER(control->Serial());
}
TControl* ControlOf(gpointer data) {
  return TControl::FindBySerial(GPOINTER_TO_UINT(data));
}

const char* IconName(TMessageBoxIcon icon) {
  switch (icon) {
    case TMessageBoxIcon::Error:
      return "dialog-error";
    case TMessageBoxIcon::Question:
      return "dialog-question";
    case TMessageBoxIcon::Warning:
      return "dialog-warning";
    case TMessageBoxIcon::Information:
      return "dialog-information";
    case TMessageBoxIcon::None:
      break;
  }
  return nullptr;
}

// The widget that takes the keyboard focus for a control; null for those that take none.
GtkWidget* FocusWidget(const TEntry& e) {
  switch (e.Kind) {
    case TKind::Button:
    case TKind::BitBtn:
    case TKind::CheckBox:
    case TKind::RadioButton:
    case TKind::Edit:
    case TKind::ComboBox:
      return e.Outer;
    case TKind::Memo:
    case TKind::ListBox:
      return e.Inner;
    default:
      return nullptr;
  }
}

// The program's icon at the sizes desktops show (title bars, task lists, switchers).
void SetWindowIcon(GtkWidget* window) {
  GdkPixbuf* icon = PixbufOf(Application->Icon());
  if (!icon) return;
  int width = gdk_pixbuf_get_width(icon);
  int height = gdk_pixbuf_get_height(icon);
  GList* list = nullptr;
  for (int size : {16, 24, 32, 48, 64, 128}) {
    // Whole multiples of the drawn size keep its pixels sharp.
    GdkInterpType interp =
        size % width == 0 || width % size == 0 ? GDK_INTERP_NEAREST : GDK_INTERP_BILINEAR;
    int scaledHeight = std::max(1, height * size / width);
    list = g_list_append(list, gdk_pixbuf_scale_simple(icon, size, scaledHeight, interp));
  }
  gtk_window_set_icon_list(GTK_WINDOW(window), list);
  g_list_free_full(list, g_object_unref);
  g_object_unref(icon);
}

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

// ---------------------------------------------------------------------------------------------
// Signal handlers: only notices.

void OnClicked(GtkButton*, gpointer data) {
  if (TControl* c = ControlOf(data)) PostControlNotice(c, cnClick);
}

TGtkWidgetSet* gActive = nullptr;  // the set whose widgets send signals

bool Quiet() {
  return !gActive || gActive->Mirroring();
}

void OnToggled(GtkToggleButton*, gpointer data) {
  if (Quiet()) return;
  if (TControl* c = ControlOf(data)) PostControlNotice(c, cnToggled);
}

void OnEdited(gpointer, gpointer data) {
  if (Quiet()) return;
  if (TControl* c = ControlOf(data)) PostControlNotice(c, cnTextEdited);
}

void OnSelected(gpointer, gpointer data) {
  if (Quiet()) return;
  if (TControl* c = ControlOf(data)) PostControlNotice(c, cnSelected);
}

// Tab belongs to the window, as in a dialog: a memo or list does not take it.
gboolean OnFormKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  guint keyval = event->keyval;
  if (keyval != GDK_KEY_Tab && keyval != GDK_KEY_KP_Tab && keyval != GDK_KEY_ISO_Left_Tab)
    return FALSE;
  GdkModifierType modifiers =
      static_cast<GdkModifierType>(event->state & gtk_accelerator_get_default_mod_mask());
  if (modifiers & ~GDK_SHIFT_MASK) return FALSE;  // Ctrl+Tab and the like stay the widget's
  auto* form = dynamic_cast<TCustomForm*>(ControlOf(data));
  if (!form || !gActive) return FALSE;
  bool backward = keyval == GDK_KEY_ISO_Left_Tab || (modifiers & GDK_SHIFT_MASK);
  return gActive->MoveFocus(form, backward) ? TRUE : FALSE;
}

gboolean OnDeleteForm(GtkWidget*, GdkEvent*, gpointer data) {
  if (TControl* c = ControlOf(data)) PostControlNotice(c, cnCloseQuery);
  return TRUE;  // the model decides whether the window goes
}

// ---------------------------------------------------------------------------------------------

TGtkWidgetSet::~TGtkWidgetSet() {
  for (TGtkMessageBox* box : FBoxes) box->Result = IDCANCEL;
  std::vector<GtkWidget*> windows;
  for (auto& [control, entry] : FEntries)
    if (entry.Kind == TKind::Form) windows.push_back(entry.Outer);
  FEntries.clear();
  for (GtkWidget* w : windows) gtk_widget_destroy(w);
  if (gActive == this) gActive = nullptr;
  platform::SetLoopSource(nullptr);
}

void TGtkWidgetSet::BuildForm(TCustomForm* form) {
  TEntry e;
  e.Kind = TKind::Form;
  e.Outer = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  e.Container = gtk_fixed_new();
  e.Inner = e.Container;
  gtk_container_add(GTK_CONTAINER(e.Outer), e.Container);
  g_signal_connect(e.Outer, "delete-event", G_CALLBACK(OnDeleteForm), SerialData(form));
  g_signal_connect(e.Outer, "key-press-event", G_CALLBACK(OnFormKey), SerialData(form));
  SetWindowIcon(e.Outer);
  gtk_widget_show(e.Container);
  FEntries[form] = e;
  TEntry& entry = FEntries[form];
  ApplyAll(form, entry);
  BuildChildren(form);
}

void TGtkWidgetSet::BuildChildren(TWinControl* parent) {
  GtkWidget* container = ContainerOf(parent);
  if (!container) return;
  for (int i = 0; i < parent->ControlCount(); ++i) Build(parent->Controls(i), container);
}

// The widgets that take the focus, in the tab order of the window: each parent's controls by
// TabOrder (those without one after them, in creation order), a container's own controls
// right after it; hidden and disabled controls, and everything inside them, left out.
void TGtkWidgetSet::TabChain(TWinControl* parent, std::vector<GtkWidget*>& chain) {
  std::vector<TWinControl*> children;
  for (int i = 0; i < parent->ControlCount(); ++i)
    if (auto* child = dynamic_cast<TWinControl*>(parent->Controls(i))) children.push_back(child);
  auto order = [](const TWinControl* c) {
    return c->TabOrder() < 0 ? std::numeric_limits<int>::max() : c->TabOrder();
  };
  std::stable_sort(children.begin(), children.end(),
                   [&](const TWinControl* a, const TWinControl* b) { return order(a) < order(b); });
  for (TWinControl* child : children) {
    TEntry* e = Find(child);
    if (!e || !child->Visible() || !child->Enabled()) continue;
    GtkWidget* widget = FocusWidget(*e);
    if (!widget && !e->Radios.empty()) {
      // A radio group is one stop: its chosen button, or its first.
      widget = e->Radios.front();
      for (GtkWidget* radio : e->Radios)
        if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(radio))) widget = radio;
    }
    if (child->TabStop() && widget && gtk_widget_get_can_focus(widget)) chain.push_back(widget);
    TabChain(child, chain);
  }
}

bool TGtkWidgetSet::MoveFocus(TCustomForm* form, bool backward) {
  TEntry* e = Find(form);
  if (!e) return false;
  std::vector<GtkWidget*> chain;
  TabChain(form, chain);
  if (chain.empty()) return false;
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(e->Outer));
  const std::size_t n = chain.size();
  std::size_t next = backward ? n - 1 : 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (focus && (focus == chain[i] || gtk_widget_is_ancestor(focus, chain[i]))) {
      next = backward ? (i + n - 1) % n : (i + 1) % n;
      break;
    }
  }
  gtk_widget_grab_focus(chain[next]);
  gtk_window_set_focus_visible(GTK_WINDOW(e->Outer), TRUE);
  return true;
}

void TGtkWidgetSet::Build(TControl* control, GtkWidget* container) {
  if (Find(control)) return;
  TEntry e;
  gpointer data = SerialData(control);
  auto labelled = [&](GtkWidget* button) {
    e.Label = gtk_label_new("");
    gtk_container_add(GTK_CONTAINER(button), e.Label);
    gtk_widget_show(e.Label);
  };
  auto framed = [&](const char* text) {
    e.Outer = gtk_frame_new(text);
    e.Container = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(e.Outer), e.Container);
    gtk_widget_show(e.Container);
    e.Inner = e.Container;
    e.Label = gtk_frame_get_label_widget(GTK_FRAME(e.Outer));
  };
  auto scrolled = [&](GtkWidget* inner) {
    e.Outer = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(e.Outer), GTK_SHADOW_IN);
    e.Inner = inner;
    gtk_container_add(GTK_CONTAINER(e.Outer), inner);
    gtk_widget_show(inner);
  };

  if (dynamic_cast<TBitBtn*>(control)) {
    e.Kind = TKind::BitBtn;
    e.Outer = gtk_button_new();
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
    gtk_widget_set_halign(box, GTK_ALIGN_CENTER);
    e.Image = gtk_image_new();
    e.Label = gtk_label_new("");
    gtk_box_pack_start(GTK_BOX(box), e.Image, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), e.Label, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(e.Outer), box);
    gtk_widget_show_all(box);
    e.Inner = e.Outer;
    g_signal_connect(e.Outer, "clicked", G_CALLBACK(OnClicked), data);
  } else if (dynamic_cast<TButton*>(control)) {
    e.Kind = TKind::Button;
    e.Outer = e.Inner = gtk_button_new();
    labelled(e.Outer);
    g_signal_connect(e.Outer, "clicked", G_CALLBACK(OnClicked), data);
  } else if (dynamic_cast<TCheckBox*>(control)) {
    e.Kind = TKind::CheckBox;
    e.Outer = e.Inner = gtk_check_button_new();
    labelled(e.Outer);
    g_signal_connect(e.Outer, "toggled", G_CALLBACK(OnToggled), data);
  } else if (dynamic_cast<TRadioButton*>(control)) {
    e.Kind = TKind::RadioButton;
    e.Outer = e.Inner = gtk_radio_button_new(nullptr);
    labelled(e.Outer);
    g_signal_connect(e.Outer, "toggled", G_CALLBACK(OnToggled), data);
  } else if (dynamic_cast<TCustomLabel*>(control)) {
    e.Kind = TKind::Label;
    e.Outer = e.Inner = e.Label = gtk_label_new("");
  } else if (dynamic_cast<TMemo*>(control)) {
    e.Kind = TKind::Memo;
    GtkWidget* view = gtk_text_view_new();
    scrolled(view);
    g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), "changed", G_CALLBACK(OnEdited),
                     data);
  } else if (dynamic_cast<TCustomEdit*>(control)) {
    e.Kind = TKind::Edit;
    e.Outer = e.Inner = gtk_entry_new();
    g_signal_connect(e.Outer, "changed", G_CALLBACK(OnEdited), data);
  } else if (dynamic_cast<TCustomListBox*>(control)) {
    e.Kind = TKind::ListBox;
    e.Store = gtk_list_store_new(1, G_TYPE_STRING);
    GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(e.Store));
    g_object_unref(e.Store);  // the view holds it
    gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(view), FALSE);
    GtkCellRenderer* renderer = gtk_cell_renderer_text_new();
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(view), -1, "", renderer, "text", 0,
                                                nullptr);
    g_object_set_data(G_OBJECT(view), "kvb-renderer", renderer);
    scrolled(view);
    g_signal_connect(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)), "changed",
                     G_CALLBACK(OnSelected), data);
  } else if (dynamic_cast<TCustomComboBox*>(control)) {
    e.Kind = TKind::ComboBox;
    e.Outer = e.Inner = gtk_combo_box_text_new();
    g_signal_connect(e.Outer, "changed", G_CALLBACK(OnSelected), data);
  } else if (dynamic_cast<TStatusBar*>(control)) {
    e.Kind = TKind::StatusBar;
    e.Outer = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(e.Outer), GTK_SHADOW_IN);
    e.Panels = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_container_add(GTK_CONTAINER(e.Outer), e.Panels);
    gtk_widget_show(e.Panels);
    e.Inner = e.Panels;
  } else if (dynamic_cast<TImage*>(control)) {
    e.Kind = TKind::Image;
    e.Outer = e.Inner = gtk_image_new();
  } else if (dynamic_cast<TRadioGroup*>(control) || dynamic_cast<TGroupBox*>(control)) {
    e.Kind = TKind::Frame;
    framed("");
  } else if (dynamic_cast<TPanel*>(control)) {
    e.Kind = TKind::Frame;
    framed(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(e.Outer), GTK_SHADOW_OUT);
  } else if (dynamic_cast<TWinControl*>(control)) {
    // Known to the model, drawn as a frame that still holds its child controls.
    e.Kind = TKind::Frame;
    framed(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(e.Outer), GTK_SHADOW_ETCHED_IN);
  } else {
    return;  // nothing to draw
  }

  gtk_style_context_add_class(gtk_widget_get_style_context(e.Outer), "kvb-control");
  if (e.Inner && e.Inner != e.Outer)
    gtk_style_context_add_class(gtk_widget_get_style_context(e.Inner), "kvb-control");
  gtk_fixed_put(GTK_FIXED(container), e.Outer, control->Left(), control->Top());
  FEntries[control] = e;
  TEntry& entry = FEntries[control];
  ApplyAll(control, entry);
  gtk_widget_set_visible(entry.Outer, control->Visible());
  if (auto* w = dynamic_cast<TWinControl*>(control)) BuildChildren(w);
}

void TGtkWidgetSet::ApplyAll(TControl* control, TEntry& e) {
  TMirror mirror(FMirroring);
  ApplyStyle(control, e);
  ApplyText(control, e);
  ApplyBounds(control, e);
  ApplyOptions(control, e);
  ApplyItems(control, e);
  ApplyItemIndex(control, e);
  ApplyPicture(control, e);
  Apply(control, e, TWidgetChange::wcChecked);
  Apply(control, e, TWidgetChange::wcReadOnly);
  Apply(control, e, TWidgetChange::wcEnabled);
  Apply(control, e, TWidgetChange::wcHint);
}

void TGtkWidgetSet::ApplyText(TControl* control, TEntry& e) {
  TFontCharset cs = control->Font()->CharSet();
  std::string text = ScreenLines(ToScreen(control->GetText(), cs));
  switch (e.Kind) {
    case TKind::Form:
      gtk_window_set_title(GTK_WINDOW(e.Outer), text.c_str());
      break;
    case TKind::Label:
    case TKind::Button:
    case TKind::BitBtn:
    case TKind::CheckBox:
    case TKind::RadioButton:
      gtk_label_set_text(GTK_LABEL(e.Label), text.c_str());
      if (e.Kind == TKind::BitBtn) gtk_widget_set_visible(e.Label, !text.empty());
      break;
    case TKind::Edit:
      if (text != gtk_entry_get_text(GTK_ENTRY(e.Inner)))
        gtk_entry_set_text(GTK_ENTRY(e.Inner), text.c_str());
      break;
    case TKind::ComboBox: {
      GtkWidget* child = gtk_bin_get_child(GTK_BIN(e.Inner));
      if (child && GTK_IS_ENTRY(child)) gtk_entry_set_text(GTK_ENTRY(child), text.c_str());
      break;
    }
    case TKind::Frame:
      if (e.Label) gtk_frame_set_label(GTK_FRAME(e.Outer), text.empty() ? nullptr : text.c_str());
      e.Label = gtk_frame_get_label_widget(GTK_FRAME(e.Outer));
      break;
    case TKind::StatusBar:
      ApplyItems(control, e);
      break;
    default:
      break;
  }
}

void TGtkWidgetSet::ApplyBounds(TControl* control, TEntry& e) {
  if (e.Kind == TKind::Form) {
    auto* form = static_cast<TCustomForm*>(control);
    int w = std::max(1, form->ClientWidth());
    int h = std::max(1, form->ClientHeight());
    gtk_widget_set_size_request(e.Container, w, h);
    gtk_window_set_default_size(GTK_WINDOW(e.Outer), w, h);
    gtk_window_resize(GTK_WINDOW(e.Outer), w, h);
    if (form->Position() == poDesigned)
      gtk_window_move(GTK_WINDOW(e.Outer), form->Left(), form->Top());
    return;
  }
  GtkWidget* container = gtk_widget_get_parent(e.Outer);
  if (container && GTK_IS_FIXED(container))
    gtk_fixed_move(GTK_FIXED(container), e.Outer, control->Left(), control->Top());
  gtk_widget_set_size_request(e.Outer, std::max(0, control->Width()),
                              std::max(0, control->Height()));
}

// A button's or check box's caption must fit the size its window gives it, where the screen's
// font is wider than the one the window was designed with: it is drawn condensed, and if that
// is not enough, smaller, rather than cut off or pushing the control past its size.
void TGtkWidgetSet::FitCaption(TControl* control, TEntry& e, const std::string& text,
                               const std::string& family, int& pixels, bool& condensed) {
  int room = 0;
  switch (e.Kind) {
    case TKind::Button:
      room = control->Width() - kButtonChrome;
      break;
    case TKind::BitBtn:
      room = control->Width() - kButtonChrome;
      if (auto* button = dynamic_cast<TBitBtn*>(control); button && !button->Glyph()->Empty())
        room -= button->Glyph()->Width() + kGlyphSpacing;
      break;
    case TKind::CheckBox:
    case TKind::RadioButton:
      room = control->Width() - kCheckChrome;
      break;
    default:
      return;
  }
  std::string shown = ScreenLines(text);
  if (shown.empty() || room <= 0 || shown.find('\n') != std::string::npos) return;
  const TFont* font = control->Font();
  bool bold = font->Style().Contains(fsBold);
  bool italic = font->Style().Contains(fsItalic);
  auto width = [&] { return TextWidth(e.Label, shown, family, pixels, condensed, bold, italic); };
  if (width() <= room) return;
  condensed = true;
  const int smallest = std::max(7, pixels * 2 / 3);
  while (width() > room && pixels > smallest) --pixels;
}

void TGtkWidgetSet::ApplyStyle(TControl* control, TEntry& e) {
  const TFont* font = control->Font();
  std::string name = ToScreen(font->Name(), font->CharSet());
  std::string text = ToScreen(control->GetText(), font->CharSet());
  if (auto* memo = dynamic_cast<TMemo*>(control))
    text = ToScreen(memo->Lines()->Text(), font->CharSet());
  if (auto* list = dynamic_cast<TCustomListBox*>(control))
    text = ToScreen(list->Items()->Text(), font->CharSet());
  std::string family = ScreenFontFamily(name, CharSetToCodePage(font->CharSet()), text);
  int pixels = std::max(1, font->PixelHeight());
  bool condensed = false;
  FitCaption(control, e, text, family, pixels, condensed);
  std::string css =
      "* { font-family: " + CssFamilies(family) + "; font-size: " + std::to_string(pixels) + "px;";
  if (condensed) css += " font-stretch: condensed;";
  css += font->Style().Contains(fsBold) ? " font-weight: bold;" : " font-weight: normal;";
  css += font->Style().Contains(fsItalic) ? " font-style: italic;" : " font-style: normal;";
  if (!IsSystemColor(font->Color())) css += " color: " + CssColor(font->Color()) + ";";
  css += " }";
  // A colour of its own (not a system colour, not the parent's) paints the background.
  std::string background;
  bool transparent = false;
  if (auto* label = dynamic_cast<TCustomLabel*>(control)) transparent = label->Transparent();
  if (!IsSystemColor(control->Color()) && !transparent &&
      (!control->ParentColor() || e.Kind == TKind::Form))
    background = " background-color: " + CssColor(control->Color()) + ";";
  switch (e.Kind) {
    case TKind::Form:
      if (!background.empty()) SetWidgetCss(e.Outer, "* {" + background + " }");
      break;
    case TKind::Button:
    case TKind::BitBtn:
    case TKind::CheckBox:
    case TKind::RadioButton:
      SetWidgetCss(e.Label, css);
      if (!background.empty()) SetWidgetCss(e.Outer, "* {" + background + " }");
      break;
    case TKind::Label:
      SetWidgetCss(e.Label, background.empty() ? css : css + " * {" + background + " }");
      break;
    case TKind::Memo:
    case TKind::ListBox:
      SetWidgetCss(e.Inner, background.empty() ? css : css + " *, text {" + background + " }");
      break;
    case TKind::Frame:
      if (e.Label) SetWidgetCss(e.Label, css);
      for (GtkWidget* radio : e.Radios) SetWidgetCss(gtk_bin_get_child(GTK_BIN(radio)), css);
      if (!background.empty()) SetWidgetCss(e.Container, "* {" + background + " }");
      break;
    case TKind::StatusBar: {
      GList* children = gtk_container_get_children(GTK_CONTAINER(e.Panels));
      for (GList* l = children; l; l = l->next) SetWidgetCss(GTK_WIDGET(l->data), css);
      g_list_free(children);
      break;
    }
    default:
      SetWidgetCss(e.Inner, css);
      break;
  }
}

void TGtkWidgetSet::ApplyItems(TControl* control, TEntry& e) {
  TFontCharset cs = control->Font()->CharSet();
  if (e.Kind == TKind::Memo) {
    auto* memo = static_cast<TMemo*>(control);
    std::string text = ToScreen(memo->Text(), cs);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(e.Inner));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* shown = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string lines = ScreenLines(text);
    if (lines != shown)
      gtk_text_buffer_set_text(buffer, lines.c_str(), static_cast<gint>(lines.size()));
    g_free(shown);
  } else if (e.Kind == TKind::ListBox) {
    auto* list = static_cast<TCustomListBox*>(control);
    gtk_list_store_clear(e.Store);
    for (auto& item : list->Items()->Lines()) {
      GtkTreeIter iter;
      gtk_list_store_append(e.Store, &iter);
      gtk_list_store_set(e.Store, &iter, 0, ToScreen(item, cs).c_str(), -1);
    }
    ApplyItemIndex(control, e);
  } else if (e.Kind == TKind::ComboBox) {
    auto* combo = static_cast<TCustomComboBox*>(control);
    gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(e.Inner));
    for (auto& item : combo->Items()->Lines())
      gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(e.Inner), ToScreen(item, cs).c_str());
    ApplyItemIndex(control, e);
  } else if (e.Kind == TKind::StatusBar) {
    auto* bar = static_cast<TStatusBar*>(control);
    GList* children = gtk_container_get_children(GTK_CONTAINER(e.Panels));
    for (GList* l = children; l; l = l->next) gtk_widget_destroy(GTK_WIDGET(l->data));
    g_list_free(children);
    auto addPanel = [&](const std::string& text, int width, bool expand) {
      GtkWidget* label = gtk_label_new(ScreenLines(ToScreen(text, cs)).c_str());
      gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
      gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
      gtk_widget_set_margin_start(label, 2);
      if (width > 0) gtk_widget_set_size_request(label, width, -1);
      gtk_box_pack_start(GTK_BOX(e.Panels), label, expand, expand, 0);
      gtk_widget_show(label);
    };
    if (bar->SimplePanel() || bar->Panels()->Count() == 0) {
      addPanel(bar->SimpleText(), -1, true);
    } else {
      for (int i = 0; i < bar->Panels()->Count(); ++i) {
        TStatusPanel* panel = bar->Panels()->Items(i);
        bool last = i + 1 == bar->Panels()->Count();
        addPanel(panel->Text(), last ? -1 : panel->Width(), last);
      }
    }
    ApplyStyle(control, e);
  } else if (auto* group = dynamic_cast<TRadioGroup*>(control)) {
    for (GtkWidget* radio : e.Radios) gtk_widget_destroy(radio);
    e.Radios.clear();
    int count = group->Items()->Count();
    int columns = std::max(1, group->Columns());
    int rows = (count + columns - 1) / columns;
    int width = std::max(1, (group->Width() - 16) / columns);
    int height = rows > 0 ? std::max(17, (group->Height() - 24) / rows) : 17;
    GSList* radioGroup = nullptr;
    for (int i = 0; i < count; ++i) {
      GtkWidget* radio = gtk_radio_button_new_with_label(
          radioGroup, ScreenLines(ToScreen(group->Items()->Get(i), cs)).c_str());
      radioGroup = gtk_radio_button_get_group(GTK_RADIO_BUTTON(radio));
      gtk_fixed_put(GTK_FIXED(e.Container), radio, 8 + (i / rows) * width, 2 + (i % rows) * height);
      g_signal_connect(radio, "toggled", G_CALLBACK(OnSelected), SerialData(control));
      gtk_widget_show(radio);
      e.Radios.push_back(radio);
    }
    ApplyItemIndex(control, e);
    ApplyStyle(control, e);
  }
}

void TGtkWidgetSet::ApplyItemIndex(TControl* control, TEntry& e) {
  if (e.Kind == TKind::ListBox) {
    int index = static_cast<TCustomListBox*>(control)->ItemIndex();
    GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(e.Inner));
    if (index < 0) {
      gtk_tree_selection_unselect_all(selection);
    } else {
      GtkTreePath* path = gtk_tree_path_new_from_indices(index, -1);
      gtk_tree_selection_select_path(selection, path);
      gtk_tree_path_free(path);
    }
  } else if (e.Kind == TKind::ComboBox) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(e.Inner),
                             static_cast<TCustomComboBox*>(control)->ItemIndex());
  } else if (auto* group = dynamic_cast<TRadioGroup*>(control)) {
    int index = group->ItemIndex();
    if (index >= 0 && index < static_cast<int>(e.Radios.size()))
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(e.Radios[static_cast<std::size_t>(index)]),
                                   TRUE);
  }
}

void TGtkWidgetSet::ApplyOptions(TControl* control, TEntry& e) {
  if (e.Kind == TKind::Form) {
    auto* form = static_cast<TCustomForm*>(control);
    TBorderStyle style = form->BorderStyle();
    gtk_window_set_resizable(GTK_WINDOW(e.Outer), style == bsSizeable || style == bsSizeToolWin);
    gtk_window_set_decorated(GTK_WINDOW(e.Outer), style != bsNone);
    gtk_window_set_type_hint(GTK_WINDOW(e.Outer), style == bsDialog ? GDK_WINDOW_TYPE_HINT_DIALOG
                                                                    : GDK_WINDOW_TYPE_HINT_NORMAL);
    switch (form->Position()) {
      case poScreenCenter:
      case poDesktopCenter:
        gtk_window_set_position(GTK_WINDOW(e.Outer), GTK_WIN_POS_CENTER);
        break;
      case poMainFormCenter:
      case poOwnerFormCenter:
        gtk_window_set_position(GTK_WINDOW(e.Outer), GTK_WIN_POS_CENTER_ON_PARENT);
        break;
      default:
        gtk_window_set_position(GTK_WINDOW(e.Outer), GTK_WIN_POS_NONE);
        break;
    }
  } else if (auto* label = dynamic_cast<TCustomLabel*>(control)) {
    float x = label->Alignment() == taCenter         ? 0.5f
              : label->Alignment() == taRightJustify ? 1.0f
                                                     : 0.0f;
    gtk_label_set_xalign(GTK_LABEL(e.Label), x);
    gtk_label_set_yalign(GTK_LABEL(e.Label), 0.0f);
    gtk_label_set_line_wrap(GTK_LABEL(e.Label), label->WordWrap());
  } else if (auto* memo = dynamic_cast<TMemo*>(control)) {
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(e.Inner),
                                memo->WordWrap() ? GTK_WRAP_WORD_CHAR : GTK_WRAP_NONE);
    TScrollStyle bars = memo->ScrollBars();
    auto policy = [](bool on) { return on ? GTK_POLICY_ALWAYS : GTK_POLICY_EXTERNAL; };
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(e.Outer),
                                   policy(bars == ssHorizontal || bars == ssBoth),
                                   policy(bars == ssVertical || bars == ssBoth));
    GtkJustification j = memo->Alignment() == taCenter         ? GTK_JUSTIFY_CENTER
                         : memo->Alignment() == taRightJustify ? GTK_JUSTIFY_RIGHT
                                                               : GTK_JUSTIFY_LEFT;
    gtk_text_view_set_justification(GTK_TEXT_VIEW(e.Inner), j);
  } else if (auto* list = dynamic_cast<TCustomListBox*>(control)) {
    auto* renderer =
        static_cast<GtkCellRenderer*>(g_object_get_data(G_OBJECT(e.Inner), "kvb-renderer"));
    if (renderer) {
      gtk_cell_renderer_set_padding(renderer, 2, 0);
      gtk_cell_renderer_set_fixed_size(renderer, -1, list->ItemHeight());
    }
  } else if (auto* button = dynamic_cast<TButton*>(control)) {
    gtk_widget_set_can_default(e.Outer, button->Default());
    if (button->Default()) gtk_widget_grab_default(e.Outer);
  }
}

void TGtkWidgetSet::ApplyPicture(TControl* control, TEntry& e) {
  const TBitmap* bitmap = nullptr;
  if (auto* image = dynamic_cast<TImage*>(control)) bitmap = image->Picture();
  if (auto* button = dynamic_cast<TBitBtn*>(control)) bitmap = button->Glyph();
  GtkWidget* target = e.Kind == TKind::BitBtn  ? e.Image
                      : e.Kind == TKind::Image ? e.Inner
                                               : nullptr;
  if (!target) return;
  GdkPixbuf* pixbuf = PixbufOf(bitmap);
  if (pixbuf) {
    auto* image = dynamic_cast<TImage*>(control);
    if (image && image->Stretch() && control->Width() > 0 && control->Height() > 0) {
      GdkPixbuf* scaled =
          gdk_pixbuf_scale_simple(pixbuf, control->Width(), control->Height(), GDK_INTERP_BILINEAR);
      g_object_unref(pixbuf);
      pixbuf = scaled;
    }
    gtk_image_set_from_pixbuf(GTK_IMAGE(target), pixbuf);
    g_object_unref(pixbuf);
    if (auto* image2 = dynamic_cast<TImage*>(control)) {
      float align = image2->Center() ? 0.5f : 0.0f;
      gtk_widget_set_halign(target, image2->Center() ? GTK_ALIGN_CENTER : GTK_ALIGN_START);
      gtk_widget_set_valign(target, image2->Center() ? GTK_ALIGN_CENTER : GTK_ALIGN_START);
      (void)align;
    }
    gtk_widget_show(target);
  } else {
    gtk_image_clear(GTK_IMAGE(target));
    if (e.Kind == TKind::BitBtn) gtk_widget_hide(target);
  }
}

void TGtkWidgetSet::Apply(TControl* control, TEntry& e, TWidgetChange change) {
  switch (change) {
    case TWidgetChange::wcText:
      ApplyText(control, e);
      ApplyStyle(control, e);  // Chinese text may need the Chinese font
      break;
    case TWidgetChange::wcBounds:
      ApplyBounds(control, e);
      if (dynamic_cast<TRadioGroup*>(control)) ApplyItems(control, e);
      break;
    case TWidgetChange::wcFont:
      ApplyStyle(control, e);
      ApplyText(control, e);  // the code page may have changed
      ApplyItems(control, e);
      break;
    case TWidgetChange::wcColor:
      ApplyStyle(control, e);
      break;
    case TWidgetChange::wcVisible:
      if (e.Kind != TKind::Form) gtk_widget_set_visible(e.Outer, control->Visible());
      break;
    case TWidgetChange::wcEnabled:
      gtk_widget_set_sensitive(e.Outer, control->Enabled());
      break;
    case TWidgetChange::wcItems:
      ApplyItems(control, e);
      if (e.Kind == TKind::Memo || e.Kind == TKind::ListBox) ApplyStyle(control, e);
      break;
    case TWidgetChange::wcItemIndex:
      ApplyItemIndex(control, e);
      break;
    case TWidgetChange::wcChecked:
      if (auto* check = dynamic_cast<TCheckBox*>(control)) {
        gtk_toggle_button_set_inconsistent(GTK_TOGGLE_BUTTON(e.Outer), check->State() == cbGrayed);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(e.Outer), check->Checked());
      } else if (auto* radio = dynamic_cast<TRadioButton*>(control)) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(e.Outer), radio->Checked());
      }
      break;
    case TWidgetChange::wcReadOnly:
      if (auto* memo = dynamic_cast<TMemo*>(control))
        gtk_text_view_set_editable(GTK_TEXT_VIEW(e.Inner), !memo->ReadOnly());
      else if (auto* edit = dynamic_cast<TCustomEdit*>(control))
        gtk_editable_set_editable(GTK_EDITABLE(e.Inner), !edit->ReadOnly());
      break;
    case TWidgetChange::wcPicture:
      ApplyPicture(control, e);
      break;
    case TWidgetChange::wcOptions:
      ApplyOptions(control, e);
      if (e.Kind == TKind::Form) ApplyBounds(control, e);
      break;
    case TWidgetChange::wcHint: {
      std::string hint = ToScreen(control->Hint(), control->Font()->CharSet());
      gtk_widget_set_tooltip_text(e.Outer, hint.empty() ? nullptr : hint.c_str());
      break;
    }
    case TWidgetChange::wcParent:
      break;
  }
}

void TGtkWidgetSet::ShowForm(TCustomForm* form) {
  gActive = this;
  bool built = false;
  if (!Find(form)) {
    BuildForm(form);
    built = true;
  }
  TEntry* e = Find(form);
  if (built) {
    // A window opens with the focus on the first control in its tab order.
    std::vector<GtkWidget*> chain;
    TabChain(form, chain);
    if (!chain.empty()) gtk_widget_grab_focus(chain.front());
  }
  gtk_widget_show(e->Outer);
  gtk_window_present(GTK_WINDOW(e->Outer));
}

void TGtkWidgetSet::HideForm(TCustomForm* form) {
  if (TEntry* e = Find(form)) gtk_widget_hide(e->Outer);
}

// Forgets `outer` and every widget inside it (GTK destroys them with it).
void TGtkWidgetSet::Forget(GtkWidget* outer) {
  std::erase_if(FEntries, [outer](auto& item) {
    GtkWidget* w = item.second.Outer;
    return w == outer || gtk_widget_is_ancestor(w, outer);
  });
}

void TGtkWidgetSet::ControlChanged(TControl* control, TWidgetChange change) {
  TMirror mirror(FMirroring);
  if (change == TWidgetChange::wcParent) {
    if (TEntry* e = Find(control)) {
      GtkWidget* outer = e->Outer;
      Forget(outer);
      gtk_widget_destroy(outer);
    }
    if (GtkWidget* container = ContainerOf(control->Parent())) Build(control, container);
    return;
  }
  TEntry* e = Find(control);
  if (!e) return;
  Apply(control, *e, change);
}

void TGtkWidgetSet::ReleaseControl(TControl* control) {
  TEntry* e = Find(control);
  if (!e) return;
  GtkWidget* outer = e->Outer;
  Forget(outer);
  gtk_widget_destroy(outer);
}

bool TGtkWidgetSet::ReadText(TControl* control, std::string& text) {
  TEntry* e = Find(control);
  if (!e) return false;
  TFontCharset cs = control->Font()->CharSet();
  if (e->Kind == TKind::Memo) {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(e->Inner));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* shown = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    text = FromScreen(shown, cs);
    g_free(shown);
    return true;
  }
  if (e->Kind == TKind::Edit) {
    text = FromScreen(gtk_entry_get_text(GTK_ENTRY(e->Inner)), cs);
    return true;
  }
  if (e->Kind == TKind::ComboBox) {
    gchar* shown = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(e->Inner));
    text = shown ? FromScreen(shown, cs) : std::string();
    g_free(shown);
    return true;
  }
  return false;
}

bool TGtkWidgetSet::ReadChecked(TControl* control, bool& checked) {
  TEntry* e = Find(control);
  if (!e || (e->Kind != TKind::CheckBox && e->Kind != TKind::RadioButton)) return false;
  checked = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(e->Outer));
  return true;
}

bool TGtkWidgetSet::ReadItemIndex(TControl* control, int& index) {
  TEntry* e = Find(control);
  if (!e) return false;
  if (e->Kind == TKind::ListBox) {
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    index = -1;
    if (gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(e->Inner)),
                                        &model, &iter)) {
      GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
      index = gtk_tree_path_get_indices(path)[0];
      gtk_tree_path_free(path);
    }
    return true;
  }
  if (e->Kind == TKind::ComboBox) {
    index = gtk_combo_box_get_active(GTK_COMBO_BOX(e->Inner));
    return true;
  }
  if (!e->Radios.empty()) {
    index = -1;
    for (std::size_t i = 0; i < e->Radios.size(); ++i)
      if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(e->Radios[i])))
        index = static_cast<int>(i);
    return true;
  }
  return false;
}

void ProbeWidget(GtkWidget* widget, TWidgetProbe& probe) {
  probe.Mapped = gtk_widget_get_mapped(widget);
  GtkAllocation allocation;
  gtk_widget_get_allocation(widget, &allocation);
  probe.Width = allocation.width;
  probe.Height = allocation.height;
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  GdkWindow* window = gtk_widget_get_window(top);
  if (probe.Mapped && window) {
    int ox = 0, oy = 0, x = 0, y = 0;
    gdk_window_get_origin(window, &ox, &oy);
    if (widget != top) gtk_widget_translate_coordinates(widget, top, 0, 0, &x, &y);
    probe.ScreenLeft = ox + x;
    probe.ScreenTop = oy + y;
  }
}

void ProbeLabel(GtkWidget* label, TWidgetProbe& probe) {
  if (!label || !GTK_IS_LABEL(label)) return;
  probe.Text = gtk_label_get_text(GTK_LABEL(label));
  PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(label));
  int textWidth = 0, textHeight = 0;
  pango_layout_get_pixel_size(layout, &textWidth, &textHeight);
  GtkAllocation room;
  gtk_widget_get_allocation(label, &room);
  probe.TextClipped = !probe.Text.empty() && gtk_widget_get_mapped(label) &&
                      (textWidth > room.width || textHeight > room.height);
  probe.UnknownGlyphs = pango_layout_get_unknown_glyphs_count(layout);
  PangoLayoutLine* line = pango_layout_get_line_readonly(layout, 0);
  if (line && line->runs) {
    auto* run = static_cast<PangoGlyphItem*>(line->runs->data);
    PangoFontDescription* desc = pango_font_describe(run->item->analysis.font);
    probe.FontFamily = pango_font_description_get_family(desc);
    pango_font_description_free(desc);
  }
}

bool TGtkWidgetSet::Probe(TControl* control, TWidgetProbe& probe) {
  TEntry* e = Find(control);
  if (!e) return false;
  ProbeWidget(e->Kind == TKind::Form ? e->Container : e->Outer, probe);
  if (e->Kind == TKind::Form)
    probe.Text = gtk_window_get_title(GTK_WINDOW(e->Outer))
                     ? gtk_window_get_title(GTK_WINDOW(e->Outer))
                     : "";
  else
    ProbeLabel(e->Label, probe);
  if (GtkWidget* focus = FocusWidget(*e)) probe.Focused = gtk_widget_is_focus(focus);
  if (e->Kind == TKind::ListBox) {
    GtkTreeIter first;
    if (gtk_tree_model_get_iter_first(GTK_TREE_MODEL(e->Store), &first)) {
      GtkTreePath* path = gtk_tree_path_new_first();
      GdkRectangle row;
      gtk_tree_view_get_background_area(GTK_TREE_VIEW(e->Inner), path, nullptr, &row);
      probe.ItemHeight = row.height;
      gtk_tree_path_free(path);
    }
  }
  return true;
}

bool TGtkWidgetSet::ProbeBoxButton(int id, TWidgetProbe& probe) {
  if (FBoxes.empty()) return false;
  GtkWidget* button = FBoxes.back()->Button(id);
  if (!button) return false;
  ProbeWidget(button, probe);
  ProbeLabel(gtk_bin_get_child(GTK_BIN(button)), probe);
  return true;
}

std::unique_ptr<TModalBox> TGtkWidgetSet::OpenMessageBox(const TMessageBoxRequest& request) {
  gActive = this;
  GtkWindow* owner = nullptr;
  if (request.Owner)
    if (TEntry* e = Find(request.Owner)) owner = GTK_WINDOW(e->Outer);
  auto box = std::make_unique<TGtkMessageBox>(this, request, owner);
  FBoxes.push_back(box.get());
  return box;
}

// ---------------------------------------------------------------------------------------------

TGtkMessageBox::TGtkMessageBox(TGtkWidgetSet* set, const TMessageBoxRequest& request,
                               GtkWindow* owner)
    : FSet(set), FFlags(request.Flags) {
  FWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(FWindow), ToScreen(request.Caption, DEFAULT_CHARSET).c_str());
  gtk_window_set_modal(GTK_WINDOW(FWindow), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(FWindow), FALSE);
  gtk_window_set_type_hint(GTK_WINDOW(FWindow), GDK_WINDOW_TYPE_HINT_DIALOG);
  SetWindowIcon(FWindow);
  if (owner) {
    gtk_window_set_transient_for(GTK_WINDOW(FWindow), owner);
    gtk_window_set_position(GTK_WINDOW(FWindow), GTK_WIN_POS_CENTER_ON_PARENT);
  } else {
    gtk_window_set_position(GTK_WINDOW(FWindow), GTK_WIN_POS_CENTER);
  }
  GtkWidget* outer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 16);
  gtk_container_set_border_width(GTK_CONTAINER(outer), 16);
  GtkWidget* top = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
  if (const char* icon = IconName(MessageBoxIconOf(request.Flags))) {
    GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(top), image, FALSE, FALSE, 0);
  }
  std::string text = ScreenLines(ToScreen(request.Text, DEFAULT_CHARSET));
  GtkWidget* label = gtk_label_new(text.c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
  gtk_label_set_selectable(GTK_LABEL(label), FALSE);
  std::string family = ScreenFontFamily("MS Sans Serif", GetACP(), text);
  SetWidgetCss(label, "* { font-family: " + CssFamilies(family) + "; }");
  gtk_box_pack_start(GTK_BOX(top), label, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(outer), top, TRUE, TRUE, 0);

  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_box_set_homogeneous(GTK_BOX(row), TRUE);
  gtk_widget_set_halign(row, GTK_ALIGN_CENTER);
  int defaultId = MessageBoxDefaultButton(request.Flags);
  GtkWidget* defaultButton = nullptr;
  for (int id : MessageBoxButtons(request.Flags)) {
    std::string caption = MessageBoxButtonText(id, request.Language);
    GtkWidget* button = gtk_button_new_with_mnemonic(caption.c_str());
    gtk_widget_set_size_request(button, 80, -1);
    SetWidgetCss(
        gtk_bin_get_child(GTK_BIN(button)),
        "* { font-family: " + CssFamilies(ScreenFontFamily("MS Sans Serif", 950, caption)) + "; }");
    g_object_set_data(G_OBJECT(button), "kvb-id", GINT_TO_POINTER(id));
    g_signal_connect(button, "clicked", G_CALLBACK(OnButton), this);
    gtk_box_pack_start(GTK_BOX(row), button, FALSE, FALSE, 0);
    gtk_widget_set_can_default(button, TRUE);
    if (id == defaultId) defaultButton = button;
    FButtons.emplace_back(id, button);
  }
  gtk_box_pack_start(GTK_BOX(outer), row, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(FWindow), outer);
  g_signal_connect(FWindow, "key-press-event", G_CALLBACK(OnKey), this);
  g_signal_connect(FWindow, "delete-event", G_CALLBACK(OnDelete), this);
  gtk_widget_show_all(FWindow);
  if (defaultButton) {
    gtk_window_set_default(GTK_WINDOW(FWindow), defaultButton);
    gtk_widget_grab_focus(defaultButton);
  }
  gtk_window_present(GTK_WINDOW(FWindow));
}

TGtkMessageBox::~TGtkMessageBox() {
  FSet->BoxClosed(this);
  gtk_widget_destroy(FWindow);
}

GtkWidget* TGtkMessageBox::Button(int id) const {
  for (auto& [buttonId, widget] : FButtons)
    if (buttonId == id) return widget;
  return nullptr;
}

void TGtkMessageBox::Answer(int result) {
  if (result == 0 || Result != 0) return;
  Result = result;
  WakeMessageLoop();
}

void TGtkMessageBox::OnButton(GtkButton* button, gpointer self) {
  static_cast<TGtkMessageBox*>(self)->Answer(
      GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "kvb-id")));
}

gboolean TGtkMessageBox::OnKey(GtkWidget*, GdkEventKey* event, gpointer self) {
  auto* box = static_cast<TGtkMessageBox*>(self);
  if (event->keyval == GDK_KEY_Escape) {
    box->Answer(MessageBoxEscapeResult(box->FFlags));
    return TRUE;
  }
  return FALSE;
}

gboolean TGtkMessageBox::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
  auto* box = static_cast<TGtkMessageBox*>(self);
  box->Answer(MessageBoxEscapeResult(box->FFlags));
  return TRUE;  // the box's owner destroys the window
}

bool gGtkStarted = false;

}  // namespace

std::unique_ptr<TWidgetSet> CreateGtkWidgetSet(std::string* error) {
  auto fail = [&](const std::string& why) -> std::unique_ptr<TWidgetSet> {
    if (error) *error = why;
    return nullptr;
  };
  if (!gGtkStarted) {
    // Accessibility is not used; without this GTK may complain about a missing bus.
    g_setenv("NO_AT_BRIDGE", "1", FALSE);
    if (!gtk_init_check(nullptr, nullptr)) {
      const char* display = g_getenv("DISPLAY");
      return fail(std::string("GTK cannot open the display") +
                  (display && *display ? std::string(" ") + display
                                       : std::string(" (DISPLAY is not set)")));
    }
    gGtkStarted = true;
  }
  if (!gdk_display_get_default()) {
    // The display of an earlier widget set was closed: open it again.
    GdkDisplay* display = gdk_display_open(nullptr);
    if (!display) return fail("GTK cannot open the display again");
    gdk_display_manager_set_default_display(gdk_display_manager_get(), display);
  }
  InstallControlSheet();
  auto set = std::make_unique<TGtkWidgetSet>();
  if (!set->Acquired()) return fail("GLib's main context belongs to another thread");
  gActive = set.get();
  return set;
}

bool UseGtkWidgetSet(std::string* error) {
  auto set = CreateGtkWidgetSet(error);
  if (!set) return false;
  Application->SetWidgetSet(std::move(set));
  return true;
}

bool ProbeGtkMessageBoxButton(int id, TWidgetProbe& probe) {
  auto* set = dynamic_cast<TGtkWidgetSet*>(&WidgetSet());
  return set && set->ProbeBoxButton(id, probe);
}
