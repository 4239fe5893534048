// The registry of classes that can be created by name: the form reader turns a
// class name from a stream into a class here when the form's own published
// fields do not name it.
#pragma once

#include <initializer_list>
#include <string_view>

#include "runtime/Object.h"

namespace tw {

// Registers the class and its ancestors up to and including TPersistent, each
// once. A different class of an already registered name raises EFilerError;
// the classes registered before it stay registered.
void RegisterStreamClass(const TClassInfo& cls);
void RegisterStreamClasses(std::initializer_list<const TClassInfo*> classes);
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
