// The generic handle table: layout, validity, check ids and slot choice.
#include <gtest/gtest.h>

#include <vector>

#include "core/engine_handle.h"

namespace quelt {
namespace {

struct TestRecord {
  int32_t checkId;
  EngineHandle self;
  int32_t payload;
};

template <int32_t Capacity, SlotChoice Choice, HandleKind Kind = HandleKind::Graph>
using TestTable = HandleTable<TestRecord, Capacity, Kind, Choice, &TestRecord::checkId,
                              &TestRecord::self>;

template <typename Table>
void ReleaseAll(Table& table) {
  table.ForEachLive([&](EngineHandle handle) { table.Release(handle); });
}

TEST(EngineHandleLayout, PacksSlotCheckIdAndKind) {
  EXPECT_EQ(MakeEngineHandle(5, 3, HandleKind::Graph), 0x08030005);
  const EngineHandle handle = MakeEngineHandle(0xFFFF, 0x7FF, HandleKind::ScratchImage);
  EXPECT_GE(handle, 0);
  EXPECT_EQ(HandleSlot(handle), 0xFFFF);
  EXPECT_EQ(HandleCheckId(handle), 0x7FF);
  EXPECT_TRUE(HandleHasKind(handle, HandleKind::ScratchImage));
  EXPECT_FALSE(HandleHasKind(handle, HandleKind::Graph));
  EXPECT_FALSE(HandleHasKind(-1, HandleKind::Graph));
  EXPECT_FALSE(HandleHasKind(-2, HandleKind::Graph));
}

TEST(HandleTable, NewRecordIsZeroedAndKnowsItsHandle) {
  TestTable<8, SlotChoice::HighWater> table;
  const auto first = table.Allocate(__FILE__, __LINE__);
  ASSERT_EQ(first.failure, HandleAllocFailure::None);
  EXPECT_EQ(first.handle, MakeEngineHandle(0, 0, HandleKind::Graph));
  EXPECT_EQ(first.record->self, first.handle);
  EXPECT_EQ(first.record->payload, 0);
  EXPECT_EQ(table.Find(first.handle), first.record);
  EXPECT_EQ(table.count, 1);
  ReleaseAll(table);
}

TEST(HandleTable, ReusedSlotRejectsTheOldHandle) {
  TestTable<4, SlotChoice::FirstEmpty> table;
  const EngineHandle old_handle = table.Allocate(__FILE__, __LINE__).handle;
  ASSERT_EQ(table.Release(old_handle), 0);
  EXPECT_EQ(table.Find(old_handle), nullptr);
  EXPECT_EQ(table.Release(old_handle), -1);
  const EngineHandle new_handle = table.Allocate(__FILE__, __LINE__).handle;
  EXPECT_EQ(HandleSlot(new_handle), HandleSlot(old_handle));
  EXPECT_NE(new_handle, old_handle);
  EXPECT_EQ(table.Find(old_handle), nullptr);
  EXPECT_NE(table.Find(new_handle), nullptr);
  ReleaseAll(table);
}

TEST(HandleTable, RejectsOtherKindsNegativeAndOutOfRangeHandles) {
  TestTable<4, SlotChoice::FirstEmpty, HandleKind::Font> fonts;
  const EngineHandle font = fonts.Allocate(__FILE__, __LINE__).handle;
  const EngineHandle same_bits_as_graph = MakeEngineHandle(HandleSlot(font), HandleCheckId(font),
                                                           HandleKind::Graph);
  EXPECT_EQ(fonts.Find(same_bits_as_graph), nullptr);
  EXPECT_EQ(fonts.Find(-1), nullptr);
  EXPECT_EQ(fonts.Find(font | static_cast<int32_t>(0x80000000)), nullptr);
  EXPECT_EQ(fonts.Find(MakeEngineHandle(4, 0, HandleKind::Font)), nullptr);  // slot == capacity
  EXPECT_EQ(fonts.Find(MakeEngineHandle(1, 0, HandleKind::Font)), nullptr);  // empty slot
  EXPECT_EQ(fonts.Release(same_bits_as_graph), -1);
  EXPECT_EQ(fonts.count, 1);
  ReleaseAll(fonts);
}

TEST(HandleTable, CheckIdsWrapAfter2047) {
  TestTable<2, SlotChoice::FirstEmpty> table;
  EngineHandle first = NoHandle;
  for (int i = 0; i < 2048; ++i) {
    const EngineHandle handle = table.Allocate(__FILE__, __LINE__).handle;
    ASSERT_EQ(HandleCheckId(handle), i);
    if (i == 0) first = handle;
    table.Release(handle);
  }
  EXPECT_EQ(table.nextCheckId, 0);
  // 2048 records later the same slot and check id come round again: the old handle is
  // indistinguishable from the new one, as the layout allows.
  const EngineHandle again = table.Allocate(__FILE__, __LINE__).handle;
  EXPECT_EQ(again, first);
  ReleaseAll(table);
}

// Slots 0..9 in use, slot 3 freed.
template <typename Table>
void FillTenAndFreeThree(Table& table) {
  std::vector<EngineHandle> handles;
  for (int i = 0; i < 10; ++i) handles.push_back(table.Allocate(__FILE__, __LINE__).handle);
  table.Release(handles[3]);
}

TEST(HandleTable, HighWaterKindsTakeTheNextUnusedSlot) {
  TestTable<16, SlotChoice::HighWater> table;
  FillTenAndFreeThree(table);
  EXPECT_EQ(HandleSlot(table.Allocate(__FILE__, __LINE__).handle), 10);
  EXPECT_EQ(table.highWater, 11);
  ReleaseAll(table);
}

TEST(HandleTable, FirstEmptyKindsRefillTheLowestFreeSlot) {
  TestTable<16, SlotChoice::FirstEmpty> table;
  FillTenAndFreeThree(table);
  EXPECT_EQ(HandleSlot(table.Allocate(__FILE__, __LINE__).handle), 3);
  ReleaseAll(table);
}

TEST(HandleTable, HighWaterFallsBackToFirstEmptyAtCapacityAndPullsBack) {
  TestTable<4, SlotChoice::HighWater> table;
  std::vector<EngineHandle> handles;
  for (int i = 0; i < 4; ++i) handles.push_back(table.Allocate(__FILE__, __LINE__).handle);
  const auto full = table.Allocate(__FILE__, __LINE__);
  EXPECT_EQ(full.failure, HandleAllocFailure::TableFull);
  EXPECT_EQ(full.handle, NoHandle);

  table.Release(handles[1]);
  EXPECT_EQ(table.highWater, 4);
  EXPECT_EQ(HandleSlot(table.Allocate(__FILE__, __LINE__).handle), 1);

  // Freeing the top slots pulls the high-water index back past every trailing empty slot.
  table.Release(handles[2]);
  table.Release(handles[3]);
  EXPECT_EQ(table.highWater, 2);
  EXPECT_EQ(HandleSlot(table.Allocate(__FILE__, __LINE__).handle), 2);
  ReleaseAll(table);
  EXPECT_EQ(table.highWater, 0);
  EXPECT_EQ(table.count, 0);
}

TEST(HandleTable, RecreationUnderAKnownHandleKeepsItValid) {
  TestTable<4, SlotChoice::FirstEmpty, HandleKind::Font> table;
  const EngineHandle handle = table.Allocate(__FILE__, __LINE__).handle;
  const int32_t counter = table.nextCheckId;
  EXPECT_EQ(table.AllocateAt(handle, __FILE__, __LINE__).failure, HandleAllocFailure::SlotTaken);
  table.Release(handle);
  const auto rebuilt = table.AllocateAt(handle, __FILE__, __LINE__);
  ASSERT_EQ(rebuilt.failure, HandleAllocFailure::None);
  EXPECT_EQ(rebuilt.handle, handle);
  EXPECT_EQ(table.Find(handle), rebuilt.record);
  EXPECT_EQ(table.nextCheckId, counter);
  EXPECT_EQ(table.AllocateAt(MakeEngineHandle(1, 0, HandleKind::Sound), __FILE__, __LINE__).failure,
            HandleAllocFailure::SlotTaken);
  ReleaseAll(table);
}

struct InlineRecord {
  int32_t inUse;
  int32_t checkId;
  int32_t value;
};

TEST(InlineHandleTable, SharesTheValidityRule) {
  InlineHandleTable<InlineRecord, 3, HandleKind::Mask, &InlineRecord::inUse,
                    &InlineRecord::checkId>
      table;
  const EngineHandle a = table.Allocate();
  const EngineHandle b = table.Allocate();
  EXPECT_EQ(HandleSlot(b), 1);
  ASSERT_NE(table.Find(a), nullptr);
  table.Find(a)->value = 7;
  EXPECT_EQ(table.Release(a), 0);
  EXPECT_EQ(table.Find(a), nullptr);
  const EngineHandle c = table.Allocate();
  EXPECT_EQ(HandleSlot(c), 0);
  EXPECT_EQ(table.Find(c)->value, 0);
  EXPECT_EQ(table.Find(a), nullptr);
  EXPECT_EQ(table.Find(MakeEngineHandle(1, HandleCheckId(b), HandleKind::TextInput)), nullptr);
  table.Allocate();
  EXPECT_EQ(table.Allocate(), NoHandle);
}

}  // namespace
}  // namespace quelt
