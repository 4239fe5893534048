#include "core/ClassInfo.h"

namespace tw {

namespace {

// Names in the tables are at most 255 bytes; a longer name is cut before a search.
std::string_view Cut(std::string_view name) { return name.size() > 255 ? name.substr(0, 255) : name; }

char ClearBit5(char c) { return static_cast<char>(c & ~0x20); }

template <class Entry>
void IndexFirst(std::unordered_map<std::string, std::size_t>& index, const std::vector<Entry>& entries) {
  for (std::size_t i = 0; i < entries.size(); ++i) index.emplace(NameKey(entries[i].name), i);
}

// Walks from the class up through its parents; the first class whose own table
// knows the key wins.
template <class Entry>
const Entry* FindUp(const TClassInfo& cls, std::string_view name,
                    std::unordered_map<std::string, std::size_t> TPublishedTables::*index,
                    std::vector<Entry> TPublishedTables::*entries) {
  const std::string key = NameKey(Cut(name));
  for (const TClassInfo* c = &cls; c; c = c->parent) {
    const TPublishedTables* tables = PublishedTablesOf(*c);
    if (!tables) continue;
    auto it = (tables->*index).find(key);
    if (it != (tables->*index).end()) return &(tables->*entries)[it->second];
  }
  return nullptr;
}

}  // namespace

bool NamesMatch(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = a.size(); i-- > 0;)
    if (ClearBit5(a[i]) != ClearBit5(b[i])) return false;
  return true;
}

std::string NameKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) c = ClearBit5(c);
  return key;
}

void TPublishedTables::BuildIndexes() {
  IndexFirst(fieldByName, fields);
  IndexFirst(methodByName, methods);
  IndexFirst(propertyByName, properties);
  for (std::size_t i = 0; i < messageHandlers.size(); ++i) handlerByIndex.emplace(messageHandlers[i].index, i);
}

const TPublishedTables* PublishedTablesOf(const TClassInfo& cls) { return cls.published ? &cls.published() : nullptr; }

std::uint16_t PublishedPropertyCount(const TClassInfo& cls) {
  std::size_t count = 0;
  for (const TClassInfo* c = &cls; c; c = c->parent)
    if (const TPublishedTables* tables = PublishedTablesOf(*c)) count += tables->properties.size();
  return static_cast<std::uint16_t>(count);
}

const TPublishedField* FindPublishedField(const TClassInfo& cls, std::string_view name) {
  return FindUp(cls, name, &TPublishedTables::fieldByName, &TPublishedTables::fields);
}

const TPublishedMethod* FindPublishedMethod(const TClassInfo& cls, std::string_view name) {
  return FindUp(cls, name, &TPublishedTables::methodByName, &TPublishedTables::methods);
}

const TPropInfo* FindPropertyInfo(const TClassInfo& cls, std::string_view name) {
  return FindUp(cls, name, &TPublishedTables::propertyByName, &TPublishedTables::properties);
}

const TMessageHandler* FindMessageHandler(const TClassInfo& cls, std::uint16_t index) {
  for (const TClassInfo* c = &cls; c; c = c->parent) {
    const TPublishedTables* tables = PublishedTablesOf(*c);
    if (!tables) continue;
    auto it = tables->handlerByIndex.find(index);
    if (it != tables->handlerByIndex.end()) return &tables->messageHandlers[it->second];
  }
  return nullptr;
}

void DispatchFromClass(const TClassInfo* start, TObject& object, TMessage& message) {
  const std::uint16_t index = static_cast<std::uint16_t>(message.msg & 0xFFFFu);
  if (start && index != 0 && index < 0xC000) {
    if (const TMessageHandler* handler = FindMessageHandler(*start, index)) {
      handler->call(object, message);
      return;
    }
  }
  object.DefaultHandler(message);
}

void DispatchById(TObject& object, TMessage& message) { DispatchFromClass(&object.ClassType(), object, message); }

TMethodCode PublishedMethodAddress(const TClassInfo& cls, std::string_view name) {
  const TPublishedMethod* method = FindPublishedMethod(cls, name);
  return method ? method->code : nullptr;
}

bool SetPublishedField(TObject& object, std::string_view name, TObject* value) {
  const TPublishedField* field = FindPublishedField(object.ClassType(), name);
  if (!field) return false;
  field->set(object, value);
  return true;
}

bool ClassNameMatches(const TClassInfo& cls, std::string_view name) {
  return !name.empty() && NamesMatch(cls.name, name);
}

}  // namespace tw
