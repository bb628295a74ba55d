// Byte lists within what a song holds. A song holds 256 direct-out lists
// and 125 templates. A shape that comes back often (the same bytes, or the
// same bytes but one data byte, such as a channel pressure or a fine pitch
// bend of one coarse value) becomes a template attribute, used by name with
// the byte that varies as its value: "Press64" for {208 64}. What still does
// not fit is a pitch bend kept to its high seven bits, or left out; both are
// counted.
#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

#include "import/import_plan.h"

namespace {

// Shapes with fewer uses stay byte lists.
constexpr int kTemplateUses = 3;
// Lists longer than this are taken only whole.
constexpr size_t kHoleLimit = 16;
constexpr int kDirectOutRoom = 256;
constexpr int kTemplateRoom = 125;

// The bytes as stored: channel status bytes without their channel.
std::string Stored(const std::string& bytes) {
  std::string out = bytes;
  for (char& c : out) {
    const auto b = static_cast<uint8_t>(c);
    if (b >= 0x80 && b <= 0xef) c = static_cast<char>(b & 0xf0);
  }
  return out;
}

// A shape's key: the hole's place, then the bytes with the hole zeroed.
std::string ShapeKey(const std::string& stored, int hole) {
  std::string key = std::to_string(hole) + ":" + stored;
  if (hole >= 0) key[key.find(':') + 1 + static_cast<size_t>(hole)] = 0;
  return key;
}

std::string Letters(int i) {
  std::string s;
  do {
    s.insert(s.begin(), static_cast<char>('a' + i % 26));
    i = i / 26 - 1;
  } while (i >= 0);
  return s;
}

std::string KindOf(const std::string& stored) {
  switch (static_cast<uint8_t>(stored[0])) {
    case 0xe0:
      return "Bend";
    case 0xd0:
      return "Press";
    case 0xa0:
      return "Poly";
    case 0xb0:
      return "Ctl";
    case 0xf0:
      return "Sysex";
    default:
      return "Bytes";
  }
}

struct Shape {
  std::string stored;
  int hole = -1;
  std::vector<ImportCommand*> uses;
};

// Names the chosen shapes by their kind, with letters where a kind has more.
void NameTemplates(std::vector<ImportTemplate>& templates) {
  std::map<std::string, int> of_kind, given;
  for (const ImportTemplate& t : templates) ++of_kind[KindOf(t.bytes)];
  for (ImportTemplate& t : templates) {
    const std::string kind = KindOf(t.bytes);
    t.name = of_kind[kind] == 1 ? kind : kind + Letters(given[kind]++);
  }
}

int NamesInUse(const ImportPlan& plan) {
  int names = 6 + (plan.uses_off ? 1 : 0);
  for (int n = 0; n < 128; ++n) {
    if (n != 1 && n != 7 && n != 10 && !plan.controller_names[n].empty()) ++names;
  }
  return names;
}

void ChooseTemplates(ImportPlan& plan, std::vector<ImportCommand*>& lists) {
  std::map<std::string, Shape> shapes;
  for (ImportCommand* c : lists) {
    const std::string stored = Stored(c->text);
    const int holes = stored.size() <= kHoleLimit ? static_cast<int>(stored.size()) : 0;
    for (int hole = -1; hole < holes; ++hole) {
      if (hole >= 0 && static_cast<uint8_t>(stored[static_cast<size_t>(hole)]) >= 0x80) continue;
      Shape& s = shapes[ShapeKey(stored, hole)];
      s.stored = stored;
      s.hole = hole;
      s.uses.push_back(c);
    }
  }
  std::vector<Shape*> order;
  for (auto& [key, s] : shapes) order.push_back(&s);
  // Most uses first; a whole list before a hole that covers no more.
  std::stable_sort(order.begin(), order.end(), [](const Shape* a, const Shape* b) {
    if (a->uses.size() != b->uses.size()) return a->uses.size() > b->uses.size();
    return a->hole < b->hole;
  });
  const int room = std::min(kTemplateRoom - (plan.uses_off ? 1 : 0), 128 - NamesInUse(plan));
  for (Shape* s : order) {
    if (static_cast<int>(plan.templates.size()) >= room) break;
    int free = 0;
    for (const ImportCommand* c : s->uses) free += c->kind == CommandKind::kBytes ? 1 : 0;
    if (free < kTemplateUses) continue;
    const int index = static_cast<int>(plan.templates.size());
    ImportTemplate t;
    t.bytes = s->stored;
    t.hole = s->hole;
    if (t.hole >= 0) t.bytes[static_cast<size_t>(t.hole)] = 0;
    plan.templates.push_back(t);
    for (ImportCommand* c : s->uses) {
      if (c->kind != CommandKind::kBytes) continue;
      c->kind = CommandKind::kTemplate;
      c->number = index;
      c->value = s->hole >= 0 ? static_cast<uint8_t>(c->text[static_cast<size_t>(s->hole)]) : 0;
    }
  }
  NameTemplates(plan.templates);
}

}  // namespace

void FitByteLists(ImportPlan& plan) {
  std::vector<ImportCommand*> lists;
  for (ImportTrack& t : plan.tracks) {
    for (ImportCommand& c : t.commands) {
      if (c.kind == CommandKind::kBytes) lists.push_back(&c);
    }
  }
  ChooseTemplates(plan, lists);
  int inline_lists = 0;
  for (ImportTrack& t : plan.tracks) {
    std::vector<ImportCommand> kept;
    for (ImportCommand& c : t.commands) {
      if (c.kind != CommandKind::kBytes || inline_lists < kDirectOutRoom) {
        inline_lists += c.kind == CommandKind::kBytes ? 1 : 0;
        kept.push_back(std::move(c));
      } else if (c.text.size() == 3 && static_cast<uint8_t>(c.text[0]) >> 4 == 0xe) {
        ++plan.counts.bends_rounded;
        c.kind = CommandKind::kAttribute;
        c.number = kBendAttribute;
        c.value = static_cast<uint8_t>(c.text[2]);
        c.channel = -1;
        kept.push_back(std::move(c));
      } else {
        ++plan.counts.byte_lists_left_out;
      }
    }
    t.commands = std::move(kept);
  }
}
