// FatalExit ends the process: each case runs in a child process (a death test natively,
// the test program started again with a flag under Windows) and the parent checks the exit
// code and the log the child left.
#include "core/fatal_exit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/log.h"
#include "tests/core/log_test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr const char* kChildFlag = "--fatal-exit-child=";

void LogShutdown() { quelt::WriteLog("shutdown ran\n"); }

// A shutdown step that fails fatally itself must not start the shutdown again.
void FailingShutdown() {
  quelt::WriteLog("shutdown ran\n");
  quelt::FatalExit("グラフィックハンドルが足りません");
}

[[noreturn]] void RunChild(const std::string& which) {
  quelt_test::StartFreshLog();
  if (which == "plain") {
    quelt::FatalExitShutdownHook = nullptr;
    quelt::FatalExit("メモリの確保に失敗しました");
  }
  if (which == "hook") {
    quelt::FatalExitShutdownHook = LogShutdown;
    quelt::WriteLog("before ");
    quelt::FatalExitFormat("fatal %d in %s", 7, "Test");
  }
  quelt::FatalExitShutdownHook = FailingShutdown;
  quelt::FatalExit(std::string(2000, 'L').c_str());
}

#ifdef _WIN32
// Starts this program again with the child flag; returns its exit code.
DWORD RunChildProcess(const std::string& which) {
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  std::string command = std::string("\"") + exe + "\" " + kChildFlag + which;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    ADD_FAILURE() << "CreateProcessA failed: " << GetLastError();
    return 0;
  }
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}
#define EXPECT_FATAL_EXIT(which) EXPECT_EQ(RunChildProcess(which), 0xFFFFFFFFu)
#else
#define EXPECT_FATAL_EXIT(which) EXPECT_EXIT(RunChild(which), ::testing::ExitedWithCode(255), "")
#endif

TEST(FatalExitTest, LogsTheTextAndEndsWithExitCodeMinusOne) {
  EXPECT_FATAL_EXIT("plain");
  EXPECT_EQ(quelt_test::ReadLog(), "T:メモリの確保に失敗しました\r\n");
}

TEST(FatalExitTest, RunsTheShutdownAfterLoggingAndFormatsItsText) {
  EXPECT_FATAL_EXIT("hook");
  EXPECT_EQ(quelt_test::ReadLog(), "T:before fatal 7 in Test\r\nT:shutdown ran\r\n");
}

TEST(FatalExitTest, AFatalExitDuringTheShutdownDoesNotRunItAgain) {
  EXPECT_FATAL_EXIT("nested");
  EXPECT_EQ(quelt_test::ReadLog(), "T:" + std::string(2000, 'L') +
                                       "\r\nT:shutdown ran\r\nT:グラフィックハンドルが足りません\r\n");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kChildFlag, std::strlen(kChildFlag)) == 0) RunChild(argv[i] + std::strlen(kChildFlag));
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
