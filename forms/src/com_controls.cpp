#include "forms/com_controls.h"

#include <algorithm>
#include <functional>

#include "forms/class_record.h"

const TEnumInfo& SortTypeInfo() {
  static const TEnumInfo info{"TSortType", {"stNone", "stData", "stText", "stBoth"}};
  return info;
}

namespace {
// Order of texts in views sorted by text: letter case ignored, then the bytes.
bool TextBefore(const std::string& a, const std::string& b) {
  int c = CompareTextAscii(a, b);
  return c != 0 ? c < 0 : a < b;
}
}  // namespace

// ---------------------------------------------------------------------------------------------

const TClassRecord& TStatusPanel::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TStatusPanel, TCollectionItem>(
      "TStatusPanel", [](TClassBuilder<TStatusPanel>& c) {
        c.Enum("Alignment", &TStatusPanel::Alignment, &TStatusPanel::SetAlignment, AlignmentInfo())
            .Default(taLeftJustify);
        c.Str("Text", &TStatusPanel::Text, &TStatusPanel::SetText);
        c.Int("Width", &TStatusPanel::Width, &TStatusPanel::SetWidth).Default(50);
      });
  return record;
}

void TStatusPanel::SetText(const std::string& text) {
  if (text == FText) return;
  FText = text;
  Changed();
}

void TStatusPanel::SetWidth(int width) {
  if (width == FWidth) return;
  FWidth = width;
  Changed();
}

void TStatusPanel::SetAlignment(TAlignment alignment) {
  if (alignment == FAlignment) return;
  FAlignment = alignment;
  Changed();
}

const TClassRecord& TStatusBar::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TStatusBar, TWinControl>("TStatusBar", [](TClassBuilder<TStatusBar>& c) {
        c.Object("Panels", &TStatusBar::Panels, &TStatusBar::SetPanels);
        c.Bool("SimplePanel", &TStatusBar::SimplePanel, &TStatusBar::SetSimplePanel).Default(0);
        c.Str("SimpleText", &TStatusBar::SimpleText, &TStatusBar::SetSimpleText);
        c.Bool("SizeGrip", &TStatusBar::SizeGrip, &TStatusBar::SetSizeGrip).Default(1);
      });
  return record;
}

TStatusBar::TStatusBar(TComponent* owner)
    : TWinControl(owner), FPanels(std::make_unique<TStatusPanels>()) {
  SetBounds(0, 0, 300, 19);
  FPanels->SetObserver([this] { Changed(TWidgetChange::wcItems); });
}

void TStatusBar::SetPanels(TStatusPanels* panels) {
  FPanels->Assign(panels);
}

void TStatusBar::SetSimplePanel(bool simple) {
  if (simple == FSimplePanel) return;
  FSimplePanel = simple;
  Changed(TWidgetChange::wcItems);
}

void TStatusBar::SetSimpleText(const std::string& text) {
  if (text == FSimpleText) return;
  FSimpleText = text;
  Changed(TWidgetChange::wcText);
}

void TStatusBar::SetSizeGrip(bool grip) {
  if (grip == FSizeGrip) return;
  FSizeGrip = grip;
  Changed(TWidgetChange::wcOptions);
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TTabControl::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TTabControl, TWinControl>(
      "TTabControl", [](TClassBuilder<TTabControl>& c) {
        c.Int("TabIndex", &TTabControl::TabIndex, &TTabControl::SetTabIndex).Default(-1);
        c.Strings("Tabs", &TTabControl::Tabs, &TTabControl::SetTabs);
      });
  return record;
}

TTabControl::TTabControl(TComponent* owner)
    : TWinControl(owner), FTabs(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 289, 193);
  FTabs->SetObserver([this] {
    if (FTabIndex >= FTabs->Count()) FTabIndex = FTabs->Count() - 1;
    Changed(TWidgetChange::wcItems);
  });
}

void TTabControl::SetTabs(TStrings* tabs) {
  FTabs->Assign(tabs);
}

