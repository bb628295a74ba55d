// Attributes, tempo and direct out.
//
// An attribute is a numbered setting of a track that the score changes with a
// value: 0..127 MIDI controllers, 128 tempo, 129 track velocity, 130 pitch
// bend, and 131 + k the byte template k of the attribute definition list.
// Names map to numbers through one table per compilation; the current values
// (start values of gradual changes) live for one track.
//
// Byte lists ("{" bytes "}") are stored as templates: plain bytes, status
// bytes 128..239 with their channel bits cleared, and the escape 253 followed
// by 0 (a literal 253), 1 (reset the checksum), 2 (insert the checksum) or
// 3 (insert the event's value).
#include <cstring>
#include <string>
#include <vector>

#include "compiler/catalogue/messages.h"
#include "compiler/commands/commands.h"
#include "compiler/commands/track_state.h"
#include "compiler/driver/compilation.h"
#include "compiler/driver/report.h"
#include "compiler/driver/work_areas.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"

namespace {

constexpr int kNameLimit = 128;
constexpr int kTempo = 128;
constexpr int kFirstTemplate = 131;
constexpr int kTemplateLimit = 256 - kFirstTemplate;  // 125 templates: 131..255
constexpr int kGradualBase = 10000;
constexpr int kGradualLimit = 65536 - kGradualBase;
constexpr size_t kTemplateMaxBytes = 255;
constexpr uint8_t kEscape = 253;

static_assert(kNameLimit == AttributeTables::kNameLimit);

AttributeTables& Tables(CompileContext& cc) {
  return cc.commands.attributes;
}

// The attribute number of name, or -1 when it is undefined.
int LookUpAttribute(CompileContext& cc, const std::string& name) {
  int index = Tables(cc).names.Find(name);
  return index < 0 ? -1 : Tables(cc).numbers[index];
}

void EnterName(CompileContext& cc, const std::string& name, int number) {
  AttributeTables& t = Tables(cc);
  int index = t.names.Find(name);
  if (index >= 0) {
    ReportMessage(cc, kRedefined);
    t.numbers[index] = number;
    return;
  }
  if (t.names.Count() >= kNameLimit) {
    ReportMessage(cc, kTooManyNames);
    return;
  }
  index = t.names.AddString(name);
  t.numbers[index] = number;
}

// Reads the tokens of a byte list up to "}" into bytes; "{" has been read.
void ReadByteListBytes(CompileContext& cc, std::vector<uint8_t>* bytes) {
  for (;;) {
    int code = NextToken(cc);
    switch (code) {
      case kTokNum: {
        uint8_t b = static_cast<uint8_t>(TokenNumber(cc) & 0xff);
        if (b >= 128 && b <= 239) b &= 0xf0;
        if (b == kEscape) {
          bytes->push_back(kEscape);
          bytes->push_back(0);
        } else {
          bytes->push_back(b);
        }
        break;
      }
      case kTokBar:
        bytes->insert(bytes->end(), {kEscape, 1});
        break;
      case kTokS:
        bytes->insert(bytes->end(), {kEscape, 2});
        break;
      case kTokV:
        bytes->insert(bytes->end(), {kEscape, 3});
        break;
      case kTokRightBrace:
        return;
      case kTokEnd:
        ReportMessage(cc, kNoClosingBrace);
        PushBackToken(cc);
        return;
      default:
        ReportMessage(cc, kBadListToken);
        break;
    }
  }
}

// byte list: '{' { number | '|' | 's' | 'v' } '}'
// Reads a byte list and checks that the song image can hold it; false for a
// list that must not be stored (it is empty).
bool ReadByteList(CompileContext& cc, std::vector<uint8_t>* bytes) {
  ReadByteListBytes(cc, bytes);
  if (bytes->empty()) {
    ReportMessage(cc, kEmptyList);
    return false;
  }
  if (bytes->size() > kTemplateMaxBytes) ReportMessage(cc, kListTooLong);
  return true;
}

// definition: name '=' (number | byte list)
void DefineAttribute(CompileContext& cc, const std::string& name) {
  int code = NextToken(cc);
  if (code == kTokNum) {
    int n = TokenNumber(cc);
    if (n > 127) {
      ReportMessage(cc, kDefinitionRange);
      return;
    }
    EnterName(cc, name, n);
    return;
  }
  if (code != kTokLeftBrace) {
    PushBackToken(cc);
    ReportMessage(cc, kNoDefinition);
    return;
  }
  std::vector<uint8_t> bytes;
  if (!ReadByteList(cc, &bytes)) return;
  StringTable& list = AttributeDefinitionList(cc);
  if (list.Count() >= kTemplateLimit) {
    ReportMessage(cc, kTooManyTemplates);
    return;
  }
  list.AddBytes(bytes.data(), bytes.size());
  EnterName(cc, name, kFirstTemplate - 1 + list.Count());
}

// Appends a gradual-change record; the index, or -1 when the event value
// could not carry it.
int AddGradualChange(CompileContext& cc, int start, int length, int end) {
  StringTable& list = GradualChangeList(cc);
  if (list.Count() >= kGradualLimit) {
    ReportMessage(cc, kTooManyGradualChanges);
    return -1;
  }
  const int16_t record[6] = {static_cast<int16_t>(start),
                             static_cast<int16_t>(length),
                             static_cast<int16_t>(end),
                             static_cast<int16_t>(length),
                             255,
                             0};
  uint8_t bytes[sizeof record];
  std::memcpy(bytes, record, sizeof record);
  return list.AddBytes(bytes, sizeof bytes);
}

// The value of an attribute use, with the tempo limits and the range check.
int CheckedValue(CompileContext& cc, int number, int value) {
  if (number == kTempo) {
    if (value == 0) {
      ReportMessage(cc, kTempoTooSlow);
      return 1;
    }
    if (value >= 10000) {
      ReportMessage(cc, kTempoTooFast);
      return 9999;
    }
    return value;
  }
  if (value > 127) ReportMessage(cc, kValueRange);
  return value;
}

}  // namespace

