// Status line, tab control, header control, tree view and list view.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "forms/collection.h"
#include "forms/std_controls.h"

class TStatusPanel : public TCollectionItem {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TStatusPanel(TCollection* collection) : TCollectionItem(collection) {}

  const std::string& Text() const { return FText; }
  void SetText(const std::string& text);
  int Width() const { return FWidth; }
  void SetWidth(int width);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment alignment);

 private:
  std::string FText;
  int FWidth = 50;
  TAlignment FAlignment = taLeftJustify;
};
using TStatusPanels = TCollectionOf<TStatusPanel>;

// A status line: one simple text (SimplePanel) or a row of panels.
class TStatusBar : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TStatusBar(TComponent* owner);

  TStatusPanels* Panels() const { return FPanels.get(); }
  void SetPanels(TStatusPanels* panels);
  bool SimplePanel() const { return FSimplePanel; }
  void SetSimplePanel(bool simple);
  const std::string& SimpleText() const { return FSimpleText; }
  void SetSimpleText(const std::string& text);
  bool SizeGrip() const { return FSizeGrip; }
  void SetSizeGrip(bool grip);

 private:
  std::unique_ptr<TStatusPanels> FPanels;
  bool FSimplePanel = false;
  std::string FSimpleText;
  bool FSizeGrip = true;
};

class TTabControl : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TTabControl(TComponent* owner);

  TStrings* Tabs() const { return FTabs.get(); }
  void SetTabs(TStrings* tabs);
  int TabIndex() const { return FTabIndex; }
  void SetTabIndex(int index);

 private:
  std::unique_ptr<TStringList> FTabs;
  int FTabIndex = -1;
};

class THeaderSection : public TCollectionItem {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit THeaderSection(TCollection* collection) : TCollectionItem(collection) {}

  const std::string& Text() const { return FText; }
  void SetText(const std::string& text);
  int Width() const { return FWidth; }
  void SetWidth(int width);

 private:
  std::string FText;
  int FWidth = 50;
};
using THeaderSections = TCollectionOf<THeaderSection>;

class THeaderControl : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit THeaderControl(TComponent* owner);

  THeaderSections* Sections() const { return FSections.get(); }
  void SetSections(THeaderSections* sections);

 private:
  std::unique_ptr<THeaderSections> FSections;
};

enum TSortType { stNone, stData, stText, stBoth };
const TEnumInfo& SortTypeInfo();

class TTreeNodes;

// A node of a tree view. Its number in the whole tree (AbsoluteIndex) counts the nodes
// before it in the order they are shown with every branch open.
class TTreeNode {
 public:
  TTreeNode(TTreeNodes* owner, TTreeNode* parent, std::string text);
  TTreeNode(const TTreeNode&) = delete;
  TTreeNode& operator=(const TTreeNode&) = delete;

  const std::string& Text() const { return FText; }
  // In a view sorted by text, the node's level is sorted again.
  void SetText(const std::string& text);
  TTreeNode* Parent() const { return FParent; }
  int Count() const { return static_cast<int>(FChildren.size()); }
  TTreeNode* Item(int index) const;
  int Index() const;
  int AbsoluteIndex() const;
  int Level() const;
  TTreeNodes* Owner() const { return FOwner; }
  void* Data = nullptr;

 private:
  friend class TTreeNodes;
  TTreeNodes* FOwner;
  TTreeNode* FParent;
  std::string FText;
  std::vector<std::unique_ptr<TTreeNode>> FChildren;
};

class TTreeView;

