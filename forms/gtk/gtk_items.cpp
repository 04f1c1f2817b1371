// The controls with items: memos' lines, list boxes (the file list box among them), combo
// boxes, status line panels and radio groups; their rows, and which one is selected.
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

}  // namespace gtkws
