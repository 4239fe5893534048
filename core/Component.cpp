#include "core/Component.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/Reader.h"
#include "runtime/Exceptions.h"

namespace tw {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

TComponent* ComponentIn(const TList& list, int index) { return static_cast<TComponent*>(list.Items()[index]); }

// The state that the next component constructed on this thread starts with
// (ConstructWithState); its TComponent constructor takes it before any other
// constructor body runs.
thread_local TComponentFlags initialState;

}  // namespace

bool IsIdentifier(std::string_view text) {
  if (text.empty() || !IsLetter(text[0])) return false;
  return std::all_of(text.begin() + 1, text.end(), [](char c) { return IsLetter(c) || IsDigit(c); });
}

const TTypeInfo& ComponentNameTypeInfo() {
  static const TTypeInfo info{.kind = TPropKind::pkLongText, .name = "TComponentName"};
  return info;
}

// Owned components by name, in a flat open-addressing table: a form may own a
// hundred thousand components, and every adoption asks whether a name is
// taken. A slot stands for one name (ASCII letters without case) and holds how
// many owned components carry it and the first of them in owned order; names
// are almost always unique, since adoption and renaming refuse a taken one.
struct TComponent::OwnedNames {
  struct Slot {
    std::uint64_t hash = 0;
    TComponent* first = nullptr;  // none: a free slot (used) or a never used one
    std::uint32_t count = 0;
    bool used = false;
  };
  std::vector<Slot> slots = std::vector<Slot>(16);
  std::size_t usedSlots = 0;

  static std::uint64_t Hash(std::string_view name) {
    std::uint64_t h = 1469598103934665603ull;
    for (char c : name) h = (h ^ static_cast<unsigned char>(UpperAscii(c))) * 1099511628211ull;
    return h;
  }

  // The slot of the name, or none.
  Slot* Find(std::string_view name, std::uint64_t hash) {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      Slot& slot = slots[i];
      if (!slot.used) return nullptr;
      if (slot.count && slot.hash == hash && SameAsciiText(slot.first->name_, name)) return &slot;
    }
  }

  // A slot for a name not in the table: a freed one on the way, else a new one.
  Slot& Claim(std::uint64_t hash) {
    if ((usedSlots + 1) * 2 > slots.size()) Rebuild();
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      Slot& slot = slots[i];
      if (slot.used && slot.count) continue;
      if (!slot.used) ++usedSlots;
      slot = Slot{hash, nullptr, 0, true};
      return slot;
    }
  }

  // Drops the freed slots and keeps the table at most a quarter full.
  void Rebuild() {
    std::vector<Slot> live;
    for (const Slot& slot : slots)
      if (slot.count) live.push_back(slot);
    std::size_t size = 16;
    while (size < live.size() * 4) size *= 2;
    slots.assign(size, Slot{});
    usedSlots = live.size();
    const std::size_t mask = size - 1;
    for (const Slot& slot : live) {
      std::size_t i = slot.hash & mask;
      while (slots[i].used) i = (i + 1) & mask;
      slots[i] = slot;
    }
  }
};

void TComponent::Publish(Publisher& p) {
  p.Property<&TComponent::Name, &TComponent::Rename>("Name", &ComponentNameTypeInfo());
  TW_PROPERTY(Tag, &Self::Tag, &Self::SetTag).Default(0);
}

TComponent::TComponent(TComponent* owner) : state_(std::exchange(initialState, {})) {
  if (!owner) return;
  try {
    owner->AdoptComponent(*this);
  } catch (...) {
    // No destructor runs for a failed construction: leave no reference to
    // this component behind in the owner.
    BeginDestruction();
    LeaveOwner();
    throw;
  }
}

TComponent* TComponent::ConstructWithState(const TClassInfo& cls, TComponent* owner, TComponentFlags state) {
  if (!cls.construct) throw EClassNotFound(msg::ClassNotFound, {cls.name});
  initialState = state;
  try {
    TComponent* component = cls.construct(owner);
    initialState = {};
    return component;
  } catch (...) {
    // Allocation failed before a constructor took the state.
    initialState = {};
    throw;
  }
}

TComponent::~TComponent() {
  // A load still waiting to give this component its after-load step must not
  // reach it.
  if (notificationList_) notificationList_->Forget(*this);
  BeginDestruction();
  LeaveOwner();
}

