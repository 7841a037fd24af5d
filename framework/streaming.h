// Property streaming: published properties, the class registry, and the form text reader and
// writer.
//
// A streamable class publishes its properties once, in declaration order, by registering them
// with the class registry; a derived class's list extends its base's. Each property has a name,
// a kind, accessors, a default (or none: "always stored") and an optional stored rule. Classes
// that the reader may create (the components of a form) register a factory too; sub-objects
// (a font, a port's flow-control settings) register their properties without one.
//
//   void RegisterComPortClasses() {
//     fw::RegisterSubObject<TFlowControl>("TFlowControl")
//         .Enumeration("DTR", {"dcDefault", "dcDisable", "dcEnable", "dcHandshake"},
//                      &TFlowControl::DTR, &TFlowControl::SetDTRControl, dcDefault);
//     fw::RegisterComponentClass<TComPort>("TComPort", "TComponent")
//         .Enumeration("BaudRate", kBaudRateNames, &TComPort::BaudRate, &TComPort::SetBaudRate,
//                      br9600)
//         .Integer("CustomBaudRate", &TComPort::GetCustomBaudRate,
//                  &TComPort::SetCustomBaudRate, 9600)
//         .StoredWhen(&TComPort::StoreCustomBaudRate)
//         .Text("About", &TComPort::About, nullptr, "").NeverStored()
//         .Object("FlowControl", [](TComPort& p) { return &p.FlowControl(); }, "TFlowControl")
//         .Event("OnError", &TComPort::OnError, &TComPort::SetOnError);
//   }
//
// Registration is idempotent: registering a class name again returns a builder that adds
// nothing, so a registration function may run more than once. Call it before the first form is
// read, e.g. from the class's constructor through a function-local static. (A static
// initialiser in a file of a static library that nothing else references is dropped by the
// linker, so don't rely on one.) TComponent and TTimer are registered here; the controls
// register themselves when the first control is created.
//
// Accessors are anything std::invoke can call with the object (member functions or lambdas):
// a getter gets `C&`, a setter `(C&, V)` where V is the getter's value type; nullptr as setter
// makes a property read-only (reading it from a text is an error). Kinds and their text form:
//   Integer      12, -11, $1F                  (an identifier table may add names)
//   Boolean      True / False
//   Text         'It''s' #13#10 'next'         (8-bit; bytes outside 32..126 as #nnn)
//   Char         'a' or #17
//   Enumeration  brCustom                      (member n is value n)
//   Set          [opCheckParity, opAbortOnError]  (member n is bit n; fw::TSet or an integer)
//   Color        clBtnFace, clWhite, $00008000 (fw::TColor)
//   Object       Font.Height = -11             (a sub-object's properties, dotted)
//   Strings      Items.Strings = ( 'a' 'b' )   (an fw::TStringList)
//   Component    ComPort = ComPort1            (a component of the form, found by name after
//                                               the whole text is read)
//   Event        OnCloseQuery = FormCloseQuery (a method of the root's TMethodTable, by name,
//                                               bound after the whole text is read)
//
// Form text:
//   object MainForm: TMainForm
//     Caption = 'LCD Konfiguration'
//     Font.Height = -11
//     OnCloseQuery = FormCloseQuery
//     object GroupBox3: TGroupBox
//       Left = 16
//     end
//   end
// ReadComponentText(text, root) sets the root's name and properties, creates every nested
// object with the root as owner (and, for classes that nest, the enclosing object as parent),
// sets each property while the component is in its loading state, resolves references and
// events once the whole text is read, then calls Loaded once on every component read, in the
// order read, and last on the root. WriteComponentText(root) writes the same form back,
// leaving out values equal to their default and properties whose stored rule says no.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "framework/component.h"
#include "framework/exceptions.h"
#include "framework/graphics.h"
#include "framework/stringlist.h"

