// Class records: each class registers its published properties (name, kind, getter, setter,
// default, stored rule) in a record chained to its parent's. A form class also registers the
// component fields and the handler methods that its stored description names.
//
// A class with a record of its own declares
//   static const TClassRecord& StaticClass();
//   const TClassRecord& ClassType() const override { return StaticClass(); }
// and defines StaticClass with TClassRecord::Define:
//   const TClassRecord& TLabel::StaticClass() {
//     static const TClassRecord record =
//         TClassRecord::Define<TLabel, TCustomLabel>("TLabel", [](TClassBuilder<TLabel>& c) {
//           c.Str("Caption", &TLabel::GetText, &TLabel::SetText);
//         });
//     return record;
//   }
#pragma once

#include <any>
#include <concepts>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "forms/component.h"
#include "forms/events.h"
#include "forms/object.h"
#include "forms/set.h"
#include "forms/strings.h"
#include "forms/value.h"

// Names of an enumeration's values by ordinal (0, 1, 2 ...), for enumeration and set properties.
struct TEnumInfo {
  std::string TypeName;
  std::vector<std::string> Names;

  // Without regard to letter case; -1 when unknown.
  int IndexOf(std::string_view name) const;
};

// Identifiers for integer values (colour names, character sets).
struct TIdentMap {
  std::vector<std::pair<std::string, std::int64_t>> Entries;

  bool ToValue(std::string_view identifier, std::int64_t& value) const;
  bool ToIdent(std::int64_t value, std::string& identifier) const;
};

// Records are made on first use; a class may name a class that names it back (a client and
// its log), so references between records are followed only when asked for.
using TClassRecordFn = const TClassRecord& (*)();

class TPropInfo {
 public:
  std::string Name;
  TTypeKind Kind = TTypeKind::tkUnknown;
  const TEnumInfo* Enum = nullptr;      // enumerations and sets
  const TIdentMap* Idents = nullptr;    // integers with names
  TClassRecordFn RefClassFn = nullptr;  // components and objects: the declared class
  const std::type_info* EventSignature = nullptr;
  std::int64_t Min = std::numeric_limits<std::int64_t>::min();
  std::int64_t Max = std::numeric_limits<std::int64_t>::max();
  std::optional<std::int64_t> DefaultValue;  // ordinal kinds: not stored when equal

  std::function<TValue(const TObject&)> Getter;
  std::function<void(TObject&, const TValue&)> Setter;  // empty: read-only
  std::function<bool(const TObject&)> StoredRule;       // empty: stored

  bool ReadOnly() const { return !Setter; }
  const TClassRecord* RefClass() const { return RefClassFn ? &RefClassFn() : nullptr; }
  TValue Get(const TObject& object) const;
  // Raises EPropertyError for a read-only property or a value of the wrong kind or range.
  void Set(TObject& object, const TValue& value) const;
  // Whether the writer stores the current value: the stored rule, then the default (ordinals),
  // emptiness (strings, lists, references, events).
  bool IsStored(const TObject& object) const;

  TPropInfo& Default(std::int64_t value) {
    DefaultValue = value;
    return *this;
  }
  TPropInfo& Stored(std::function<bool(const TObject&)> rule) {
    StoredRule = std::move(rule);
    return *this;
  }
  TPropInfo& NotStored() {
    StoredRule = [](const TObject&) { return false; };
    return *this;
  }
  TPropInfo& WithIdents(const TIdentMap& idents) {
    Idents = &idents;
    return *this;
  }
};

// A method of a form class that a description can name as an event handler.
struct THandlerInfo {
  std::string Name;
  const std::type_info* Signature = nullptr;
  // A std::function of the method's signature, bound to `instance`.
  std::function<std::any(TObject& instance)> Bind;
};

// A field of a form class that receives the component of the same name when it is read.
struct TFieldInfo {
  std::string Name;
  TClassRecordFn FieldClassFn = nullptr;
  const TClassRecord& FieldClass() const { return FieldClassFn(); }
  std::function<void(TObject& instance, TComponent* component)> Assign;
};

template <class C>
class TClassBuilder;

class TClassRecord {
 public:
  using TFactory = TComponent* (*)(TComponent* owner);

