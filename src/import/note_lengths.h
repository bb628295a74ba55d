// Lengths as a person writes them (used by the score writer): a note value
// ("4"), a dotted one ("8."), else exact terms joined with "^", each a
// divisor of the resolution, so that every tick is kept. Thread: any.
#ifndef QUERN_IMPORT_NOTE_LENGTHS_H_
#define QUERN_IMPORT_NOTE_LENGTHS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "import/text_out.h"

// Note values a person writes; a term of any other divisor is a length in
// ticks.
bool IsNoteValue(int64_t n);

class Lengths {
 public:
  explicit Lengths(int resolution);

  // The length expression for ticks (1 to the longest length); empty when
  // ticks is the default length. *ticky is set when some term is no note
  // value.
  std::string Text(int64_t ticks, int64_t default_length, bool* ticky) const;
  // The same, appended to out.
  void Append(TextOut& out, int64_t ticks, int64_t default_length, bool* ticky) const;

  int resolution() const { return static_cast<int>(r_); }

 private:
  int64_t r_;
  std::vector<int64_t> divisors_;  // descending
};

#endif  // QUERN_IMPORT_NOTE_LENGTHS_H_
