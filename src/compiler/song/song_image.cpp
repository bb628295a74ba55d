// Song image: the header, one sized entry per track stream, a zero word and
// the three song lists (layout in bytecode.h).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "compiler/commands/commands.h"
#include "compiler/driver/compilation.h"
#include "compiler/driver/work_areas.h"
#include "compiler/song/bytecode.h"
#include "compiler/song/song.h"
#include "compiler/song/stream_internal.h"

namespace {

constexpr int kHeaderPadding = 8;
constexpr size_t kMaxTemplateLength = 255;

ByteBuffer& Image() {
  return CompilationPartOf<ByteBuffer>(kPartSongImage);
}

// A list of byte templates: per entry a length byte and its bytes, then 0.
// The byte-list commands refuse templates the format cannot hold; should one
// slip through, the entry is still written so that its length byte neither
// wraps nor reads as the list's end, and every later index stays right.
void AppendTemplateList(const StringTable& list) {
  for (int i = 0; i < list.Count(); ++i) {
    size_t size = std::min(list.EntrySize(i), kMaxTemplateLength);
    if (size == 0) {
      Image().Append(1);
      Image().Append(0);
      continue;
    }
    Image().Append(static_cast<uint8_t>(size));
    Image().AppendBytes(list.Bytes(i), size);
  }
  Image().Append(0);
}

// Gradual-change records hold six 16-bit fields: start value, duration, end
// value, duration, 255, 0. The image keeps start, end and the second duration.
void AppendGradualList(const StringTable& list) {
  for (int i = 0; i < list.Count(); ++i) {
    int16_t fields[6] = {};
    std::memcpy(fields, list.Bytes(i), std::min(list.EntrySize(i), sizeof fields));
    Image().Append(kGradualEntryLength);
    Image().AppendWord(static_cast<uint16_t>(fields[0]));
    Image().AppendWord(static_cast<uint16_t>(fields[2]));
    Image().AppendWord(static_cast<uint16_t>(fields[3]));
  }
  Image().Append(0);
}

}  // namespace

void BeginSongImage(uint16_t resolution) {
  Image().Clear();
  Image().AppendWord(kImageMagic);
  Image().AppendWord(kImageSignature);
  Image().AppendWord(resolution);
  for (int i = 0; i < kHeaderPadding; ++i) Image().Append(0);
}

// A stream too long for its size word has already been reported by
// CompileTrackStream; it is stored as an empty track so that the image stays
// readable.
void AppendTrackStream() {
  const ByteBuffer& stream = TrackStream();
  if (stream.Length() > static_cast<size_t>(kMaxTrackStreamLength)) {
    static constexpr uint8_t kEmptyTrack[] = {kOpEscape, kEscEndOfTrack};
    Image().AppendWord(sizeof kEmptyTrack + 2);
    Image().AppendBytes(kEmptyTrack, sizeof kEmptyTrack);
    return;
  }
  Image().AppendWord(static_cast<uint16_t>(stream.Length() + 2));
  Image().AppendBytes(stream.Begin(), stream.Length());
}

void FinishSongImage() {
  Image().AppendWord(0);
  AppendTemplateList(AttributeDefinitionList());
  AppendTemplateList(DirectOutList());
  AppendGradualList(GradualChangeList());
}

const ByteBuffer& SongImage() {
  return Image();
}

void ResetSongBuffers() {
  TrackStreamBuffer().Clear();
  Image().Clear();
}