namespace fw {

// A form text that cannot be read: the message names the line, the component and the property.
class EReadError : public Exception {
 public:
  using Exception::Exception;
};
// A form text names a class that is not registered (or has no factory).
class EClassNotFound : public Exception {
 public:
  using Exception::Exception;
};

enum class TPropKind {
  Integer, Boolean, Text, Char, Enumeration, Set, Color, Object, Strings, Component, Event
};

// The methods a form text's events may name: a name and a bound closure of any signature.
// An event property accepts a method only when the closure type is exactly its own.
class TMethodTable {
 public:
  template <class Sig>
  void Add(const std::string& name, Closure<Sig> method) {
    entries_.push_back({name, std::any(method)});
  }
  // Case-insensitive; null when absent.
  const std::any* Find(const std::string& name) const;
  struct Entry {
    std::string name;
    std::any method;
  };
  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

// Implemented by a root (the form) whose text binds events to its methods.
class TMethodOwner {
 public:
  virtual ~TMethodOwner() = default;
  virtual const TMethodTable& Methods() const = 0;
};

// Implemented by components that sit inside another one in the form text (a control inside its
// group box). The reader calls SetStreamParent before it sets the properties; the writer nests
// a component under its StreamParent (null or the root: directly under the root).
class TStreamNesting {
 public:
  virtual ~TStreamNesting() = default;
  virtual TComponent* StreamParent() const = 0;
  virtual void SetStreamParent(TComponent* parent) = 0;
};

// A property value in its kind's neutral form: Integer, Char, Enumeration (ordinal), Set (bits)
// and Color use long long; Boolean bool; Text std::string; Strings a list; Component a pointer.
using TPropValue =
    std::variant<std::monostate, long long, bool, std::string, std::vector<std::string>,
                 TComponent*>;

struct TPropInfo {
  std::string name;
  TPropKind kind = TPropKind::Integer;
  // Enumeration and Set: member names by ordinal. Integer and Color: named values.
  std::vector<std::string> memberNames;
  std::vector<std::pair<std::string, long long>> namedValues;
  long long minValue = 0, maxValue = 0;  // Integer, Char, Enumeration: the accepted range
  std::optional<TPropValue> defaultValue;  // none: always stored (unless the rule says no)
  std::function<bool(TObject&)> stored;    // null: stored
  std::function<TPropValue(TObject&)> get;
  std::function<void(TObject&, const TPropValue&)> set;  // null: read-only
  // Object: the sub-object and its registered class name.
  std::function<TPersistent*(TObject&)> object;
  std::string objectClass;
  // Event: the handler slot as a type-erased closure.
  std::function<std::any(TObject&)> getEvent;
  std::function<bool(TObject&, const std::any&)> setEvent;  // false: wrong closure type
  std::function<bool(TObject&, const std::any&)> eventIs;   // the slot holds exactly that
  std::function<bool(TObject&)> eventAssigned;
  // Component: accepts only components of the declared class.
  std::function<bool(TComponent*)> accepts;
};

struct TClassInfo {
  std::string name;
  const TClassInfo* parent = nullptr;
  std::function<TComponent*(TComponent* owner)> create;  // null: not created by the reader
  std::function<bool(const TObject*)> isInstance;
  std::vector<TPropInfo> ownProperties;

  // All properties: the base's first, in declaration order.
  std::vector<const TPropInfo*> Properties() const;
  // Case-insensitive; null when absent.
  const TPropInfo* FindProperty(const std::string& name) const;
  int Depth() const { return parent == nullptr ? 0 : parent->Depth() + 1; }
};

// The registered class of that name (case-sensitive), or null.
const TClassInfo* FindClassInfo(const std::string& name);
// The registered class of an object: its ClassName() if registered, else the most derived
// registered class it is an instance of (a form class registers nothing of its own).
const TClassInfo* ClassInfoOf(const TObject* object);

namespace detail {
// Out of line (and never inlined) on purpose: inlined, GCC 12 with the sanitizers takes the
// variant for uninitialised (-Wmaybe-uninitialized).
void SetDefault(TPropInfo& property, TPropValue value);
TClassInfo* AddClass(const std::string& name, const std::string& parent,
                     std::function<TComponent*(TComponent*)> create,
                     std::function<bool(const TObject*)> isInstance, bool& existed);

template <class T>
struct IsClosure : std::false_type {};
template <class Sig>
struct IsClosure<Closure<Sig>> : std::true_type {};

template <class T, class = void>
struct HasToBits : std::false_type {};
template <class T>
struct HasToBits<T, std::void_t<decltype(std::declval<T>().ToBits())>> : std::true_type {};

template <class V>
long long ToNumber(const V& v) {
  if constexpr (HasToBits<V>::value) {
    return static_cast<long long>(v.ToBits());
  } else {
    return static_cast<long long>(v);
  }
}
template <class V>
V FromNumber(long long n) {
  if constexpr (HasToBits<V>::value) {
    return V::FromBits(static_cast<decltype(std::declval<V>().ToBits())>(n));
  } else {
    return static_cast<V>(n);
  }
}
}  // namespace detail

// Adds properties to one registered class. Each method adds one property; StoredWhen and
// NeverStored change the one added last.
template <class C>
class TClassBuilder {
 public:
  // The value type a getter returns.
  template <class G>
  using Value = std::decay_t<std::invoke_result_t<G, C&>>;