void TComponent::Destroy(TComponent* component) {
  // FreeIfPresent has given the BeforeFree step already; a plain delete gets it
  // here. Nothing may stop the object from going now.
  if (!component->beforeFreeDone_) {
    try {
      component->BeforeFree();
    } catch (...) {
    }
  }
  void* memory = dynamic_cast<void*>(component);
  component->~TComponent();
  ::operator delete(memory);
}

void TComponent::BeforeFree() {
  beforeFreeDone_ = true;
  BeginDestruction();
}

void TComponent::LeaveOwner() {
  if (!owner_) return;
  // A destructor cannot pass an error on; whatever a notice raises, this
  // component must still leave its owner's list.
  try {
    owner_->ReleaseComponent(*this);
  } catch (...) {
  }
  if (owner_) owner_->UnlinkOwned(*this);
}

void TComponent::BeginDestruction() {
  MarkDestroying();

  if (freeNotices_) {
    // Each notified component normally cancels its notices, which shrinks the
    // list or frees it; the index follows the shrinking list.
    for (int i = freeNotices_->Count() - 1; freeNotices_ && i >= 0; --i) {
      i = std::min(i, freeNotices_->Count() - 1);
      if (i < 0) break;
      try {
        ComponentIn(*freeNotices_, i)->ComponentNotice(this, oeRemove);
      } catch (...) {
      }
    }
    // A component whose notice handling did not cancel would keep a reference
    // to this one and notify it after it is gone.
    if (freeNotices_) {
      std::unique_ptr<TList> rest = std::move(freeNotices_);
      for (int i = 0; i < rest->Count(); ++i) ComponentIn(*rest, i)->DropFreeNoticeEntry(*this);
    }
  }

  // Every owned component goes now, last first: the name index is given up at
  // once rather than kept up to date at a random place per component, which
  // costs a cache miss each in a large form. A lookup meanwhile reads the
  // list itself.
  ownedNames_.reset();
  while (owned_) {
    TComponent* c = ComponentIn(*owned_, owned_->Count() - 1);
    if (c->HasState(stFreeNotify) || (HasState(stDesigning) && HasState(stInline))) {
      try {
        ReleaseComponent(*c);
      } catch (...) {
      }
    }
    if (c->owner_ == this) UnlinkOwned(*c);
    FreeIfPresent(c);
  }
}

void TComponent::MarkDestroying() {
  if (HasState(stDestroying)) return;
  IncludeState(stDestroying);
  if (!owned_) return;
  for (int i = 0; owned_ && i < owned_->Count(); ++i) ComponentIn(*owned_, i)->MarkDestroying();
}

void TComponent::SetDesignLeft(std::int32_t value) {
  designPosition_ = (designPosition_ & 0xFFFF0000u) | (static_cast<std::uint32_t>(value) & 0xFFFFu);
}

void TComponent::SetDesignTop(std::int32_t value) {
  designPosition_ = (designPosition_ & 0xFFFFu) | (static_cast<std::uint32_t>(value) << 16);
}

// ---- Owned components ----------------------------------------------------------

TComponent* TComponent::FindOwned(std::string_view name) const {
  if (name.empty() || !owned_) return nullptr;
  if (!ownedNames_) return FirstOwnedNamed(name);
  const OwnedNames::Slot* slot = ownedNames_->Find(name, OwnedNames::Hash(name));
  return slot ? slot->first : nullptr;
}

int TComponent::OwnedCount() const { return owned_ ? owned_->Count() : 0; }

TComponent* TComponent::OwnedAt(int index) const {
  if (!owned_) throw EListError(msg::ListIndexError, {index});
  return static_cast<TComponent*>(owned_->ItemAt(index));
}

void TComponent::MoveOwnedIndex(int index) {
  if (!owner_) return;
  TList& list = *owner_->owned_;
  const int count = list.Count();
  index = std::clamp(index, 0, count - 1);
  const int current = list.LastIndexOfItem(this);
  if (current == index) return;
  list.MoveItem(current, index);
  owner_->SortOwnedNameEntries(name_);
}

