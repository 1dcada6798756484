// The engine test program under Wine: the log of a start and a stop, the main window's
// size, place, caption, class and icon, the double-start refusal, closing by WM_CLOSE
// and by Alt+F4, and start-up refusals that must leave the engine clean.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/entry/api_entry.h"
#include "graphics/screen_mode.h"

namespace {

constexpr DWORD Deadline = 20000;

std::string WindowsPath(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path[0] == '\\' ? "Z:" + path : path;
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof buffer, buffer);
  return buffer;
}

std::string ReadWhole(const std::string& path) {
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    std::fclose(file);
  }
  return bytes;
}

// One run of the probe in a folder of its own (its log and report land there).
class Probe {
 public:
  Probe(const std::string& folder, const std::string& arguments) {
    directory_ = CurrentDirectory() + "\\" + folder;
    CreateDirectoryA(directory_.c_str(), nullptr);
    DeleteFileA((directory_ + "\\Log.txt").c_str());
    DeleteFileA((directory_ + "\\probe_report.txt").c_str());
    std::string command = "\"" + WindowsPath(QUELT_ENGINE_PROBE) + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              directory_.c_str(), &startup, &process_) != 0;
  }
  ~Probe() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(process_.hProcess, 99);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
  bool started() const { return started_; }

  // The exit code, or 0x7FFFFFFF when the program did not end in time.
  DWORD WaitExit() {
    if (WaitForSingleObject(process_.hProcess, Deadline) != WAIT_OBJECT_0) return 0x7FFFFFFF;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  // The report the probe writes once the engine has started.
  std::map<std::string, std::string> WaitReport() {
    const std::string path = directory_ + "\\probe_report.txt";
    for (DWORD waited = 0; waited < Deadline; waited += 20) {
      const std::string text = ReadWhole(path);
      if (!text.empty()) {
        std::map<std::string, std::string> values;
        size_t start = 0;
        while (start < text.size()) {
          size_t end = text.find('\n', start);
          if (end == std::string::npos) end = text.size();
          const std::string line = text.substr(start, end - start);
          const size_t equals = line.find('=');
          if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
          start = end + 1;
        }
        return values;
      }
      if (WaitForSingleObject(process_.hProcess, 20) == WAIT_OBJECT_0) break;
    }
    return {};
  }

  // The log's lines without the time stamp; tabs of the indent kept.
  std::vector<std::string> LogLines() const {
    const std::string text = ReadWhole(directory_ + "\\Log.txt");
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      size_t digits = 0;
      while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
      if (digits > 0 && digits < line.size() && line[digits] == ':') line.erase(0, digits + 1);
      lines.push_back(line);
      start = end + 2;
    }
    return lines;
  }

 private:
  std::string directory_;
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

HWND WaitForWindow(const char* class_name) {
  for (DWORD waited = 0; waited < Deadline; waited += 20) {
    if (HWND window = FindWindowA(class_name, nullptr)) return window;
    Sleep(20);
  }
  return nullptr;
}

// A log line as expected: the exact text, or a fixed start followed by a tail of a given
// shape (machine-dependent figures). Japanese text is compared as bytes, never as a
// pattern: Shift-JIS trail bytes include regex metacharacters.
struct LogLine {
  std::string start;
  const char* tailPattern = nullptr;  // null: the line is exactly `start`
  bool optional = false;
  // Lines of other subsystems (graphics, fonts and sound, at start and end) may come
  // first; they are checked by their own tests.
  bool afterOthers = false;
};

::testing::AssertionResult LogMatches(const std::vector<std::string>& lines,
                                      const std::vector<LogLine>& expected) {
  size_t at = 0;
  for (const LogLine& want : expected) {
    if (want.afterOthers) {
      size_t found = at;
      while (found < lines.size() && lines[found].compare(0, want.start.size(), want.start) != 0) ++found;
      if (found < lines.size()) at = found;
    }
    const std::string got = at < lines.size() ? lines[at] : std::string("<end of log>");
    bool ok = got.compare(0, want.start.size(), want.start) == 0;
    if (ok) {
      const std::string tail = got.substr(want.start.size());
      ok = want.tailPattern == nullptr ? tail.empty()
                                       : std::regex_match(tail, std::regex(want.tailPattern));
    }
    if (ok) {
      ++at;
    } else if (!want.optional) {
      return ::testing::AssertionFailure() << "log line " << at << " is \"" << got
                                           << "\", expected it to start \"" << want.start << "\"";
    }
  }
  if (at != lines.size())
    return ::testing::AssertionFailure() << "unexpected log line " << at << ": \"" << lines[at] << "\"";
  return ::testing::AssertionSuccess();
}

