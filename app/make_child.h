// Creates a Qt object owned by its parent: the parent deletes it, so the
// pointer returned is only a handle and must not be deleted by the caller.
#pragma once

#include <memory>
#include <utility>

namespace kestrin::app {

template <class Child, class Parent, class... Args>
Child* MakeChild(Parent* parent, Args&&... args) {
  auto child = std::make_unique<Child>(std::forward<Args>(args)...);
  child->setParent(parent);
  return child.release();  // owned by `parent` from here on
}

}  // namespace kestrin::app
