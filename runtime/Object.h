// The root of the object model: every class carries a read-only record of its
// class (name, parent, instance size) that can be asked at run time.
#pragma once

#include <cstddef>

namespace tw {

struct TClassInfo {
  const char* name;
  const TClassInfo* parent;
  std::size_t instanceSize;

  // True for this class and every class derived from it.
  bool InheritsFrom(const TClassInfo& other) const {
    for (const TClassInfo* c = this; c; c = c->parent)
      if (c == &other) return true;
    return false;
  }
};

class TObject {
 public:
  virtual ~TObject() = default;

  static const TClassInfo& StaticClassInfo() {
    static const TClassInfo info{"TObject", nullptr, sizeof(TObject)};
    return info;
  }
  virtual const TClassInfo& ClassType() const { return StaticClassInfo(); }
  const char* ClassName() const { return ClassType().name; }
  bool InheritsFrom(const TClassInfo& c) const { return ClassType().InheritsFrom(c); }
};

// Declares the class record of Name, derived from Parent. Member function bodies
// see the complete class, so the instance size is known here.
#define TW_CLASS(Name, Parent)                                                       \
 public:                                                                             \
  using Inherited = Parent;                                                          \
  static const ::tw::TClassInfo& StaticClassInfo() {                                 \
    static const ::tw::TClassInfo info{#Name, &Parent::StaticClassInfo(), sizeof(Name)}; \
    return info;                                                                     \
  }                                                                                  \
  const ::tw::TClassInfo& ClassType() const override { return StaticClassInfo(); }   \
                                                                                     \
 private:

}  // namespace tw
