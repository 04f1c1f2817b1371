#include "forms/description_reader.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "forms/class_record.h"
#include "forms/class_registry.h"
#include "forms/collection.h"
#include "forms/component.h"
#include "forms/form.h"
#include "platform/resources.h"

namespace {

struct TFixup {
  TObject* Target;
  const TPropInfo* Info;
  std::string Name;
  TDescPosition Position;
};

class TReader {
 public:
  TReader(TComponent* root, const std::string& source)
      : FRoot(root), FRootClass(&root->ClassType()), FSource(source) {}
  // A check: `standIn` takes the root's properties while handlers and fields are looked up in
  // `rootClass` without being bound.
  TReader(TComponent* standIn, const TClassRecord* rootClass, const std::string& source)
      : FRoot(standIn), FRootClass(rootClass), FSource(source), FBind(false) {}

  void Read(const TDescObject& desc) {
    if (!FRootClass->InheritsFrom(desc.ClassName))
      Fail(desc.Position,
           "The description is for class " + desc.ClassName + ", not " + FRootClass->ClassName());
    FRootDescName = desc.Name;
    FRoot->SetLoading(true);
    FLoaded.push_back(FRoot);
    try {
      if (!desc.Name.empty())
        Guard(desc.Position, desc.Name, [&] { FRoot->SetName(UniqueRootName(desc.Name)); });
      ApplyProperties(FRoot, desc.Properties, desc.Name);
      for (auto& child : desc.Children) ReadChild(FRoot, child);
      ResolveFixups();
    } catch (...) {
      Undo();
      throw;
    }
    for (TComponent* c : FLoaded) c->Loaded();
  }

 private:
  [[noreturn]] void Fail(TDescPosition at, const std::string& reason) const {
    throw EDescriptionError(FSource, at.Line, at.Column, reason);
  }

  // Runs `step`; an error it raises becomes an EDescriptionError at `at`.
  template <class F>
  void Guard(TDescPosition at, const std::string& where, F&& step) {
    try {
      step();
    } catch (const EDescriptionError&) {
      throw;
    } catch (const std::exception& e) {
      Fail(at, std::string(e.what()) + " (" + where + ")");
    }
  }

  void ReadChild(TComponent* parent, const TDescObject& desc) {
    const TClassRecord* record = FindClass(desc.ClassName);
    if (!record) Fail(desc.Position, "Class " + desc.ClassName + " not found");
    if (!record->CanCreate()) Fail(desc.Position, "Class " + desc.ClassName + " cannot be created");
    std::string where = desc.Name.empty() ? desc.ClassName : desc.Name;
    TComponent* component = nullptr;
    Guard(desc.Position, where, [&] { component = record->Create(FRoot); });
    FCreated.push_back(component);
    component->SetLoading(true);
    FLoaded.push_back(component);
    Guard(desc.Position, where, [&] {
      component->SetName(desc.Name);
      component->SetParentComponent(parent);
    });
    if (const TFieldInfo* field = FRootClass->FindField(desc.Name)) {
      if (!component->InheritsFrom(field->FieldClass()))
        Fail(desc.Position, "Field " + field->Name + " of " + FRootClass->ClassName() + " is a " +
                                field->FieldClass().ClassName() + ", not a " + desc.ClassName);
      if (FBind) field->Assign(*FRoot, component);
    }
    ApplyProperties(component, desc.Properties, where);
    for (auto& child : desc.Children) ReadChild(component, child);
  }

  void ApplyProperties(TObject* object, const std::vector<TDescProperty>& props,
                       const std::string& where) {
    for (auto& prop : props) ApplyProperty(object, prop, where);
  }

  void ApplyProperty(TObject* object, const TDescProperty& prop, const std::string& where) {
    std::string label = (where.empty() ? object->ClassName() : where) + "." + prop.Path;
    TObject* holder = object;
    std::string_view path = prop.Path;
    for (;;) {
      auto dot = path.find('.');
      std::string part(path.substr(0, dot));
      const TPropInfo* info = holder->ClassType().FindProperty(part);
      if (!info)
        Fail(prop.Position, "Unknown property " + part + " in class " + holder->ClassName() +
                                (holder == object ? "" : " (" + prop.Path + ")"));
      if (dot == std::string_view::npos) {
        SetValue(holder, info, prop.Value, label);
        return;
      }
      if (info->Kind != TTypeKind::tkObject)
        Fail(prop.Position, "Property " + part + " of class " + holder->ClassName() +
                                " has no parts (" + prop.Path + ")");
      holder = info->Get(*holder).AsObject();
      if (!holder) Fail(prop.Position, "Property " + part + " is empty (" + prop.Path + ")");
      path = path.substr(dot + 1);
    }
  }

