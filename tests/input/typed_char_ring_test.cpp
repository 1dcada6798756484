// The typed-character ring, the window messages that fill it and the text-input editor.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/engine_state.h"
#include "core/tracked_alloc.h"
#include "input/text_input.h"
#include "input/typed_char_ring.h"

namespace quelt {
namespace {

class TypedCharRingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearTypedCharRing();
    CharSetMode = 1;
  }
  std::string Drain() {
    std::string bytes;
    char out[2];
    for (int got; (got = PopTypedChar(out, 1)) != 0;) bytes.append(out, static_cast<size_t>(got));
    return bytes;
  }
};

TEST_F(TypedCharRingTest, HoldsTenTwentyFourBytesAndDropsTheRest) {
  for (int round = 0; round < 2; ++round) {  // the second round wraps around the end
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(PushTypedChar(static_cast<uint8_t>('a' + i % 26)), 0) << i;
    EXPECT_TRUE(IsTypedCharRingFull());
    EXPECT_EQ(PushTypedChar('z'), -1);
    const std::string bytes = Drain();
    ASSERT_EQ(bytes.size(), 1024u);
    EXPECT_EQ(bytes[1023], static_cast<char>('a' + 1023 % 26));
    EXPECT_FALSE(IsTypedCharRingFull());
  }
}