const std::vector<LogLine>& StartLines() {
  static const std::vector<LogLine> lines = {
      {"システムの情報を出力します"},
      {"\tＱｕｅｌｔライブラリ Ver3.00c"},
      {"\tＯＳ  Windows", R"([A-Za-z0-9. ]* \( Build [0-9]+ .*\))"},
      {"\tＣＰＵ動作速度：大体", R"([0-9]+\.[0-9]{2}GHz)", true},
      {"\tＭＭＸ命令を使用します"},
      {"\tＳＳＥ命令が使用可能です"},
      {"\tＳＳＥ２命令が使用可能です"},
      {"\tＣＰＵベンダ：", R"([ -~]{12})"},
      {"\tＣＰＵ名：", R"(.*)", true},
      {"ＣＯＭの初期化... 成功しました"},
      {"メモリ総量:", R"([0-9]+\.[0-9]{2}MB  .*:[0-9]+\.[0-9]{2}MB )"},
      {"タイマーの精度を検査します"},
      {"精度結果 更新回数 マルチメディアタイマー：", R"([0-9]+  .*：[0-9]+)"},
      {"パフォーマンスカウンターを使用します タイマー分解能 : ", R"([0-9]+\.[0-9]{6} KHz )", true},
      {"マルチメディアタイマーを使用します タイマー分解能 : ", R"([0-9]+\.00 ms )", true},
      {"ソフトの二重起動検査... 二重起動はされていませんでした"},
      {"ウインドウクラスを登録します... 登録に成功しました"},
      {"ウインドウモード起動用のウインドウを作成します"},
      {"ウインドウの作成に成功しました"},
      {"ＩＭＥを無効にしました"},
      {"ウインドウスタイルをウインドウモード用に変更します... 完了"},
  };
  return lines;
}

// Input starts right after the window: DirectInput 7 with its mouse and keyboard, no pads;
// text input later.
const std::vector<LogLine>& InputStartLines() {
  static const std::vector<LogLine> lines = {
      {"DirectInput関係初期化処理"},
      {"\tDirectInput7 の取得中... 成功"},
      {"\t\t引き続き初期化処理... 初期化成功"},
      {"\tジョイパッドの初期化... "},
      {"\tジョイパッドの初期化は正常に終了しました"},
      {"\tマウスデバイスの初期化... 初期化成功"},
      {"\tキーボードデバイスの初期化... 初期化成功"},
      {"DirectInput 関連の初期化は正常に終了しました"},
      // Text input starts after sound and graphics.
      {"文字コードバッファの初期化を行います... 完了しました", nullptr, false, true},
  };
  return lines;
}

// The window closed by a message before the engine's stop.
const std::vector<LogLine>& StopLines() {
  static const std::vector<LogLine> lines = {
      {"ウインドウを閉じようとしています", nullptr, false, true},
      {"ウインドウが破棄されようとしています"},
      {"ソフトを終了する準備が整いました", nullptr, false, true},
      {"DirectInput 関連の終了処理... 完了", nullptr, false, true},
      {"ＣＯＭを終了... 完了", nullptr, false, true},
      {""},
      {"Alloc memory dump"},
      {"\tTotal size:", R"([0-9]+\([0-9]+\.[0-9]{3}kb\)  Alloc num:[0-9]+)"},
      {""},
  };
  return lines;
}

std::vector<LogLine> Concat(const std::vector<LogLine>& a, const std::vector<LogLine>& b) {
  std::vector<LogLine> all = a;
  all.insert(all.end(), b.begin(), b.end());
  return all;
}