  explicit TClassBuilder(TClassInfo* info) : info_(info) {}

  template <class G, class S>
  TClassBuilder& Integer(const std::string& name, G get, S set,
                         std::optional<long long> def = std::nullopt,
                         std::vector<std::pair<std::string, long long>> namedValues = {}) {
    using V = Value<G>;
    TPropInfo p = Numeric<V>(name, TPropKind::Integer, get, set, def);
    p.namedValues = std::move(namedValues);
    return Add(std::move(p));
  }
  template <class G, class S>
  TClassBuilder& Boolean(const std::string& name, G get, S set,
                         std::optional<bool> def = std::nullopt) {
    TPropInfo p = Base(name, TPropKind::Boolean);
    if (def) detail::SetDefault(p, TPropValue(*def));
    p.get = [get](TObject& o) -> TPropValue { return static_cast<bool>(Call(get, o)); };
    p.set = Setter(set, [](const TPropValue& v) { return std::get<bool>(v); });
    return Add(std::move(p));
  }
  template <class G, class S>
  TClassBuilder& Text(const std::string& name, G get, S set,
                      std::optional<std::string> def = std::nullopt) {
    TPropInfo p = Base(name, TPropKind::Text);
    if (def) detail::SetDefault(p, TPropValue(*def));
    p.get = [get](TObject& o) -> TPropValue { return std::string(Call(get, o)); };
    p.set = Setter(set, [](const TPropValue& v) { return std::get<std::string>(v); });
    return Add(std::move(p));
  }
  template <class G, class S>
  TClassBuilder& Char(const std::string& name, G get, S set,
                      std::optional<char> def = std::nullopt) {
    using V = Value<G>;
    std::optional<long long> d;
    if (def) d = static_cast<unsigned char>(*def);
    TPropInfo p = Numeric<V>(name, TPropKind::Char, get, set, d);
    p.minValue = 0;
    p.maxValue = 255;
    p.get = [get](TObject& o) -> TPropValue {
      return static_cast<long long>(static_cast<unsigned char>(Call(get, o)));
    };
    p.set = Setter(set, [](const TPropValue& v) {
      return static_cast<V>(static_cast<unsigned char>(std::get<long long>(v)));
    });
    return Add(std::move(p));
  }
  template <class G, class S>
  TClassBuilder& Enumeration(const std::string& name, std::vector<std::string> members, G get,
                             S set, std::optional<Value<G>> def = std::nullopt) {
    using V = Value<G>;
    std::optional<long long> d;
    if (def) d = static_cast<long long>(*def);
    TPropInfo p = Numeric<V>(name, TPropKind::Enumeration, get, set, d);
    p.minValue = 0;
    p.maxValue = static_cast<long long>(members.size()) - 1;
    p.memberNames = std::move(members);
    return Add(std::move(p));
  }
  template <class G, class S>
  TClassBuilder& Set(const std::string& name, std::vector<std::string> members, G get, S set,
                     std::optional<Value<G>> def = std::nullopt) {
    using V = Value<G>;
    TPropInfo p = Base(name, TPropKind::Set);
    p.memberNames = std::move(members);
    if (def) detail::SetDefault(p, TPropValue(detail::ToNumber(*def)));
    p.get = [get](TObject& o) -> TPropValue { return detail::ToNumber<V>(Call(get, o)); };
    p.set = Setter(set, [](const TPropValue& v) {
      return detail::FromNumber<V>(std::get<long long>(v));
    });
    return Add(std::move(p));
  }
  template <class G, class S>
  TClassBuilder& Color(const std::string& name, G get, S set,
                       std::optional<TColor> def = std::nullopt) {
    TPropInfo p = Base(name, TPropKind::Color);
    if (def) detail::SetDefault(p, TPropValue(static_cast<long long>(*def)));
    p.get = [get](TObject& o) -> TPropValue { return static_cast<long long>(Call(get, o)); };
    p.set = Setter(set, [](const TPropValue& v) {
      return static_cast<TColor>(std::get<long long>(v));
    });
    return Add(std::move(p));
  }
  // A sub-object: get returns a pointer to it; className is its registered class. The stored
  // rule of the sub-object property applies to all of its fields.
  template <class G>
  TClassBuilder& Object(const std::string& name, G get, const std::string& className) {
    TPropInfo p = Base(name, TPropKind::Object);
    p.objectClass = className;
    p.object = [get](TObject& o) -> TPersistent* { return Call(get, o); };
    return Add(std::move(p));
  }
  // A string list: get returns TStringList& (or a pointer); set takes the new list.
  template <class G, class S>
  TClassBuilder& Strings(const std::string& name, G get, S set) {
    TPropInfo p = Base(name, TPropKind::Strings);
    detail::SetDefault(p, TPropValue(std::vector<std::string>{}));
    p.get = [get](TObject& o) -> TPropValue { return ListOf(Call(get, o)); };
    p.set = [set](TObject& o, const TPropValue& v) {
      TStringList list;
      for (const std::string& s : std::get<std::vector<std::string>>(v)) list.Add(s);
      std::invoke(set, static_cast<C&>(o), list);
    };
    return Add(std::move(p));
  }
  // A reference to another component of the form; get returns T*, set takes T*.
  template <class G, class S>
  TClassBuilder& Component(const std::string& name, G get, S set) {
    using P = Value<G>;
    using T = std::remove_pointer_t<P>;
    TPropInfo p = Base(name, TPropKind::Component);
    detail::SetDefault(p, TPropValue(static_cast<TComponent*>(nullptr)));
    p.get = [get](TObject& o) -> TPropValue {
      return static_cast<TComponent*>(const_cast<std::remove_const_t<T>*>(Call(get, o)));
    };
    p.set = [set](TObject& o, const TPropValue& v) {
      std::invoke(set, static_cast<C&>(o), dynamic_cast<T*>(std::get<TComponent*>(v)));
    };
    p.accepts = [](TComponent* c) { return c == nullptr || dynamic_cast<T*>(c) != nullptr; };
    return Add(std::move(p));
  }
  // An event slot; get returns the closure, set takes one of the same type.
  template <class G, class S>
  TClassBuilder& Event(const std::string& name, G get, S set) {
    using H = Value<G>;
    static_assert(detail::IsClosure<H>::value, "an event getter returns a fw::Closure");
    TPropInfo p = Base(name, TPropKind::Event);
    p.getEvent = [get](TObject& o) { return std::any(Call(get, o)); };
    p.eventAssigned = [get](TObject& o) { return Call(get, o).Assigned(); };
    p.eventIs = [get](TObject& o, const std::any& m) {
      const H* h = std::any_cast<H>(&m);
      return h != nullptr && Call(get, o) == *h;
    };
    p.setEvent = [set](TObject& o, const std::any& m) {
      const H* h = std::any_cast<H>(&m);
      if (h == nullptr) return false;
      std::invoke(set, static_cast<C&>(o), *h);
      return true;
    };
    return Add(std::move(p));
  }