void TTabControl::SetTabIndex(int index) {
  if (!Loading() && (index < -1 || index >= FTabs->Count())) return;
  if (index == FTabIndex) return;
  FTabIndex = index;
  Changed(TWidgetChange::wcItemIndex);
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& THeaderSection::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<THeaderSection, TCollectionItem>(
      "THeaderSection", [](TClassBuilder<THeaderSection>& c) {
        c.Str("Text", &THeaderSection::Text, &THeaderSection::SetText);
        c.Int("Width", &THeaderSection::Width, &THeaderSection::SetWidth).Default(50);
      });
  return record;
}

void THeaderSection::SetText(const std::string& text) {
  if (text == FText) return;
  FText = text;
  Changed();
}

void THeaderSection::SetWidth(int width) {
  if (width == FWidth) return;
  FWidth = width;
  Changed();
}

const TClassRecord& THeaderControl::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<THeaderControl, TWinControl>(
      "THeaderControl", [](TClassBuilder<THeaderControl>& c) {
        c.Object("Sections", &THeaderControl::Sections, &THeaderControl::SetSections);
      });
  return record;
}

THeaderControl::THeaderControl(TComponent* owner)
    : TWinControl(owner), FSections(std::make_unique<THeaderSections>()) {
  SetBounds(0, 0, 250, 17);
  FSections->SetObserver([this] { Changed(TWidgetChange::wcItems); });
}

void THeaderControl::SetSections(THeaderSections* sections) {
  FSections->Assign(sections);
}

// ---------------------------------------------------------------------------------------------

TTreeNode::TTreeNode(TTreeNodes* owner, TTreeNode* parent, std::string text)
    : FOwner(owner), FParent(parent), FText(std::move(text)) {}

void TTreeNode::SetText(const std::string& text) {
  if (text == FText) return;
  FText = text;
  if (FOwner->Owner() && FOwner->Owner()->SortsByText()) FOwner->SortLevel(FParent, false);
  FOwner->Changed();
}

TTreeNode* TTreeNode::Item(int index) const {
  if (index < 0 || index >= Count())
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  return FChildren[static_cast<std::size_t>(index)].get();
}

int TTreeNode::Index() const {
  auto& level = FOwner->LevelOf(FParent);
  for (std::size_t i = 0; i < level.size(); ++i)
    if (level[i].get() == this) return static_cast<int>(i);
  return -1;
}

int TTreeNode::AbsoluteIndex() const {
  // Nodes before this one: each earlier sibling with its whole branch, then the parent.
  int count = 0;
  std::function<int(const TTreeNode*)> branch = [&](const TTreeNode* n) {
    int total = 1;
    for (auto& child : n->FChildren) total += branch(child.get());
    return total;
  };
  const TTreeNode* node = this;
  while (node) {
    auto& level = node->FOwner->LevelOf(node->FParent);
    for (auto& sibling : level) {
      if (sibling.get() == node) break;
      count += branch(sibling.get());
    }
    if (node->FParent) ++count;
    node = node->FParent;
  }
  return count;
}

int TTreeNode::Level() const {
  int level = 0;
  for (TTreeNode* p = FParent; p; p = p->FParent) ++level;
  return level;
}

const TClassRecord& TTreeNodes::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TTreeNodes, TPersistent>(
      "TTreeNodes", [](TClassBuilder<TTreeNodes>&) {});
  return record;
}

std::vector<std::unique_ptr<TTreeNode>>& TTreeNodes::LevelOf(TTreeNode* parent) {
  return parent ? parent->FChildren : FRoots;
}

int TTreeNodes::Count() const {
  std::function<int(const std::vector<std::unique_ptr<TTreeNode>>&)> count = [&](auto& level) {
    int total = 0;
    for (auto& node : level) total += 1 + count(node->FChildren);
    return total;
  };
  return count(FRoots);
}

TTreeNode* TTreeNodes::Item(int absoluteIndex) const {
  int left = absoluteIndex;
  std::function<TTreeNode*(const std::vector<std::unique_ptr<TTreeNode>>&)> find =
      [&](auto& level) -> TTreeNode* {
    for (auto& node : level) {
      if (left == 0) return node.get();
      --left;
      if (TTreeNode* found = find(node->FChildren)) return found;
    }
    return nullptr;
  };
  TTreeNode* node = absoluteIndex >= 0 ? find(FRoots) : nullptr;
  if (!node)
    throw EStringListError("List index out of bounds (" + std::to_string(absoluteIndex) + ")");
  return node;
}

