// The declarative command layer.
//
// Most script commands are one pattern: check the count, convert each
// argument by its C++ type, call the core, format the result. Wrap<&F>
// derives all of it from F's signature, so a command is one line:
//
//   Wrap<&WriteScene>("WriteScene", {"scn", "filename"}),
//
// Conversions follow the command conventions, not Tcl's strictness:
//   integers    base 10, leading numeric part, no digits -> 0, never an error;
//               beyond the int range, its nearest end
//   8-bit       the low 8 bits of that integer
//   float/double  strtod (non-numbers -> 0.0), narrowed for float
//   const char* passed through
//   T*          a live handle of type T (0 only where .NullOk names it)
//   std::unique_ptr<T>*  the handle is consumed: the core destroys it
//   std::vector<int/float/double>  a Tcl list of numbers
//   std::vector<std::string>  a Tcl list of words (file names, say)
// Results: integers and bool "%d", float/double "%f", 8-bit "%c", a new
// object (std::unique_ptr<T>) a fresh handle, a view into an argument's
// object (T*) a handle that dies with that argument's, std::string as is,
// std::vector<int> a Tcl list of integers, void empty.
//
// Hand-made commands ("c_...") are plain functions registered with Hand();
// the count check and the usage message are still done here, and every C++
// exception becomes TCL_ERROR in exactly one place (the dispatcher).
#pragma once

#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include <tcl.h>

#include "commands/registry.h"

struct CommandSpec;
using CommandInvoker = int (*)(const CommandSpec &, Tcl_Interp *, int, const char *[]);
using HandMadeFn = int (*)(Tcl_Interp *, int, const char *[]);

constexpr int kAnyCount = -1;

struct CommandSpec {
  const char *name = nullptr;
  std::string usage;           // a format with one %s for the command name
  int minArgs = 0;             // counts of arguments after the command name
  int maxArgs = 0;             // kAnyCount: no upper bound
  CommandInvoker invoke = nullptr;
  HandMadeFn handMade = nullptr;
  std::vector<std::string> params;  // generated commands: parameter names
  // Generated commands: what each parameter converts from, for tools that
  // walk the table: "int", "byte", "real", "string", "list", a handle type's
  // name ("Scene"), or that name with "!" when the command consumes it.
  std::vector<std::string> kinds;
  unsigned nullOk = 0;              // bit i: handle parameter i accepts 0

  // Lets the named handle parameter be 0 (no object).
  CommandSpec &NullOk(const char *param);
};

// Registers the specs with the interpreter, in order. The interpreter keeps
// pointers to them: they must outlive it.
void RegisterCommands(Tcl_Interp *interp, const std::vector<CommandSpec> &specs);

// The whole table of the application, module by module.
const std::vector<CommandSpec> &AllCommands();

// "usage: %s <a> <b>\n" from parameter names.
std::string UsageFormat(std::initializer_list<const char *> params);

// ---- conversions shared by generated and hand-made commands ----

long ArgInt(const char *s);
double ArgDouble(const char *s);
Handle ArgHandle(const char *s);
std::vector<double> ArgNumberList(const char *s);
std::vector<std::string> ArgStringList(const char *s);

template <class T>
T *ArgObject(const char *s) {
  return Objects().Get<T>(ArgHandle(s));
}

void SetHandleResult(Tcl_Interp *interp, Handle h);

template <class T>
void SetObjectResult(Tcl_Interp *interp, std::unique_ptr<T> object) {
  SetHandleResult(interp, Objects().Adopt(std::move(object)));
}

// ---- the generated wrapper ----