  // The property added last is written only while rule(object) is true.
  template <class R>
  TClassBuilder& StoredWhen(R rule) {
    if (last_ != nullptr) {
      last_->stored = [rule](TObject& o) { return static_cast<bool>(Call(rule, o)); };
    }
    return *this;
  }
  // The property added last is never written.
  TClassBuilder& NeverStored() {
    if (last_ != nullptr) last_->stored = [](TObject&) { return false; };
    return *this;
  }

 private:
  template <class F>
  static decltype(auto) Call(F& f, TObject& o) {
    return std::invoke(f, static_cast<C&>(o));
  }
  static std::vector<std::string> ListOf(const TStringList& l) { return l.Items(); }
  static std::vector<std::string> ListOf(const TStringList* l) { return l->Items(); }

  TPropInfo Base(const std::string& name, TPropKind kind) {
    TPropInfo p;
    p.name = name;
    p.kind = kind;
    return p;
  }
  template <class S, class Convert>
  static std::function<void(TObject&, const TPropValue&)> Setter(S set, Convert convert) {
    if constexpr (std::is_null_pointer_v<S>) {
      return nullptr;
    } else {
      return [set, convert](TObject& o, const TPropValue& v) {
        std::invoke(set, static_cast<C&>(o), convert(v));
      };
    }
  }
  template <class V, class G, class S>
  TPropInfo Numeric(const std::string& name, TPropKind kind, G get, S set,
                    std::optional<long long> def) {
    TPropInfo p = Base(name, kind);
    if (def) detail::SetDefault(p, TPropValue(*def));
    if constexpr (std::is_enum_v<V>) {
      p.minValue = 0;
      p.maxValue = 0;
    } else {
      p.minValue = static_cast<long long>(std::numeric_limits<V>::min());
      p.maxValue = std::numeric_limits<V>::max() > std::numeric_limits<long long>::max()
                       ? std::numeric_limits<long long>::max()
                       : static_cast<long long>(std::numeric_limits<V>::max());
    }
    p.get = [get](TObject& o) -> TPropValue { return static_cast<long long>(Call(get, o)); };
    p.set = Setter(set, [](const TPropValue& v) { return static_cast<V>(std::get<long long>(v)); });
    return p;
  }
  TClassBuilder& Add(TPropInfo p) {
    if (info_ == nullptr) return *this;  // already registered: add nothing
    info_->ownProperties.push_back(std::move(p));
    last_ = &info_->ownProperties.back();
    return *this;
  }

