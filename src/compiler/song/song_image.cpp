// Song image: the header, one sized entry per track stream, a zero word and
// the three song lists (layout in bytecode.h).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "compiler/driver/compilation.h"
#include "compiler/driver/work_areas.h"
#include "compiler/song/bytecode.h"
#include "compiler/song/song.h"

namespace {

constexpr int kHeaderPadding = 8;
constexpr size_t kMaxTemplateLength = 255;

// A list of byte templates: per entry a length byte and its bytes, then 0.
// The byte-list commands refuse templates the format cannot hold; should one
// slip through, the entry is still written so that its length byte neither
// wraps nor reads as the list's end, and every later index stays right.
void AppendTemplateList(ByteBuffer& image, const StringTable& list) {
  for (int i = 0; i < list.Count(); ++i) {
    size_t size = std::min(list.EntrySize(i), kMaxTemplateLength);
    if (size == 0) {
      image.Append(1);
      image.Append(0);
      continue;
    }
    image.Append(static_cast<uint8_t>(size));
    image.AppendBytes(list.Bytes(i), size);
  }
  image.Append(0);
}

// Gradual-change records hold six 16-bit fields: start value, duration, end
// value, duration, 255, 0. The image keeps start, end and the second duration.
void AppendGradualList(ByteBuffer& image, const StringTable& list) {
  for (int i = 0; i < list.Count(); ++i) {
    int16_t fields[6] = {};
    std::memcpy(fields, list.Bytes(i), std::min(list.EntrySize(i), sizeof fields));
    image.Append(kGradualEntryLength);
    image.AppendWord(static_cast<uint16_t>(fields[0]));
    image.AppendWord(static_cast<uint16_t>(fields[2]));
    image.AppendWord(static_cast<uint16_t>(fields[3]));
  }
  image.Append(0);
}

}  // namespace

void BeginSongImage(CompileContext& cc, uint16_t resolution) {
  ByteBuffer& image = cc.song.image;
  image.Clear();
  image.AppendWord(kImageMagic);
  image.AppendWord(kImageSignature);
  image.AppendWord(resolution);
  for (int i = 0; i < kHeaderPadding; ++i) image.Append(0);
}

// A stream too long for its size word has already been reported by
// CompileTrackStream; it is stored as an empty track so that the image stays
// readable.
void AppendTrackStream(CompileContext& cc) {
  ByteBuffer& image = cc.song.image;
  const ByteBuffer& stream = cc.song.stream;
  if (stream.Length() > static_cast<size_t>(kMaxTrackStreamLength)) {
    static constexpr uint8_t kEmptyTrack[] = {kOpEscape, kEscEndOfTrack};
    image.AppendWord(sizeof kEmptyTrack + 2);
    image.AppendBytes(kEmptyTrack, sizeof kEmptyTrack);
    return;
  }
  image.AppendWord(static_cast<uint16_t>(stream.Length() + 2));
  image.AppendBytes(stream.Begin(), stream.Length());
}

void FinishSongImage(CompileContext& cc, const StringTable& definitions,
                     const StringTable& direct_out, const StringTable& gradual) {
  ByteBuffer& image = cc.song.image;
  image.AppendWord(0);
  AppendTemplateList(image, definitions);
  AppendTemplateList(image, direct_out);
  AppendGradualList(image, gradual);
}

const ByteBuffer& SongImage(const CompileContext& cc) {
  return cc.song.image;
}

void ResetSongBuffers(CompileContext& cc) {
  cc.song.stream.Clear();
  cc.song.image.Clear();
}
