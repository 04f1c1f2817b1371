// Texts, styles and pictures of the GTK widget set: the model's code-page bytes as UTF-8 for
// the screen and back, the CSS that gives each widget its control's font and colours, the
// widget set's own sheet, and PNG pictures as pixbufs.
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

}  // namespace gtkws
