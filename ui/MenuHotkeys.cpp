#include "ui/MenuHotkeys.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>

#include "runtime/Text.h"
#include "ui/Accelerators.h"

namespace tw {

namespace {

constexpr std::string_view kHotkeyPool = "1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// The position of the first character whose upper case is still in the pool.
std::size_t FirstUsableChar(std::string_view caption, std::string_view pool) {
  for (std::size_t i = 0; i < caption.size(); i += CharLengthAt(caption, i))
    if (CharLengthAt(caption, i) == 1 && pool.find(UpperAscii(caption[i])) != std::string_view::npos) return i;
  return std::string_view::npos;
}

// Marks the accelerator on a double-byte system: a caption that holds a
// double-byte character gets "(&X)" at its end, or before a final "..."; any
// other caption gets "&" before the character found (nothing without one).
std::string WithBracketAccelerator(std::string caption, std::size_t pos, char accelerator) {
  if (HasDoubleByteChar(caption)) {
    const std::string group = std::string("(&") + accelerator + ")";
    const bool dots = caption.size() >= 3 && caption.ends_with("...");
    caption.insert(dots ? caption.size() - 3 : caption.size(), group);
  } else if (pos != std::string::npos) {
    caption.insert(pos, 1, '&');
  }
  return caption;
}

struct HotkeyPass {
  std::vector<THotkeyCaption> done;
  std::vector<THotkeyCaption> open;
  std::string pool;
};

// Accelerators that are unique keep their character, which leaves the pool; a
// repeated one loses its mark. Those and the captions without one queue up,
// each at the front. An accelerator outside the pool is left alone.
std::vector<THotkeyCaption> QueueUnmarked(const std::vector<THotkeyCaption>& captions, std::string& pool, bool dbcs) {
  std::vector<THotkeyCaption> queue;
  for (const THotkeyCaption& entry : captions) {
    const std::string accelerator = AcceleratorOf(entry.caption);
    if (accelerator.empty()) {
      queue.insert(queue.begin(), entry);
      continue;
    }
    if (accelerator.size() != 1) continue;
    const char upper = UpperAscii(accelerator[0]);
    if (kHotkeyPool.find(upper) == std::string_view::npos) continue;
    if (const std::size_t at = pool.find(upper); at != std::string::npos) {
      pool.erase(at, 1);
      continue;
    }
    queue.insert(queue.begin(), {entry.index, StripAccelerator(entry.caption, dbcs)});
  }
  return queue;
}

// One pass over the queue from its last entry to its first: each caption takes
// its first character still in the pool; one without any stays open.
HotkeyPass MarkPass(const std::vector<THotkeyCaption>& queue, const std::string& pool, bool dbcs) {
  HotkeyPass pass{{}, {}, pool};
  for (std::size_t i = queue.size(); i-- > 0;) {
    THotkeyCaption entry = queue[i];
    const std::size_t pos = FirstUsableChar(entry.caption, pass.pool);
    if (pos == std::string::npos) {
      pass.open.push_back(std::move(entry));
      continue;
    }
    const char accelerator = UpperAscii(entry.caption[pos]);
    pass.pool.erase(pass.pool.find(accelerator), 1);
    if (dbcs)
      entry.caption = WithBracketAccelerator(std::move(entry.caption), pos, accelerator);
    else
      entry.caption.insert(pos, 1, '&');
    pass.done.push_back(std::move(entry));
  }
  return pass;
}

// Passes, each starting from the same pool, until one leaves nothing open (at
// most one per entry); the entries left open go to the end of the queue, so
// that the next pass serves them first. The pass that serves the most wins
// (the earliest of equals); when none serves any, the last one.
HotkeyPass BestPass(std::vector<THotkeyCaption> queue, const std::string& pool, bool dbcs) {
  HotkeyPass best;
  HotkeyPass last;
  for (std::size_t passNo = 0; passNo < queue.size(); ++passNo) {
    HotkeyPass pass = MarkPass(queue, pool, dbcs);
    if (pass.done.size() > best.done.size()) best = pass;
    const bool finished = pass.open.empty();
    last = std::move(pass);
    if (finished) break;
    std::stable_partition(queue.begin(), queue.end(), [&last](const THotkeyCaption& e) {
      return std::none_of(last.open.begin(), last.open.end(),
                          [&e](const THotkeyCaption& open) { return open.index == e.index; });
    });
  }
  if (best.done.empty()) best = std::move(last);
  return best;
}

// What the passes could not serve gets the pool's last characters in the
// bracket form (a double-byte system only).
void MarkLeftovers(std::vector<THotkeyCaption>& entries, std::string& pool) {
  for (THotkeyCaption& entry : entries) {
    if (pool.empty()) break;
    if (AcceleratorPosition(entry.caption) != std::string::npos) continue;
    std::string marked = WithBracketAccelerator(entry.caption, std::string::npos, pool.back());
    if (marked != entry.caption) {
      entry.caption = std::move(marked);
      pool.pop_back();
    }
  }
}

}  // namespace

std::vector<THotkeyCaption> AssignHotkeys(const std::vector<THotkeyCaption>& captions, bool doubleByte) {
  std::string pool(kHotkeyPool);
  HotkeyPass best = BestPass(QueueUnmarked(captions, pool, doubleByte), pool, doubleByte);
  std::vector<THotkeyCaption> entries = std::move(best.done);
  entries.insert(entries.end(), best.open.begin(), best.open.end());
  if (doubleByte) MarkLeftovers(entries, best.pool);
  return entries;
}

}  // namespace tw
