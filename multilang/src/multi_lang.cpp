#include "multilang/multi_lang.h"

#include <functional>

#include "forms/class_registry.h"
#include "forms/com_controls.h"
#include "forms/dialogs.h"
#include "forms/ext_controls.h"
#include "forms/file_controls.h"
#include "forms/form.h"
#include "forms/menus.h"
#include "forms/properties.h"
#include "forms/std_controls.h"

namespace {

bool HasStrProp(const TObject* object, const char* name) {
  return PropIsKind(object, name, TTypeKind::tkString);
}

// A sorted list refuses texts by position: it is unsorted while they are set and sorted
// again afterwards.
template <class F>
void WithListUnsorted(TStrings* list, F&& apply) {
  auto* sorted = dynamic_cast<TStringList*>(list);
  if (!sorted || !sorted->Sorted()) {
    apply();
    return;
  }
  sorted->SetSorted(false);
  try {
    apply();
  } catch (...) {
    sorted->SetSorted(true);
    throw;
  }
  sorted->SetSorted(true);
}

// Sets a sort type (none while texts are set by position) and puts the old one back.
template <class View, class F>
void WithSortTypeNone(View* view, F&& apply) {
  TSortType saved = view->SortType();
  view->SetSortType(stNone);
  try {
    apply();
  } catch (...) {
    view->SetSortType(saved);
    throw;
  }
  view->SetSortType(saved);
}

[[maybe_unused]] const bool kRegistered = (RegisterMultiLangClasses(), true);

}  // namespace

void RegisterMultiLangClasses() {
  RegisterClasses({&TBaseMultiLang::StaticClass(), &TMultiLang::StaticClass()});
}

const TClassRecord& TMultiLang::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TMultiLang, TBaseMultiLang>(
      "TMultiLang", [](TClassBuilder<TMultiLang>&) {});
  return record;
}

// Reads the groups of one component from a cursor. A group after the component's first one
// is its own only when it is a continuation group: a table that gives a control fewer groups
// than it has texts must not hand it the next control's group.
class TMultiLang::TReader {
 public:
  TReader(TMultiLang& owner, int start) : FOwner(owner), FStart(start), FCursor(start) {}

  int Cursor() const { return FCursor; }
  bool Moved() const { return FCursor != FStart; }

  bool AtContinuation() const {
    const TStrings* words = FOwner.Words();
    return FCursor < words->Count() && IsContinuationKey(words->Get(FCursor));
  }
  bool AtOwnGroup() const { return !Moved() || AtContinuation(); }
  // Whether the group at the cursor has a line for the active language.
  bool HasTextLine() const {
    return static_cast<long long>(FCursor) + FOwner.ActiveLanguage() + 1 < FOwner.Words()->Count();
  }

  // One text of the component; `set` only runs when there is one.
  template <class F>
  void One(F&& set) {
    std::string text;
    if (AtOwnGroup() && FOwner.NextText(FCursor, text)) set(text);
  }
  bool Next(std::string& text) { return FOwner.NextText(FCursor, text); }
  bool Hint(std::string& hint) { return FOwner.NextHint(FCursor, hint); }

  // List rule: items from the first own group on, the items left over become empty.
  void List(TStrings* list) {
    if (!AtOwnGroup() || !HasTextLine() || list->Count() == 0) return;
    WithListUnsorted(list, [&] {
      int i = 0;
      for (;;) {
        std::string text;
        if (Next(text)) list->Put(i, text);
        ++i;
        if (!AtContinuation() || i >= list->Count()) break;
      }
      for (int k = i; k < list->Count(); ++k) list->Put(k, "");
    });
  }

  // Sequence rule: elements 0, 1 ... of a collection of `size`; the rest keep their texts.
  void Sequence(int size, const std::function<void(int, const std::string&)>& set) {
    if (!AtOwnGroup()) return;
    for (int k = 0;; ++k) {
      if (!HasTextLine() || k >= size) return;
      std::string text;
      if (Next(text)) set(k, text);
      if (!AtContinuation()) return;
    }
  }