  TClassRecord(std::string className, const TClassRecord* parent);
  TClassRecord(TClassRecord&&) = default;

  template <class C, class Parent, class F>
  static TClassRecord Define(std::string className, F&& build);

  const std::string& ClassName() const { return FClassName; }
  const TClassRecord* Parent() const { return FParent; }
  bool InheritsFrom(const TClassRecord& other) const;
  bool InheritsFrom(std::string_view className) const;  // without regard to letter case

  // Own properties first, then the parent's; without regard to letter case.
  const TPropInfo* FindProperty(std::string_view name) const;
  // Every published property, the root class's first; a re-published one at its first place.
  std::vector<const TPropInfo*> Properties() const;
  const THandlerInfo* FindHandler(std::string_view name) const;
  const TFieldInfo* FindField(std::string_view name) const;

  bool CanCreate() const { return FFactory != nullptr; }
  // A new component of this class; raises EPropertyError for a class that cannot be created.
  TComponent* Create(TComponent* owner) const;

 private:
  template <class C>
  friend class TClassBuilder;

  std::string FClassName;
  const TClassRecord* FParent = nullptr;
  TFactory FFactory = nullptr;
  std::vector<std::unique_ptr<TPropInfo>> FProperties;
  std::vector<THandlerInfo> FHandlers;
  std::vector<TFieldInfo> FFields;
};

namespace forms::detail {
template <class C>
const C& Self(const TObject& o) {
  return static_cast<const C&>(o);
}
template <class C>
C& Self(TObject& o) {
  return static_cast<C&>(o);
}
template <class C, class G>
using GetterResult = std::decay_t<std::invoke_result_t<G, const C&>>;
template <class T>
struct IsSet : std::false_type {};
template <class E>
struct IsSet<TSet<E>> : std::true_type {
  using Element = E;
};
[[noreturn]] void ReadOnlyProperty(const TPropInfo& info);
[[noreturn]] void WrongClass(const TPropInfo& info, const TObject* given);
std::int64_t CheckedInteger(const TPropInfo& info, const TValue& value);
int CheckedOrdinal(const TPropInfo& info, const TValue& value);
std::uint32_t CheckedSetBits(const TPropInfo& info, const TValue& value);
std::vector<std::string> SetNames(const TEnumInfo& info, std::uint32_t bits);
}  // namespace forms::detail

template <class C>
class TClassBuilder {
 public:
  explicit TClassBuilder(TClassRecord& record) : FRecord(record) {}

  // Integer of any integral type; values outside the type's range are refused.
  template <class G, class S = std::nullptr_t>
  TPropInfo& Int(std::string name, G get, S set = nullptr) {
    using T = forms::detail::GetterResult<C, G>;
    static_assert(std::is_integral_v<T> && !std::is_same_v<T, bool>, "integer property");
    auto& info = Add(std::move(name), TTypeKind::tkInteger);
    info.Min = static_cast<std::int64_t>(std::numeric_limits<T>::min());
    info.Max = std::numeric_limits<T>::max() > std::numeric_limits<std::int64_t>::max()
                   ? std::numeric_limits<std::int64_t>::max()
                   : static_cast<std::int64_t>(std::numeric_limits<T>::max());
    info.Getter = [get](const TObject& o) {
      return TValue::Integer(
          static_cast<std::int64_t>(std::invoke(get, forms::detail::Self<C>(o))));
    };
    if constexpr (!std::is_null_pointer_v<S>) {
      info.Setter = [set, &info](TObject& o, const TValue& v) {
        std::invoke(set, forms::detail::Self<C>(o),
                    static_cast<T>(forms::detail::CheckedInteger(info, v)));
      };
    }
    return info;
  }

  template <class G, class S = std::nullptr_t>
  TPropInfo& Bool(std::string name, G get, S set = nullptr) {
    auto& info = Add(std::move(name), TTypeKind::tkBool);
    info.Getter = [get](const TObject& o) {
      return TValue::Boolean(static_cast<bool>(std::invoke(get, forms::detail::Self<C>(o))));
    };
    if constexpr (!std::is_null_pointer_v<S>) {
      info.Setter = [set](TObject& o, const TValue& v) {
        std::invoke(set, forms::detail::Self<C>(o), v.AsBoolean());
      };
    }
    return info;
  }

