#include "forms/object.h"

#include "forms/class_record.h"

const TClassRecord& TObject::StaticClass() {
  static const TClassRecord record("TObject", nullptr);
  return record;
}

const std::string& TObject::ClassName() const {
  return ClassType().ClassName();
}

bool TObject::InheritsFrom(const TClassRecord& record) const {
  return ClassType().InheritsFrom(record);
}

bool TObject::InheritsFrom(const std::string& className) const {
  return ClassType().InheritsFrom(className);
}

void TObject::Free(TObject* object) {
  if (!object) return;
  object->BeforeDestruction();
  delete object;
}

const TClassRecord& TPersistent::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TPersistent, TObject>("TPersistent", [](TClassBuilder<TPersistent>&) {});
  return record;
}

void TPersistent::Assign(const TPersistent* source) {
  if (source && source->AssignTo(this)) return;
  throw platform::EConvertError("Cannot assign a " +
                                (source ? source->ClassName() : std::string("nil")) + " to a " +
                                ClassName());
}

bool TPersistent::AssignTo(TPersistent*) const {
  return false;
}