 private:
  TMultiLang& FOwner;
  int FStart;
  int FCursor;
};

void TMultiLang::TranslateComponent(TComponent* component, int& index) {
  if (!component) return;
  ApplyPosition(component, false);
  TReader r(*this, index < 0 ? 0 : index);

  if (MayTranslate(component)) {
    if (auto* c = As<TListBox>(component)) {
      r.List(c->Items());
      // The data-aware controls (list, radio group, grid, combo box, field, navigator) have
      // no classes in this program.
    } else if (auto* c = As<TCustomForm>(component)) {
      r.One([&](const std::string& t) { c->SetCaption(t); });
    } else if (auto* c = As<TRadioGroup>(component)) {
      r.One([&](const std::string& t) { c->SetCaption(t); });
      r.List(c->Items());
    } else if (auto* c = As<TMemo>(component)) {
      r.List(c->Lines());
    } else if (auto* c = As<THeader>(component)) {
      r.List(c->Sections());
    } else if (auto* c = As<TTabSet>(component)) {
      r.List(c->Tabs());
    } else if (auto* c = As<TNotebook>(component)) {  // also the tabbed notebook
      r.List(c->Pages());
    } else if (auto* c = As<TTabControl>(component)) {
      r.List(c->Tabs());
    } else if (auto* c = As<TTreeView>(component)) {
      // Node k takes the k-th text in the order before the switch; a sorted view sorts the
      // new texts afterwards.
      WithSortTypeNone(c, [&] {
        TTreeNodes* nodes = c->Items();
        r.Sequence(nodes->Count(),
                   [&](int k, const std::string& t) { nodes->Item(k)->SetText(t); });
      });
    } else if (auto* c = As<TListView>(component)) {
      TListColumns* columns = c->Columns();
      r.Sequence(columns->Count(),
                 [&](int k, const std::string& t) { columns->Items(k)->SetCaption(t); });
      WithSortTypeNone(c, [&] {
        TListItems* items = c->Items();
        // Without columns the first item starts at the view's own first group.
        for (int k = 0; k < items->Count() && r.AtOwnGroup() && r.HasTextLine(); ++k) {
          TListItem* item = items->Item(k);
          r.One([&](const std::string& t) { item->SetCaption(t); });
          r.List(item->SubItems());
        }
      });
    } else if (auto* c = As<TStatusBar>(component)) {
      r.One([&](const std::string& t) { c->SetSimpleText(t); });
      TStatusPanels* panels = c->Panels();
      for (int k = 0; k < panels->Count() && r.AtContinuation(); ++k) {
        std::string text;
        if (!r.Next(text)) break;
        panels->Items(k)->SetText(text);
      }
    } else if (auto* c = As<THeaderControl>(component)) {
      THeaderSections* sections = c->Sections();
      r.Sequence(sections->Count(),
                 [&](int k, const std::string& t) { sections->Items(k)->SetText(t); });
    } else if (auto* c = As<TComboBox>(component)) {
      int selected = c->ItemIndex();
      try {
        r.List(c->Items());
      } catch (...) {
        c->SetItemIndex(selected);
        throw;
      }
      c->SetItemIndex(selected);
    } else if (auto* c = As<TFilterComboBox>(component)) {
      r.One([&](const std::string& t) { c->SetFilter(t); });
    } else if (auto* c = As<TOpenDialog>(component)) {  // also the save dialog
      r.One([&](const std::string& t) { c->SetTitle(t); });
      r.One([&](const std::string& t) { c->SetFilter(t); });
    } else if (auto* c = As<TMenuItem>(component)) {
      r.One([&](const std::string& t) { c->SetCaption(t); });
    } else {
      if (HasStrProp(component, "Caption"))
        r.One([&](const std::string& t) { SetStrProp(component, "Caption", t); });
      if (!As<TMaskEdit>(component) && HasStrProp(component, "Text"))
        r.One([&](const std::string& t) { SetStrProp(component, "Text", t); });
    }
  }

  if (HasStrProp(component, "Hint")) {
    std::string text;
    // A component that used no group (its texts are not translated) passes over its first.
    if (!r.Moved()) r.Next(text);
    std::string hint;
    if (r.Hint(hint)) SetStrProp(component, "Hint", hint);
  }
  index = r.Cursor();
}

