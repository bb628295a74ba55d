#include "player/song_builder.h"

#include <gtest/gtest.h>

#include "player/player.h"
#include "player/sequencer.h"

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes BuildImage(const SongLayout& song) {
  Bytes image = Cat({Word(512), Word(65023), Word(song.resolution), Bytes(8, 0)});
  for (const Bytes& t : song.tracks) {
    image = Cat({image, Word(static_cast<int>(t.size()) + 2), t});
  }
  image = Cat({image, Word(0)});
  for (const auto* list : {&song.attribute_templates, &song.direct_outs}) {
    for (const Bytes& e : *list) {
      image.push_back(static_cast<uint8_t>(e.size()));
      image.insert(image.end(), e.begin(), e.end());
    }
    image.push_back(0);
  }
  for (const SongLayout::Gradual& g : song.graduals) {
    image = Cat({image, {6}, Word(g.start), Word(g.end), Word(g.duration)});
  }
  image.push_back(0);
  return image;
}

std::string Play(const Bytes& image, int max_ticks, bool stop) {
  auto recorder = std::make_unique<RecordingOutput>();
  RecordingOutput* out = recorder.get();
  OpenMidiDevices(std::move(recorder));
  std::string error;
  EXPECT_TRUE(LoadSong(image.data(), image.size(), &error)) << error;
  for (int i = 0; i < max_ticks && !SongFinished(); ++i) SequencerTick();
  if (stop) SilenceNotes();
  return out->Text();
}
