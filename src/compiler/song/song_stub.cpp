// Placeholder for the track stream compiler and the song image; replaced as
// they are built.
#include "compiler/driver/work_areas.h"
#include "compiler/song/song.h"

namespace {
ByteBuffer& Stream() {
  static ByteBuffer buffer;
  return buffer;
}
ByteBuffer& Image() {
  static ByteBuffer buffer;
  return buffer;
}
}  // namespace

void CheckLoop(int) {}
void SettleVoidTimes() {}
int CompileTrackStream() {
  Stream().Clear();
  Stream().Append(255);
  Stream().Append(0);
  return static_cast<int>(Stream().Length());
}
const ByteBuffer& TrackStream() { return Stream(); }
void BeginSongImage(uint16_t resolution) {
  Image().Clear();
  Image().AppendWord(512);
  Image().AppendWord(65023);
  Image().AppendWord(resolution);
  for (int i = 0; i < 8; ++i) Image().Append(0);
}
void AppendTrackStream() {
  Image().AppendWord(static_cast<uint16_t>(Stream().Length() + 2));
  Image().AppendBytes(Stream().Begin(), Stream().Length());
}
void FinishSongImage() {
  Image().AppendWord(0);
  for (int i = 0; i < 3; ++i) Image().Append(0);
}
const ByteBuffer& SongImage() { return Image(); }
void ResetSongBuffers() {
  Stream().Clear();
  Image().Clear();
}
