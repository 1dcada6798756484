// Typed characters and IME messages through the engine's window into the typed-character
// ring and a text input, processed by the pump.
#include <windows.h>
#include <imm.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/core_state.h"
#include "core/entry/api_entry.h"
#include "core/tracked_alloc.h"
#include "input/text_input.h"
#include "input/typed_char_ring.h"

namespace quelt {
namespace {

constexpr const char* Caption = "QueltTextInputTest";

HWND Window() { return static_cast<HWND>(MainWindowHandle); }

std::string DrainRing() {
  std::string bytes;
  char out[2];
  for (int got; (got = PopTypedChar(out, 1)) != 0;) bytes.append(out, static_cast<size_t>(got));
  return bytes;
}

class TextInputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ApiEnableLogFile(1);
    ApiChangeWindowMode(1);
    ApiRequestScreenMode(320, 240, 32, 60);
    ApiSetWindowCaption(Caption);
    ASSERT_EQ(ApiStartEngine(), 0);
  }
  static void TearDownTestSuite() { ApiStopEngine(); }
  void SetUp() override { ClearTypedCharRing(); }
  void TearDown() override {
    if (TextInputs.activeHandle != -1) ReleaseTextInputHandle(TextInputs.activeHandle);
    ClearTypedCharRing();
  }
  static void Pump() {
    for (int i = 0; i < 3; ++i) ApiPumpMessages();
  }
  // An editor in slot 3, made active, as a program's create call would leave it.
  static TextInputRecord* MakeActiveInput(int32_t max_length) {
    TextInputRecord& input = TextInputs.inputs.records[3];
    input = {};
    input.inUse = 1;
    input.checkId = 9;
    input.maxLength = max_length;
    input.selectionStart = -1;
    input.selectionEnd = -1;
    input.text = static_cast<char*>(TrackedAlloc(max_length + 1, __FILE__, __LINE__));
    input.text[0] = '\0';
    TextInputs.activeHandle = MakeTextInputHandle(3, 9);
    return &input;
  }
};

TEST_F(TextInputTest, PostedCharactersAndKeysLandInTheRingAsTyped) {
  for (WPARAM code : {WPARAM{'a'}, WPARAM{10}, WPARAM{2}, WPARAM{27}, WPARAM{0x7F}})
    PostMessageA(Window(), WM_CHAR, code, 1);
  PostMessageA(Window(), WM_KEYDOWN, VK_LEFT, 1);
  PostMessageA(Window(), WM_KEYDOWN, 'A', 1);  // no code of its own; its WM_CHAR comes last
  PostMessageA(Window(), WM_KEYDOWN, VK_NEXT, 1);
  PostMessageA(Window(), WM_CHAR, 0x82, 1);
  PostMessageA(Window(), WM_CHAR, 0xA0, 1);
  Pump();
  EXPECT_EQ(DrainRing(), "a\r\x1B\x7F\x1D\x15\x82\xA0" "a");
}

TEST_F(TextInputTest, AShiftJisCharacterTypedAsTwoBytesReachesTheInputWhole) {
  TextInputRecord* input = MakeActiveInput(16);
  PostMessageA(Window(), WM_CHAR, 'x', 1);
  PostMessageA(Window(), WM_CHAR, 0x82, 1);
  Pump();
  EXPECT_EQ(std::string(input->text), "x");  // the lead byte waits in the ring
  PostMessageA(Window(), WM_CHAR, 0xA0, 1);
  PostMessageA(Window(), WM_KEYDOWN, VK_LEFT, 1);
  PostMessageA(Window(), WM_CHAR, 'y', 1);
  Pump();
  EXPECT_EQ(std::string(input->text), "x" "y" "\x82\xA0");
  EXPECT_EQ(input->cursor, 2);
  PostMessageA(Window(), WM_CHAR, 13, 1);
  PostMessageA(Window(), WM_CHAR, 'z', 1);
  Pump();
  EXPECT_EQ(input->ended, 1);
  EXPECT_EQ(std::string(input->text), "xy\x82\xA0");
  // An ended input takes nothing more: the rest waits in the ring.
  EXPECT_EQ(DrainRing(), "z");
}

