// Event handlers: a method bound to the object it runs on.
//
// A closure is the pair (code, object). It counts as assigned when its code part is set. Two
// comparisons exist, because the component model needs both: SameCode compares the code only
// (a port's event setters ignore re-assigning the same method bound to another object), while
// operator== compares code and object (an indicator restores a port slot only if it still holds
// exactly its own handler). Each bound member function gets one unique thunk, so the code part
// identifies the method.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

namespace fw {

template <class Signature>
class Closure;

template <class R, class... Args>
class Closure<R(Args...)> {
 public:
  using Thunk = R (*)(void*, Args...);

  Closure() = default;
  Closure(std::nullptr_t) {}  // NOLINT: allows `handler = nullptr`

  // Binds the member function Method to object.
  template <auto Method, class C>
  static Closure Of(C* object) {
    Closure c;
    c.object_ = object;
    c.code_ = &Invoke<Method, C>;
    return c;
  }

  explicit operator bool() const { return code_ != nullptr; }
  bool Assigned() const { return code_ != nullptr; }

  R operator()(Args... args) const { return code_(object_, std::forward<Args>(args)...); }

  bool SameCode(const Closure& other) const { return code_ == other.code_; }
  bool operator==(const Closure& other) const {
    return code_ == other.code_ && object_ == other.object_;
  }
  bool operator!=(const Closure& other) const { return !(*this == other); }

  void* Object() const { return object_; }
  Thunk Code() const { return code_; }

 private:
  template <auto Method, class C>
  static R Invoke(void* object, Args... args) {
    return (static_cast<C*>(object)->*Method)(std::forward<Args>(args)...);
  }

  void* object_ = nullptr;
  Thunk code_ = nullptr;
};

namespace detail {
template <class M>
struct MemberClass;
template <class C, class R, class... A>
struct MemberClass<R (C::*)(A...)> {
  using type = C;
  using signature = R(A...);
};
template <class C, class R, class... A>
struct MemberClass<R (C::*)(A...) const> {
  using type = const C;
  using signature = R(A...);
};
}  // namespace detail

// Method<&TMainForm::Timer1Timer>(this): the closure type follows the member's signature.
template <auto M>
auto Method(typename detail::MemberClass<decltype(M)>::type* object) {
  using Sig = typename detail::MemberClass<decltype(M)>::signature;
  return Closure<Sig>::template Of<M>(object);
}

}  // namespace fw