void TComponent::AdoptComponent(TComponent& c) {
  if (c.owner_ == this) return;
  // Owning oneself or one's own owner would free a component twice.
  for (const TComponent* o = this; o; o = o->owner_)
    if (o == &c) throw EComponentError(msg::ControlParentSetToSelf);

  c.CheckContainer(*this);
  CheckRename(&c, {}, c.name_);
  // CheckRename only looks at components that this one owns already; the
  // newcomer's name must not be taken either.
  if (FindOwned(c.name_)) throw EComponentError(msg::DuplicateName, {c.name_});
  if (c.owner_) c.owner_->ReleaseComponent(c);

  AppendOwned(c);
  c.BindOwnerField(true);
  if (HasState(stDesigning)) c.SetDesigning(true, true);
  ComponentNotice(&c, oeInsert);
}

void TComponent::ReleaseComponent(TComponent& c) {
  if (c.owner_ != this) return;
  CheckRename(&c, c.name_, {});
  ComponentNotice(&c, oeRemove);
  c.BindOwnerField(false);
  UnlinkOwned(c);
}

void TComponent::AppendOwned(TComponent& c) {
  if (!owned_) {
    owned_ = std::make_unique<TList>();
    ownedNames_ = std::make_unique<OwnedNames>();
  }
  owned_->Append(&c);
  c.owner_ = this;
  IndexOwnedName(c);
  if (c.IsInsertListener()) {
    const bool was = IsInsertListener();
    ++insertListeners_;
    InsertListeningChanged(was);
  }
}

void TComponent::UnlinkOwned(TComponent& c) {
  if (c.owner_ != this) return;
  UnindexOwnedName(c, c.name_);
  if (c.IsInsertListener()) {
    const bool was = IsInsertListener();
    --insertListeners_;
    InsertListeningChanged(was);
  }
  c.owner_ = nullptr;
  // Owners free their components last first, so searching from the end finds
  // them at once.
  owned_->RemoveItemFromEnd(&c);
  if (owned_->Count() == 0) {
    owned_.reset();
    ownedNames_.reset();
  }
}

void TComponent::IndexOwnedName(TComponent& c) {
  if (c.name_.empty() || !ownedNames_) return;
  const std::uint64_t hash = OwnedNames::Hash(c.name_);
  OwnedNames::Slot* slot = ownedNames_->Find(c.name_, hash);
  if (!slot) {
    OwnedNames::Slot& fresh = ownedNames_->Claim(hash);
    fresh.first = &c;
    fresh.count = 1;
    return;
  }
  // A name shared (through a rename or an override of CheckRename): the first
  // in owned order may have changed.
  ++slot->count;
  slot->first = FirstOwnedNamed(c.name_);
}

void TComponent::UnindexOwnedName(TComponent& c, std::string_view name) {
  if (name.empty() || !ownedNames_) return;
  OwnedNames::Slot* slot = ownedNames_->Find(name, OwnedNames::Hash(name));
  if (!slot) return;
  if (--slot->count == 0) {
    slot->first = nullptr;
  } else if (slot->first == &c) {
    slot->first = FirstOwnedNamed(name, &c);
  }
}

void TComponent::SortOwnedNameEntries(std::string_view name) {
  if (name.empty() || !ownedNames_) return;
  OwnedNames::Slot* slot = ownedNames_->Find(name, OwnedNames::Hash(name));
  if (slot && slot->count > 1) slot->first = FirstOwnedNamed(name);
}

TComponent* TComponent::FirstOwnedNamed(std::string_view name, const TComponent* except) const {
  for (int i = 0; owned_ && i < owned_->Count(); ++i) {
    auto* c = static_cast<TComponent*>(owned_->ItemAt(i));
    if (c != except && SameAsciiText(c->name_, name)) return c;
  }
  return nullptr;
}

// ---- Notices ---------------------------------------------------------------------

void TComponent::ComponentNotice(TComponent* c, TOwnershipEvent event) {
  if (event == oeRemove && c) CancelFreeNotice(*c);
  if (!owned_ || (event == oeInsert && insertListeners_ == 0)) return;
  // The components present when the notice started hear it; one that a notice
  // removed on the way is not reached, and the walk ends with the list.
  const int count = owned_->Count();
  for (int i = 0; i < count && owned_ && i < owned_->Count(); ++i) {
    TComponent* owned = ComponentIn(*owned_, i);
    if (event == oeInsert && !owned->IsInsertListener()) continue;
    owned->ComponentNotice(c, event);
  }
}

