// Published properties, fields and handlers of the class library's classes, and the class
// registry that form files find their classes in.
//
// A class describes what it publishes in one small table, built once:
//
//   class TTimer : public TComponent {
//     KV_CLASS_INFO(TTimer)
//     ...
//   };
//   const TClassInfo& TTimer::StaticClassInfo() {
//     static const TClassInfo info = TClassBuilder<TTimer, TComponent>("TTimer")
//         .Bool("Enabled", &TTimer::Enabled, &TTimer::SetEnabled, true)
//         .Int("Interval", &TTimer::Interval, &TTimer::SetInterval, 1000)
//         .Event("OnTimer", &TTimer::OnTimer)
//         .Build();
//     return info;
//   }
//
// Getters and setters are member functions, data members or lambdas taking the object. The
// last argument is the stream default (a stored form omits a property equal to it);
// NoDefault makes a property always written. The stream order is the ancestor's order with
// redeclared names replaced where they stand, then the class's new properties.
#pragma once

#include "Platform/Rtl/Classes.h"

#include <any>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace kv::platform {

// Names of an enumeration's members, in member order, for form files and set texts.
// Use in the enumeration's own namespace: KV_ENUM_NAMES(TAlign, "alNone", "alTop", ...)
#define KV_ENUM_NAMES(E, ...)                                                                                \
  inline const std::vector<std::string>& kvEnumNames(E) {                                                    \
    static const std::vector<std::string> names{__VA_ARGS__};                                                \
    return names;                                                                                            \
  }

