// The registry of live objects behind script handles.
//
// Scripts see core objects as decimal handles. A handle is issued fresh for
// every object created through a command and never reused within a process;
// 0 means no object. Every use checks that the handle is alive and names an
// object of the expected type, so a stale, forged or mistyped handle fails
// the command instead of reaching freed memory.
//
// Objects come in two kinds: owned ones, which the registry destroys when
// their handle is released, and borrowed views of an object that lives
// inside another (a context's z-buffer, a shell's scene), whose handles die
// with their owner's.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "commands/handle_types.h"

// A failure a command reports as its result (TCL_ERROR).
struct CommandError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using Handle = long long;

// One tag per record type; its address is the type's identity.
struct HandleTypeTag {
  const char *name;
};
template <class T>
const HandleTypeTag *TypeTagOf() {
  static const HandleTypeTag tag{HandleName<T>::value};
  return &tag;
}

class ObjectRegistry {
 public:
  // Takes ownership; returns the new handle (0 for a null object).
  template <class T>
  Handle Adopt(std::unique_ptr<T> object) {
    if (!object) return 0;
    T *raw = object.release();
    return Insert(raw, TypeTagOf<T>(), 0, [](void *p) { delete static_cast<T *>(p); });
  }

  // A view of an object owned by `owner`'s object. Asking again for the
  // same object of the same owner gives the same handle.
  template <class T>
  Handle Borrow(T *object, Handle owner) {
    if (object == nullptr) return 0;
    return InsertBorrowed(const_cast<void *>(static_cast<const void *>(object)), TypeTagOf<T>(),
                          owner);
  }

  // The live object of type T named by h; throws CommandError otherwise.
  template <class T>
  T *Get(Handle h) const {
    return static_cast<T *>(Lookup(h, TypeTagOf<T>()));
  }

  // Removes an owned object from the registry and hands it back to the
  // caller; the handles of its views die with it.
  template <class T>
  std::unique_ptr<T> Take(Handle h) {
    return std::unique_ptr<T>(static_cast<T *>(Detach(h, TypeTagOf<T>())));
  }

  // Forgets every view borrowed from `owner` (after an operation that
  // replaced what they pointed into).
  void ReleaseViews(Handle owner);

  // Objects the scripts never freed are destroyed with the registry, at
  // process exit.
  ~ObjectRegistry() {
    for (auto &entry : entries_) {
      if (entry.second.destroy != nullptr) entry.second.destroy(entry.second.object);
    }
  }

  bool Alive(Handle h) const { return entries_.count(h) != 0; }
  size_t LiveCount() const { return entries_.size(); }

 private:
  struct Entry {
    void *object;
    const HandleTypeTag *type;
    Handle owner;               // 0 for owned objects
    void (*destroy)(void *);    // null for views
    std::vector<Handle> views;  // handles borrowed from this object
  };

  Handle Insert(void *object, const HandleTypeTag *type, Handle owner, void (*destroy)(void *));
  Handle InsertBorrowed(void *object, const HandleTypeTag *type, Handle owner);
  void *Lookup(Handle h, const HandleTypeTag *type) const;
  void *Detach(Handle h, const HandleTypeTag *type);
  void Forget(Handle h);

  std::unordered_map<Handle, Entry> entries_;
  Handle next_ = 1;
};

// The process's one registry.
ObjectRegistry &Objects();

// "invalid Scene handle 17"
[[noreturn]] void ThrowInvalidHandle(const char *typeName, Handle h);
