// Note ring: struck notes handed from the timer thread to the window.
//
// In: NoteStruck calls from one producer thread (the sequencer's).
// Out: Pop on one consumer thread, in the order struck.
// A fixed ring of slots with two atomic indices: the producer never waits
// and never allocates. When the consumer falls behind and the ring is full,
// the newest notes are dropped and counted (Dropped) rather than blocking
// the timer.
#ifndef QUERN_PLAYER_NOTE_RING_H_
#define QUERN_PLAYER_NOTE_RING_H_

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "player/sequencer.h"

class NoteRing : public NoteSink {
 public:
  static constexpr size_t kCapacity = 4096;  // a power of two

  void NoteStruck(const StruckNote& note) override {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) >= kCapacity) {
      dropped_.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    slots_[head & (kCapacity - 1)] = note;
    head_.store(head + 1, std::memory_order_release);
  }

  bool Pop(StruckNote* note) {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) return false;
    *note = slots_[tail & (kCapacity - 1)];
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  StruckNote slots_[kCapacity];
  alignas(64) std::atomic<size_t> head_{0};
  alignas(64) std::atomic<size_t> tail_{0};
  std::atomic<uint64_t> dropped_{0};
};

#endif  // QUERN_PLAYER_NOTE_RING_H_