// attribute: name ('=' definition | number [':' length])
void AttributeCommand(CompileContext& cc, const char* name_text) {
  // The token reader reuses its text buffer for the next name, so keep a copy.
  const std::string name(name_text);
  int code = NextToken(cc);
  if (code == kTokEqual) {
    DefineAttribute(cc, name);
    return;
  }
  if (code != kTokNum) {
    ReportMessage(cc, kNoValue);
    PushBackToken(cc);
    return;
  }
  int number = LookUpAttribute(cc, name);
  int value = TokenNumber(cc);
  if (number < 0) {
    // An unknown name still consumes its value and length, and changes nothing.
    ReportMessage(cc, kUndefined);
    if (NextToken(cc) == kTokColon) {
      ReadLength(cc, false);
    } else {
      PushBackToken(cc);
    }
    return;
  }
  value = CheckedValue(cc, number, value);
  int16_t& current = Tables(cc).current[number];
  if (NextToken(cc) == kTokColon) {
    int length = ReadLength(cc, false);
    int index = AddGradualChange(cc, current, length, value);
    if (index >= 0) AppendEvent(cc, kEventAttribute, number, kGradualBase + index);
  } else {
    PushBackToken(cc);
    AppendEvent(cc, kEventAttribute, number, value);
  }
  current = static_cast<int16_t>(value);
}

// direct out: '{' bytes '}'
void DirectOutCommand(CompileContext& cc) {
  std::vector<uint8_t> bytes;
  if (!ReadByteList(cc, &bytes)) return;
  int index = DirectOutList(cc).AddBytes(bytes.data(), bytes.size());
  AppendEvent(cc, kEventDirectOut, 0, index);
}

void ResetAttributeValues(CompileContext& cc) {
  std::memset(Tables(cc).current, 0, sizeof Tables(cc).current);
}

void ResetAttributes(CompileContext& cc) {
  AttributeTables& t = Tables(cc);
  t.names.Clear();
  static constexpr struct {
    const char* name;
    int number;
  } kPredefined[] = {{"Tmp", 128}, {"Vel", 129}, {"D", 130}, {"M", 1}, {"V", 7}, {"P", 10}};
  for (const auto& p : kPredefined) t.numbers[t.names.AddString(p.name)] = p.number;
  t.definitions.Clear();
  t.direct_out.Clear();
  t.gradual.Clear();
  ResetAttributeValues(cc);
}

StringTable& AttributeDefinitionList(CompileContext& cc) {
  return Tables(cc).definitions;
}
StringTable& DirectOutList(CompileContext& cc) {
  return Tables(cc).direct_out;
}
StringTable& GradualChangeList(CompileContext& cc) {
  return Tables(cc).gradual;
}