TEST_F(TypedCharRingTest, AHalfCharacterWaitsForItsSecondByte) {
  char out[2] = {1, 1};
  PushTypedChar(0x82);  // lead byte of "あ"
  EXPECT_EQ(PopTypedChar(out, 1), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(PopTypedChar(out, 0), 0);  // a peek of half a character leaves it as well
  EXPECT_EQ(PopTypedChar(out, 1), 0);
  PushTypedChar(0xA0);
  EXPECT_EQ(PopTypedChar(out, 1), 2);
  EXPECT_EQ(static_cast<uint8_t>(out[0]), 0x82);
  EXPECT_EQ(static_cast<uint8_t>(out[1]), 0xA0);
  EXPECT_EQ(PopTypedChar(out, 1), 0);
}

TEST_F(TypedCharRingTest, APeekLeavesTheCharacterInPlace) {
  PushTypedChar(0x82);
  PushTypedChar(0xA0);
  PushTypedChar('x');
  char out[2];
  EXPECT_EQ(PopTypedChar(out, 0), 2);
  EXPECT_EQ(PopTypedChar(out, 0), 2);
  EXPECT_EQ(Drain(), "\x82\xA0x");
  PushTypedChar('y');
  EXPECT_EQ(PopTypedChar(out, 0), 1);
  EXPECT_EQ(out[0], 'y');
  EXPECT_EQ(Drain(), "y");
}

TEST_F(TypedCharRingTest, TableControlCodesAreNeverTakenForLeadBytesInModeTwo) {
  // In mode 2 every byte from 0x80 leads; the codes 0x10 and 0x15-0x1F are below that,
  // and the table's codes must stay single even where a mode would take them.
  CharSetMode = 2;
  PushKeyDownMessage(0x27);  // Right -> 0x1C
  PushTypedChar('a');
  char out[2];
  EXPECT_EQ(PopTypedChar(out, 1), 1);
  EXPECT_EQ(out[0], 0x1C);
  EXPECT_EQ(PopTypedChar(out, 1), 1);
  EXPECT_EQ(out[0], 'a');
  for (uint8_t code : {0x10, 0x15, 0x17, 0x19, 0x1A, 0x1C, 0x1D, 0x1E, 0x1F}) EXPECT_EQ(IsMappedControlCode(code), 1);
  EXPECT_EQ(IsMappedControlCode(0x16), 0);
}

TEST_F(TypedCharRingTest, CharMessagesMapLineFeedAndKeepOnlyHandledControlCodes) {
  for (uint32_t code = 0; code < 0x20; ++code) PushCharMessage(code);
  PushCharMessage(' ');
  PushCharMessage(0x1234);  // not a byte
  EXPECT_EQ(Drain(), std::string("\x01\x03\x08\x09\x0D\x0D\x10\x16\x18\x1B ", 11));
}

TEST_F(TypedCharRingTest, KeyDownMessagesPushTheirControlCodesUnlessTheRingIsFull) {
  for (uint32_t key : {0x2Eu, 0x25u, 0x27u, 0x26u, 0x28u, 0x24u, 0x23u, 0x21u, 0x22u, 0x41u, 0x0Du})
    PushKeyDownMessage(key);
  EXPECT_EQ(Drain(), "\x10\x1D\x1C\x1E\x1F\x1A\x19\x17\x15");
  for (int i = 0; i < 1024; ++i) PushTypedChar('a');
  PushKeyDownMessage(0x2E);
  EXPECT_EQ(Drain(), std::string(1024, 'a'));
}

TEST(CountCharsInBytes, CountsCharactersOfTheFirstBytes) {
  CharSetMode = 1;
  EXPECT_EQ(CountCharsInBytes("\x82\xA0", 1), 1);
  EXPECT_EQ(CountCharsInBytes("\x82\xA0" "ab", 3), 2);
  EXPECT_EQ(CountCharsInBytes("\x82\xA0" "ab", 4), 3);
  EXPECT_EQ(CountCharsInBytes("ab", 10), 2);
  EXPECT_EQ(CountCharsInBytes("ab", 0), 0);
  EXPECT_EQ(CountCharsInBytes("ab", -5), 0);
  EXPECT_EQ(CountCharsInBytes("\x82", 5), 1);  // a lead byte before the terminator
}

// --- The editor ----------------------------------------------------------------------------

int ShiftState = 0;
std::string Clipboard;
std::string PasteText;
int ShiftHeld() { return ShiftState; }
void CopyText(const char* text, int32_t length) { Clipboard.assign(text, static_cast<size_t>(length)); }
void Paste() {
  for (char c : PasteText) PushTypedChar(static_cast<uint8_t>(c));
}
constexpr TextEditServices Services = {ShiftHeld, CopyText, Paste};

class TextEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CharSetMode = 1;
    ClearTypedCharRing();
    ShiftState = 0;
    Clipboard.clear();
    input_ = {};
    input_.inUse = 1;
    input_.maxLength = 8;
    input_.selectionStart = -1;
    input_.selectionEnd = -1;
    input_.text = static_cast<char*>(TrackedAlloc(input_.maxLength + 1, __FILE__, __LINE__));
    input_.text[0] = '\0';
  }
  void TearDown() override { TrackedFree(input_.text); }

  void Type(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      const auto byte = static_cast<uint8_t>(bytes[i]);
      const bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
      if (lead && i + 1 < bytes.size()) {
        ApplyTypedCharacter(&input_, bytes.data() + i, 2, Services);
        ++i;
      } else {
        ApplyTypedCharacter(&input_, bytes.data() + i, 1, Services);
      }
    }
  }
  void Key(uint8_t code) { Type(std::string(1, static_cast<char>(code))); }
  std::string Text() const { return std::string(input_.text, static_cast<size_t>(input_.length)); }

  TextInputRecord input_{};
};

// "亜" is 88 9F: its second byte lies in the lead range.
constexpr const char* Ah = "\x88\x9F";

TEST_F(TextEditTest, BackspaceAndLeftStepOverWholeCharactersWhoseSecondByteLooksLikeALead) {
  Type(std::string(Ah) + "a" + Ah);
  ASSERT_EQ(Text(), std::string(Ah) + "a" + Ah);
  Key(29);  // left over the last "亜"
  EXPECT_EQ(input_.cursor, 3);
  Key(29);  // left over "a": one byte, although the byte two before is 9F
  EXPECT_EQ(input_.cursor, 2);
  Key(28);
  Key(8);  // backspace removes "a" alone
  EXPECT_EQ(Text(), std::string(Ah) + Ah);
  EXPECT_EQ(input_.cursor, 2);
  Key(16);  // delete at the cursor: the second "亜"
  EXPECT_EQ(Text(), Ah);
  Key(8);
  EXPECT_EQ(Text(), "");
  Key(8);
  EXPECT_EQ(input_.cursor, 0);
}

