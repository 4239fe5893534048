// Line lists: the abstract TStrings, the type of every property that holds lines
// of text (a combo box's items, for one), and TStringList, which stores its lines.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/Lists.h"
#include "core/Persistent.h"

namespace tw {

class TStream;

class TStrings : public TPersistent {
  TW_CLASS(TStrings, TPersistent)

 public:
  TStrings() = default;
  TStrings(const TStrings&) = delete;
  TStrings& operator=(const TStrings&) = delete;

  // Copies the lines and objects of another line list within one batch; any
  // other source is the assignment error.
  void AssignFrom(const TPersistent* source) override;

  // A form stream carries the lines as the custom property "Strings".
  void DeclareCustomProperties(TFiler* filer) override;

  // The operations every concrete list supplies.
  virtual std::string LineAt(int index) const = 0;
  virtual int LineCount() const = 0;
  virtual void ClearLines() = 0;
  virtual void DeleteLine(int index) = 0;
  virtual void InsertLine(int index, std::string_view text) = 0;

  // How many lines fit without growing; lists without storage of their own
  // report their count and ignore a change.
  virtual int LineCapacity() const;
  virtual void ChangeLineCapacity(int newCapacity);

  // The object attached to a line (never owned): none and ignored by default.
  virtual TObject* ObjectAt(int index) const;
  virtual void PutObjectAt(int index, TObject* object);

  // Replaces the text of a line, keeping its object.
  virtual void PutLine(int index, std::string_view text);

  // Every line followed by CR LF, the last one too.
  virtual std::string JoinedText() const;
  // Replaces all lines by those of the text: a line ends at CR, LF or the end,
  // and one CR and then one LF after it are skipped. A zero byte ends the text.
  virtual void SetJoinedText(std::string_view text);

  // Called when the outermost batch starts (true) and ends (false).
  virtual void UpdateStateChanged(bool updating);

  virtual int AddLine(std::string_view text);
  // AddLine, then the object goes to the index AddLine gave, also when that is
  // an equal line that a sorted list kept instead of adding the text.
  virtual int AddLineWithObject(std::string_view text, TObject* object);
  // Appends every line of the other list with its object, in one batch.
  virtual void AddLines(const TStrings& other);
  virtual void SwapLines(int index1, int index2);
  // The first line equal to the text, ignoring case as the user's locale does;
  // -1 when none is.
  virtual int IndexOfLine(std::string_view text) const;
  // Within one batch, also when the indices are equal: the line is taken out
  // and put back at the target index with its object.
  virtual void MoveLine(int fromIndex, int toIndex);
  // Replaces the lines, within one batch, by those of the bytes from the
  // stream's position to its end (split as SetJoinedText does).
  virtual void LoadLines(TStream& stream);
  // Writes JoinedText at the stream's position.
  virtual void SaveLines(TStream& stream) const;

  void InsertLineWithObject(int index, std::string_view text, TObject* object);

  // Replaces all lines by the given texts within one batch, so that the list's
  // dependants see one change. The form reader fills a line list this way: it
  // hands out one text per call and returns false at the list's end marker.
  void ReplaceLines(const std::function<bool(std::string& line)>& nextLine);
  void ReplaceLines(std::span<const std::string> lines);

  // Batches nest; only the outermost start and end are reported.
  void BeginBatch();
  void EndBatch();
  int BatchDepth() const { return updateCount_; }

 protected:
  // Index errors of the default operations.
  [[noreturn]] static void RaiseIndexError(int index);

  // Runs the work between BeginBatch and EndBatch; the batch ends on failure too.
  template <typename Work>
  void WithinBatch(Work&& work) {
    BeginBatch();
    try {
      work();
    } catch (...) {
      EndBatch();
      throw;
    }
    EndBatch();
  }

 private:
  int updateCount_ = 0;
};

// One stored line with its attached object.
struct TStringItem {
  std::string text;
  TObject* object = nullptr;
};

class TStringList;

// Called before and after each change of a string list's lines.
using TLinesEvent = std::function<void(TStringList& list)>;
// Orders two lines of a list by their indices: negative, zero or positive.
using TStringListCompare = std::function<int(const TStringList& list, int index1, int index2)>;

class TStringList : public TStrings {
  TW_CLASS(TStringList, TStrings)

 public:
  TStringList() = default;
  // Drops both callbacks first, so that nobody hears of the lines going.
  ~TStringList() override;

  std::string LineAt(int index) const override;
  int LineCount() const override { return count_; }
  void ClearLines() override;
  void DeleteLine(int index) override;
  void InsertLine(int index, std::string_view text) override;
  int LineCapacity() const override { return capacity_; }
  void ChangeLineCapacity(int newCapacity) override;
  TObject* ObjectAt(int index) const override;
  void PutObjectAt(int index, TObject* object) override;
  void PutLine(int index, std::string_view text) override;
  void UpdateStateChanged(bool updating) override;
  int AddLine(std::string_view text) override;
  void SwapLines(int index1, int index2) override;
  int IndexOfLine(std::string_view text) const override;
  void MoveLine(int fromIndex, int toIndex) override;

  // The stored text of a line, without a copy.
  const std::string& LineRef(int index) const;

  // Binary search of a sorted list, ignoring case as the user's locale does.
  // Gives the index of an equal line (with dupAccept the first of a run of
  // equal lines) or where the text would be inserted.
  virtual bool FindSorted(std::string_view text, int& index) const;
  // Sorts unless the list is flagged sorted already or has fewer than 2 lines.
  virtual void SortLines();
  virtual void SortLinesBy(const TStringListCompare& compare);

  bool Sorted() const { return sorted_; }
  // Turning the flag on sorts the lines first; turning it off keeps their order.
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates value) { duplicates_ = value; }

  const TLinesEvent& OnLinesChanged() const { return onLinesChanged_; }
  void SetOnLinesChanged(TLinesEvent handler) { onLinesChanged_ = std::move(handler); }
  const TLinesEvent& OnLinesChanging() const { return onLinesChanging_; }
  void SetOnLinesChanging(TLinesEvent handler) { onLinesChanging_ = std::move(handler); }

 protected:
  // Call the callbacks, outside batches only.
  virtual void NotifyChanged();
  virtual void NotifyChanging();

 private:
  void CheckIndex(int index) const;
  void Grow();
  void InsertItem(int index, std::string_view text, TObject* object);
  void QuickSort(int lo, int hi, const TStringListCompare& compare);
  void SwapItems(int index1, int index2);

  std::unique_ptr<TStringItem[]> items_;
  int count_ = 0;
  int capacity_ = 0;
  bool sorted_ = false;
  TDuplicates duplicates_ = dupIgnore;
  TLinesEvent onLinesChanged_;
  TLinesEvent onLinesChanging_;
};

}  // namespace tw
