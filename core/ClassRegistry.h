// The registry of classes that can be created by name: the form reader turns a
// class name from a stream into a class here when the form's own published
// fields do not name it.
#pragma once

#include <initializer_list>
#include <string_view>
#include <type_traits>

#include "core/Component.h"
#include "runtime/Object.h"

namespace tw {

// Registers the class and its ancestors up to and including TPersistent, each
// once. A different class of an already registered name raises EFilerError;
// the classes registered before it stay registered.
void RegisterStreamClass(const TClassInfo& cls);
void RegisterStreamClasses(std::initializer_list<const TClassInfo*> classes);
// Registers component classes, checked by the compiler: the form reader
// creates a registered class through a constructor taking the owner, so a
// class without one (or an abstract one) does not compile here instead of
// failing only when a form names it ("class not found"). The calls stand in an
// explicit list that the program runs, which static linking keeps.
template <class... T>
void RegisterComponentClasses() {
  static_assert((std::is_base_of_v<TComponent, T> && ...), "a registered class is a component");
  static_assert(((std::is_constructible_v<T, TComponent*> && !std::is_abstract_v<T>)&&...),
                "a registered class needs a constructor T(TComponent* owner) and no pure virtual function");
  RegisterStreamClasses({&T::StaticClassInfo()...});
}

// Takes exactly this class out again (its ancestors stay).
void UnregisterStreamClass(const TClassInfo& cls);

// Makes a class known under another name as well. Consulted after the
// registered names.
void RegisterClassAlias(const TClassInfo& cls, std::string_view alias);

// The first registered class whose name matches (ASCII letters without case),
// else the class of an alias of that name, else none.
const TClassInfo* LookupClass(std::string_view name);
// LookupClass, or EClassNotFound naming the class.
const TClassInfo& RequireClass(std::string_view name);

// The class the form reader creates a child of the instance from: the first
// field class of that name published by the instance's class or an ancestor
// below TPersistent (nearest class first), else LookupClass. A form's controls
// need no registration this way.
const TClassInfo* FieldClassByName(const TObject& instance, std::string_view name);
// The field class part of that search alone: none when no field class matches.
const TClassInfo* FieldClassIn(const TObject& instance, std::string_view name);

}  // namespace tw
