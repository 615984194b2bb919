#include "libs/mio/erina_huffman.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace qorve::mio {

// Counts are halved once the root's weight reaches this.
constexpr uint32_t kRebuildWeight = 0x4000;

void ErinaTree::Reset() {
  low_ = kRoot;
  nodes_[kRoot] = {0, static_cast<uint16_t>(kNone), kNone};
}

void ErinaTree::AdoptChildren(uint32_t slot) {
  const uint32_t link = nodes_[slot].link;
  if ((link & kLeaf) != 0 || link + 1 >= kRoot) return;
  nodes_[link].parent = static_cast<uint16_t>(slot);
  nodes_[link + 1].parent = static_cast<uint16_t>(slot);
}

void ErinaTree::Increment(uint32_t slot) {
  ++nodes_[slot].weight;
  Reorder(slot);
  if (nodes_[kRoot].weight >= kRebuildWeight) Rebuild();
}

// Restores the sibling property from `slot` up to the root: the node moves
// past every higher slot of smaller weight, then its parent's weight is
// recomputed.
void ErinaTree::Reorder(uint32_t slot) {
  while (slot < kRoot) {
    const uint16_t weight = nodes_[slot].weight;
    uint32_t last = slot + 1;
    while (last < kRoot && nodes_[last].weight < weight) ++last;
    --last;
    if (last != slot) {
      std::swap(nodes_[slot].weight, nodes_[last].weight);
      std::swap(nodes_[slot].link, nodes_[last].link);
      AdoptChildren(slot);
      AdoptChildren(last);
    }
    const uint32_t parent = nodes_[last].parent;
    if (parent > kRoot) return;  // cannot happen in a well-formed tree
    const uint32_t first = nodes_[parent].link;
    nodes_[parent].weight = static_cast<uint16_t>(nodes_[first].weight + nodes_[first + 1].weight);
    slot = parent;
  }
}

void ErinaTree::Insert(uint32_t value) {
  if (low_ == 0) {
    // Full (only a run-length tree can be): a least frequent value gives way.
    const uint32_t target = nodes_[0].link == (kLeaf | kEscape) ? 1 : 0;
    nodes_[target].link = kLeaf | value;
    return;
  }
  low_ -= 2;
  const uint32_t fresh = low_;
  nodes_[fresh].weight = 1;
  nodes_[fresh].link = kLeaf | value;
  if (nodes_[kRoot].link != kNone) {
    // The old lowest node (a leaf) moves down a slot; its place becomes the
    // parent of it and the new leaf.
    nodes_[fresh + 1] = nodes_[fresh + 2];
    AdoptChildren(fresh + 1);
    nodes_[fresh + 2] = {static_cast<uint16_t>(1 + nodes_[fresh + 1].weight), nodes_[fresh + 1].parent, fresh};
    nodes_[fresh].parent = static_cast<uint16_t>(fresh + 2);
    nodes_[fresh + 1].parent = static_cast<uint16_t>(fresh + 2);
    Reorder(fresh + 2);
  } else {
    // The first value: the root gets it and the escape leaf.
    nodes_[fresh].parent = static_cast<uint16_t>(kRoot);
    nodes_[fresh + 1] = {1, static_cast<uint16_t>(kRoot), kLeaf | kEscape};
    nodes_[kRoot].weight = 2;
    nodes_[kRoot].link = fresh;
  }
}

// Halves every leaf's count and builds the tree again from the leaves, which
// keep their order.
void ErinaTree::Rebuild() {
  uint32_t packed = kRoot;
  for (int slot = static_cast<int>(kRoot) - 1; slot >= static_cast<int>(low_); --slot) {
    Node& node = nodes_[static_cast<uint32_t>(slot)];
    if ((node.link & kLeaf) == 0) continue;
    node.weight = static_cast<uint16_t>((node.weight + 1) >> 1);
    nodes_[packed--] = node;
  }
  uint32_t next = packed + 1;
  for (uint32_t slot = low_;; slot += 2) {
    if (next + 1 > kRoot) return;  // a single leaf: cannot happen (escape + value)
    nodes_[slot] = nodes_[next];
    nodes_[slot + 1] = nodes_[next + 1];
    next += 2;
    AdoptChildren(slot);
    AdoptChildren(slot + 1);
    const uint32_t weight = nodes_[slot].weight + nodes_[slot + 1].weight;
    if (next <= kRoot) {
      uint32_t at = next;
      for (;;) {
        if (weight <= nodes_[at].weight) {
          nodes_[at - 1].weight = static_cast<uint16_t>(weight);
          nodes_[at - 1].link = slot;
          break;
        }
        nodes_[at - 1] = nodes_[at];
        ++at;
        if (at > kRoot) {
          nodes_[kRoot].weight = static_cast<uint16_t>(weight);
          nodes_[kRoot].link = slot;
          break;
        }
      }
      --next;
    } else {
      nodes_[kRoot] = {static_cast<uint16_t>(weight), static_cast<uint16_t>(kNone), slot};
      nodes_[slot].parent = static_cast<uint16_t>(kRoot);
      nodes_[slot + 1].parent = static_cast<uint16_t>(kRoot);
      return;
    }
  }
}

int ErinaTree::FindLeaf(uint32_t value) const {
  if (Empty()) return -1;
  for (uint32_t slot = low_; slot < kRoot; ++slot) {
    if (nodes_[slot].link == (kLeaf | value)) return static_cast<int>(slot);
  }
  return -1;
}

int ErinaTree::PathTo(uint32_t slot, uint8_t* bits, int room) const {
  int length = 0;
  uint8_t reversed[600];
  while (slot < kRoot && length < 600) {
    const uint32_t parent = nodes_[slot].parent;
    reversed[length++] = static_cast<uint8_t>(slot - nodes_[parent].link);
    slot = parent;
  }
  if (length > room) return -1;
  for (int i = 0; i < length; ++i) bits[i] = reversed[length - 1 - i];
  return length;
}

ErinaDecoder::ErinaDecoder() : trees_(std::make_unique<std::array<ErinaTree, 257>>()) { Reset(); }

void ErinaDecoder::Reset() {
  for (ErinaTree& tree : *trees_) tree.Reset();
  context_ = 0;
  pending_ = 0;
}

bool ErinaDecoder::Decode(MioBitReader& bits, uint8_t* out, std::size_t count) {
  std::size_t at = 0;
  if (pending_ > 0) {
    const std::size_t zeros = std::min<std::size_t>(pending_, count);
    std::memset(out, 0, zeros);
    at = zeros;
    pending_ -= static_cast<uint32_t>(zeros);
  }
  ErinaTree& runs = (*trees_)[256];
  while (at < count) {
    const uint32_t symbol = (*trees_)[context_].Read(bits, [&bits] { return bits.Bits(8); }) & 0xFF;
    out[at++] = static_cast<uint8_t>(symbol);
    if (symbol == 0) {
      const uint32_t run = runs.Read(bits, [&bits] { return bits.Gamma(); });
      if (run == 0) return false;  // a gamma code that ran out
      const uint32_t more = run - 1;
      const std::size_t zeros = std::min<std::size_t>(more, count - at);
      std::memset(out + at, 0, zeros);
      at += zeros;
      pending_ = more - static_cast<uint32_t>(zeros);
    }
    context_ = symbol;
    if (bits.Overrun()) return false;
  }
  return !bits.Overrun();
}

}  // namespace qorve::mio