  [[noreturn]] void BadValue(const TDescValue& v, const TPropInfo* info, const char* wanted) {
    static const char* kinds[] = {"a number", "a string", "an identifier",
                                  "a set",    "a list",   "a collection"};
    Fail(v.Position, "Property " + info->Name + " needs " + wanted + ", not " + kinds[v.Kind]);
  }

  void SetValue(TObject* holder, const TPropInfo* info, const TDescValue& v,
                const std::string& label) {
    if (info->ReadOnly() && info->Kind != TTypeKind::tkObject)
      Fail(v.Position, "Property " + info->Name + " is read-only");
    TValue value;
    switch (info->Kind) {
      case TTypeKind::tkInteger:
        if (v.Kind == TDescValue::vkInteger) {
          value = TValue::Integer(v.Integer);
        } else if (v.Kind == TDescValue::vkIdent) {
          std::int64_t named;
          if (!info->Idents || !info->Idents->ToValue(v.Text, named))
            Fail(v.Position, v.Text + " is not a value of property " + info->Name);
          value = TValue::Integer(named);
        } else {
          BadValue(v, info, "a number");
        }
        break;
      case TTypeKind::tkBool:
        if (v.Kind != TDescValue::vkIdent) BadValue(v, info, "True or False");
        if (SameTextAscii(v.Text, "True"))
          value = TValue::Boolean(true);
        else if (SameTextAscii(v.Text, "False"))
          value = TValue::Boolean(false);
        else
          Fail(v.Position, "Property " + info->Name + " needs True or False, not " + v.Text);
        break;
      case TTypeKind::tkString:
        if (v.Kind != TDescValue::vkString) BadValue(v, info, "a string");
        value = TValue::String(v.Text);
        break;
      case TTypeKind::tkEnum:
        if (v.Kind != TDescValue::vkIdent) BadValue(v, info, "an identifier");
        if (info->Enum->IndexOf(v.Text) < 0)
          Fail(v.Position, v.Text + " is not a value of " + info->Enum->TypeName + " (property " +
                               info->Name + ")");
        value = TValue::Enum(v.Text);
        break;
      case TTypeKind::tkSet:
        if (v.Kind != TDescValue::vkSet) BadValue(v, info, "a set");
        for (auto& item : v.Items)
          if (info->Enum->IndexOf(item) < 0)
            Fail(v.Position, item + " is not a value of " + info->Enum->TypeName + " (property " +
                                 info->Name + ")");
        value = TValue::Set(v.Items);
        break;
      case TTypeKind::tkStrings: {
        if (v.Kind != TDescValue::vkList) BadValue(v, info, "a list of strings");
        TStringList lines;
        for (auto& item : v.Items) lines.Add(item);
        Guard(v.Position, label, [&] { info->Set(*holder, TValue::Strings(&lines)); });
        return;
      }
      case TTypeKind::tkComponent:
        if (v.Kind != TDescValue::vkIdent) BadValue(v, info, "a component name");
        if (SameTextAscii(v.Text, "nil")) {
          value = TValue::Component(nullptr);
          break;
        }
        FFixups.push_back({holder, info, v.Text, v.Position});
        return;
      case TTypeKind::tkEvent:
        if (v.Kind != TDescValue::vkIdent) BadValue(v, info, "a handler name");
        if (SameTextAscii(v.Text, "nil")) {
          value = TValue::Event({}, {});
          break;
        }
        FHandlerFixups.push_back({holder, info, v.Text, v.Position});
        return;
      case TTypeKind::tkObject: {
        auto* collection = dynamic_cast<TCollection*>(info->Get(*holder).AsObject());
        if (!collection || v.Kind != TDescValue::vkCollection)
          Fail(v.Position, "Property " + info->Name + " is an object: set its parts (" +
                               info->Name + ".Name = ...)");
        ReadCollection(collection, v, label);
        return;
      }
      case TTypeKind::tkUnknown:
        Fail(v.Position, "Property " + info->Name + " cannot be stored");
    }
    Guard(v.Position, label, [&] { info->Set(*holder, value); });
  }

  void ReadCollection(TCollection* collection, const TDescValue& v, const std::string& label) {
    Guard(v.Position, label, [&] { collection->Clear(); });
    collection->BeginUpdate();
    try {
      for (std::size_t i = 0; i < v.CollectionItems.size(); ++i) {
        TCollectionItem* item = collection->Add();
        ApplyProperties(item, v.CollectionItems[i], label + "[" + std::to_string(i) + "]");
      }
    } catch (...) {
      collection->EndUpdate();
      throw;
    }
    collection->EndUpdate();
  }

