// Root classes: TObject (class record, destruction through Free) and TPersistent (Assign).
#pragma once

#include <string>

class TClassRecord;

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  static const TClassRecord& StaticClass();
  // Every class with a record of its own overrides this.
  virtual const TClassRecord& ClassType() const { return StaticClass(); }
  const std::string& ClassName() const;
  bool InheritsFrom(const TClassRecord& record) const;
  // By name, for classes that may not exist in this program.
  bool InheritsFrom(const std::string& className) const;

  // Runs while the object is still whole, right before it is deleted by Free: destruction
  // handlers and the release of owned components belong here, not in destructors.
  virtual void BeforeDestruction() {}
  // Ends the object's life: BeforeDestruction, then delete. Null is ignored.
  static void Free(TObject* object);
};

class TPersistent : public TObject {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  // Copies the state of `source`; raises EConvertError ("Cannot assign a TX to a TY") when the
  // two classes do not know each other.
  virtual void Assign(const TPersistent* source);

 protected:
  // Asked by Assign when this class cannot take `source`: may copy into `dest` instead.
  virtual bool AssignTo(TPersistent* dest) const;
};

// `object` as a T when it is of class T or a descendant; null otherwise.
template <class T>
T* As(TObject* object) {
  return dynamic_cast<T*>(object);
}