TTreeNode* TTreeNodes::Root(int index) const {
  if (index < 0 || index >= RootCount())
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  return FRoots[static_cast<std::size_t>(index)].get();
}

TTreeNode* TTreeNodes::Add(TTreeNode* sibling, const std::string& text) {
  return AddChild(sibling ? sibling->FParent : nullptr, text);
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, const std::string& text) {
  auto& level = LevelOf(parent);
  auto node = std::make_unique<TTreeNode>(this, parent, text);
  TTreeNode* added = node.get();
  auto place = level.end();
  if (FOwner && FOwner->SortsByText())
    place = std::upper_bound(level.begin(), level.end(), text,
                             [](const std::string& t, auto& n) { return TextBefore(t, n->FText); });
  level.insert(place, std::move(node));
  Changed();
  return added;
}

void TTreeNodes::Delete(TTreeNode* node) {
  if (!node) return;
  std::erase_if(LevelOf(node->FParent), [node](auto& n) { return n.get() == node; });
  Changed();
}

void TTreeNodes::Clear() {
  if (FRoots.empty()) return;
  FRoots.clear();
  Changed();
}

void TTreeNodes::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TTreeNodes*>(source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;
  FRoots.clear();
  std::function<void(TTreeNode*, const std::vector<std::unique_ptr<TTreeNode>>&)> copy =
      [&](TTreeNode* parent, auto& level) {
        for (auto& node : level) {
          auto& target = LevelOf(parent);
          target.push_back(std::make_unique<TTreeNode>(this, parent, node->FText));
          target.back()->Data = node->Data;
          copy(target.back().get(), node->FChildren);
        }
      };
  copy(nullptr, other->FRoots);
  if (FOwner && FOwner->SortsByText()) SortLevel(nullptr, true);
  Changed();
}

void TTreeNodes::SortLevel(TTreeNode* parent, bool deep) {
  auto& level = LevelOf(parent);
  std::stable_sort(level.begin(), level.end(),
                   [](auto& a, auto& b) { return TextBefore(a->FText, b->FText); });
  if (deep)
    for (auto& node : level) SortLevel(node.get(), true);
}

void TTreeNodes::Changed() {
  if (FOwner) FOwner->Changed(TWidgetChange::wcItems);
}

const TClassRecord& TTreeView::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TTreeView, TWinControl>("TTreeView", [](TClassBuilder<TTreeView>& c) {
        c.Object("Items", &TTreeView::Items, &TTreeView::SetItems).NotStored();
        c.Enum("SortType", &TTreeView::SortType, &TTreeView::SetSortType, SortTypeInfo())
            .Default(stNone);
      });
  return record;
}

TTreeView::TTreeView(TComponent* owner)
    : TWinControl(owner), FItems(std::make_unique<TTreeNodes>(this)) {
  SetBounds(0, 0, 121, 97);
  SetColor(clWindow);
}

void TTreeView::SetItems(TTreeNodes* items) {
  FItems->Assign(items);
}

void TTreeView::SetSortType(TSortType sortType) {
  if (sortType == FSortType) return;
  FSortType = sortType;
  if (SortsByText()) AlphaSort();
}

void TTreeView::AlphaSort() {
  FItems->SortLevel(nullptr, true);
  FItems->Changed();
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TListColumn::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TListColumn, TCollectionItem>(
      "TListColumn", [](TClassBuilder<TListColumn>& c) {
        c.Enum("Alignment", &TListColumn::Alignment, &TListColumn::SetAlignment, AlignmentInfo())
            .Default(taLeftJustify);
        c.Str("Caption", &TListColumn::Caption, &TListColumn::SetCaption);
        c.Int("Width", &TListColumn::Width, &TListColumn::SetWidth).Default(50);
      });
  return record;
}

void TListColumn::SetCaption(const std::string& caption) {
  if (caption == FCaption) return;
  FCaption = caption;
  Changed();
}

