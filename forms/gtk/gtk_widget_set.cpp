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
#include "gtk_widgets.h"
#include "platform/codepages.h"

namespace gtkws {

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

void TGtkWidgetSet::BuildChildren(TWinControl* parent) {
  GtkWidget* container = ContainerOf(parent);
  if (!container) return;
  for (int i = 0; i < parent->ControlCount(); ++i) Build(parent->Controls(i), container);
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

}  // namespace gtkws

using namespace gtkws;

namespace {

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