  template <class G, class S = std::nullptr_t>
  TPropInfo& Str(std::string name, G get, S set = nullptr) {
    auto& info = Add(std::move(name), TTypeKind::tkString);
    info.Getter = [get](const TObject& o) {
      return TValue::String(std::string(std::invoke(get, forms::detail::Self<C>(o))));
    };
    if constexpr (!std::is_null_pointer_v<S>) {
      info.Setter = [set](TObject& o, const TValue& v) {
        std::invoke(set, forms::detail::Self<C>(o), v.AsString());
      };
    }
    return info;
  }

  template <class G, class S = std::nullptr_t>
  TPropInfo& Enum(std::string name, G get, S set, const TEnumInfo& names) {
    using T = forms::detail::GetterResult<C, G>;
    static_assert(std::is_enum_v<T>, "enumeration property");
    auto& info = Add(std::move(name), TTypeKind::tkEnum);
    info.Enum = &names;
    info.Getter = [get, &names](const TObject& o) {
      auto ordinal = static_cast<std::int64_t>(std::invoke(get, forms::detail::Self<C>(o)));
      std::string ident = ordinal >= 0 && ordinal < static_cast<std::int64_t>(names.Names.size())
                              ? names.Names[static_cast<std::size_t>(ordinal)]
                              : std::to_string(ordinal);
      return TValue::Enum(std::move(ident), ordinal);
    };
    if constexpr (!std::is_null_pointer_v<S>) {
      info.Setter = [set, &info](TObject& o, const TValue& v) {
        std::invoke(set, forms::detail::Self<C>(o),
                    static_cast<T>(forms::detail::CheckedOrdinal(info, v)));
      };
    }
    return info;
  }

  template <class G, class S = std::nullptr_t>
  TPropInfo& Set(std::string name, G get, S set, const TEnumInfo& names) {
    using T = forms::detail::GetterResult<C, G>;
    static_assert(forms::detail::IsSet<T>::value, "set property");
    auto& info = Add(std::move(name), TTypeKind::tkSet);
    info.Enum = &names;
    info.Getter = [get, &names](const TObject& o) {
      return TValue::Set(
          forms::detail::SetNames(names, std::invoke(get, forms::detail::Self<C>(o)).Bits()));
    };
    if constexpr (!std::is_null_pointer_v<S>) {
      info.Setter = [set, &info](TObject& o, const TValue& v) {
        std::invoke(set, forms::detail::Self<C>(o),
                    T::FromBits(forms::detail::CheckedSetBits(info, v)));
      };
    }
    return info;
  }

  // A string list owned by the object; the setter copies the given lines.
  template <class G, class S = std::nullptr_t>
  TPropInfo& Strings(std::string name, G get, S set = nullptr) {
    auto& info = Add(std::move(name), TTypeKind::tkStrings);
    info.RefClassFn = &TStrings::StaticClass;
    info.Getter = [get](const TObject& o) {
      TStrings* list = std::invoke(get, forms::detail::Self<C>(o));
      return TValue::Strings(list);
    };
    if constexpr (!std::is_null_pointer_v<S>) {
      info.Setter = [set](TObject& o, const TValue& v) {
        std::invoke(set, forms::detail::Self<C>(o), v.AsStrings());
      };
    }
    return info;
  }

  // An object owned by this one (a font, a picture, a collection); its own published
  // properties are reached by name ("Font.Name"). The setter copies from the given object.
  template <class G, class S = std::nullptr_t>
  TPropInfo& Object(std::string name, G get, S set = nullptr) {
    using P = std::remove_pointer_t<forms::detail::GetterResult<C, G>>;
    static_assert(std::is_base_of_v<TPersistent, P>, "object property");
    auto& info = Add(std::move(name), TTypeKind::tkObject);
    info.RefClassFn = &P::StaticClass;
    info.Getter = [get](const TObject& o) {
      P* object = std::invoke(get, forms::detail::Self<C>(o));
      return TValue::Object(object);
    };
    if constexpr (!std::is_null_pointer_v<S>) {
      info.Setter = [set, &info](TObject& o, const TValue& v) {
        TPersistent* source = v.AsObject();
        auto* typed = dynamic_cast<P*>(source);
        if (source && !typed) forms::detail::WrongClass(info, source);
        std::invoke(set, forms::detail::Self<C>(o), typed);
      };
    }
    return info;
  }

