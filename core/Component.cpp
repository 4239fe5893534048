#include "core/Component.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "core/Reader.h"
#include "runtime/Exceptions.h"

namespace tw {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

TComponent* ComponentIn(const TList& list, int index) { return static_cast<TComponent*>(list.Items()[index]); }

}  // namespace

bool IsIdentifier(std::string_view text) {
  if (text.empty() || !IsLetter(text[0])) return false;
  return std::all_of(text.begin() + 1, text.end(), [](char c) { return IsLetter(c) || IsDigit(c); });
}

const TTypeInfo& ComponentNameTypeInfo() {
  static const TTypeInfo info{.kind = TPropKind::pkLongText, .name = "TComponentName"};
  return info;
}

// Owned components by name key. The owned list is where order lives; a run holds
// the components of one key in owned order, which is almost always a single
// one, since adoption and renaming refuse a taken name.
struct TComponent::OwnedNames {
  std::unordered_map<std::string, std::vector<TComponent*>> byKey;
};

void TComponent::Publish(Publisher& p) {
  p.Property<&TComponent::Name, &TComponent::Rename>("Name", &ComponentNameTypeInfo());
  TW_PROPERTY(Tag, &Self::Tag, &Self::SetTag);
}

TComponent::TComponent(TComponent* owner) {
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

TComponent::~TComponent() {
  BeginDestruction();
  LeaveOwner();
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

  while (owned_) {
    TComponent* c = ComponentIn(*owned_, owned_->Count() - 1);
    if (c->HasState(stFreeNotify) || (HasState(stDesigning) && HasState(stInline))) {
      try {
        ReleaseComponent(*c);
      } catch (...) {
      }
    }
    if (c->owner_ == this) UnlinkOwned(*c);
    delete c;
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
  if (name.empty() || !ownedNames_) return nullptr;
  auto it = ownedNames_->byKey.find(NameKey(name));
  return it == ownedNames_->byKey.end() ? nullptr : it->second.front();
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
  if (c.name_.empty()) return;
  std::vector<TComponent*>& run = ownedNames_->byKey[NameKey(c.name_)];
  run.push_back(&c);
  // A newcomer is normally the last owned component; if not (a rename, or a
  // name shared through an override of CheckRename), restore owned order.
  if (run.size() > 1) SortOwnedNameEntries(c.name_);
}

void TComponent::UnindexOwnedName(TComponent& c, std::string_view name) {
  if (name.empty() || !ownedNames_) return;
  auto it = ownedNames_->byKey.find(NameKey(name));
  if (it == ownedNames_->byKey.end()) return;
  std::vector<TComponent*>& run = it->second;
  run.erase(std::remove(run.begin(), run.end(), &c), run.end());
  if (run.empty()) ownedNames_->byKey.erase(it);
}

void TComponent::SortOwnedNameEntries(std::string_view name) {
  if (name.empty() || !ownedNames_) return;
  auto it = ownedNames_->byKey.find(NameKey(name));
  if (it == ownedNames_->byKey.end() || it->second.size() < 2) return;
  std::vector<std::pair<int, TComponent*>> placed;
  for (TComponent* c : it->second) placed.emplace_back(owned_->IndexOfItem(c), c);
  std::sort(placed.begin(), placed.end());
  for (std::size_t i = 0; i < placed.size(); ++i) it->second[i] = placed[i].second;
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
  std::string oldName = std::move(name_);
  name_ = std::string(newName);
  if (owner_ && !NamesMatch(oldName, name_)) {
    owner_->UnindexOwnedName(*this, oldName);
    owner_->IndexOwnedName(*this);
  }
  BindOwnerField(true);
}

void TComponent::CheckRename(TComponent* c, std::string_view oldName, std::string_view newName) {
  if (c && !NamesMatch(oldName, newName) && c->owner_ == this && FindOwned(newName))
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
