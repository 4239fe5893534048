// Components: named objects with an owner that frees them, notices of each
// other's arrival and removal, and the owner's published fields bound by name.
// Every object that a form resource creates is a component owned by the form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "core/ClassInfo.h"
#include "core/Lists.h"
#include "core/Persistent.h"
#include "core/TypeInfo.h"

namespace tw {

class TReader;
class TNotificationList;

// The bits of a component's state.
enum TComponentState : std::uint8_t {
  stLoading = 0,     // being loaded; cleared by AfterLoad
  stReading = 1,     // its own body is being read
  stDestroying = 3,  // being destroyed, set on it and all it owns before any notice goes out
  stDesigning = 4,   // design state; the running program never sets it
  stUpdating = 6,    // between BeginUpdating and EndUpdating
  stFixups = 7,      // waiting for a reference to a component of another form
  stFreeNotify = 8,  // some component asked for its free notice
  stInline = 9,      // an embedded root of its own
};

// The state of a component: a 16-bit set of TComponentState bits.
using TComponentFlags = TSet<TComponentState, std::uint16_t>;

// What happens to a component in its owner's notices.
enum TOwnershipEvent : std::uint8_t { oeInsert = 0, oeRemove = 1 };

// True for a letter or "_" followed by letters, digits and "_" (ASCII only).
bool IsIdentifier(std::string_view text);

// The type record of component names: a long text of its own type name, so that
// property editors and the reader can tell a name from any other text.
const TTypeInfo& ComponentNameTypeInfo();

// A named object with an owner. The owner frees what it owns, the last adopted
// first, so owned components must be allocated with new.
//
// Components are destroyed with FreeIfPresent. It gives the component its
// BeforeFree step while the whole object still exists: the component and
// everything it owns are marked destroying, the free notices go out and the
// owned components are freed, all before any destructor body runs, so that
// derived destructors see stDestroying and a class's own ComponentNotice hears
// the releases of its components. A plain delete does the same (TComponent's
// operator delete runs BeforeFree first), so no path can skip it. Classes that
// must act while the object is whole (a control destroying its platform
// window) override BeforeFree and call the inherited one last; their
// destructors need not do anything about the owned components.
//
// A component that is not allocated with new (a test's local variable) has no
// BeforeFree step: its destructor still runs the same steps, only after the
// derived destructors.
class TComponent : public TPersistent {
  TW_PUBLISHED_CLASS(TComponent, TPersistent)

 public:
  // With an owner, the owner adopts the new component. The adoption runs while
  // only the TComponent part exists, so the new component's own overrides of
  // CheckContainer are not consulted for it.
  explicit TComponent(TComponent* owner);
  // Constructs a component of the class with the owner, carrying the state
  // from before any constructor body runs. The reader creates an embedded root
  // marked loading and inline this way, so that its constructor sees it is
  // part of a load already and does not start one of its own.
  static TComponent* ConstructWithState(const TClassInfo& cls, TComponent* owner, TComponentFlags state);
  // Runs the destruction steps that BeforeFree did not (only for a component
  // not freed through delete), then the owner releases this component.
  ~TComponent() override;
  // Every delete of a component goes through BeforeFree before the
  // destructors (Destroy). The usual pair of new and delete beside it only
  // allocates, and takes back the memory of a failed construction.
  static void operator delete(TComponent* component, std::destroying_delete_t) { Destroy(component); }
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void operator delete(void* memory) { ::operator delete(memory); }
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  TPersistent* OwnerOf() const override { return owner_; }
  const std::string& Name() const { return name_; }
  std::int32_t Tag() const { return tag_; }
  void SetTag(std::int32_t value) { tag_ = value; }

  // Where a component without a position of its own (a main menu) sits on the
  // design surface: left in the low 16 bits, top in the high 16 bits. The form
  // format carries them as the custom properties "Left" and "Top".
  std::uint32_t DesignPosition() const { return designPosition_; }
  void SetDesignPosition(std::uint32_t value) { designPosition_ = value; }
  std::uint16_t DesignLeft() const { return static_cast<std::uint16_t>(designPosition_ & 0xFFFFu); }
  std::uint16_t DesignTop() const { return static_cast<std::uint16_t>(designPosition_ >> 16); }
  // Keep the low 16 bits of the value.
  void SetDesignLeft(std::int32_t value);
  void SetDesignTop(std::int32_t value);

  TComponentFlags ComponentState() const { return state_; }
  bool HasState(TComponentState s) const { return state_.Contains(s); }
  void IncludeState(TComponentState s) { state_.Include(s); }
  void ExcludeState(TComponentState s) { state_.Exclude(s); }

  // ---- Owned components ----

  // The first owned component, in owned order, whose name matches (ASCII
  // letters without case); none for an empty name. Average O(1).
  TComponent* FindOwned(std::string_view name) const;
  int OwnedCount() const;
  // EListError for an index outside 0 ... OwnedCount-1.
  TComponent* OwnedAt(int index) const;
  // Moves this component to the index (clamped) in its owner's owned list.
  void MoveOwnedIndex(int index);

  // Makes this component the owner of c: c is checked (container, name),
  // appended, bound to this component's field of its name and announced
  // (ComponentNotice with oeInsert). A component that another owner holds is released by it
  // first; one that this component holds already stays as it is. A component
  // cannot own itself or one of its owners (EComponentError).
  void AdoptComponent(TComponent& c);
  // The reverse: checked, announced, unbound and unlinked. Nothing happens for
  // a component that this one does not own.
  void ReleaseComponent(TComponent& c);