TEST_F(TextInputTest, TheStepReadsShiftWithoutWaitingForAnInactiveWindow) {
  // The pump runs the step with its guard set; a wait for activation there could never
  // end, since the pump it would run refuses to.
  TextInputRecord* input = MakeActiveInput(8);
  PushTypedChar('a');
  const int32_t active = WindowActiveFlag;
  WindowActiveFlag = 0;
  CoreRun.textInputGuard = 1;
  EXPECT_EQ(StepTextInput(), 0);
  CoreRun.textInputGuard = 0;
  WindowActiveFlag = active;
  EXPECT_EQ(std::string(input->text), "a");
}

TEST_F(TextInputTest, ImeMessagesKeepTheCompositionStateInTheEngine) {
  EXPECT_EQ(SendMessageA(Window(), WM_IME_STARTCOMPOSITION, 0, 0), 0);
  EXPECT_EQ(ImeState.composing, 1);
  EXPECT_EQ(ImeState.cursor, 0);
  std::strcpy(ImeState.composition, "abc");
  EXPECT_EQ(SendMessageA(Window(), WM_IME_ENDCOMPOSITION, 0, 0), 0);
  EXPECT_EQ(ImeState.composing, 0);
  EXPECT_EQ(ImeState.composition[0], '\0');
  ImeState.candidateList = TrackedAlloc(64, __FILE__, __LINE__);
  ImeState.candidateListSize = 64;
  EXPECT_EQ(SendMessageA(Window(), WM_IME_NOTIFY, IMN_CLOSECANDIDATE, 0), 0);
  EXPECT_EQ(ImeState.candidateList, nullptr);
  EXPECT_EQ(ImeState.candidateListSize, 0);
  ImeState.blinkStart = 0;
  ImeState.caretShown = 0;
  SendMessageA(Window(), WM_IME_SETCONTEXT, TRUE, ISC_SHOWUIALL);
  EXPECT_EQ(ImeState.caretShown, 1);  // every IME message restarts the caret blink
  EXPECT_NE(ImeState.blinkStart, 0);
}

TEST_F(TextInputTest, AFinishedConversionEntersTheRingByteByByteAndTheCompositionIsFetched) {
  SwitchImeEnabled(1);
  const HIMC context = ImmGetContext(Window());
  ASSERT_NE(context, nullptr);
  ImmSetOpenStatus(context, TRUE);
  const char kana[] = "\x82\xA9\x82\xC8";  // "かな"
  // Set through the wide entry: Wine's narrow one takes the length in characters.
  WCHAR wide_kana[] = {0x304B, 0x306A, 0};
  ASSERT_TRUE(ImmSetCompositionStringW(context, SCS_SETSTR, wide_kana, sizeof wide_kana - sizeof(WCHAR), nullptr, 0));
  Pump();
  EXPECT_STREQ(ImeState.composition, kana);
  EXPECT_EQ(ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_COMPLETE, 0), TRUE);
  Pump();
  EXPECT_EQ(DrainRing(), kana);
  EXPECT_STREQ(ImeState.composition, "");
  ImmReleaseContext(Window(), context);
  SwitchImeEnabled(0);
}

TEST_F(TextInputTest, ActivationWithTheImeOpenRunsTheReopenSequenceWithinOneFrame) {
  ImeState.enabled = 1;
  ImeState.openStatus = 1;
  SendMessageA(Window(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(ImeState.reopenStep, 1);
  ApiPumpMessages();
  EXPECT_EQ(ImeState.reopenStep, 0);
  ImeState.enabled = 0;
  SendMessageA(Window(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(ImeState.reopenStep, 0);
  ImeState.openStatus = 0;
}

TEST_F(TextInputTest, ReleasingTheLastInputSwitchesTheImeOffAndFreesItsText) {
  MakeActiveInput(8);
  SwitchImeEnabled(1);
  EXPECT_EQ(ImeState.enabled, 1);
  const int32_t handle = TextInputs.activeHandle;
  EXPECT_EQ(ReleaseTextInputHandle(handle), 0);
  EXPECT_EQ(TextInputs.activeHandle, -1);
  EXPECT_EQ(ImeState.enabled, 0);
  EXPECT_EQ(TextInputs.inputs.records[3].text, nullptr);
  EXPECT_EQ(ReleaseTextInputHandle(handle), -1);
  EXPECT_EQ(StepTextInput(), 0);
  TextInputs.activeHandle = handle;  // a stale active handle
  EXPECT_EQ(StepTextInput(), -1);
  TextInputs.activeHandle = -1;
}

}  // namespace
}  // namespace quelt
