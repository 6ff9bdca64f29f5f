// A snapshot of a loaded model module's state: a copy of the module's own
// writable memory, taken right after loading, before IniModel. Restoring it
// copies the bytes back, which returns a library that keeps all its state in
// its module's static storage (the model store, the generator and the stored
// pairs of the polar method here) exactly to its load-time state, in
// microseconds instead of a fresh process.
//
// What it covers: on Linux the module's writable PT_LOAD segments (data and
// bss) but for the part that is read-only after relocation (PT_GNU_RELRO); on
// Windows the module's sections marked writable in its PE headers. What it
// cannot cover: state a library keeps on the heap, in other modules (the C
// runtime's own, another library's) or in files. A host that cannot be sure
// checks that a restored run repeats the first one bit for bit, and
// otherwise gives each run a process of its own.
#ifndef TDS_ENGINE_SNAPSHOT_H
#define TDS_ENGINE_SNAPSHOT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "loader.h"

namespace tds {

class Snapshot {
 public:
  // Records the module's writable memory as it is now. Throws LoadError when
  // the module's memory cannot be found.
  static Snapshot take(const Module& module);

  // Copies the recorded bytes back.
  void restore() const;

  // The bytes the snapshot holds: what a restore copies.
  std::size_t size() const;

  // The module's state as it differs from the snapshot now: every 8-byte word
  // (the last of a range may be shorter) whose bytes changed, by its offset
  // through the ranges in order. The offsets fit any copy of the same module
  // file, so that a state taken from one copy can be applied to another.
  struct Word {
    std::uint64_t offset;
    std::uint64_t bits;  // the word's bytes, little-endian
  };
  std::vector<Word> changes() const;

  // Restores the snapshot, then writes the changed words. A word that held
  // an address inside the module when the snapshot was taken (a relocated
  // pointer, a link not yet bound) keeps this copy's value: it is where this
  // copy is loaded, not state. False, with nothing written, when a word does
  // not fit the ranges.
  bool apply(const std::vector<Word>& changes) const;

 private:
  struct Range {
    unsigned char* at;
    std::vector<unsigned char> saved;
  };
  std::vector<Range> ranges_;
  std::uintptr_t image_begin_ = 0, image_end_ = 0;  // the module's whole mapping
};

}  // namespace tds

#endif  // TDS_ENGINE_SNAPSHOT_H