  TClassInfo* info_;
  TPropInfo* last_ = nullptr;
};

// Registers a component class the reader can create (owner = the form). parent is the
// registered base class ("TComponent" at least). Registering a name again adds nothing.
template <class C>
TClassBuilder<C> RegisterComponentClass(const std::string& name, const std::string& parent) {
  bool existed = false;
  TClassInfo* info = detail::AddClass(
      name, parent, [](TComponent* owner) -> TComponent* { return new C(owner); },
      [](const TObject* o) { return dynamic_cast<const C*>(o) != nullptr; }, existed);
  return TClassBuilder<C>(existed ? nullptr : info);
}

// Registers a class the reader does not create: a form class, an abstract base, or (with an
// empty parent) a sub-object whose fields are written as Name.Field.
template <class C>
TClassBuilder<C> RegisterBaseClass(const std::string& name, const std::string& parent) {
  bool existed = false;
  TClassInfo* info = detail::AddClass(
      name, parent, nullptr,
      [](const TObject* o) { return dynamic_cast<const C*>(o) != nullptr; }, existed);
  return TClassBuilder<C>(existed ? nullptr : info);
}
template <class C>
TClassBuilder<C> RegisterSubObject(const std::string& name) {
  return RegisterBaseClass<C>(name, "");
}

// Reads a form text into root (see the top of this file). Raises EReadError (with the line) for
// text it cannot read, an unknown property, a value of the wrong kind or out of range, a
// duplicate component name, an unresolved reference or method, and EClassNotFound for an
// unknown class. On such an error the components created by this read are freed and the root
// leaves its loading state; exceptions raised by a Loaded are passed on as they are.
void ReadComponentText(const std::string& text, TComponent& root);

// Writes root and the components it owns as a form text, in the format the reader reads.
// Event slots whose handler is not in the root's method table are left out.
std::string WriteComponentText(TComponent& root);

// Colour names of the form text (clBtnFace, clWhite, ...): the value, or false when unknown.
bool ColorFromIdent(const std::string& ident, TColor& color);
// The name of a colour, or "" when it has none.
std::string ColorToIdent(TColor color);

}  // namespace fw
