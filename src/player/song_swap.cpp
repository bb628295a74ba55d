#include "player/song_swap.h"

#include <algorithm>

namespace {

// Records the messages that bring one channel state to another.
class MessageList final : public ChaseTarget {
 public:
  explicit MessageList(std::vector<SwapOffer::Message>* out) : out_(out) {}
  void SendShort(const uint8_t* bytes, int length) override {
    SwapOffer::Message m = {};
    std::copy(bytes, bytes + std::min(length, 3), m.bytes);
    m.length = std::min(length, 3);
    out_->push_back(m);
  }
  void SendAttribute(int, int, int) override {}

 private:
  std::vector<SwapOffer::Message>* out_;
};

}  // namespace

SongSwap::SongSwap(const uint8_t* old_image, size_t old_size, const uint8_t* new_image,
                   size_t new_size) {
  std::string why;
  if (!old_.Load(old_image, old_size, &why)) {
    error_ = "the playing song: " + why;
  } else if (!next_.Load(new_image, new_size, &why)) {
    error_ = "the new song: " + why;
  }
  offer_.prepared = &next_;
}

void SongSwap::SetTrackMuted(int track, bool muted) {
  if (track >= 0 && track < kMaxTracks) offer_.muted[track] = muted;
}

void SongSwap::SetTrackSoloed(int track, bool soloed) {
  if (track >= 0 && track < kMaxTracks) offer_.soloed[track] = soloed;
}

void SongSwap::SetLoop(int64_t start, int64_t stop) {
  offer_.loop_start = start;
  offer_.stop = stop;
  offer_.loop = true;
}

void SongSwap::SetStopTick(int64_t stop) {
  offer_.stop = stop;
  offer_.loop = false;
}

SwapOffer& SongSwap::PrepareAt(int64_t at) {
  if (offer_.loop && !loop_marked_ && offer_.loop_start <= at) {
    next_.RunSilently(offer_.loop_start);
    next_.MarkLoopStart();
    loop_marked_ = true;
  }
  next_.RunSilently(at);
  old_.RunSilently(at);
  offer_.at = at;
  offer_.tempo = next_.Messages().Tempo();
  offer_.messages.clear();
  MessageList list(&offer_.messages);
  next_.SilentState().SendChangesFrom(old_.SilentState(), list);
  return offer_;
}

int64_t SwapInto(Sequencer& playing, SongSwap& swap, const std::function<bool()>& wait,
                 int64_t lead) {
  if (!swap.Prepared()) return 0;
  lead = std::max<int64_t>(lead, 1);
  for (;;) {
    SwapOffer& offer = swap.PrepareAt(std::max(swap.Offer().at, playing.TickCount() + lead));
    playing.OfferSwap(&offer);
    while (offer.outcome.load(std::memory_order_acquire) == kSwapWaiting) {
      if (!wait()) {
        playing.WithdrawSwap(&offer);
        // The running thread may have taken it meanwhile.
        return offer.outcome.load(std::memory_order_acquire) == kSwapTaken ? offer.at : 0;
      }
    }
    if (offer.outcome.load(std::memory_order_acquire) == kSwapTaken) return offer.at;
    lead *= 2;  // the song moved on while the offer was made ready
  }
}

bool RunSwapOffline(Sequencer& song, SongSwap& swap, int64_t at, int64_t max_ticks) {
  song.Messages().SetTempo(120);
  while (song.TickCount() < at - 1) {
    const int64_t before = song.TickCount();
    song.Tick();
    if (song.TickCount() == before) return false;  // stopped by its stop tick
  }
  if (song.TickCount() != at - 1 || !swap.Prepared()) return false;
  song.OfferSwap(&swap.PrepareAt(at));
  song.Tick();
  if (swap.Offer().outcome.load() != kSwapTaken) return false;
  while (song.TickCount() < max_ticks && !song.Finished()) song.Tick();
  song.SilenceNotes();
  return true;
}
