// Keys injected into the engine's focused window, read back on both roads: DirectInput
// (taken on systems before Vista, so the test lowers the version the engine read) and
// GetKeyboardState with the fixed table (what Wine's Windows version selects).
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdint>
#include <string>

#include "core/core_state.h"
#include "core/entry/api_entry.h"
#include "graphics/screen_mode.h"
#include "input/input_device_set_win32.h"
#include "input/input_devices.h"

namespace quelt {
namespace {

constexpr const char* Caption = "QueltInputKeysTest";
constexpr int32_t DikReturn = 0x1C;
constexpr int32_t DikNumpadEnter = 0x9C;
constexpr int32_t DikRight = 0xCD;

HWND Window() { return static_cast<HWND>(MainWindowHandle); }

// Keys go in through the X server (xdotool, run as a Unix program from Wine) after the
// window has the X focus: keys injected only inside Wine are undone when Wine brings its
// key state in line with the X server's.
void RunXdotool(const std::string& arguments) {
  std::string command = "start.exe /wait /unix /usr/bin/xdotool " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                             nullptr, &startup, &process));
  // No message is taken meanwhile: a key must wait in the queue for the engine's read.
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
}

void FocusWindow() {
  RunXdotool(std::string("search --sync --limit 1 --name ") + Caption + " windowfocus --sync");
}

// A round trip after the key: once the server has answered, the key's event is on its
// way to Wine.
void SendKey(const char* key_name, bool down) {
  RunXdotool(std::string(down ? "keydown " : "keyup ") + key_name + " getwindowfocus");
}

// Frames of a game's loop (the pump, the key read, the frame's drawing) until the key reads
// as wanted; true when that happened within a second. How soon depends on the X server and
// Wine's DirectInput thread, not on the engine; the next-read rule is tested on its own.
bool SeenWithinFrames(int32_t code, int want) {
  std::array<uint8_t, 256> keys{};
  for (int frame = 1; frame <= 60; ++frame) {
    if (ApiPumpMessages() != 0) return false;
    if (ApiReadAllKeys(keys.data()) != 0) return false;
    if (keys[static_cast<size_t>(code)] == want) return true;
    Sleep(16);
  }
  return false;
}

// Waits, without taking any message, until a key message has reached the window's queue:
// the key then arrived between two frames.
bool WaitForKeyMessage() {
  return MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_KEY) == WAIT_OBJECT_0;
}

class KeyInputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ApiEnableLogFile(1);
    ApiChangeWindowMode(1);
    ApiRequestScreenMode(320, 240, 32, 60);
    ApiSetWindowCaption(Caption);
    ASSERT_EQ(ApiStartEngine(), 0);
    windowsOsVersion = OsVersionCode;
  }
  static void TearDownTestSuite() {
    OsVersionCode = windowsOsVersion;
    ApiStopEngine();
  }
  void SetUp() override {
    FocusWindow();
    for (int i = 0; i < 50 && GetForegroundWindow() != Window(); ++i) {
      ApiPumpMessages();
      Sleep(10);
    }
    ASSERT_EQ(GetForegroundWindow(), Window());
  }
  void TearDown() override { OsVersionCode = windowsOsVersion; }

  static void UseDirectInputRoad() { OsVersionCode = 0x107; }
  static void UseWindowsRoad() { OsVersionCode = 0x108; }

  static int32_t windowsOsVersion;
};
int32_t KeyInputTest::windowsOsVersion = 0;

TEST_F(KeyInputTest, StartedWithDirectInput7AndItsDevices) {
  EXPECT_TRUE(HasDirectInput());
  EXPECT_EQ(InputDevices.directInput8, 0);
  EXPECT_NE(InputDevices.keyboard, nullptr);
  EXPECT_NE(InputDevices.mouse, nullptr);
  EXPECT_NE(InputDevices.keyboardEvent, nullptr);
  EXPECT_EQ(InputDevices.padCount, 0);  // no pads under Xvfb
  EXPECT_EQ(InputDevices.padKeyMap[0][0][0], 0x50);
  EXPECT_EQ(ApiReadAllKeys(nullptr), -1);
}

TEST_F(KeyInputTest, RightArrowDownAndUpOnTheWindowsRoad) {
  UseWindowsRoad();
  SendKey("Right", true);
  EXPECT_TRUE(SeenWithinFrames(DikRight, 1));
  EXPECT_EQ(QueryKeyDown(DikRight), 1);
  SendKey("Right", false);
  EXPECT_TRUE(SeenWithinFrames(DikRight, 0));
  EXPECT_EQ(QueryKeyDown(DikRight), 0);
}