// A start that got as far as the engine's main loop, then a stop after the window closed.
std::vector<LogLine> RunLines() { return Concat(Concat(StartLines(), InputStartLines()), StopLines()); }

// A start, then the fatal exit's message and its shutdown, which ends input before it
// closes the window.
std::vector<LogLine> FatalExitLines() {
  std::vector<LogLine> expected = Concat(StartLines(), InputStartLines());
  expected.push_back({"probe fatal exit", nullptr, false, true});
  expected.push_back({"DirectInput 関連の終了処理... 完了", nullptr, false, true});
  for (const LogLine& line : StopLines())
    if (line.start.rfind("DirectInput", 0) != 0) expected.push_back(line);
  return expected;
}

TEST(EngineWindow, StartAndStopLogTheirStepsInOrder) {
  Probe probe("log", "--caption QueltProbeLog --close-self");
  ASSERT_TRUE(probe.started());
  EXPECT_EQ(probe.WaitExit(), 0u);
  EXPECT_TRUE(LogMatches(probe.LogLines(), RunLines()));
}

TEST(EngineWindow, ClientAreaIsTheRequestedSizeCentredOnTheDesktop) {
  Probe probe("geometry", "--caption QueltProbeGeometry --size 400 300 --icon 100");
  ASSERT_TRUE(probe.started());
  auto report = probe.WaitReport();
  const HWND window = WaitForWindow("QueltProbeGeometry");
  ASSERT_NE(window, nullptr);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right - client.left, 400);
  EXPECT_EQ(client.bottom - client.top, 300);
  // The window's rectangle around a client at (0, 0) is moved by half the free desktop
  // space: the client's corner lands where a centred window's corner would be.
  RECT outer{};
  GetWindowRect(window, &outer);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  const int desktop_width = GetSystemMetrics(SM_CXSCREEN);
  const int desktop_height = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(origin.x, (desktop_width - (outer.right - outer.left)) / 2);
  EXPECT_EQ(origin.y, (desktop_height - (outer.bottom - outer.top)) / 2);
  char caption[256] = {};
  GetWindowTextA(window, caption, sizeof caption);
  EXPECT_STREQ(caption, "QueltProbeGeometry");
  EXPECT_EQ(report["class"], "QueltProbeGeometry");
  EXPECT_EQ(report["icon"], "resource");
  EXPECT_EQ(report["client"], "400x300");
  EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & 0x80CA0000, 0x80CA0000);

  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(probe.WaitExit(), 0u);
}

TEST(EngineWindow, WithoutACaptionTheClassIsTheDefaultAndTheIconStandard) {
  // The default class name is shared by every caption-less engine program: this test
  // is the only one that starts such a program.
  Probe probe("nocaption", "--no-caption");
  ASSERT_TRUE(probe.started());
  auto report = probe.WaitReport();
  EXPECT_EQ(report["class"], "Q123987L");
  EXPECT_EQ(report["caption"], "Quelt");
  EXPECT_EQ(report["icon"], "standard");
  EXPECT_EQ(report["client"], "640x480");
  const HWND window = WaitForWindow("Q123987L");
  ASSERT_NE(window, nullptr);
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(probe.WaitExit(), 0u);
}

TEST(EngineWindow, SecondCopyWithTheSameClassRefusesToStart) {
  Probe first("double_first", "--caption QueltProbeTwin");
  ASSERT_TRUE(first.started());
  ASSERT_FALSE(first.WaitReport().empty());

  Probe second("double_second", "--caption QueltProbeTwin");
  ASSERT_TRUE(second.started());
  EXPECT_EQ(second.WaitExit(), 0xFFFFFFFFu);
  const std::vector<std::string> lines = second.LogLines();
  std::vector<LogLine> expected(StartLines().begin(), StartLines().end() - 6);
  expected.push_back({"ソフトの二重起動検査... 二重起動されています、ソフトを終了します"});
  expected.push_back({"ＣＯＭを終了... 完了", nullptr, false, true});
  expected.push_back({""});
  expected.push_back({"Alloc memory dump"});
  expected.push_back({"\tTotal size:", R"([0-9]+\([0-9]+\.[0-9]{3}kb\)  Alloc num:[0-9]+)"});
  expected.push_back({""});
  EXPECT_TRUE(LogMatches(lines, expected));

  Probe other("double_other", "--caption QueltProbeCousin --close-self");
  ASSERT_TRUE(other.started());
  EXPECT_EQ(other.WaitExit(), 0u);

  const HWND window = WaitForWindow("QueltProbeTwin");
  ASSERT_NE(window, nullptr);
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(first.WaitExit(), 0u);
}