// Declares the published description of a class inside its body (leaves the access public).
#define KV_CLASS_INFO(Self)                                                                                  \
public:                                                                                                      \
  static const ::kv::platform::TClassInfo& StaticClassInfo();                                                \
  const ::kv::platform::TClassInfo* ClassInfo() const override { return &StaticClassInfo(); }                \
  std::string ClassName() const override { return #Self; }

inline constexpr std::nullopt_t NoDefault = std::nullopt;

enum class TTypeKind {
  tkInteger,
  tkFloat,
  tkString,
  tkBoolean,
  tkEnumeration,
  tkSet,
  tkIdentInt,  // an integer with names for some values (colours, cursors)
  tkMethod,    // an event, stored as the name of the root's handler
  tkClass,     // a nested object: sub-properties, a string list or a collection
  tkReference, // another component, stored by name, resolved after loading
  tkBinary
};

// A value as it stands in a form file.
struct TValueNode {
  enum class Type { Int, Float, String, Ident, Set, List, Binary, Collection };
  struct Item; // one collection item: its property assignments
  Type type = Type::Int;
  int64_t i = 0;
  double f = 0;
  std::string s;                  // String, Ident
  std::vector<std::string> names; // Set members, List strings
  std::vector<uint8_t> bytes;     // Binary
  std::vector<Item> items;        // Collection
  int line = 0;
};
struct TPropAssignment {
  std::string name; // may be dotted (Font.Name)
  TValueNode value;
  int line = 0;
};
struct TValueNode::Item {
  std::vector<TPropAssignment> props;
  int line = 0;
};

// What a property needs while a form file is read: the root's handlers and the references
// that wait until every component exists.
class TReadContext {
public:
  virtual ~TReadContext() = default;
  // The root's handler of that name, as a std::function of the root's method signature.
  virtual std::any FindMethod(const std::string& Name, int Line) = 0;
  virtual void AddFixup(const std::string& Name, int Line, std::function<void(TComponent*)> Resolve) = 0;
  // Raises the reader's error for this line; never returns.
  [[noreturn]] void Error(int Line, const std::string& Message) {
    RaiseError(Line, Message);
    throw EReadError(Message);
  }

protected:
  virtual void RaiseError(int Line, const std::string& Message) = 0;
};

struct TPropInfo {
  std::string Name;
  TTypeKind Kind = TTypeKind::tkInteger;
  // The current value as a node (not for tkClass).
  std::function<TValueNode(const TPersistent&)> Get;
  // Sets the value from a node (not for tkClass).
  std::function<void(TPersistent&, const TValueNode&, TReadContext&)> Set;
  // True when the value equals the stream default (the property is then omitted).
  std::function<bool(const TPersistent&)> IsDefault;
  // False when the property is not to be written at all (never stored, or a condition).
  std::function<bool(const TPersistent&)> Stored;
  // tkClass: the nested object.
  std::function<TPersistent*(const TPersistent&)> Object;
  // tkEnumeration, tkSet: the member names in member order.
  const std::vector<std::string>* Names = nullptr;
  // tkReference: the class the referenced component must have (a function, since a class may
  // refer to its own kind while its table is being built).
  const TClassInfo& (*RefClass)() = nullptr;
};

// What a reader hands an event of a root being designed for a handler name that the root's
// class does not have: the event keeps the name and does nothing, as a designer shows it.
struct TDesignHandler {
  std::string Name;
};

struct TFieldInfo {
  std::string Name;
  // Stores the component in the root's field; false when its class does not fit the field.
  std::function<bool(TPersistent& Root, TComponent* Component)> Bind;
};

struct TMethodInfo {
  std::string Name;
  // A std::function of the method's signature bound to the instance.
  std::function<std::any(TPersistent& Instance)> Bind;
};

class TClassInfo {
public:
  std::string Name;
  const TClassInfo* Parent = nullptr;
  // Component classes: creates an instance owned by Owner.
  std::function<TComponent*(TComponent* Owner)> CreateComponent;
  // Collection item classes: creates an item in the collection.
  std::function<TCollectionItem*(TCollection* Collection)> CreateItem;
  std::vector<TPropInfo> Props; // every published property, in stream order
  std::vector<TFieldInfo> Fields;
  std::vector<TMethodInfo> Methods;

  const TPropInfo* FindProp(const std::string& PropName) const;
  const TFieldInfo* FindField(const std::string& FieldName) const;
  const TMethodInfo* FindMethod(const std::string& MethodName) const;
  bool InheritsFrom(const TClassInfo& Other) const;
};

// ---- the class registry (form files) and its companions

void RegisterClass(const TClassInfo& Info);
void RegisterClasses(std::initializer_list<const TClassInfo*> Infos);
void UnRegisterClass(const TClassInfo& Info);
// nullptr when no class of that name (regardless of case) is registered.
const TClassInfo* GetClass(const std::string& Name);
// Raises EClassNotFound "Class TFoo not found".
const TClassInfo& FindClass(const std::string& Name);

// ---- building the table

namespace typinfo_detail {

template <class G, class T> decltype(auto) get(const G& getter, const T& obj) {
  return std::invoke(getter, obj);
}

template <class S, class T, class V> void set(const S& setter, T& obj, V&& value) {
  if constexpr (std::is_member_object_pointer_v<S>)
    std::invoke(setter, obj) = std::forward<V>(value);
  else
    std::invoke(setter, obj, std::forward<V>(value));
}

template <class E> struct EventTraits;
template <class... A> struct EventTraits<TEvent<A...>> { using Function = std::function<void(A...)>; };
template <class R, class... A> struct EventTraits<TFuncEvent<R, A...>> {
  using Function = std::function<R(A...)>;
};

// A handler that does nothing (and answers the default value).
template <class F> struct DoNothing;
template <class R, class... A> struct DoNothing<std::function<R(A...)>> {
  static std::function<R(A...)> make() {
    return [](A...) -> R {
      if constexpr (!std::is_void_v<R>) return R{};
    };
  }
};

template <class M> struct MethodTraits;
template <class C, class R, class... A> struct MethodTraits<R (C::*)(A...)> {
  using Class = C;
  using Function = std::function<R(A...)>;
};

TValueNode intNode(int64_t v);
TValueNode identNode(std::string s);
TValueNode floatNode(double v);
TValueNode stringNode(std::string s);
TValueNode binaryNode(std::vector<uint8_t> bytes);
int64_t nodeToInt(const TValueNode& n, TReadContext& ctx);
double nodeToFloat(const TValueNode& n, TReadContext& ctx);
const std::string& nodeToString(const TValueNode& n, TReadContext& ctx);
bool nodeToBool(const TValueNode& n, TReadContext& ctx);
int nodeToEnum(const TValueNode& n, const std::vector<std::string>& names, TReadContext& ctx);
uint64_t nodeToSet(const TValueNode& n, const std::vector<std::string>& names, TReadContext& ctx);
TValueNode setToNode(uint64_t bits, const std::vector<std::string>& names);
int64_t nodeToIdentInt(const TValueNode& n, const std::vector<std::pair<int64_t, std::string>>& idents,
                       TReadContext& ctx);
TValueNode identIntToNode(int64_t v, const std::vector<std::pair<int64_t, std::string>>& idents);

} // namespace typinfo_detail

// An integer property's names for some values (colours: clRed, clBtnFace, ...).
using TIdentMap = std::vector<std::pair<int64_t, std::string>>;

template <class T, class Base> class TClassBuilder {
public:
  explicit TClassBuilder(std::string Name) {
    static_assert(std::is_base_of_v<Base, T>);
    const TClassInfo& parent = Base::StaticClassInfo();
    info_.Name = std::move(Name);
    info_.Parent = &parent;
    info_.Props = parent.Props;
    if constexpr (std::is_constructible_v<T, TComponent*> && std::is_base_of_v<TComponent, T> &&
                  !std::is_abstract_v<T>)
      info_.CreateComponent = [](TComponent* owner) -> TComponent* { return new T(owner); };
    if constexpr (std::is_constructible_v<T, TCollection*> && std::is_base_of_v<TCollectionItem, T> &&
                  !std::is_abstract_v<T>)
      info_.CreateItem = [](TCollection* c) -> TCollectionItem* { return new T(c); };
  }

  template <class G, class S> TClassBuilder& Int(const char* name, G get, S set, std::optional<int64_t> def) {
    TPropInfo p = base(name, TTypeKind::tkInteger);
    p.Get = [get](const TPersistent& o) {
      return typinfo_detail::intNode(static_cast<int64_t>(typinfo_detail::get(get, self(o))));
    };
    p.Set = [set](TPersistent& o, const TValueNode& n, TReadContext& ctx) {
      using V = std::decay_t<decltype(typinfo_detail::get(std::declval<G>(), std::declval<const T&>()))>;
      const int64_t v = typinfo_detail::nodeToInt(n, ctx);
      if (v < static_cast<int64_t>(std::numeric_limits<V>::min()) ||
          v > static_cast<int64_t>(std::numeric_limits<V>::max()))
        ctx.Error(n.line, "Value " + std::to_string(v) + " is out of range");
      typinfo_detail::set(set, self(o), static_cast<V>(v));
    };
    p.IsDefault = [get, def](const TPersistent& o) {
      return def && static_cast<int64_t>(typinfo_detail::get(get, self(o))) == *def;
    };
    return add(std::move(p));
  }

  template <class G, class S>
  TClassBuilder& Float(const char* name, G get, S set, std::optional<double> def) {
    TPropInfo p = base(name, TTypeKind::tkFloat);
    p.Get = [get](const TPersistent& o) {
      return typinfo_detail::floatNode(static_cast<double>(typinfo_detail::get(get, self(o))));
    };
    p.Set = [set](TPersistent& o, const TValueNode& n, TReadContext& ctx) {
      typinfo_detail::set(set, self(o), typinfo_detail::nodeToFloat(n, ctx));
    };
    p.IsDefault = [get, def](const TPersistent& o) {
      return def && static_cast<double>(typinfo_detail::get(get, self(o))) == *def;
    };
    return add(std::move(p));
  }

  template <class G, class S>
  TClassBuilder& Str(const char* name, G get, S set, std::optional<std::string> def) {
    TPropInfo p = base(name, TTypeKind::tkString);
    p.Get = [get](const TPersistent& o) {
      return typinfo_detail::stringNode(typinfo_detail::get(get, self(o)));
    };
    p.Set = [set](TPersistent& o, const TValueNode& n, TReadContext& ctx) {
      typinfo_detail::set(set, self(o), std::string(typinfo_detail::nodeToString(n, ctx)));
    };
    p.IsDefault = [get, def](const TPersistent& o) {
      return def && std::string(typinfo_detail::get(get, self(o))) == *def;
    };
    return add(std::move(p));
  }

  template <class G, class S> TClassBuilder& Bool(const char* name, G get, S set, std::optional<bool> def) {
    TPropInfo p = base(name, TTypeKind::tkBoolean);
    p.Get = [get](const TPersistent& o) {
      return typinfo_detail::identNode(typinfo_detail::get(get, self(o)) ? "True" : "False");
    };
    p.Set = [set](TPersistent& o, const TValueNode& n, TReadContext& ctx) {
      typinfo_detail::set(set, self(o), typinfo_detail::nodeToBool(n, ctx));
    };
    p.IsDefault = [get, def](const TPersistent& o) {
      return def && static_cast<bool>(typinfo_detail::get(get, self(o))) == *def;
    };
    return add(std::move(p));
  }

  // An enumeration with names from KV_ENUM_NAMES.
  template <class E, class G, class S>
  TClassBuilder& Enum(const char* name, G get, S set, std::optional<E> def) {
    TPropInfo p = base(name, TTypeKind::tkEnumeration);
    p.Names = &kvEnumNames(E{});
    p.Get = [get](const TPersistent& o) {
      const auto& names = kvEnumNames(E{});
      const auto v = static_cast<size_t>(static_cast<E>(typinfo_detail::get(get, self(o))));
      return v < names.size() ? typinfo_detail::identNode(names[v])
                              : typinfo_detail::intNode(static_cast<int64_t>(v));
    };
    p.Set = [set](TPersistent& o, const TValueNode& n, TReadContext& ctx) {
      typinfo_detail::set(set, self(o), static_cast<E>(typinfo_detail::nodeToEnum(n, kvEnumNames(E{}), ctx)));
    };
    p.IsDefault = [get, def](const TPersistent& o) {
      return def && static_cast<E>(typinfo_detail::get(get, self(o))) == *def;
    };
    return add(std::move(p));
  }

  // A TSet<E> with member names from KV_ENUM_NAMES.
  template <class E, class G, class S>
  TClassBuilder& Set(const char* name, G get, S set, std::optional<TSet<E>> def) {
    TPropInfo p = base(name, TTypeKind::tkSet);
    p.Names = &kvEnumNames(E{});
    p.Get = [get](const TPersistent& o) {
      return typinfo_detail::setToNode(TSet<E>(typinfo_detail::get(get, self(o))).Bits(), kvEnumNames(E{}));
    };
    p.Set = [set](TPersistent& o, const TValueNode& n, TReadContext& ctx) {
      typinfo_detail::set(set, self(o),
                          TSet<E>::FromBits(typinfo_detail::nodeToSet(n, kvEnumNames(E{}), ctx)));
    };
    p.IsDefault = [get, def](const TPersistent& o) {
      return def && TSet<E>(typinfo_detail::get(get, self(o))) == *def;
    };
    return add(std::move(p));
  }

  // An integer written by name where the map has one (colours, cursors), else as a number.
  template <class G, class S>
  TClassBuilder& IdentInt(const char* name, const TIdentMap& idents, G get, S set,
                          std::optional<int64_t> def) {
    TPropInfo p = base(name, TTypeKind::tkIdentInt);
    // A copy: a class table may name its values with a map that lives no longer than the call.
    auto map = std::make_shared<const TIdentMap>(idents);
    p.Get = [get, map](const TPersistent& o) {
      return typinfo_detail::identIntToNode(static_cast<int64_t>(typinfo_detail::get(get, self(o))), *map);
    };
    p.Set = [set, map](TPersistent& o, const TValueNode& n, TReadContext& ctx) {
      using V = std::decay_t<decltype(typinfo_detail::get(std::declval<G>(), std::declval<const T&>()))>;
      typinfo_detail::set(set, self(o), static_cast<V>(typinfo_detail::nodeToIdentInt(n, *map, ctx)));
    };
    p.IsDefault = [get, def](const TPersistent& o) {
      return def && static_cast<int64_t>(typinfo_detail::get(get, self(o))) == *def;
    };
    return add(std::move(p));
  }

  // An event member (TEvent or TFuncEvent); stored as the root's handler name when assigned.
  template <class C, class Ev> TClassBuilder& Event(const char* name, Ev C::*member) {
    return EventOf<C, Ev>(name, member);
  }

  // A nested object (sub-properties, a TStrings or a TCollection), read and written in place.
  template <class G> TClassBuilder& Object(const char* name, G get) {
    TPropInfo p = base(name, TTypeKind::tkClass);
    p.Object = [get](const TPersistent& o) -> TPersistent* {
      return const_cast<TPersistent*>(static_cast<const TPersistent*>(&*typinfo_detail::get(get, self(o))));
    };
    return add(std::move(p));
  }

  // A reference to another component (C), stored by its name.
  template <class C, class G, class S> TClassBuilder& Ref(const char* name, G get, S set) {
    TPropInfo p = base(name, TTypeKind::tkReference);
    p.RefClass = &C::StaticClassInfo;
    p.Get = [get](const TPersistent& o) {
      const TComponent* c = typinfo_detail::get(get, self(o));
      return typinfo_detail::identNode(c ? c->Name() : std::string());
    };
    p.Set = [set](TPersistent& o, const TValueNode& n, TReadContext& ctx) {
      if (n.type != TValueNode::Type::Ident) ctx.Error(n.line, "Component name expected");
      T* target = &self(o);
      ctx.AddFixup(n.s, n.line, [target, set, line = n.line, &ctx](TComponent* c) {
        C* typed = dynamic_cast<C*>(c);
        if (c && !typed) ctx.Error(line, "Component " + c->Name() + " has the wrong class for this property");
        typinfo_detail::set(set, *target, typed);
      });
    };
    p.IsDefault = [get](const TPersistent& o) { return typinfo_detail::get(get, self(o)) == nullptr; };
    return add(std::move(p));
  }

  // Binary data (a glyph, a custom blob), stored as hexadecimal.
  template <class G, class S> TClassBuilder& Binary(const char* name, G get, S set) {
    TPropInfo p = base(name, TTypeKind::tkBinary);
    p.Get = [get](const TPersistent& o) {
      return typinfo_detail::binaryNode(typinfo_detail::get(get, self(o)));
    };
    p.Set = [set](TPersistent& o, const TValueNode& n, TReadContext& ctx) {
      if (n.type != TValueNode::Type::Binary) ctx.Error(n.line, "Binary data expected");
      typinfo_detail::set(set, self(o), n.bytes);
    };
    p.IsDefault = [get](const TPersistent& o) { return typinfo_detail::get(get, self(o)).empty(); };
    return add(std::move(p));
  }

  // Adds entries through a function of the builder (the standard ones in Controls.h).
  template <class F> TClassBuilder& With(F f) {
    f(*this);
    return *this;
  }

  // Modifiers of the property added last.
  template <class P> TClassBuilder& Stored(P pred) {
    last().Stored = [pred](const TPersistent& o) { return pred(self(o)); };
    return *this;
  }
  TClassBuilder& NotStored() {
    last().Stored = [](const TPersistent&) { return false; };
    return *this;
  }

  // A component field of the form, set when the form file creates a component of that name.
  template <class C, class F> TClassBuilder& Field(const char* name, F* C::*member) {
    static_assert(std::is_base_of_v<TComponent, F>);
    info_.Fields.push_back(TFieldInfo{name, [member](TPersistent& root, TComponent* c) {
                                        F* typed = dynamic_cast<F*>(c);
                                        if (c && !typed) return false;
                                        static_cast<C&>(root).*member = typed;
                                        return true;
                                      }});
    return *this;
  }

  // A handler that form files bind events to by name.
  template <class M> TClassBuilder& Method(const char* name, M method) {
    using Traits = typinfo_detail::MethodTraits<M>;
    using C = typename Traits::Class;
    info_.Methods.push_back(TMethodInfo{name, [method](TPersistent& inst) -> std::any {
                                          C* obj = &static_cast<C&>(inst);
                                          return typename Traits::Function(
                                              [obj, method](auto&&... args) -> decltype(auto) {
                                                return (obj->*method)(std::forward<decltype(args)>(args)...);
                                              });
                                        }});
    return *this;
  }

  TClassInfo Build() { return std::move(info_); }

private:
  static const T& self(const TPersistent& o) { return static_cast<const T&>(o); }
  static T& self(TPersistent& o) { return static_cast<T&>(o); }

  TPropInfo base(const char* name, TTypeKind kind) {
    TPropInfo p;
    p.Name = name;
    p.Kind = kind;
    return p;
  }
  TClassBuilder& add(TPropInfo p) {
    for (auto& existing : info_.Props)
      if (SameText(existing.Name, p.Name)) {
        existing = std::move(p);
        lastName_ = existing.Name;
        return *this;
      }
    lastName_ = p.Name;
    info_.Props.push_back(std::move(p));
    return *this;
  }
  TPropInfo& last() {
    for (auto& p : info_.Props)
      if (p.Name == lastName_) return p;
    throw EInvalidOperation("No property to modify");
  }

  template <class C, class Ev> TClassBuilder& EventOf(const char* name, Ev C::*member) {
    using Function = typename typinfo_detail::EventTraits<Ev>::Function;
    TPropInfo p = base(name, TTypeKind::tkMethod);
    p.Get = [member](const TPersistent& o) {
      const Ev& ev = static_cast<const C&>(self(o)).*member;
      return typinfo_detail::identNode(ev.Assigned() ? ev.HandlerName() : std::string());
    };
    p.Set = [member](TPersistent& o, const TValueNode& n, TReadContext& ctx) {
      if (n.type != TValueNode::Type::Ident) ctx.Error(n.line, "Handler name expected");
      std::any bound = ctx.FindMethod(n.s, n.line);
      Ev& ev = static_cast<C&>(self(o)).*member;
      if (std::any_cast<TDesignHandler>(&bound)) {
        ev.Bind(typinfo_detail::DoNothing<Function>::make(), n.s);
        return;
      }
      const Function* fn = std::any_cast<Function>(&bound);
      if (!fn) ctx.Error(n.line, "Handler " + n.s + " does not fit the event");
      ev.Bind(*fn, n.s);
    };
    p.IsDefault = [member](const TPersistent& o) {
      return !(static_cast<const C&>(self(o)).*member).Assigned();
    };
    return add(std::move(p));
  }

  TClassInfo info_;
  std::string lastName_;
};

} // namespace kv::platform
