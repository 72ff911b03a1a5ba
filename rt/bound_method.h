// Events and callbacks: a code entry and the object it is called on. The object is
// passed first; an event counts as assigned when its code entry is set.
#pragma once

template <typename... Args>
struct BoundMethod {
  void (*Code)(void* object, Args... args);
  void* Object;

  bool Assigned() const { return Code != nullptr; }
  // Calls the method when it is assigned; an unassigned event is skipped.
  void operator()(Args... args) const {
    if (Code) Code(Object, args...);
  }
};

template <auto Method>
struct MethodTrampoline;

template <class C, typename... Args, void (C::*Method)(Args...)>
struct MethodTrampoline<Method> {
  static void Call(void* object, Args... args) { (static_cast<C*>(object)->*Method)(args...); }
  using Event = BoundMethod<Args...>;
};

// Bind<&Type::Handler>(object) makes the event that calls object->Handler(...).
template <auto Method, class C>
typename MethodTrampoline<Method>::Event Bind(C* object) {
  typename MethodTrampoline<Method>::Event event;
  event.Code = &MethodTrampoline<Method>::Call;
  event.Object = object;
  return event;
}
