// String table, byte buffer and track event table: contents and growth.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "compiler/driver/work_areas.h"
#include "compiler/song/events.h"

namespace {

TEST(StringTable, EntriesSizesAndLookup) {
  StringTable table;
  EXPECT_EQ(0, table.AddString("A1"));
  const uint8_t bytes[] = {1, 0, 2};
  EXPECT_EQ(1, table.AddBytes(bytes, 3));
  EXPECT_EQ(2, table.AddString(""));
  EXPECT_EQ(3, table.AddString("A1"));
  EXPECT_STREQ("A1", table.String(0));
  EXPECT_EQ(3u, table.EntrySize(0));  // the zero byte counts
  EXPECT_EQ(3u, table.EntrySize(1));
  EXPECT_EQ(0, std::memcmp(bytes, table.Bytes(1), 3));
  EXPECT_EQ(1u, table.EntrySize(2));
  EXPECT_EQ(0, table.Find("A1"));  // the lowest index
  EXPECT_EQ(2, table.Find(""));
  EXPECT_EQ(-1, table.Find("A"));
  EXPECT_EQ(-1, table.Find("A12"));
  table.Clear();
  EXPECT_EQ(0, table.Count());
  EXPECT_EQ(0u, table.BytesUsed());
  EXPECT_EQ(-1, table.Find("A1"));
}

TEST(StringTable, GrowsByStepsAndKeepsItsContents) {
  StringTable table;
  EXPECT_EQ(65536u, table.ByteCapacity());
  EXPECT_EQ(1000u, table.EntryCapacity());
  // 65 entries of 1000 bytes leave fewer than 1024 of 65536 bytes free.
  std::string entry(999, 'x');
  for (int i = 0; i < 64; ++i) table.AddString(entry);
  EXPECT_EQ(65536u, table.ByteCapacity());
  table.AddString(entry);
  EXPECT_EQ(65536u + 32768u, table.ByteCapacity());
  for (int i = 65; i < 991; ++i) table.AddString("");
  EXPECT_EQ(1500u, table.EntryCapacity());
  // An entry longer than the free room grows the byte area first.
  std::string big(100000, 'b');
  int index = table.AddString(big);
  EXPECT_EQ(big, table.String(index));
  EXPECT_EQ(entry, table.String(0));
  EXPECT_EQ(0u, table.ByteCapacity() % 32768u);
  EXPECT_GE(table.ByteCapacity() - table.BytesUsed(), 1024u);
  size_t capacity = table.ByteCapacity();
  table.Clear();
  EXPECT_EQ(capacity, table.ByteCapacity());
}

TEST(ByteBuffer, GrowsToOneAndAHalfPastThreeQuarters) {
  ByteBuffer buffer(100);
  for (int i = 0; i < 75; ++i) buffer.Append(static_cast<uint8_t>(i));
  EXPECT_EQ(100u, buffer.Capacity());
  buffer.Append(75);
  EXPECT_EQ(150u, buffer.Capacity());
  EXPECT_EQ(76u, buffer.Length());
  EXPECT_EQ(75, buffer.Begin()[75]);
  buffer.Clear();
  EXPECT_EQ(0u, buffer.Length());
  EXPECT_EQ(150u, buffer.Capacity());
}

TEST(ByteBuffer, WordsAreLittleEndian) {
  ByteBuffer buffer;
  buffer.AppendWord(0x1234);
  buffer.AppendWord(65535);
  EXPECT_EQ(std::string("\x34\x12\xff\xff", 4),
            std::string(reinterpret_cast<const char*>(buffer.Begin()), buffer.Length()));
}

TEST(ByteBuffer, LargeAppendsAndFormattedText) {
  ByteBuffer buffer(100);
  std::string bytes(1000, 'z');
  buffer.AppendBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  EXPECT_EQ(2000u, buffer.Capacity());
  buffer.AppendFormat("%s|%d", std::string(5000, 'f').c_str(), 42);
  EXPECT_EQ(6003u, buffer.Length());
  std::string all(reinterpret_cast<const char*>(buffer.Begin()), buffer.Length());
  EXPECT_EQ(bytes + std::string(5000, 'f') + "|42", all);
  EXPECT_GE(buffer.Capacity() - buffer.Length(), buffer.Capacity() / 4);
}

TEST(ByteBuffer, TinyCapacityStillTakesWords) {
  ByteBuffer buffer(1);
  for (int i = 0; i < 1000; ++i) buffer.AppendWord(static_cast<uint16_t>(i));
  EXPECT_EQ(2000u, buffer.Length());
  EXPECT_EQ(999 & 0xff, buffer.Begin()[1998]);
}

EventRecord Record(int time, int kind) {
  return EventRecord{time, static_cast<uint8_t>(kind), 0, 0, -1, -1};
}

TEST(EventTable, WorkingListGrowsBy8192) {
  EventTable table;
  EXPECT_EQ(32768u, table.Capacity());
  for (int i = 0; i < 32767; ++i) table.Append(Record(i, 60));
  EXPECT_EQ(32768u, table.Capacity());
  table.Append(Record(32767, 60));
  EXPECT_EQ(32768u + 8192u, table.Capacity());
  EXPECT_EQ(32767, table.At(32767).time);
}

TEST(EventTable, SlotsSaveLoadAndStore) {
  EventTable table;
  table.Append(Record(0, 143));
  table.Append(Record(48, 142));
  EXPECT_EQ(0, table.SaveSlot());
  table.ClearWorking();
  table.Append(Record(0, 143));
  EXPECT_EQ(1, table.SaveSlot());
  table.LoadSlot(0);
  ASSERT_EQ(2, table.Count());
  EXPECT_EQ(48, table.At(1).time);
  table.At(1).time = 96;
  table.Append(Record(96, 145));
  EXPECT_EQ(0, table.StoreSlot(0));
  EXPECT_EQ(3u, table.Slot(0).size());
  EXPECT_EQ(96, table.Slot(0)[1].time);
  EXPECT_EQ(-1, table.StoreSlot(2));
  table.LoadSlot(5);  // not in use: nothing to load
  EXPECT_EQ(0, table.Count());
  table.Reset();
  EXPECT_EQ(-1, table.LastUsedSlot());
  EXPECT_EQ(0, table.Count());
}

// The slots are ranges of one arena: a slot loaded and changed, stored into
// another slot, or grown past its neighbours never changes another slot's
// records, and the records survive the arena's growth.
TEST(EventTable, SlotsInOneArenaStayApart) {
  EventTable table;
  table.ReserveFor(10);
  for (int i = 0; i < 3; ++i) table.Append(Record(i, 60));
  ASSERT_EQ(0, table.SaveSlot());
  table.ClearWorking();
  for (int i = 0; i < 2; ++i) table.Append(Record(100 + i, 61));
  ASSERT_EQ(1, table.SaveSlot());
  table.LoadSlot(0);
  table.At(0).time = 7;
  ASSERT_EQ(1, table.StoreSlot(1));  // slot 0's records, changed, become slot 1's
  EXPECT_EQ(7, table.Slot(0)[0].time);  // the working list was slot 0 itself
  table.At(0).time = 8;                 // now it is slot 1
  EXPECT_EQ(7, table.Slot(0)[0].time);
  EXPECT_EQ(8, table.Slot(1)[0].time);
  EXPECT_EQ(3u, table.Slot(1).size());
  table.LoadSlot(0);
  for (int i = 0; i < 40000; ++i) table.Append(Record(i, 62));  // grows the arena
  ASSERT_EQ(0, table.StoreSlot(0));
  EXPECT_EQ(40003u, table.Slot(0).size());
  EXPECT_EQ(39999, table.Slot(0)[40002].time);
  EXPECT_EQ(8, table.Slot(1)[0].time);
  EXPECT_EQ(2, table.Slot(1)[2].time);
}

TEST(EventTable, HoldsAtMost128Slots) {
  EventTable table;
  table.Append(Record(0, 143));
  for (int i = 0; i < 128; ++i) ASSERT_EQ(i, table.SaveSlot());
  EXPECT_EQ(-1, table.SaveSlot());
  EXPECT_EQ(127, table.LastUsedSlot());
  table.Reset();
  EXPECT_EQ(0, table.SaveSlot());
}

}  // namespace
