// The root of the object model: every class carries a read-only record of its
// class (name, parent, instance size) that can be asked at run time.
#pragma once

#include <cstddef>

namespace tw {

class TComponent;
struct TPublishedTables;
struct TMessage;

struct TClassInfo {
  const char* name;
  const TClassInfo* parent;
  std::size_t instanceSize;
  // What this class itself publishes (fields, methods, properties, message
  // handlers), built on first use; none for classes that publish nothing.
  const TPublishedTables& (*published)() = nullptr;
  // Construction by class reference with an owner (components only).
  TComponent* (*construct)(TComponent* owner) = nullptr;

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

  // What a message gets that no index-dispatched handler of the class chain
  // takes. Nothing by default.
  virtual void DefaultHandler(TMessage& message) { (void)message; }
  // Runs while the whole object still exists, before any destructor body:
  // FreeIfPresent calls it. Nothing by default.
  virtual void BeforeFree() {}
};

// Destroys the object (nothing for none), giving it its BeforeFree step first.
inline void FreeIfPresent(TObject* object) {
  if (!object) return;
  object->BeforeFree();
  delete object;
}

// Declares the class record of Name, derived from Parent. Member function bodies
// see the complete class, so the instance size is known here.
#define TW_CLASS(Name, Parent)                                                           \
 public:                                                                                 \
  using Inherited = Parent;                                                              \
  static const ::tw::TClassInfo& StaticClassInfo() {                                     \
    static const ::tw::TClassInfo info{#Name, &Parent::StaticClassInfo(), sizeof(Name)}; \
    return info;                                                                         \
  }                                                                                      \
  const ::tw::TClassInfo& ClassType() const override { return StaticClassInfo(); }       \
                                                                                         \
 private:

}  // namespace tw
