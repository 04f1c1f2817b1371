#include "forms/description_writer.h"

#include "forms/class_record.h"
#include "forms/collection.h"
#include "forms/component.h"
#include "forms/description_parser.h"

namespace {

class TWriter {
 public:
  explicit TWriter(const TComponent* root) : FRoot(root) {}

  std::string Write() {
    WriteObject(FRoot, 0);
    return FOut;
  }

 private:
  void Line(int indent, const std::string& text) {
    FOut.append(static_cast<std::size_t>(indent) * 2, ' ');
    FOut += text;
    FOut += '\n';
  }

  // Children of `parent` in the text: the root's components whose parent component it is
  // (components without a parent belong to the root).
  std::vector<const TComponent*> ChildrenOf(const TComponent* parent) const {
    std::vector<const TComponent*> out;
    for (int i = 0; i < FRoot->ComponentCount(); ++i) {
      const TComponent* c = FRoot->Components(i);
      const TComponent* p = c->GetParentComponent();
      if (p == parent || (!p && parent == FRoot)) out.push_back(c);
    }
    return out;
  }

  void WriteObject(const TComponent* component, int indent) {
    Line(indent, "object " + (component->Name().empty() ? "" : component->Name() + ": ") +
                     component->ClassName());
    WriteProperties(component, "", indent + 1);
    for (const TComponent* child : ChildrenOf(component)) WriteObject(child, indent + 1);
    Line(indent, "end");
  }

  void WriteProperties(const TObject* object, const std::string& prefix, int indent) {
    for (const TPropInfo* info : object->ClassType().Properties()) {
      if (info->Kind == TTypeKind::tkObject) {
        TPersistent* inner = info->Get(*object).AsObject();
        if (!inner || (info->StoredRule && !info->StoredRule(*object))) continue;
        if (auto* collection = dynamic_cast<TCollection*>(inner)) {
          WriteCollection(collection, prefix + info->Name, indent);
          continue;
        }
        WriteProperties(inner, prefix + info->Name + ".", indent);
        continue;
      }
      if (info->ReadOnly() || !info->IsStored(*object)) continue;
      std::string text;
      if (FormatValue(info, info->Get(*object), indent, text))
        Line(indent, prefix + info->Name + " = " + text);
    }
  }

  void WriteCollection(const TCollection* collection, const std::string& name, int indent) {
    if (collection->Count() == 0) return;
    Line(indent, name + " = <");
    for (int i = 0; i < collection->Count(); ++i) {
      Line(indent + 1, "item");
      WriteProperties(collection->Items(i), "", indent + 2);
      Line(indent + 1, "end");
    }
    Line(indent, ">");
  }

  bool FormatValue(const TPropInfo* info, const TValue& value, int indent, std::string& text) {
    switch (info->Kind) {
      case TTypeKind::tkInteger: {
        std::string ident;
        text = info->Idents && info->Idents->ToIdent(value.AsInteger(), ident)
                   ? ident
                   : std::to_string(value.AsInteger());
        return true;
      }
      case TTypeKind::tkBool:
        text = value.AsBoolean() ? "True" : "False";
        return true;
      case TTypeKind::tkString:
        text = QuoteDescriptionString(value.AsString());
        return true;
      case TTypeKind::tkEnum:
        text = value.AsString();
        return true;
      case TTypeKind::tkSet: {
        text = "[";
        auto& names = value.AsSet();
        for (std::size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
        text += "]";
        return true;
      }
      case TTypeKind::tkStrings: {
        text = "(";
        std::string pad(static_cast<std::size_t>(indent + 1) * 2, ' ');
        for (auto& line : value.AsStrings()->Lines())
          text += "\n" + pad + QuoteDescriptionString(line);
        text += ")";
        return true;
      }
      case TTypeKind::tkComponent: {
        TComponent* target = value.AsComponent();
        if (target == FRoot) {
          text = FRoot->Name();
        } else if (target->Owner() == FRoot && !target->Name().empty()) {
          text = target->Name();
        } else {
          return false;  // outside this description
        }
        return !text.empty();
      }
      case TTypeKind::tkEvent:
        text = value.AsString();
        return !text.empty();
      case TTypeKind::tkObject:
      case TTypeKind::tkUnknown:
        return false;
    }
    return false;
  }

  const TComponent* FRoot;
  std::string FOut;
};

}  // namespace

std::string WriteDescription(const TComponent* root) {
  return TWriter(root).Write();
}
