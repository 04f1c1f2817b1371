// Collections: owned lists of items with published properties (status bar panels, list view
// columns, header sections). Stored in a description as <item ... end item ... end>.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "forms/object.h"

class TCollection;

class TCollectionItem : public TPersistent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TCollectionItem(TCollection* collection) : FCollection(collection) {}

  TCollection* Collection() const { return FCollection; }
  int Index() const;
  // Copies every published property that both items have.
  void Assign(const TPersistent* source) override;

 protected:
  // Tells the collection (and so its owner) that this item changed.
  void Changed();

 private:
  TCollection* FCollection;
};

class TCollection : public TPersistent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  using TItemFactory = std::function<TCollectionItem*(TCollection*)>;
  TCollection(const TClassRecord& itemClass, TItemFactory factory);
  ~TCollection() override;

  const TClassRecord& ItemClass() const { return FItemClass; }
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EStringListError "List index out of bounds" outside the list.
  TCollectionItem* Items(int index) const;
  TCollectionItem* Add();
  TCollectionItem* Insert(int index);
  void Delete(int index);
  void Clear();
  int IndexOf(const TCollectionItem* item) const;
  // Same number of items, each item copied.
  void Assign(const TPersistent* source) override;

  void BeginUpdate();
  void EndUpdate();
  // For the owner that shows the collection: called after every change.
  void SetObserver(std::function<void()> observer) { FObserver = std::move(observer); }
  void Changed();

 private:
  const TClassRecord& FItemClass;
  TItemFactory FFactory;
  std::vector<std::unique_ptr<TCollectionItem>> FItems;
  int FUpdateCount = 0;
  bool FPending = false;
  std::function<void()> FObserver;
};

// A collection of items of class T, with typed access.
template <class T>
class TCollectionOf : public TCollection {
 public:
  TCollectionOf()
      : TCollection(T::StaticClass(), [](TCollection* c) -> TCollectionItem* { return new T(c); }) {
  }
  T* Items(int index) const { return static_cast<T*>(TCollection::Items(index)); }
  T* Add() { return static_cast<T*>(TCollection::Add()); }
  T* Insert(int index) { return static_cast<T*>(TCollection::Insert(index)); }
};
