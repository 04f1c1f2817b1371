// Message boxes: a modal window of their own with an icon, the text and the buttons in the
// language asked for; the buttons set the result and wake the loop.
#include "gtk_widgets.h"

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
#include "platform/codepages.h"

namespace gtkws {

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

}  // namespace gtkws
