// The ERINA coder: order-1 adaptive Huffman trees with zero runs, the entropy
// coder of lossless MIO and of the common lossy variants. Its state (257
// trees, the context and a pending zero run) carries over from chunk to chunk
// until a lead chunk resets it.
#pragma once

#include "libs/mio/mio_bit_reader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace qorve::mio {

// One adaptive tree of at most 257 leaves kept in 513 slots sorted by weight
// (the sibling property); slot 512 is the root.
class ErinaTree {
 public:
  static constexpr uint32_t kEscape = 0x7FFFFFFF;

  void Reset();
  bool Empty() const { return nodes_[kRoot].link == kNone; }
  // Reads one value; `literal` reads a value the tree does not hold yet (raw
  // bits or a gamma code). Returns the value, kEscape never.
  template <typename Literal>
  uint32_t Read(MioBitReader& bits, Literal literal) {
    if (Empty()) {
      const uint32_t value = literal();
      Insert(value);
      return value;
    }
    uint32_t slot = kRoot;
    uint32_t child = nodes_[kRoot].link;
    do {
      slot = child + bits.Bit();
      child = nodes_[slot].link;
    } while ((child & kLeaf) == 0);
    const uint32_t value = child & ~kLeaf;
    Increment(slot);
    if (value != kEscape) return value;
    const uint32_t fresh = literal();
    Insert(fresh);
    return fresh;
  }

  // Tree surgery, also used by the test encoder.
  void Increment(uint32_t slot);
  void Insert(uint32_t value);
  // The slot of the leaf holding `value`, or -1.
  int FindLeaf(uint32_t value) const;
  // The path from the root to `slot`, as bits (last bit = the leaf's).
  int PathTo(uint32_t slot, uint8_t* bits, int room) const;

 private:
  static constexpr uint32_t kRoot = 512;
  static constexpr uint32_t kNone = 0x8000;
  static constexpr uint32_t kLeaf = 0x80000000u;

  struct Node {
    uint16_t weight;
    uint16_t parent;
    uint32_t link;  // kLeaf | value for a leaf; else the slot of the first child
  };

  void Reorder(uint32_t slot);
  void Rebuild();
  void AdoptChildren(uint32_t slot);

  std::array<Node, 513> nodes_;
  uint32_t low_ = kRoot;
};

// The byte decoder over the 257 trees: symbols in the context of the previous
// byte, zero runs in their own tree.
class ErinaDecoder {
 public:
  ErinaDecoder();
  // Empties every tree; context 0, no pending zeros.
  void Reset();
  // Decodes `count` bytes. False when the stream is corrupt (ran past its
  // data or held an impossible run); `out` is then partly written.
  bool Decode(MioBitReader& bits, uint8_t* out, std::size_t count);

 private:
  std::unique_ptr<std::array<ErinaTree, 257>> trees_;
  uint32_t context_ = 0;
  uint32_t pending_ = 0;
};

}  // namespace qorve::mio
