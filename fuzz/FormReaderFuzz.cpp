// Any bytes read as a form stream either load a consistent tree or raise one of
// the errors a damaged stream can cause:
// - EFilerError and its descendants: EReadError for every format, value and
//   property error (errors inside a property record are all wrapped into it),
//   EClassNotFound for a child class that is neither a field class of the root
//   nor registered;
// - EComponentError: a record names its component with a text that is not an
//   identifier, or with a name that another component of the form has; the
//   naming errors of a child record pass through unwrapped, as do those of
//   the root's name;
// - EConvertError: a reference to a name that exists nowhere writes null into
//   its property once the whole tree is read, outside any property record, and
//   an object property (a font, a line list) refuses null with the assignment
//   error.
// Everything else (an invalid cast, a list index error, a language-runtime
// error, a crash, a leak) is a fault and escapes to the fuzzer.
//
// Each input is read three ways: into a fresh main window and a fresh version
// window (the form case: the stream's root class name is ignored) and with no
// root, so that the root class comes from the registry by name.
//
// The same entry replays the corpus as an ordinary test (tests/core), so it is
// plain C++ that any compiler builds.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string_view>

#include "core/FormLoading.h"
#include "core/Streams.h"
#include "runtime/Exceptions.h"
#include "runtime/Runtime.h"
#include "tests/core/StandIns.h"

namespace {

using namespace tw;
using namespace tw::standin;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "form reader fuzz: %s\n", what);
  std::abort();
}

// The root being read: the finder knows it by its name once it has one, so
// that references into it ("Form1.Label1") can be resolved across roots.
TComponent* currentRoot = nullptr;

TComponent* FindCurrentRoot(std::string_view name) {
  if (currentRoot && !name.empty() && NamesMatch(currentRoot->Name(), name)) return currentRoot;
  return nullptr;
}

// What must hold for every root, loaded or not: each non-empty published field
// holds the owned component of its name (a component freed after a failed
// record must have left its field).
void CheckFields(const TComponent& root) {
  for (const TClassInfo* c = &root.ClassType(); c; c = c->parent) {
    const TPublishedTables* tables = PublishedTablesOf(*c);
    if (!tables) continue;
    for (const TPublishedField& field : tables->fields) {
      TObject* value = field.get(root);
      if (value && value != root.FindOwned(field.name)) Fail("a field holds a component that is not its namesake");
    }
  }
}

// A loaded tree: every component is owned by the root, has had its after-load
// step, and sits in its parent's children; the form's menu is one of them.
void CheckLoadedTree(const TComponent& root) {
  CheckFields(root);
  if (root.HasState(stLoading) || root.HasState(stReading)) Fail("the root is still loading");
  for (int i = 0; i < root.OwnedCount(); ++i) {
    const TComponent* c = root.OwnedAt(i);
    if (c->Owner() != &root) Fail("an owned component names another owner");
    if (c->HasState(stLoading) || c->HasState(stReading)) Fail("a component is still loading");
    if (IsInstanceOf(c, TControl::StaticClassInfo())) {
      const TWinControl* parent = static_cast<const TControl*>(c)->Parent();
      if (parent) {
        const auto& siblings = parent->Controls();
        if (std::find(siblings.begin(), siblings.end(), c) == siblings.end()) Fail("a control is not in its parent");
      }
    }
  }
  if (IsInstanceOf(&root, TForm::StaticClassInfo())) {
    const TMainMenu* menu = static_cast<const TForm&>(root).Menu();
    if (menu && menu->Owner() != &root) Fail("the form's menu is not one of its components");
  }
}

void ReadInto(std::span<const std::uint8_t> bytes, std::unique_ptr<TComponent> root) {
  TCustomMemoryStream stream(bytes);
  currentRoot = root.get();
  try {
    TComponent* result = ReadComponentFromStream(stream, root.get());
    if (result != root.get()) Fail("the root read is not the root given");
    CheckLoadedTree(*root);
  } catch (const EFilerError&) {
    CheckFields(*root);
  } catch (const EComponentError&) {
    CheckFields(*root);
  } catch (const EConvertError&) {
    CheckFields(*root);
  }
  currentRoot = nullptr;
  // The form as far as it was read is the caller's to free.
}

void ReadWithoutRoot(std::span<const std::uint8_t> bytes) {
  TCustomMemoryStream stream(bytes);
  std::unique_ptr<TComponent> root;
  try {
    root.reset(ReadComponentFromStream(stream, nullptr));
  } catch (const EFilerError&) {
    return;
  } catch (const EComponentError&) {
    return;
  } catch (const EConvertError&) {
    return;
  }
  if (!root) Fail("a read without a root gave none");
  if (root->Owner()) Fail("a root made by the reader has an owner");
  CheckLoadedTree(*root);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    InitRuntime();
    RegisterStandInIdentMaps();
    RegisterStandInClasses();
    SetGlobalComponentFinder(FindCurrentRoot);
    return true;
  }();
  (void)ready;
  const std::span<const std::uint8_t> bytes(data, size);
  ReadInto(bytes, std::make_unique<TForm1>(nullptr));
  ReadInto(bytes, std::make_unique<TForm2>(nullptr));
  ReadWithoutRoot(bytes);
  // Every reference that waited for another form went with its object.
  if (PendingReferenceList().Count() != 0) Fail("pending references outlive their objects");
  return 0;
}