TEST_F(KeyInputTest, RightArrowDownAndUpOnTheDirectInputRoad) {
  UseDirectInputRoad();
  SendKey("Right", true);
  EXPECT_TRUE(SeenWithinFrames(DikRight, 1));
  EXPECT_EQ(QueryKeyDown(DikRight), 1);
  SendKey("Right", false);
  EXPECT_TRUE(SeenWithinFrames(DikRight, 0));
  EXPECT_EQ(QueryKeyDown(DikRight), 0);
}

TEST_F(KeyInputTest, EnterSetsBothEnterCodesOnTheWindowsRoadOnlyTheMainOneOnDirectInput) {
  UseWindowsRoad();
  SendKey("Return", true);
  ASSERT_TRUE(SeenWithinFrames(DikReturn, 1));
  EXPECT_EQ(QueryKeyDown(DikNumpadEnter), 1);
  // DirectInput tells the keys apart: the same held key is only the main Enter there.
  UseDirectInputRoad();
  EXPECT_TRUE(SeenWithinFrames(DikReturn, 1));
  EXPECT_EQ(QueryKeyDown(DikNumpadEnter), 0);
  SendKey("Return", false);
  EXPECT_TRUE(SeenWithinFrames(DikReturn, 0));
  UseWindowsRoad();
  EXPECT_TRUE(SeenWithinFrames(DikNumpadEnter, 0));
}

TEST_F(KeyInputTest, AKeyThatArrivedBetweenFramesIsSeenByTheNextReadOnBothRoads) {
  for (const bool direct_input : {false, true}) {
    SCOPED_TRACE(direct_input ? "DirectInput" : "Windows");
    if (direct_input)
      UseDirectInputRoad();
    else
      UseWindowsRoad();
    std::array<uint8_t, 256> keys{};
    for (int round = 0; round < 3; ++round) {
      SendKey("a", true);
      ASSERT_TRUE(WaitForKeyMessage());
      Sleep(1);  // the read comes in a later millisecond than the last one
      ASSERT_EQ(ApiReadAllKeys(keys.data()), 0);
      EXPECT_EQ(keys[0x1E], 1);
      SendKey("a", false);
      ASSERT_TRUE(WaitForKeyMessage());
      Sleep(1);
      ASSERT_EQ(ApiReadAllKeys(keys.data()), 0);
      EXPECT_EQ(keys[0x1E], 0);
    }
  }
}

// Tries for up to five seconds: on a busy machine a read (a round trip to Wine's server)
// may seldom leave room for another one inside the same millisecond.
bool StillTrying(DWORD since) { return timeGetTime() - since < 5000; }

// Reads twice within one tick of timeGetTime; the second must not refresh.
void ExpectOneRefreshPerMillisecond() {
  for (const DWORD since = timeGetTime(); StillTrying(since);) {
    const DWORD start = timeGetTime();
    while (timeGetTime() == start) {
    }
    const DWORD tick = timeGetTime();
    const int first = PollKeyboardState();
    const int second = PollKeyboardState();
    if (timeGetTime() != tick) continue;  // the tick ran out between them: try again
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    return;
  }
  GTEST_SKIP() << "no two reads fitted into one millisecond on this machine now";
}

TEST_F(KeyInputTest, AtMostOneRefreshPerMillisecondOnBothRoads) {
  UseWindowsRoad();
  ExpectOneRefreshPerMillisecond();
  UseDirectInputRoad();
  ExpectOneRefreshPerMillisecond();
}

TEST_F(KeyInputTest, ASignalledKeyboardEventRefreshesWithinTheSameMillisecond) {
  UseDirectInputRoad();
  for (const DWORD since = timeGetTime(); StillTrying(since);) {
    const DWORD start = timeGetTime();
    while (timeGetTime() == start) {
    }
    const DWORD tick = timeGetTime();
    const int first = PollKeyboardState();
    SetEvent(InputDevices.keyboardEvent);
    const int second = PollKeyboardState();
    const int third = PollKeyboardState();
    if (timeGetTime() != tick) continue;
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(third, 0);  // the refresh reset the event
    return;
  }
  GTEST_SKIP() << "no three reads fitted into one millisecond on this machine now";
}

