#include "commands/registry.h"

#include <algorithm>

ObjectRegistry &Objects() {
  static ObjectRegistry registry;
  return registry;
}

void ThrowInvalidHandle(const char *typeName, Handle h) {
  throw CommandError(std::string("invalid ") + typeName + " handle " + std::to_string(h));
}

Handle ObjectRegistry::Insert(void *object, const HandleTypeTag *type, Handle owner,
                              void (*destroy)(void *)) {
  Handle h = next_++;
  entries_.emplace(h, Entry{object, type, owner, destroy, {}});
  if (owner != 0) entries_.at(owner).views.push_back(h);
  return h;
}

Handle ObjectRegistry::InsertBorrowed(void *object, const HandleTypeTag *type, Handle owner) {
  auto it = entries_.find(owner);
  if (it == entries_.end()) {
    throw CommandError("no live owner " + std::to_string(owner) + " for a " + type->name + " view");
  }
  for (Handle v : it->second.views) {
    const Entry &e = entries_.at(v);
    if (e.object == object && e.type == type) return v;
  }
  return Insert(object, type, owner, nullptr);
}

void *ObjectRegistry::Lookup(Handle h, const HandleTypeTag *type) const {
  auto it = entries_.find(h);
  if (it == entries_.end() || it->second.type != type) ThrowInvalidHandle(type->name, h);
  return it->second.object;
}

void *ObjectRegistry::Detach(Handle h, const HandleTypeTag *type) {
  auto it = entries_.find(h);
  if (it == entries_.end() || it->second.type != type) ThrowInvalidHandle(type->name, h);
  if (it->second.destroy == nullptr) {
    throw CommandError(std::string(type->name) + " handle " + std::to_string(h) +
                       " belongs to another object and cannot be freed on its own");
  }
  void *object = it->second.object;
  ReleaseViews(h);
  entries_.erase(h);
  return object;
}

void ObjectRegistry::ReleaseViews(Handle owner) {
  auto it = entries_.find(owner);
  if (it == entries_.end()) return;
  std::vector<Handle> views;
  views.swap(it->second.views);
  for (Handle v : views) Forget(v);
}

// Drops a view and, recursively, the views borrowed from it.
void ObjectRegistry::Forget(Handle h) {
  auto it = entries_.find(h);
  if (it == entries_.end()) return;
  std::vector<Handle> views;
  views.swap(it->second.views);
  entries_.erase(it);
  for (Handle v : views) Forget(v);
}