TEST(EngineWindow, AltF4ClosesTheProgram) {
  Probe probe("altf4", "--caption QueltProbeAltF4");
  ASSERT_TRUE(probe.started());
  ASSERT_FALSE(probe.WaitReport().empty());
  const HWND window = WaitForWindow("QueltProbeAltF4");
  ASSERT_NE(window, nullptr);
  // The keystroke as the window receives it: F4 with Alt held (context bit 29).
  const LPARAM key_down = 1 | (MapVirtualKeyA(VK_F4, MAPVK_VK_TO_VSC) << 16) | (1 << 29);
  PostMessageA(window, WM_SYSKEYDOWN, VK_F4, key_down);
  PostMessageA(window, WM_SYSKEYUP, VK_F4, key_down | (1u << 30) | (1u << 31));
  EXPECT_EQ(probe.WaitExit(), 0u);
  const std::vector<std::string> lines = probe.LogLines();
  EXPECT_TRUE(LogMatches(lines, RunLines()));
}

TEST(EngineWindow, FullScreenSizeNoDisplayModeOffersStartsInAWindow) {
  Probe probe("fullscreen", "--caption QueltProbeFull --fullscreen --size 333 222 --close-self");
  ASSERT_TRUE(probe.started());
  auto report = probe.WaitReport();
  EXPECT_EQ(report["window_mode"], "1");
  EXPECT_EQ(report["client"], "333x222");
  EXPECT_EQ(probe.WaitExit(), 0u);
  // The switch happens before the log starts: the log is that of a window-mode start.
  EXPECT_TRUE(LogMatches(probe.LogLines(), RunLines()));
}

TEST(EngineWindow, FatalExitShutsTheEngineDownAndEndsWithMinusOne) {
  Probe probe("fatal", "--caption QueltProbeFatal --fatal");
  ASSERT_TRUE(probe.started());
  EXPECT_EQ(probe.WaitExit(), 0xFFFFFFFFu);
  EXPECT_TRUE(LogMatches(probe.LogLines(), FatalExitLines()));
  EXPECT_EQ(FindWindowA("QueltProbeFatal", nullptr), nullptr);
}

TEST(EngineWindow, FatalExitOnASecondThreadWhileTheWindowThreadPumpsEndsTheProcess) {
  Probe probe("fatal_thread", "--caption QueltProbeFatalThread --fatal-thread");
  ASSERT_TRUE(probe.started());
  EXPECT_EQ(probe.WaitExit(), 0xFFFFFFFFu);
  // The shutdown runs, on the window's thread, after the message.
  EXPECT_TRUE(LogMatches(probe.LogLines(), FatalExitLines()));
  EXPECT_EQ(FindWindowA("QueltProbeFatalThread", nullptr), nullptr);
}

// In this process: a 24-bit screen depth refuses the start and leaves nothing behind.
TEST(EngineStart, TwentyFourBitScreenRefusesAndClearsTheStartingFlag) {
  quelt::ScreenState.colourDepth = 24;
  quelt::ApiEnableLogFile(1);
  EXPECT_EQ(quelt::ApiStartEngine(), -1);
  EXPECT_EQ(quelt::EngineStartingUp, 0);
  EXPECT_EQ(quelt::EngineInitialised, 0);
  EXPECT_EQ(quelt::MainWindowHandle, nullptr);
  const std::string log = ReadWhole("Log.txt");
  EXPECT_NE(log.find("Ｑｕｅｌｔライブラリは２４ビットカラーモードに対応していません"), std::string::npos);
  quelt::ScreenState.colourDepth = 0;
}

}  // namespace