void TListColumn::SetWidth(int width) {
  if (width == FWidth) return;
  FWidth = width;
  Changed();
}

void TListColumn::SetAlignment(TAlignment alignment) {
  if (alignment == FAlignment) return;
  FAlignment = alignment;
  Changed();
}

TListItem::TListItem(TListItems* owner)
    : FOwner(owner), FSubItems(std::make_unique<TStringList>()) {
  FSubItems->SetObserver([this] { FOwner->Changed(); });
}

void TListItem::SetCaption(const std::string& caption) {
  if (caption == FCaption) return;
  FCaption = caption;
  if (FOwner->Owner() && FOwner->Owner()->SortsByText()) FOwner->Sort();
  FOwner->Changed();
}

int TListItem::Index() const {
  return FOwner->IndexOf(this);
}

const TClassRecord& TListItems::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TListItems, TPersistent>(
      "TListItems", [](TClassBuilder<TListItems>&) {});
  return record;
}

TListItem* TListItems::Item(int index) const {
  if (index < 0 || index >= Count())
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  return FItems[static_cast<std::size_t>(index)].get();
}

TListItem* TListItems::Add() {
  FItems.push_back(std::make_unique<TListItem>(this));
  Changed();
  return FItems.back().get();
}

void TListItems::Delete(int index) {
  Item(index);
  FItems.erase(FItems.begin() + index);
  Changed();
}

void TListItems::Clear() {
  if (FItems.empty()) return;
  FItems.clear();
  Changed();
}

int TListItems::IndexOf(const TListItem* item) const {
  for (std::size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == item) return static_cast<int>(i);
  return -1;
}

void TListItems::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TListItems*>(source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;
  FItems.clear();
  for (auto& item : other->FItems) {
    FItems.push_back(std::make_unique<TListItem>(this));
    FItems.back()->FCaption = item->FCaption;
    FItems.back()->FSubItems->Assign(item->FSubItems.get());
    FItems.back()->Data = item->Data;
  }
  if (FOwner && FOwner->SortsByText()) Sort();
  Changed();
}

void TListItems::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [](auto& a, auto& b) { return TextBefore(a->Caption(), b->Caption()); });
}

void TListItems::Changed() {
  if (FOwner) FOwner->Changed(TWidgetChange::wcItems);
}

const TClassRecord& TListView::StaticClass() {
  static const TEnumInfo styles{"TViewStyle", {"vsIcon", "vsSmallIcon", "vsList", "vsReport"}};
  static const TClassRecord record =
      TClassRecord::Define<TListView, TWinControl>("TListView", [](TClassBuilder<TListView>& c) {
        c.Object("Columns", &TListView::Columns, &TListView::SetColumns);
        c.Object("Items", &TListView::Items, &TListView::SetItems).NotStored();
        c.Enum("SortType", &TListView::SortType, &TListView::SetSortType, SortTypeInfo())
            .Default(stNone);
        c.Enum("ViewStyle", &TListView::ViewStyle, &TListView::SetViewStyle, styles)
            .Default(vsIcon);
      });
  return record;
}

TListView::TListView(TComponent* owner)
    : TWinControl(owner),
      FColumns(std::make_unique<TListColumns>()),
      FItems(std::make_unique<TListItems>(this)) {
  SetBounds(0, 0, 250, 150);
  SetColor(clWindow);
  FColumns->SetObserver([this] { Changed(TWidgetChange::wcItems); });
}

void TListView::SetColumns(TListColumns* columns) {
  FColumns->Assign(columns);
}

void TListView::SetItems(TListItems* items) {
  FItems->Assign(items);
}

void TListView::SetSortType(TSortType sortType) {
  if (sortType == FSortType) return;
  FSortType = sortType;
  if (SortsByText()) AlphaSort();
}

void TListView::AlphaSort() {
  FItems->Sort();
  FItems->Changed();
}

void TListView::SetViewStyle(TViewStyle style) {
  if (style == FViewStyle) return;
  FViewStyle = style;
  Changed(TWidgetChange::wcOptions);
}
