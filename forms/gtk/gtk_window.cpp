// The window of a form: a GtkWindow holding a GtkFixed, with the program's icon; Tab and
// Shift+Tab move the focus through the window's tab order, as in a dialog.
#include "gtk_widgets.h"

#include <algorithm>
#include <cstdio>
#include <functional>
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
#include "platform/codepages.h"

namespace gtkws {

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

// The widgets that take the focus, in the tab order of the window: each parent's controls by
// TabOrder (those without one after them, in creation order), a container's own controls
// right after it; hidden and disabled controls, and everything inside them, left out.
void TGtkWidgetSet::TabChain(TWinControl* parent, std::vector<GtkWidget*>& chain) {
  for (TWinControl* child : parent->TabOrderList()) {
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

}  // namespace gtkws
