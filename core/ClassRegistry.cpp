#include "core/ClassRegistry.h"

#include <string>
#include <vector>

#include "core/ClassInfo.h"
#include "core/Lists.h"
#include "core/Persistent.h"
#include "core/StringList.h"
#include "runtime/Exceptions.h"

namespace tw {

namespace {

// The registered classes in registration order, and the aliases. A line's
// object of a string list is a TObject, which a class record is not, so the
// alias classes sit in a vector beside the names, index for index. Both are
// guarded by the class list's lock.
struct Registry {
  TThreadList classes;
  TStringList aliasNames;
  std::vector<const TClassInfo*> aliasClasses;
};

// Made on first use, so that registration from any static initialiser finds it.
Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

const TClassInfo* LookupLocked(Registry& registry, const TList& classes, std::string_view name) {
  for (int i = 0; i < classes.Count(); ++i) {
    const auto* cls = static_cast<const TClassInfo*>(classes.Items()[i]);
    if (ClassNameMatches(*cls, name)) return cls;
  }
  const int alias = registry.aliasNames.IndexOfLine(name);
  return alias >= 0 ? registry.aliasClasses[static_cast<std::size_t>(alias)] : nullptr;
}

void* Entry(const TClassInfo* cls) { return const_cast<TClassInfo*>(cls); }

}  // namespace

void RegisterStreamClass(const TClassInfo& cls) {
  Registry& registry = TheRegistry();
  TThreadList::Guard classes(registry.classes);
  const TClassInfo& persistent = TPersistent::StaticClassInfo();
  for (const TClassInfo* c = &cls; c && classes->IndexOfItem(c) < 0; c = c->parent) {
    if (LookupLocked(registry, *classes, c->name)) throw EFilerError(msg::DuplicateClass, {c->name});
    classes->Append(Entry(c));
    if (c == &persistent) break;
  }
}

void RegisterStreamClasses(std::initializer_list<const TClassInfo*> classes) {
  for (const TClassInfo* cls : classes)
    if (cls) RegisterStreamClass(*cls);
}

void UnregisterStreamClass(const TClassInfo& cls) {
  TThreadList::Guard classes(TheRegistry().classes);
  classes->RemoveItem(&cls);
}

void RegisterClassAlias(const TClassInfo& cls, std::string_view alias) {
  Registry& registry = TheRegistry();
  TThreadList::Guard hold(registry.classes);
  const int index = registry.aliasNames.AddLine(alias);
  registry.aliasClasses.insert(registry.aliasClasses.begin() + index, &cls);
}

const TClassInfo* LookupClass(std::string_view name) {
  Registry& registry = TheRegistry();
  TThreadList::Guard classes(registry.classes);
  return LookupLocked(registry, *classes, name);
}

const TClassInfo& RequireClass(std::string_view name) {
  const TClassInfo* cls = LookupClass(name);
  if (!cls) throw EClassNotFound(msg::ClassNotFound, {name});
  return *cls;
}

const TClassInfo* FieldClassIn(const TObject& instance, std::string_view name) {
  const TClassInfo& persistent = TPersistent::StaticClassInfo();
  for (const TClassInfo* c = &instance.ClassType(); c && c != &persistent; c = c->parent) {
    const TPublishedTables* tables = PublishedTablesOf(*c);
    if (!tables) continue;
    for (const TClassInfo* fieldClass : tables->fieldClasses)
      if (SameAsciiText(fieldClass->name, name)) return fieldClass;
  }
  return nullptr;
}

const TClassInfo* FieldClassByName(const TObject& instance, std::string_view name) {
  const TClassInfo* fieldClass = FieldClassIn(instance, name);
  return fieldClass ? fieldClass : LookupClass(name);
}

}  // namespace tw