TEST_F(TextEditTest, ControlCodesWithoutARuleAreNotText) {
  for (uint8_t code : {1, 2, 9, 21, 23, 30, 31, 0x7F}) Key(code);
  EXPECT_EQ(Text(), "");
  Type("ab");
  EXPECT_EQ(Text(), "ab");
}

TEST_F(TextEditTest, ShiftSelectsAndTheSelectionIsCopiedCutAndReplaced) {
  Type("abcdef");
  Key(26);  // Home
  ShiftState = 1;
  Key(28);
  Key(28);
  ShiftState = 0;
  EXPECT_EQ(input_.selectionStart, 0);
  EXPECT_EQ(input_.selectionEnd, 2);
  Key(3);
  EXPECT_EQ(Clipboard, "ab");
  Type("X");  // typing replaces the selection
  EXPECT_EQ(Text(), "Xcdef");
  ShiftState = 1;
  Key(25);  // Shift+End from the cursor
  ShiftState = 0;
  Key(24);  // cut
  EXPECT_EQ(Clipboard, "cdef");
  EXPECT_EQ(Text(), "X");
  EXPECT_EQ(input_.selectionStart, -1);
}

TEST_F(TextEditTest, InsertingBeyondTheMaximumDropsCharactersFromTheEnd) {
  Type("abcdefgh");
  EXPECT_EQ(input_.length, 8);
  Type("i");  // the cursor stood at the end: "h" goes, the cursor follows
  EXPECT_EQ(Text(), "abcdefgi");
  EXPECT_EQ(input_.cursor, 8);
  Key(26);
  Type(Ah);  // two bytes at the front push out "gi"
  EXPECT_EQ(Text(), std::string(Ah) + "abcdef");
  EXPECT_EQ(input_.cursor, 2);
  EXPECT_EQ(input_.text[input_.length], '\0');
}

TEST_F(TextEditTest, NumbersOnlyAndSingleByteOnly) {
  input_.numbersOnly = 1;
  Type("1-2.3.4x");
  EXPECT_EQ(Text(), "12.34");
  Key(26);
  Type("-");
  EXPECT_EQ(Text(), "-12.34");
  input_.numbersOnly = 0;
  input_.singleByteOnly = 1;
  Key(25);
  Type(Ah);
  EXPECT_EQ(Text(), "-12.34");
}

TEST_F(TextEditTest, EnterEndsEscapeCancelsOnlyWhereAllowedPasteGoesThroughTheRing) {
  Key(27);
  EXPECT_EQ(input_.ended, 0);
  input_.escapeCancels = 1;
  Key(27);
  EXPECT_EQ(input_.ended, 1);
  EXPECT_EQ(input_.cancelled, 1);
  input_.ended = 0;
  input_.cancelled = 0;
  PasteText = "pq";
  Key(22);
  char out[2];
  EXPECT_EQ(PopTypedChar(out, 1), 1);
  EXPECT_EQ(out[0], 'p');
  Key(13);
  EXPECT_EQ(input_.ended, 1);
  EXPECT_EQ(input_.cancelled, 0);
}

TEST(TextInputHandles, OnlyAMatchingRecordOfKindTenIsFound) {
  TextInputs = {};
  TextInputs.inputs.records[5].inUse = 1;
  TextInputs.inputs.records[5].checkId = 7;
  const int32_t handle = MakeTextInputHandle(5, 7);
  EXPECT_EQ(handle, 5 | ((7 | 0x5000) << 16));
  EXPECT_EQ(FindTextInput(handle), &TextInputs.inputs.records[5]);
  EXPECT_EQ(FindTextInput(MakeTextInputHandle(5, 8)), nullptr);
  EXPECT_EQ(FindTextInput(MakeTextInputHandle(6, 0)), nullptr);
  EXPECT_EQ(FindTextInput(MakeTextInputHandle(300, 7)), nullptr);
  EXPECT_EQ(FindTextInput(-1), nullptr);
  EXPECT_EQ(FindTextInput(5 | ((7 | 0x0800) << 16)), nullptr);  // a graph handle
  TextInputs = {};
}

}  // namespace
}  // namespace quelt