  // A second window of the same class is named Name_1, Name_2 ... among its owner's components.
  std::string UniqueRootName(const std::string& name) const {
    TComponent* owner = FRoot->Owner();
    if (!owner) return name;
    std::string candidate = name;
    for (int n = 1;; ++n) {
      TComponent* other = owner->FindComponent(candidate);
      if (!other || other == FRoot) return candidate;
      candidate = name + "_" + std::to_string(n);
    }
  }

  TComponent* FindByName(const std::string& name) const {
    if (SameTextAscii(name, FRoot->Name()) || SameTextAscii(name, FRootDescName)) return FRoot;
    return FRoot->FindComponent(name);
  }

  void ResolveFixups() {
    for (auto& f : FFixups) {
      TComponent* target = FindByName(f.Name);
      if (!target)
        Fail(f.Position, "Component " + f.Name + " not found (property " + f.Info->Name + ")");
      Guard(f.Position, f.Info->Name, [&] { f.Info->Set(*f.Target, TValue::Component(target)); });
    }
    for (auto& f : FHandlerFixups) {
      const THandlerInfo* handler = FRootClass->FindHandler(f.Name);
      if (!handler)
        Fail(f.Position, "Handler " + f.Name + " not found in class " + FRootClass->ClassName());
      if (*handler->Signature != *f.Info->EventSignature)
        Fail(f.Position, "Handler " + f.Name + " does not fit event " + f.Info->Name);
      if (!FBind) continue;
      Guard(f.Position, f.Info->Name,
            [&] { f.Info->Set(*f.Target, TValue::Event(handler->Name, handler->Bind(*FRoot))); });
    }
  }

  // Takes back what a failed read made: its components, last first (a control that goes
  // takes its child controls along, so each is checked to be still there).
  void Undo() {
    for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it) {
      bool alive = false;
      for (int i = 0; i < FRoot->ComponentCount(); ++i)
        if (FRoot->Components(i) == *it) alive = true;
      if (alive) TObject::Free(*it);
    }
    FRoot->SetLoading(false);
  }

  TComponent* FRoot;
  const TClassRecord* FRootClass;
  std::string FRootDescName;
  const std::string& FSource;
  bool FBind = true;
  std::vector<TComponent*> FCreated;
  std::vector<TComponent*> FLoaded;
  std::vector<TFixup> FFixups;
  std::vector<TFixup> FHandlerFixups;
};

}  // namespace

void ReadDescription(TComponent* root, std::string_view text, const std::string& source) {
  TDescObject desc = ParseDescription(text, source);
  TReader reader(root, source);
  reader.Read(desc);
}

std::string LoadDescriptionResource(const std::string& name) {
  HRSRC found = FindResourceA(nullptr, name.c_str(), RT_RCDATA);
  if (!found) throw EDescriptionError(name, 1, 1, "No description resource named " + name);
  HGLOBAL data = LoadResource(nullptr, found);
  auto* bytes = static_cast<const char*>(LockResource(data));
  DWORD size = SizeofResource(nullptr, found);
  if (!bytes) throw EDescriptionError(name, 1, 1, "Description resource " + name + " is empty");
  return std::string(bytes, size);
}

void ReadDescriptionResource(TComponent* root, const std::string& name) {
  ReadDescription(root, LoadDescriptionResource(name), name);
}

TComponent* CreateFromDescription(std::string_view text, const std::string& source,
                                  TComponent* owner) {
  TDescObject desc = ParseDescription(text, source);
  const TClassRecord* record = FindClass(desc.ClassName);
  if (!record || !record->CanCreate())
    throw EDescriptionError(source, desc.Position.Line, desc.Position.Column,
                            "Class " + desc.ClassName + " not found");
  TComponent* root = record->Create(owner);
  try {
    TReader reader(root, source);
    reader.Read(desc);
  } catch (...) {
    TObject::Free(root);
    throw;
  }
  return root;
}

void CheckDescription(std::string_view text, const std::string& source) {
  TDescObject desc = ParseDescription(text, source);
  const TClassRecord* record = FindClass(desc.ClassName);
  if (!record)
    throw EDescriptionError(source, desc.Position.Line, desc.Position.Column,
                            "Class " + desc.ClassName + " not found");
  // A form class reads its own description when it is made, so a plain form stands in for
  // it; other roots are made from their class.
  TComponent* standIn = record->InheritsFrom(TCustomForm::StaticClass())
                            ? new TForm(nullptr)
                            : (record->CanCreate() ? record->Create(nullptr) : nullptr);
  if (!standIn)
    throw EDescriptionError(source, desc.Position.Line, desc.Position.Column,
                            "Class " + desc.ClassName + " cannot be created");
  try {
    TReader reader(standIn, record, source);
    reader.Read(desc);
  } catch (...) {
    TObject::Free(standIn);
    throw;
  }
  TObject::Free(standIn);
}