namespace wrap {

template <class T>
struct IsUniquePtr : std::false_type {};
template <class T>
struct IsUniquePtr<std::unique_ptr<T>> : std::true_type {};

template <class T>
inline constexpr bool kIsString = std::is_same_v<T, const char *> || std::is_same_v<T, char *>;

template <class T>
inline constexpr bool kIs8Bit = std::is_same_v<T, char> || std::is_same_v<T, signed char> ||
                                std::is_same_v<T, unsigned char>;

// What the conversion of one call remembers: the first handle argument
// owns any view the call returns.
struct CallState {
  const CommandSpec *spec;
  Handle firstHandle = 0;
};

template <class A, class Enable = void>
struct Arg;

template <class A>
struct Arg<A, std::enable_if_t<std::is_integral_v<A> || std::is_enum_v<A>>> {
  A value;
  Arg(const char *s, size_t, CallState &) : value(static_cast<A>(ArgInt(s))) {}
  A Get() { return value; }
};

template <class A>
struct Arg<A, std::enable_if_t<std::is_floating_point_v<A>>> {
  A value;
  Arg(const char *s, size_t, CallState &) : value(static_cast<A>(ArgDouble(s))) {}
  A Get() { return value; }
};

template <class A>
struct Arg<A, std::enable_if_t<kIsString<A>>> {
  const char *value;
  Arg(const char *s, size_t, CallState &) : value(s) {}
  A Get() { return const_cast<A>(value); }
};

// A handle to a live object.
template <class A>
struct Arg<A, std::enable_if_t<std::is_pointer_v<A> && !kIsString<A> &&
                               !IsUniquePtr<std::remove_pointer_t<A>>::value>> {
  using T = std::remove_cv_t<std::remove_pointer_t<A>>;
  T *value = nullptr;
  Arg(const char *s, size_t index, CallState &call) {
    Handle h = ArgHandle(s);
    if (h == 0 && (call.spec->nullOk >> index & 1u)) return;
    value = Objects().Get<T>(h);
    if (call.firstHandle == 0) call.firstHandle = h;
  }
  A Get() { return value; }
};

// A handle the core destroys: validated now, taken only at the call, so
// that a later argument's error leaves it alive.
template <class T>
struct Arg<std::unique_ptr<T> *> {
  Handle handle;
  std::unique_ptr<T> taken;
  Arg(const char *s, size_t, CallState &) : handle(ArgHandle(s)) { Objects().Get<T>(handle); }
  std::unique_ptr<T> *Get() {
    taken = Objects().Take<T>(handle);
    return &taken;
  }
};

template <class E>
struct Arg<std::vector<E>> {
  std::vector<E> value;
  Arg(const char *s, size_t, CallState &) {
    for (double v : ArgNumberList(s)) value.push_back(ToElement(v));
  }
  // Integers are truncated and clamped to the element type (NaN gives 0),
  // so no list element is undefined behaviour.
  static E ToElement(double v) {
    if constexpr (std::is_integral_v<E>) {
      if (!(v == v)) return 0;
      if (v <= static_cast<double>(std::numeric_limits<E>::min())) return std::numeric_limits<E>::min();
      if (v >= static_cast<double>(std::numeric_limits<E>::max())) return std::numeric_limits<E>::max();
    }
    return static_cast<E>(v);
  }
  std::vector<E> Get() { return std::move(value); }
};
template <>
struct Arg<std::vector<std::string>> {
  std::vector<std::string> value;
  Arg(const char *s, size_t, CallState &) : value(ArgStringList(s)) {}
  std::vector<std::string> Get() { return std::move(value); }
};
template <class E>
struct Arg<const std::vector<E> &> : Arg<std::vector<E>> {
  using Arg<std::vector<E>>::Arg;
};

void SetIntResult(Tcl_Interp *interp, long long v);
void SetDoubleResult(Tcl_Interp *interp, double v);
void SetCharResult(Tcl_Interp *interp, int c);
void SetStringResult(Tcl_Interp *interp, const std::string &s);
void SetIntListResult(Tcl_Interp *interp, const std::vector<int> &v);

template <class R>
void SetResult(Tcl_Interp *interp, R &&r, const CallState &call) {
  using T = std::decay_t<R>;
  if constexpr (IsUniquePtr<T>::value) {
    SetObjectResult(interp, std::move(r));
  } else if constexpr (std::is_same_v<T, std::string>) {
    SetStringResult(interp, r);
  } else if constexpr (std::is_same_v<T, std::vector<int>>) {
    SetIntListResult(interp, r);
  } else if constexpr (std::is_pointer_v<T>) {
    using O = std::remove_cv_t<std::remove_pointer_t<T>>;
    SetHandleResult(interp, r == nullptr ? 0 : Objects().Borrow<O>(const_cast<O *>(r), call.firstHandle));
  } else if constexpr (kIs8Bit<T>) {
    SetCharResult(interp, static_cast<unsigned char>(r));
  } else if constexpr (std::is_floating_point_v<T>) {
    SetDoubleResult(interp, r);
  } else {
    static_assert(std::is_integral_v<T> || std::is_enum_v<T>, "unsupported result type");
    SetIntResult(interp, static_cast<long long>(r));
  }
}

template <class F>
struct Signature;
template <class R, class... A>
struct Signature<R (*)(A...)> {
  using Result = R;
  using Args = std::tuple<A...>;
  static constexpr size_t kArity = sizeof...(A);
};

template <auto F, class R, class... A, size_t... I>
int Call(const CommandSpec &spec, Tcl_Interp *interp, const char *argv[],
         std::index_sequence<I...>, R (*)(A...)) {
  CallState call{&spec};
  // Braced initialisation converts the arguments left to right.
  std::tuple<Arg<A>...> args{Arg<A>(argv[I + 1], I, call)...};
  if constexpr (std::is_void_v<R>) {
    F(std::get<I>(args).Get()...);
    Tcl_ResetResult(interp);
  } else {
    SetResult(interp, F(std::get<I>(args).Get()...), call);
  }
  return TCL_OK;
}

template <auto F>
int Invoke(const CommandSpec &spec, Tcl_Interp *interp, int, const char *argv[]) {
  using S = Signature<decltype(F)>;
  return Call<F>(spec, interp, argv, std::make_index_sequence<S::kArity>{}, F);
}

template <class A>
std::string KindOf() {
  using D = std::remove_cv_t<std::remove_reference_t<A>>;
  if constexpr (kIs8Bit<D>) {
    return "byte";
  } else if constexpr (std::is_integral_v<D> || std::is_enum_v<D>) {
    return "int";
  } else if constexpr (std::is_floating_point_v<D>) {
    return "real";
  } else if constexpr (kIsString<D>) {
    return "string";
  } else if constexpr (std::is_pointer_v<D> && IsUniquePtr<std::remove_pointer_t<D>>::value) {
    return std::string(HandleName<typename std::remove_pointer_t<D>::element_type>::value) + "!";
  } else if constexpr (std::is_pointer_v<D>) {
    return HandleName<std::remove_cv_t<std::remove_pointer_t<D>>>::value;
  } else {
    return "list";
  }
}

template <class R, class... A>
std::vector<std::string> KindsOf(R (*)(A...)) {
  return {KindOf<A>()...};
}

CommandSpec MakeSpec(const char *name, std::initializer_list<const char *> params, size_t arity,
                     CommandInvoker invoke, std::vector<std::string> kinds);

}  // namespace wrap

template <auto F>
CommandSpec Wrap(const char *name, std::initializer_list<const char *> params) {
  return wrap::MakeSpec(name, params, wrap::Signature<decltype(F)>::kArity, &wrap::Invoke<F>,
                        wrap::KindsOf(F));
}

// A hand-made command: `usage` is the full format ("usage: %s <r>\n"),
// counts are of the arguments after the name.
CommandSpec Hand(const char *name, HandMadeFn fn, const char *usage, int minArgs, int maxArgs);

// The free commands share one body per type.
template <class T>
int FreeObjectCommand(Tcl_Interp *interp, int, const char *argv[]) {
  Objects().Take<T>(ArgHandle(argv[1]));
  Tcl_ResetResult(interp);
  return TCL_OK;
}
