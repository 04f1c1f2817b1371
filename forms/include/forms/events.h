// Event properties: a callable or nothing. Firing an unassigned event does nothing (and
// yields a value-initialised result for events that return one).
//
// An event bound by a stored window description remembers the handler's name, so that the
// description writer can store it again.
#pragma once

#include <functional>
#include <string>
#include <type_traits>
#include <utility>

class TObject;

template <class Sig>
class TEvent;

template <class R, class... A>
class TEvent<R(A...)> {
 public:
  using Signature = R(A...);
  using Function = std::function<R(A...)>;

  TEvent() = default;
  TEvent(std::nullptr_t) {}
  template <class F>
  requires std::is_invocable_r_v<R, F&, A...> &&
      (!std::is_same_v<std::decay_t<F>, TEvent>)TEvent(F&& f)
      : FFunction(std::forward<F>(f)) {}

  // Binds a method of `object`, as the described system's events hold a method and its object.
  template <class C, class M>
  static TEvent Method(C* object, M method, std::string name = {}) {
    TEvent e(
        [object, method](A... args) -> R { return (object->*method)(std::forward<A>(args)...); });
    e.FHandlerName = std::move(name);
    return e;
  }

  bool Assigned() const { return static_cast<bool>(FFunction); }
  explicit operator bool() const { return Assigned(); }
  void Clear() {
    FFunction = nullptr;
    FHandlerName.clear();
  }

  // The handler's name when it came from a description; empty otherwise.
  const std::string& HandlerName() const { return FHandlerName; }
  void Bind(Function f, std::string handlerName) {
    FFunction = std::move(f);
    FHandlerName = std::move(handlerName);
  }

  R operator()(A... args) const {
    if (!FFunction) {
      if constexpr (std::is_void_v<R>)
        return;
      else
        return R{};
    }
    // A copy: the handler may re-assign this event while it runs.
    Function f = FFunction;
    return f(std::forward<A>(args)...);
  }

 private:
  Function FFunction;
  std::string FHandlerName;
};

using TNotifyEvent = TEvent<void(TObject* Sender)>;