TEST_F(KeyInputTest, AnEndedLayerStartsAgainAtTheNextKeyReadAndReadsAtOnce) {
  UseWindowsRoad();
  SendKey("Right", true);
  ASSERT_TRUE(SeenWithinFrames(DikRight, 1));
  ASSERT_EQ(EndInputSystem(), 0);
  EXPECT_EQ(InputDevices.directInput, nullptr);
  Sleep(2);
  // The read after the start is a key state, not the start's own result.
  EXPECT_EQ(QueryKeyDown(DikRight), 1);
  EXPECT_TRUE(HasDirectInput());
  SendKey("Right", false);
  EXPECT_TRUE(SeenWithinFrames(DikRight, 0));
  EXPECT_EQ(ApiStartEngine(), 0);
}

std::string ReadLog() {
  std::string bytes;
  if (FILE* file = std::fopen("Log.txt", "rb")) {
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    std::fclose(file);
  }
  return bytes;
}

HRESULT RefuseVersion7(REFCLSID class_id, REFIID interface_id, void** object) {
  if (class_id == CLSID_DirectInput) return REGDB_E_CLASSNOTREG;
  return CoCreateInstance(class_id, nullptr, CLSCTX_INPROC_SERVER, interface_id, object);
}

HRESULT RefuseBoth(REFCLSID, REFIID, void** object) {
  *object = nullptr;
  return REGDB_E_CLASSNOTREG;
}

// Two joysticks, the second with Z and R axes.
MMRESULT TwoJoysticks(UINT id, JOYCAPSA* caps, UINT size) {
  if (size != sizeof(JOYCAPSA) || id > 1) return JOYERR_PARMS;
  caps->wCaps = id == 1 ? JOYCAPS_HASZ | JOYCAPS_HASR : JOYCAPS_HASZ;
  return JOYERR_NOERROR;
}

TEST_F(KeyInputTest, WithoutVersionSevenDirectInputEightServes) {
  EndInputSystem();
  InputPlatform.createInstance = RefuseVersion7;
  EXPECT_EQ(StartInputSystem(), 0);
  ResetInputPlatform();
  EXPECT_TRUE(HasDirectInput());
  EXPECT_EQ(InputDevices.directInput8, 1);
  EXPECT_NE(InputDevices.keyboard, nullptr);
  const std::string log = ReadLog();
  EXPECT_NE(log.find("DirectInput7 の取得中... 取得に失敗。"), std::string::npos);
  EXPECT_NE(log.find("DirectInput8 の取得を試みます...成功"), std::string::npos);
  UseDirectInputRoad();
  SendKey("Right", true);
  EXPECT_TRUE(SeenWithinFrames(DikRight, 1));
  SendKey("Right", false);
  EXPECT_TRUE(SeenWithinFrames(DikRight, 0));
  EndInputSystem();
  EXPECT_EQ(StartInputSystem(), 0);
  EXPECT_EQ(InputDevices.directInput8, 0);
}

TEST_F(KeyInputTest, WithoutDirectInputJoysticksAreCountedAndKeysComeFromWindows) {
  EndInputSystem();
  InputPlatform.createInstance = RefuseBoth;
  InputPlatform.joyGetDevCaps = TwoJoysticks;
  EXPECT_EQ(StartInputSystem(), 0);
  EXPECT_EQ(InputDevices.directInput, NoDirectInputObject);
  EXPECT_EQ(InputDevices.noDirectInput, 1);
  EXPECT_EQ(InputDevices.padCount, 16);
  EXPECT_EQ(InputDevices.pads[0].hasZAndR, 0);
  EXPECT_EQ(InputDevices.pads[1].hasZAndR, 1);
  EXPECT_EQ(InputDevices.padKeyMap[0][4][0], 0x2C);
  EXPECT_NE(ReadLog().find("\tパッドの数は 2 個です\r\n"), std::string::npos);
  // The version the engine read would pick DirectInput; without it Windows serves.
  UseDirectInputRoad();
  SendKey("Right", true);
  EXPECT_TRUE(SeenWithinFrames(DikRight, 1));
  SendKey("Right", false);
  EXPECT_TRUE(SeenWithinFrames(DikRight, 0));
  // Ended and started again: DirectInput is not tried a second time.
  EXPECT_EQ(EndInputSystem(), 0);
  EXPECT_NE(ReadLog().find("入力関連の終了処理... 完了\r\n"), std::string::npos);
  ResetInputPlatform();
  EXPECT_EQ(StartInputSystem(), 0);
  EXPECT_EQ(InputDevices.directInput, NoDirectInputObject);
  EndInputSystem();
  InputDevices.noDirectInput = 0;
  EXPECT_EQ(StartInputSystem(), 0);
  EXPECT_TRUE(HasDirectInput());
}

}  // namespace
}  // namespace quelt