  // Notice that c arrives or goes. On removal the free notices between this
  // component and c end, and every owned component hears the same notice.
  // Classes that keep references to other components extend this to drop them.
  // An arrival is passed on only to the owned components that hear arrivals
  // (SetHearsInsertNotices) or own such components: passing every arrival to
  // every sibling would make loading a form quadratic in its size, for
  // notices that nothing but such a class acts on. The owner itself always
  // hears of the components it adopts.
  virtual void ComponentNotice(TComponent* c, TOwnershipEvent event);
  bool HearsInsertNotices() const { return hearsInsertNotices_; }

  // Asks that c be told (ComponentNotice with oeRemove) when this component is
  // destroyed. Components with the same owner need not record each other, the
  // owner's notices reach both.
  void RequestFreeNotice(TComponent& c);
  void CancelFreeNotice(TComponent& c);

  // Changes the name: unchanged when equal, EComponentError for a name that is
  // not an identifier or is taken among the owner's components; the owner's
  // published field of the old name is cleared and that of the new one set.
  virtual void Rename(std::string_view newName);
  // Raises when c (owned by this component) would take a name that another
  // owned component has. In design state the owner checks too.
  virtual void CheckRename(TComponent* c, std::string_view oldName, std::string_view newName);
  // Stores this component (on) or none (off) in the owner's published field of
  // this component's name, if the owner has one.
  void BindOwnerField(bool on);

  // ---- Loading ----

  // The destruction steps that need the whole object (BeginDestruction).
  // Overrides do their own work first and then call this one.
  void BeforeFree() override;

  // Ends loading: clears stLoading. Classes extend it to act on their loaded
  // properties.
  virtual void AfterLoad();
  // Reads this component's body from the reader (ReadObjectBody).
  virtual void ReadStateFrom(TReader& reader);
  // Declares "Left" and "Top", read into the design position. Classes that
  // publish Left and Top never reach these: published properties come first.
  void DeclareCustomProperties(TFiler* filer) override;

  // How the reader places a child: the stream parent of a plain component is
  // nothing, its children are owned by the reader's root (ChildOwnerFor gives
  // none) and parented to this component.
  virtual void SetStreamParent(TComponent* parent);
  virtual TComponent* StreamParentOf() const;
  virtual bool HasStreamParent() const;
  virtual TComponent* ChildOwnerFor();
  virtual TComponent* ChildParentFor();
  virtual void PlaceChildAt(TComponent& child, int position);

  // Adoption checks: CheckContainer asks the would-be owner's CheckInsert,
  // which accepts everything by default.
  virtual void CheckContainer(TComponent& owner);
  virtual void CheckInsert(TComponent& c);

  virtual void BeginUpdating();
  virtual void EndUpdating();

  // Sets or clears stDesigning, optionally on everything owned, recursively.
  void SetDesigning(bool value, bool recursive = true);
  // Sets stDestroying here and on everything owned that lacks it.
  void MarkDestroying();

 protected:
  // A class whose ComponentNotice acts on arrivals (oeInsert) of its owner's
  // components asks for them here, typically in its constructor.
  void SetHearsInsertNotices(bool value);

  // The destruction steps up to and including freeing the owned components:
  // mark destroying, send the free notices (last recorded first), free the
  // owned components (last adopted first). BeforeFree runs it; later calls do
  // nothing more.
  void BeginDestruction();
  // Whether the BeforeFree step ran: a destructor repeats a clean-up step only
  // for a component that did not have it (one not allocated with new).
  bool BeforeFreeDone() const { return beforeFreeDone_; }

 private:
  struct OwnedNames;

  // BeforeFree unless it ran already, the destructors, the memory.
  static void Destroy(TComponent* component);
  // The last destruction step: the owner releases this component.
  void LeaveOwner();
  void AppendOwned(TComponent& c);
  // Clears c's owner and takes it out of the owned list; the list goes when it
  // empties. No notices.
  void UnlinkOwned(TComponent& c);
  void IndexOwnedName(TComponent& c);
  void UnindexOwnedName(TComponent& c, std::string_view name);
  void SortOwnedNameEntries(std::string_view name);
  // The first owned component of that name in owned order (a walk, for the
  // rare names that more than one owned component carries).
  TComponent* FirstOwnedNamed(std::string_view name, const TComponent* except = nullptr) const;
  // Removes c from this component's free-notification list only.
  void DropFreeNoticeEntry(TComponent& c);
  // Whether arrivals among the owner's components must reach this component.
  bool IsInsertListener() const { return hearsInsertNotices_ || insertListeners_ > 0; }
  // Carries a change of IsInsertListener (from the given former value) up
  // through the owners' listener counts.
  void InsertListeningChanged(bool wasListening);

  TComponent* owner_ = nullptr;
  std::string name_;
  std::int32_t tag_ = 0;
  std::unique_ptr<TList> owned_;
  std::unique_ptr<TList> freeNotices_;
  std::uint32_t designPosition_ = 0;
  TComponentFlags state_;
  bool hearsInsertNotices_ = false;
  bool beforeFreeDone_ = false;
  // How many owned components are insert listeners.
  int insertListeners_ = 0;
  // The after-load list this component waits in during a load, and its place there.
  friend class TNotificationList;
  TNotificationList* notificationList_ = nullptr;
  std::size_t notificationIndex_ = 0;
  // Owned components by name (first in owned order); exists with the owned list.
  std::unique_ptr<OwnedNames> ownedNames_;
};

}  // namespace tw
