// Track stream byte code and song image layout: the format that the track
// stream compiler writes, the sequencer runs and an .xrt file stores.
//
// Depends on nothing but <cstdint>, so the player can include it as is.
//
// All multi-byte numbers are little-endian. A "word" is 16 bits.
//
// Stream numbers: an unsigned 16-bit value v in one to three bytes
//   0..239       v
//   240..3839    240 + (v >> 8), then v & 255
//   3840..65535  255, then v as a word
// A reader takes a first byte b < 240 as b, b == 255 as the word behind it,
// and any other b as ((b << 8) + next byte) & 4095.
//
// A stream byte whose low six bits are 0..59 is a note; every other byte
// (the sixteen values 60..63, 124..127, 188..191, 252..255) is an opcode.
//
// Note byte n, rel = n & 63:
//   bit 7 set: a stream number follows, the length; else length = length register
//   bit 6 set: a stream number follows, the step; else step = length
//   then optionally 253 and one byte: this note's own velocity (accent)
//   note number = octave base + rel. The next byte is read step ticks later
//   (at once when the step is 0: a chord).
//
// Interpreter state at the start of a track: length register = resolution / 4,
// octave base = 30. A loop start saves the length register and the octave
// base (the sequencer also saves the gate). The compiler encodes the body of
// every pass, and the bytes behind the loop, against that saved state, so a
// reader restores both at every loop end (on the last pass too, before it
// leaves the loop) and at a break it takes.
#ifndef QUERN_COMPILER_SONG_BYTECODE_H_
#define QUERN_COMPILER_SONG_BYTECODE_H_

#include <cstdint>

// Note bytes.
constexpr uint8_t kNoteLengthFlag = 0x80;  // a length operand follows
constexpr uint8_t kNoteStepFlag = 0x40;    // a step operand follows
constexpr uint8_t kNoteRelMask = 0x3f;     // rel in the low six bits
constexpr uint8_t kNoteRelCount = 60;      // rel 0..59 are notes
constexpr uint8_t kInitialOctaveBase = 30;

// Opcodes: operands, then meaning.
constexpr uint8_t kOpRest = 60;           // number: wait that many ticks
constexpr uint8_t kOpRestLength = 61;     // -: wait the length register's ticks
constexpr uint8_t kOpSetLength = 62;      // number: set the length register
constexpr uint8_t kOpOctaveBase = 63;     // byte: set the octave base
constexpr uint8_t kOpLoopStart = 124;     // byte: pass count, 255 endless
constexpr uint8_t kOpLoopBreak = 125;     // word: on the last pass jump forward by it,
                                          //   from the word's position to behind the loop end
constexpr uint8_t kOpLoopEnd = 126;       // word: while passes are left jump back by it,
                                          //   from the word's position to the body's first byte
constexpr uint8_t kOpAttribute = 127;     // byte number, word value (10000 + k: gradual change k)
constexpr uint8_t kOpChannel = 188;       // byte: channel 0..15
constexpr uint8_t kOpProgram = 189;       // byte program (128+: none), word bank (16384+: none)
constexpr uint8_t kOpAbsoluteGate = 190;  // word: every following note sounds this many ticks
constexpr uint8_t kOpRelativeGate = 191;  // signed word: notes sound their length plus this
constexpr uint8_t kOpVelocity = 252;      // byte: set the track velocity
constexpr uint8_t kOpAccent = 253;        // byte: velocity of the note just before; only there
constexpr uint8_t kOpUnused = 254;        // never written
constexpr uint8_t kOpEscape = 255;        // byte sub-code, below

// Sub-codes behind kOpEscape.
constexpr uint8_t kEscEndOfTrack = 0;     // -: the track ends
constexpr uint8_t kEscNotesHeld = 1;      // -: no note-offs from now on ("hit")
constexpr uint8_t kEscNotesRelease = 2;   // -: note-offs again ("tone")
constexpr uint8_t kEscEndlessLoopEnd = 3; // word: jump back as kOpLoopEnd, forever
constexpr uint8_t kEscDirectOut = 4;      // byte k: send direct-out entry k

// Attribute numbers of kOpAttribute.
constexpr uint8_t kAttributeTempo = 128;
constexpr uint8_t kAttributeVelocity = 129;
constexpr uint8_t kAttributePitchBend = 130;
constexpr uint8_t kAttributeFirstTemplate = 131;  // entry 0 of the definition list
constexpr uint16_t kGradualValueBase = 10000;     // value 10000 + k: gradual change k

constexpr bool IsNoteByte(uint8_t b) { return (b & kNoteRelMask) < kNoteRelCount; }

// Writes v as a stream number into out (room for 3 bytes); returns the count.
inline int EncodeStreamNumber(uint16_t v, uint8_t* out) {
  if (v < 240) {
    out[0] = static_cast<uint8_t>(v);
    return 1;
  }
  if (v < 3840) {
    out[0] = static_cast<uint8_t>(240 + (v >> 8));
    out[1] = static_cast<uint8_t>(v & 255);
    return 2;
  }
  out[0] = 255;
  out[1] = static_cast<uint8_t>(v & 255);
  out[2] = static_cast<uint8_t>(v >> 8);
  return 3;
}

// Reads a stream number from p, never past end; returns the bytes read, or
// 0 when the number is cut off by end (then *v is 0).
inline int DecodeStreamNumber(const uint8_t* p, const uint8_t* end, uint16_t* v) {
  *v = 0;
  if (p >= end) return 0;
  uint8_t b = p[0];
  if (b < 240) {
    *v = b;
    return 1;
  }
  if (b == 255) {
    if (end - p < 3) return 0;
    *v = static_cast<uint16_t>(p[1] | (p[2] << 8));
    return 3;
  }
  if (end - p < 2) return 0;
  *v = static_cast<uint16_t>(((b << 8) | p[1]) & 4095);
  return 2;
}

// Song image (.xrt file):
//   header, 14 bytes: word 512, word 65023, word resolution (ticks per whole
//     note), eight zero bytes;
//   track list from offset 14: per track in track order a word size (the
//     stream's length + 2, this word included) and the stream, which ends
//     with 255, 0; then a word 0;
//   three lists behind it, each a run of entries closed by one zero byte:
//     1 attribute definitions: length byte n (1..255), n template bytes;
//     2 direct-out strings: length byte n, n template bytes;
//     3 gradual changes: byte 6, then words start value, end value, ticks.
//   An image without tracks is 19 bytes.
constexpr uint16_t kImageMagic = 512;
constexpr uint16_t kImageSignature = 65023;
constexpr int kImageResolutionOffset = 4;
constexpr int kImageHeaderSize = 14;
constexpr int kMaxTrackStreamLength = 65533;  // largest stream a size word holds
constexpr int kGradualEntrySize = 7;
constexpr uint8_t kGradualEntryLength = 6;

#endif  // QUERN_COMPILER_SONG_BYTECODE_H_