class TTreeNodes : public TPersistent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TTreeNodes(TTreeView* owner) : FOwner(owner) {}

  TTreeView* Owner() const { return FOwner; }
  // All nodes of the tree.
  int Count() const;
  // By absolute index; raises EStringListError outside the tree.
  TTreeNode* Item(int absoluteIndex) const;
  TTreeNode* GetFirstNode() const { return FRoots.empty() ? nullptr : FRoots.front().get(); }
  int RootCount() const { return static_cast<int>(FRoots.size()); }
  TTreeNode* Root(int index) const;
  // A node at the level of `sibling` (the top level for null), last or in sorted place.
  TTreeNode* Add(TTreeNode* sibling, const std::string& text);
  TTreeNode* AddChild(TTreeNode* parent, const std::string& text);
  void Delete(TTreeNode* node);
  void Clear();

  void Assign(const TPersistent* source) override;

 private:
  friend class TTreeNode;
  friend class TTreeView;
  std::vector<std::unique_ptr<TTreeNode>>& LevelOf(TTreeNode* parent);
  void SortLevel(TTreeNode* parent, bool deep);
  void Changed();

  TTreeView* FOwner;
  std::vector<std::unique_ptr<TTreeNode>> FRoots;
};

class TTreeView : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TTreeView(TComponent* owner);

  TTreeNodes* Items() const { return FItems.get(); }
  void SetItems(TTreeNodes* items);
  TSortType SortType() const { return FSortType; }
  // stText and stBoth sort every level by text at once and keep it sorted.
  void SetSortType(TSortType sortType);
  // Sorts every level by text.
  void AlphaSort();
  bool SortsByText() const { return FSortType == stText || FSortType == stBoth; }

 private:
  friend class TTreeNodes;
  std::unique_ptr<TTreeNodes> FItems;
  TSortType FSortType = stNone;
};

class TListColumn : public TCollectionItem {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TListColumn(TCollection* collection) : TCollectionItem(collection) {}

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& caption);
  int Width() const { return FWidth; }
  void SetWidth(int width);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment alignment);

 private:
  std::string FCaption;
  int FWidth = 50;
  TAlignment FAlignment = taLeftJustify;
};
using TListColumns = TCollectionOf<TListColumn>;

class TListItems;

class TListItem {
 public:
  explicit TListItem(TListItems* owner);
  TListItem(const TListItem&) = delete;
  TListItem& operator=(const TListItem&) = delete;

  const std::string& Caption() const { return FCaption; }
  // In a view sorted by text, the items are sorted again.
  void SetCaption(const std::string& caption);
  TStrings* SubItems() const { return FSubItems.get(); }
  int Index() const;
  TListItems* Owner() const { return FOwner; }
  void* Data = nullptr;

 private:
  friend class TListItems;
  TListItems* FOwner;
  std::string FCaption;
  std::unique_ptr<TStringList> FSubItems;
};

class TListView;

class TListItems : public TPersistent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TListItems(TListView* owner) : FOwner(owner) {}

  TListView* Owner() const { return FOwner; }
  int Count() const { return static_cast<int>(FItems.size()); }
  TListItem* Item(int index) const;
  // A new item at the end (in a list sorted by text it moves to its place when captioned).
  TListItem* Add();
  void Delete(int index);
  void Clear();
  int IndexOf(const TListItem* item) const;

  void Assign(const TPersistent* source) override;

 private:
  friend class TListItem;
  friend class TListView;
  void Changed();
  void Sort();

  TListView* FOwner;
  std::vector<std::unique_ptr<TListItem>> FItems;
};

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

class TListView : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TListView(TComponent* owner);

  TListColumns* Columns() const { return FColumns.get(); }
  void SetColumns(TListColumns* columns);
  TListItems* Items() const { return FItems.get(); }
  void SetItems(TListItems* items);
  TSortType SortType() const { return FSortType; }
  void SetSortType(TSortType sortType);
  void AlphaSort();
  bool SortsByText() const { return FSortType == stText || FSortType == stBoth; }
  TViewStyle ViewStyle() const { return FViewStyle; }
  void SetViewStyle(TViewStyle style);

 private:
  friend class TListItems;
  std::unique_ptr<TListColumns> FColumns;
  std::unique_ptr<TListItems> FItems;
  TSortType FSortType = stNone;
  TViewStyle FViewStyle = vsIcon;
};
