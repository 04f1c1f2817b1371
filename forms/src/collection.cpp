#include "forms/collection.h"

#include <algorithm>

#include "forms/class_record.h"

const TClassRecord& TCollectionItem::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TCollectionItem, TPersistent>(
      "TCollectionItem", [](TClassBuilder<TCollectionItem>&) {});
  return record;
}

int TCollectionItem::Index() const {
  return FCollection ? FCollection->IndexOf(this) : -1;
}

void TCollectionItem::Assign(const TPersistent* source) {
  if (!source || !source->InheritsFrom(ClassType())) {
    TPersistent::Assign(source);
    return;
  }
  for (const TPropInfo* info : ClassType().Properties()) {
    if (info->ReadOnly() || info->Kind == TTypeKind::tkEvent) continue;
    info->Set(*this, info->Get(*source));
  }
}

void TCollectionItem::Changed() {
  if (FCollection) FCollection->Changed();
}

const TClassRecord& TCollection::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TCollection, TPersistent>(
      "TCollection", [](TClassBuilder<TCollection>&) {});
  return record;
}

TCollection::TCollection(const TClassRecord& itemClass, TItemFactory factory)
    : FItemClass(itemClass), FFactory(std::move(factory)) {}

TCollection::~TCollection() = default;

TCollectionItem* TCollection::Items(int index) const {
  if (index < 0 || index >= Count())
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  return FItems[static_cast<std::size_t>(index)].get();
}

TCollectionItem* TCollection::Add() {
  return Insert(Count());
}

TCollectionItem* TCollection::Insert(int index) {
  if (index < 0 || index > Count())
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  FItems.insert(FItems.begin() + index, std::unique_ptr<TCollectionItem>(FFactory(this)));
  Changed();
  return FItems[static_cast<std::size_t>(index)].get();
}

void TCollection::Delete(int index) {
  Items(index);
  FItems.erase(FItems.begin() + index);
  Changed();
}

void TCollection::Clear() {
  if (FItems.empty()) return;
  FItems.clear();
  Changed();
}

int TCollection::IndexOf(const TCollectionItem* item) const {
  for (std::size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == item) return static_cast<int>(i);
  return -1;
}

void TCollection::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TCollection*>(source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;
  BeginUpdate();
  FItems.clear();
  for (int i = 0; i < other->Count(); ++i) Add()->Assign(other->Items(i));
  FPending = true;
  EndUpdate();
}

void TCollection::BeginUpdate() {
  ++FUpdateCount;
}

void TCollection::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0 && FPending) Changed();
}

void TCollection::Changed() {
  if (FUpdateCount > 0) {
    FPending = true;
    return;
  }
  FPending = false;
  if (FObserver) FObserver();
}