  // A reference to another component (not owned through this property).
  template <class G, class S = std::nullptr_t>
  TPropInfo& Component(std::string name, G get, S set = nullptr) {
    using T = std::remove_pointer_t<forms::detail::GetterResult<C, G>>;
    static_assert(std::is_base_of_v<TComponent, T>, "component property");
    auto& info = Add(std::move(name), TTypeKind::tkComponent);
    info.RefClassFn = &T::StaticClass;
    info.Getter = [get](const TObject& o) {
      T* component = std::invoke(get, forms::detail::Self<C>(o));
      return TValue::Component(component);
    };
    if constexpr (!std::is_null_pointer_v<S>) {
      info.Setter = [set, &info](TObject& o, const TValue& v) {
        TComponent* given = v.AsComponent();
        auto* typed = dynamic_cast<T*>(given);
        if (given && !typed) forms::detail::WrongClass(info, given);
        std::invoke(set, forms::detail::Self<C>(o), typed);
      };
    }
    return info;
  }

  template <class Sig>
  TPropInfo& Event(std::string name, TEvent<Sig> C::*member) {
    auto& info = Add(std::move(name), TTypeKind::tkEvent);
    info.EventSignature = &typeid(Sig);
    info.Getter = [member](const TObject& o) {
      const TEvent<Sig>& e = forms::detail::Self<C>(o).*member;
      std::any function;
      if (e.Assigned())
        function =
            std::function<Sig>([e](auto&&... a) { return e(std::forward<decltype(a)>(a)...); });
      return TValue::Event(e.HandlerName(), std::move(function));
    };
    info.Setter = [member, &info](TObject& o, const TValue& v) {
      TEvent<Sig>& e = forms::detail::Self<C>(o).*member;
      const std::any& function = v.EventFunction();
      if (!function.has_value()) {
        e.Clear();
        return;
      }
      auto* typed = std::any_cast<std::function<Sig>>(&function);
      if (!typed)
        throw EPropertyError("Handler \"" + v.AsString() + "\" does not fit event " + info.Name);
      e.Bind(*typed, v.AsString());
    };
    return info;
  }

  // A field of a form class that receives the component named `name` when it is read.
  template <class T>
  void Field(std::string name, T* C::*member) {
    static_assert(std::is_base_of_v<TComponent, T>, "component field");
    FRecord.FFields.push_back(
        {std::move(name), &T::StaticClass, [member](TObject& instance, TComponent* component) {
           forms::detail::Self<C>(instance).*member = dynamic_cast<T*>(component);
         }});
  }

  // A method that a description can name as an event handler.
  template <class R, class... A>
  void Handler(std::string name, R (C::*method)(A...)) {
    FRecord.FHandlers.push_back({std::move(name), &typeid(R(A...)), [method](TObject& instance) {
                                   C* self = &forms::detail::Self<C>(instance);
                                   return std::any(
                                       std::function<R(A...)>([self, method](A... args) -> R {
                                         return (self->*method)(std::forward<A>(args)...);
                                       }));
                                 }});
  }

 private:
  TPropInfo& Add(std::string name, TTypeKind kind) {
    auto info = std::make_unique<TPropInfo>();
    info->Name = std::move(name);
    info->Kind = kind;
    FRecord.FProperties.push_back(std::move(info));
    return *FRecord.FProperties.back();
  }

  TClassRecord& FRecord;
};

template <class C, class Parent, class F>
TClassRecord TClassRecord::Define(std::string className, F&& build) {
  static_assert(std::is_base_of_v<Parent, C>, "a class record chains to its parent's");
  TClassRecord record(std::move(className), &Parent::StaticClass());
  if constexpr (std::is_base_of_v<TComponent, C> && !std::is_abstract_v<C> &&
                std::is_constructible_v<C, TComponent*>) {
    record.FFactory = [](TComponent* owner) -> TComponent* { return new C(owner); };
  }
  TClassBuilder<C> builder(record);
  build(builder);
  return record;
}