void TMultiLang::CollectComponent(TComponent* component, int row, TEditingGrid* grid) {
  if (!component) return;
  StorePosition(component, false);
  if (!grid) throw EAssertionFailed("Assertion failed (MLang)");
  if (row < 0) row = 0;
  int current = row;
  const int column = 1 + ActiveLanguage();
  auto add = [&](const std::string& text) {
    grid->SetCells(0, current, std::string(kContinuationKey));
    grid->SetCells(column, current, text);
    ++current;
    grid->SetRowCount(grid->RowCount() + 1);
    for (int col = 0; col < grid->ColCount(); ++col) grid->SetCells(col, grid->RowCount() - 1, "");
  };
  auto addAll = [&](const TStrings* list) {
    for (int i = 0; i < list->Count(); ++i) add(list->Get(i));
  };

  if (MayTranslate(component)) {
    if (auto* c = As<TListBox>(component)) {
      addAll(c->Items());
    } else if (auto* c = As<TForm>(component)) {
      add(c->Caption());
    } else if (auto* c = As<TRadioGroup>(component)) {
      add(c->Caption());
      addAll(c->Items());
    } else if (auto* c = As<TMemo>(component)) {
      addAll(c->Lines());
    } else if (auto* c = As<THeader>(component)) {
      addAll(c->Sections());
    } else if (auto* c = As<TTabSet>(component)) {
      addAll(c->Tabs());
    } else if (auto* c = As<TNotebook>(component)) {
      addAll(c->Pages());
    } else if (auto* c = As<TTabControl>(component)) {
      addAll(c->Tabs());
    } else if (auto* c = As<TTreeView>(component)) {
      for (int k = 0; k < c->Items()->Count(); ++k) add(c->Items()->Item(k)->Text());
    } else if (auto* c = As<TListView>(component)) {
      for (int k = 0; k < c->Columns()->Count(); ++k) add(c->Columns()->Items(k)->Caption());
      for (int k = 0; k < c->Items()->Count(); ++k) {
        add(c->Items()->Item(k)->Caption());
        addAll(c->Items()->Item(k)->SubItems());
      }
    } else if (auto* c = As<TStatusBar>(component)) {
      add(c->SimpleText());
      for (int k = 0; k < c->Panels()->Count(); ++k) add(c->Panels()->Items(k)->Text());
    } else if (auto* c = As<THeaderControl>(component)) {
      for (int k = 0; k < c->Sections()->Count(); ++k) add(c->Sections()->Items(k)->Text());
    } else if (auto* c = As<TComboBox>(component)) {
      addAll(c->Items());
    } else if (auto* c = As<TFilterComboBox>(component)) {
      add(c->Filter());
    } else if (auto* c = As<TOpenDialog>(component)) {
      add(c->Title());
      add(c->Filter());
    } else if (auto* c = As<TMenuItem>(component)) {
      add(c->Caption());
    } else {
      if (HasStrProp(component, "Caption")) add(GetStrProp(component, "Caption"));
      if (!As<TMaskEdit>(component) && HasStrProp(component, "Text"))
        add(GetStrProp(component, "Text"));
    }
  }

  if (HasStrProp(component, "Hint")) {
    std::string hint = GetStrProp(component, "Hint");
    if (!hint.empty()) {
      if (current == row) add("");
      add(hint);
      grid->SetCells(0, current - 1, std::string(kHintKey));
    }
  }
  if (current > row) grid->SetCells(0, row, component->Name());
}