void TComponent::SetHearsInsertNotices(bool value) {
  const bool was = IsInsertListener();
  hearsInsertNotices_ = value;
  InsertListeningChanged(was);
}

void TComponent::InsertListeningChanged(bool wasListening) {
  for (TComponent* c = this; c->owner_; c = c->owner_) {
    const bool listening = c->IsInsertListener();
    if (listening == wasListening) return;
    TComponent* owner = c->owner_;
    wasListening = owner->IsInsertListener();
    owner->insertListeners_ += listening ? 1 : -1;
  }
}

void TComponent::RequestFreeNotice(TComponent& c) {
  if (&c == this) return;
  if (!owner_ || c.owner_ != owner_) {
    if (!freeNotices_) freeNotices_ = std::make_unique<TList>();
    if (freeNotices_->IndexOfItem(&c) < 0) {
      freeNotices_->Append(&c);
      c.RequestFreeNotice(*this);
    }
  }
  IncludeState(stFreeNotify);
}

void TComponent::CancelFreeNotice(TComponent& c) {
  DropFreeNoticeEntry(c);
  c.DropFreeNoticeEntry(*this);
}

void TComponent::DropFreeNoticeEntry(TComponent& c) {
  if (!freeNotices_) return;
  freeNotices_->RemoveItem(&c);
  if (freeNotices_->Count() == 0) freeNotices_.reset();
}

// ---- Names -----------------------------------------------------------------------

void TComponent::Rename(std::string_view newName) {
  if (newName == name_) return;
  if (!newName.empty() && !IsIdentifier(newName)) throw EComponentError(msg::InvalidName, {newName});
  if (owner_)
    owner_->CheckRename(this, name_, newName);
  else
    CheckRename(nullptr, name_, newName);

  BindOwnerField(false);
  // The owner's index finds entries through the names they carry: take this
  // one out under its old name and put it back under the new one.
  const bool reindex = owner_ && !SameAsciiText(name_, newName);
  if (reindex) owner_->UnindexOwnedName(*this, name_);
  name_ = std::string(newName);
  if (reindex) owner_->IndexOwnedName(*this);
  BindOwnerField(true);
}

void TComponent::CheckRename(TComponent* c, std::string_view oldName, std::string_view newName) {
  if (c && !SameAsciiText(oldName, newName) && c->owner_ == this && FindOwned(newName))
    throw EComponentError(msg::DuplicateName, {newName});
  if (HasState(stDesigning) && owner_) owner_->CheckRename(c, oldName, newName);
}

void TComponent::BindOwnerField(bool on) {
  if (owner_) SetPublishedField(*owner_, name_, on ? this : nullptr);
}

// ---- Loading and placement -------------------------------------------------------

void TComponent::AfterLoad() { ExcludeState(stLoading); }

void TComponent::ReadStateFrom(TReader& reader) { reader.ReadObjectBody(*this); }

void TComponent::DeclareCustomProperties(TFiler* filer) {
  Inherited::DeclareCustomProperties(filer);
  if (!filer) return;
  filer->DefineCustomProperty("Left", [this](TReader& reader) { SetDesignLeft(reader.ReadIntValue()); });
  filer->DefineCustomProperty("Top", [this](TReader& reader) { SetDesignTop(reader.ReadIntValue()); });
}

void TComponent::SetStreamParent(TComponent*) {}
TComponent* TComponent::StreamParentOf() const { return nullptr; }
bool TComponent::HasStreamParent() const { return false; }
TComponent* TComponent::ChildOwnerFor() { return nullptr; }
TComponent* TComponent::ChildParentFor() { return this; }
void TComponent::PlaceChildAt(TComponent&, int) {}

void TComponent::CheckContainer(TComponent& owner) { owner.CheckInsert(*this); }
void TComponent::CheckInsert(TComponent&) {}

void TComponent::BeginUpdating() { IncludeState(stUpdating); }
void TComponent::EndUpdating() { ExcludeState(stUpdating); }

void TComponent::SetDesigning(bool value, bool recursive) {
  if (value)
    IncludeState(stDesigning);
  else
    ExcludeState(stDesigning);
  if (!recursive || !owned_) return;
  for (int i = 0; i < owned_->Count(); ++i) ComponentIn(*owned_, i)->SetDesigning(value, true);
}

}  // namespace tw
