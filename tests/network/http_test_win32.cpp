// HTTP slots against a small server thread on 127.0.0.1: the request bytes, replies with
// and without a length, to a file and to memory, refusals, over-long lines, a server that
// stalls and one that closes right after the body.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/log_test_support.h"
#include "core/tracked_alloc.h"
#include "network/http_slots.h"
#include "network/peer_support_win32.h"

namespace quelt {
namespace {

using quelt_test::Deadline;
using quelt_test::PatternByte;
using quelt_test::SendAll;

std::string PatternText(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(PatternByte(static_cast<uint32_t>(i)));
  return text;
}

// A time limit that runs only while nothing moves: a loaded machine may take many seconds
// over a big transfer, while a side that has stopped sending stalls it for good.
class IdleLimit {
 public:
  explicit IdleLimit(DWORD ms) : ms_(ms) {}
  bool Open(int64_t progress) {
    if (progress != seen_) {
      seen_ = progress;
      last_ = GetTickCount();
    }
    return GetTickCount() - last_ < ms_;
  }

 private:
  DWORD ms_;
  DWORD last_ = GetTickCount();
  int64_t seen_ = -1;
};

// The request is whole once its blank line and the body its Content-Length names are in.
bool RequestComplete(const std::string& request) {
  size_t end = request.find("\r\n\r\n");
  size_t marker = 4;
  const size_t bare = request.find("\n\n");
  if (bare != std::string::npos && (end == std::string::npos || bare < end)) {
    end = bare;
    marker = 2;
  }
  if (end == std::string::npos) return false;
  size_t body = 0;
  const size_t length = request.find("Content-Length: ");
  if (length != std::string::npos && length < end) body = std::stoul(request.substr(length + 16));
  return request.size() >= end + marker + body;
}

// Serves one connection: reads the request, then writes the reply in pieces with
// short stalls and closes; or, when `stall_ms` is set, holds the connection open that long
// after the request.
class OneShotServer {
 public:
  explicit OneShotServer(std::string reply, DWORD stall_ms = 0, DWORD close_delay_ms = 0,
                         bool at_once = false)
      : reply_(std::move(reply)), stall_ms_(stall_ms), close_delay_ms_(close_delay_ms), at_once_(at_once) {
    listener_ = quelt_test::ListenOnLoopback(1, &port_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~OneShotServer() {
    if (thread_.joinable()) thread_.join();
    closesocket(listener_);
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int port() const { return port_; }
  // The request bytes, once the server thread is done.
  const std::string& Request() {
    if (thread_.joinable()) thread_.join();
    return request_;
  }
  bool peer_closed_early() const { return peer_closed_; }

 private:
  void Serve() {
    const SOCKET s = accept(listener_, nullptr, nullptr);
    if (s == INVALID_SOCKET) return;
    char buffer[65536];
    for (IdleLimit limit(5000); !RequestComplete(request_) && limit.Open(static_cast<int64_t>(request_.size()));) {
      const int n = recv(s, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request_.append(buffer, static_cast<size_t>(n));
      // A slow reader makes big requests go out in parts; a server that answers at once
      // reads at once too.
      if (!at_once_ && request_.size() % 3 == 0) Sleep(2);
    }
    if (stall_ms_ > 0) {
      // Says nothing; a closed client ends the wait early.
      setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&stall_ms_), sizeof stall_ms_);
      const int n = recv(s, buffer, 1, 0);
      peer_closed_ = n == 0 || (n == SOCKET_ERROR && WSAGetLastError() != WSAETIMEDOUT);
    }
    if (at_once_) {
      // As fast as the socket takes it, from a send buffer that holds all of it.
      const int whole = static_cast<int>(reply_.size());
      setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&whole), sizeof whole);
      SendAll(s, reply_.data(), whole);
    }
    for (size_t sent = at_once_ ? reply_.size() : 0; sent < reply_.size();) {
      const size_t piece = std::min<size_t>(reply_.size() - sent, 1 + sent % 9000);
      if (!SendAll(s, reply_.data() + sent, static_cast<int>(piece))) break;
      sent += piece;
      if (sent % 5 == 0) Sleep(2);
    }
    Sleep(close_delay_ms_);
    closesocket(s);
  }

  SOCKET listener_;
  int port_ = 0;
  std::string reply_;
  DWORD stall_ms_;
  DWORD close_delay_ms_;
  bool at_once_;
  std::string request_;
  bool peer_closed_ = false;
  std::thread thread_;
};

class HttpSlots : public ::testing::Test {
 protected:
  void SetUp() override {
    ZeroHttpSlotTable();
    ASSERT_EQ(StartNetWork(), 0);
  }
  void TearDown() override {
    EXPECT_EQ(DeleteAllHttpSlots(), 0);
    EXPECT_EQ(HttpSlotTable.count, 0);
    EXPECT_EQ(TerminateNetWork(), 0);
    std::remove("body.bin");
  }
  // Steps the slots the way the pump does until the slot has ended or `ms` have passed
  // with no byte sent or received and no step taken.
  static HttpSlot* Run(int32_t slot, DWORD ms = 10000) {
    HttpSlot* http = HttpSlotTable.slots[slot];
    const auto progress = [http] {
      return int64_t{http->step} + http->requestSent + http->postBodySent + http->bytesReceived;
    };
    for (IdleLimit limit(ms); http->result == -1 && limit.Open(progress()); Sleep(1)) {
      ProcessNetWorkMessages(1);
      StepAllHttpSlots();
    }
    return http;
  }
  void* slot_block_ = nullptr;
  static std::string FileText(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

std::string GetRequest(const std::string& path, int port) {
  return "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nConnection: close\r\n\r\n";
}

void WriteFileText(const char* path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST_F(HttpSlots, GetWithLengthWritesTheBodyToAFile) {
  const std::string body = PatternText(200000);
  const std::string reply = "HTTP/1.0 200 OK\r\nServer: t\r\ncontent-length: 5\r\nContent-Length: " +
                            std::to_string(body.size()) + "\r\n\r\n" + body;
  OneShotServer server(reply);
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/data/file.bin").c_str(), "body.bin",
                                      nullptr, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = Run(slot);
  EXPECT_EQ(http->result, 0);
  EXPECT_EQ(http->detail, -1);
  EXPECT_EQ(http->contentLength, static_cast<int32_t>(body.size()));  // the lower-case one is ignored
  EXPECT_EQ(http->netWorkHandle, -1);
  EXPECT_EQ(server.Request(), GetRequest("/data/file.bin", server.port()));
  EXPECT_EQ(FileText("body.bin"), body);
}

TEST_F(HttpSlots, GetWithoutLengthReadsTheWholeBodyBeforeTheClose) {
  // The server closes right after the body, or once the client has read it all and waits.
  for (DWORD close_delay : {0u, 150u}) {
    const std::string body = PatternText(150000);
    OneShotServer server("HTTP/1.0 200 OK\r\n\r\n" + body, 0, close_delay);
    const int32_t slot = CreateHttpSlot(HttpGet, server.Url("").c_str(), "body.bin", nullptr, nullptr, 0);
    ASSERT_GE(slot, 0);
    HttpSlot* http = Run(slot);
    EXPECT_EQ(http->result, 0) << close_delay;
    EXPECT_EQ(http->detail, -1) << close_delay;
    EXPECT_EQ(http->bytesReceived, static_cast<int32_t>(body.size()));
    EXPECT_EQ(server.Request(), GetRequest("/", server.port()));
    EXPECT_EQ(FileText("body.bin"), body);
    EXPECT_EQ(DeleteHttpSlot(slot), 0);
  }
}

TEST_F(HttpSlots, GetIntoMemoryTakesABlockOfTheGivenLength) {
  const std::string body = PatternText(3000000);  // the block grows several times
  OneShotServer server("HTTP/1.0 200 OK\nContent-Length: 3000000\n\n" + body);
  void* block = reinterpret_cast<void*>(1);
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/m").c_str(), nullptr, &block, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = Run(slot);
  EXPECT_EQ(http->result, 0);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(TrackedHeaderOf(block)->size, 3000000);
  EXPECT_TRUE(std::string(static_cast<char*>(block), body.size()) == body);
  TrackedFree(block);
}

TEST_F(HttpSlots, MemoryWithoutLengthEndsOnlyThroughTheConnection) {
  OneShotServer server("HTTP/1.0 200 OK\n\nabc");
  void* block = nullptr;
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/m").c_str(), nullptr, &block, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = Run(slot);
  EXPECT_EQ(http->result, 2);
  EXPECT_EQ(http->detail, 3);
  EXPECT_EQ(block, nullptr);
  // The ended slot is done with the caller's variable, whatever it holds by now.
  block = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(DeleteHttpSlot(slot), 0);
  EXPECT_EQ(block, reinterpret_cast<void*>(0x1234));
}

TEST_F(HttpSlots, PostSendsTextAndBodyWholeToASlowServer) {
  const std::string body = PatternText(6000000);  // more than one send can take
  const std::string path = "/" + std::string(254, 'p');  // the longest path a slot holds
  const std::string text_head = "POST " + path + " HTTP/1.0\nHost: 127.0.0.1:";
  const std::string expected_tail = "\nContent-Length: " + std::to_string(body.size()) + "\n\n" + body;
  OneShotServer real("HTTP/1.0 200 OK\n\n");
  const std::string expected = text_head + std::to_string(real.port()) + expected_tail;
  const int32_t slot = CreateHttpSlot(HttpPost, real.Url(path).c_str(), "body.bin", nullptr,
                                      body.data(), static_cast<int32_t>(body.size()));
  ASSERT_GE(slot, 0);
  HttpSlot* http = Run(slot);
  EXPECT_EQ(http->result, 0);
  EXPECT_EQ(http->postBody, nullptr);
  const std::string& request = real.Request();
  EXPECT_EQ(request.size(), expected.size());
  EXPECT_TRUE(request == expected);
}

TEST_F(HttpSlots, HeadSendsItsShortFormAndEndsAtTheLength) {
  const std::string expected = "HEAD /h HTTP/1.0\n\n";
  OneShotServer server("HTTP/1.0 200 OK\nServer: t\nContent-Length: 1234\n\n", 0);
  const int32_t slot = CreateHttpSlot(HttpHead, server.Url("/h").c_str(), "body.bin", nullptr, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = Run(slot);
  EXPECT_EQ(http->result, 0);
  EXPECT_EQ(http->contentLength, 1234);
  EXPECT_EQ(server.Request(), expected);
}

TEST_F(HttpSlots, StatusOtherThan200EndsTheSlot) {
  const struct {
    const char* status;
    int32_t kind;
    int32_t detail;
  } cases[] = {{"HTTP/1.0 404 Not Found\r\n\r\n", HttpGet, 1},
               {"HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n", HttpGet, 0},
               {"HTTP/1.0 302 Found\n\n", HttpPost, 0},
               {"HTTP/1.0 404 Not Found\n\n", HttpHead, 1},
               {"garbage\n\n", HttpGet, 0},
               // Codes that wrap to 200 in 32 bits.
               {"HTTP/1.0 4294967496 OK\r\nContent-Length: 4\r\n\r\n", HttpGet, 0},
               {"HTTP/1.0 -4294967096 OK\nContent-Length: 4\n\n", HttpPost, 0},
               {"HTTP/1.0 4294967496 OK\nContent-Length: 4\n\n", HttpHead, 0}};
  WriteFileText("body.bin", "kept");
  for (const auto& c : cases) {
    OneShotServer server(std::string(c.status) + "body");
    const int32_t slot = CreateHttpSlot(c.kind, server.Url("/s").c_str(), "body.bin", nullptr, "ab", 2);
    ASSERT_GE(slot, 0);
    HttpSlot* http = Run(slot);
    EXPECT_EQ(http->result, 2) << c.status;
    EXPECT_EQ(http->detail, c.detail) << c.status;
    EXPECT_EQ(DeleteHttpSlot(slot), 0);
    EXPECT_EQ(FileText("body.bin"), "kept") << c.status;
  }
}

TEST_F(HttpSlots, AServerThatAnswersBeforeTakingTheWholeRequestIsHeard) {
  // It reads the start of a long POST, refuses it and closes: the sends that are left
  // cannot go, and the refusal ends the slot.
  int port = 0;
  const SOCKET listener = quelt_test::ListenOnLoopback(1, &port);
  std::thread server([listener] {
    const SOCKET s = accept(listener, nullptr, nullptr);
    char start[1000];
    recv(s, start, sizeof start, 0);
    const std::string refusal = "HTTP/1.0 413 Request Entity Too Large\r\n\r\n";
    SendAll(s, refusal.data(), static_cast<int>(refusal.size()));
    Sleep(100);
    closesocket(s);
  });
  const std::string body = PatternText(6000000);
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/p";
  const int32_t slot = CreateHttpSlot(HttpPost, url.c_str(), "body.bin", nullptr, body.data(),
                                      static_cast<int32_t>(body.size()));
  ASSERT_GE(slot, 0);
  HttpSlot* http = Run(slot, 3000);
  server.join();
  closesocket(listener);
  EXPECT_LT(http->postBodySent, http->postBodyLength);
  EXPECT_EQ(http->result, 2);
  EXPECT_EQ(http->detail, 0);
}

TEST_F(HttpSlots, OverLongLinesAreSkippedAndAnOverLongStatusFails) {
  const std::string body = "0123456789";
  const std::string reply = "HTTP/1.0 200 OK\r\nX-Long: " + std::string(700, 'a') +
                            "Content-Length: 3\r\nContent-Length: 10\r\n\r\n" + body;
  OneShotServer server(reply);
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/l").c_str(), "body.bin", nullptr, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = Run(slot);
  EXPECT_EQ(http->result, 0);
  EXPECT_EQ(http->contentLength, 10);  // the header hidden at the long line's end was skipped
  EXPECT_EQ(FileText("body.bin"), body);
  EXPECT_EQ(DeleteHttpSlot(slot), 0);

  OneShotServer long_status("HTTP/1.0 200 " + std::string(400, 'k') + "\r\n\r\n");
  const int32_t second = CreateHttpSlot(HttpGet, long_status.Url("/l").c_str(), "body.bin", nullptr, nullptr, 0);
  ASSERT_GE(second, 0);
  http = Run(second);
  EXPECT_EQ(http->result, 2);
  EXPECT_EQ(http->detail, 0);
}

TEST_F(HttpSlots, HeadersAreHandledOnePerStep) {
  OneShotServer server("HTTP/1.0 200 OK\r\nA: 1\r\nB: 2\r\nContent-Length: 2\r\n\r\nok");
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/o").c_str(), "body.bin", nullptr, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = HttpSlotTable.slots[slot];
  // Steps that end among the headers: a loaded host may let the step that sends the request
  // read the status line and a header too.
  int header_steps = 0;
  for (Deadline limit(5000); http->step == 0 && limit.Open(); Sleep(1)) {
    StepAllHttpSlots();
    header_steps += http->step == 2 ? 1 : 0;
  }
  (void)server.Request();  // the whole reply has been written and the connection closed
  Sleep(100);
  for (Deadline limit(5000); http->result == -1 && limit.Open();) {
    ProcessNetWorkMessages(1);
    StepAllHttpSlots();
    header_steps += http->step == 2 ? 1 : 0;
  }
  EXPECT_EQ(http->result, 0);
  EXPECT_GE(header_steps, 3);  // after A, after B, after Content-Length; the blank line ends them
  EXPECT_EQ(FileText("body.bin"), "ok");
}

TEST_F(HttpSlots, AStalledServerHoldsTheSlotUntilItIsDeleted) {
  OneShotServer server("", 3000);
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/w").c_str(), "body.bin", nullptr, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = Run(slot, 400);
  EXPECT_EQ(http->result, -1);
  EXPECT_EQ(http->step, 1);
  EXPECT_EQ(DeleteHttpSlot(slot), 0);
  (void)server.Request();
  EXPECT_TRUE(server.peer_closed_early());
  EXPECT_EQ(HttpSlotTable.slots[slot], nullptr);
}

TEST_F(HttpSlots, AFailedConnectionCountsAsGone) {
  OneShotServer server("", 2000);
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/f").c_str(), "body.bin", nullptr, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = HttpSlotTable.slots[slot];
  NetWorkRecord* record = NetWorkTable.Find(http->netWorkHandle);
  ASSERT_NE(record, nullptr);
  HandleNetWorkSocketEvent(static_cast<uint32_t>(record->socket), FD_CONNECT | (WSAETIMEDOUT << 16));
  StepHttpSlot(slot);
  EXPECT_EQ(http->result, 2);
  EXPECT_EQ(http->detail, 3);
}

// A port on 127.0.0.1 where nothing listens.
int ClosedPort() {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = quelt_test::LoopbackAddress(0);
  int size = sizeof address;
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  closesocket(s);
  return ntohs(address.sin_port);
}

// Runs the network and the slots until the slot has read `bytes` of its body, or 5 s pass.
void PumpUntilReceived(const HttpSlot* http, int32_t bytes) {
  for (Deadline limit(5000); http->bytesReceived < bytes && limit.Open(); Sleep(1)) {
    ProcessNetWorkMessages(1);
    StepAllHttpSlots();
  }
}

TEST_F(HttpSlots, AResetConnectionCutsABodyWithoutLengthShort) {
  WriteFileText("body.bin", "kept");
  OneShotServer server("HTTP/1.0 200 OK\r\n\r\n" + PatternText(5000), 0, 300);
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/r").c_str(), "body.bin", nullptr, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = HttpSlotTable.slots[slot];
  PumpUntilReceived(http, 5000);
  ASSERT_EQ(http->bytesReceived, 5000);
  // The connection is reset, not closed: what was read may be only the start of the body.
  NetWorkRecord* record = NetWorkTable.Find(http->netWorkHandle);
  ASSERT_NE(record, nullptr);
  HandleNetWorkSocketEvent(static_cast<uint32_t>(record->socket), FD_CLOSE | (WSAECONNRESET << 16));
  (void)server.Request();  // the socket then reads as at its end
  Run(slot, 2000);
  EXPECT_EQ(http->result, 2);
  EXPECT_EQ(http->detail, 3);
  EXPECT_EQ(FileText("body.bin"), "kept");
}

TEST_F(HttpSlots, TheUsersFileIsReplacedOnlyByASuccessfulTransfer) {
  const std::string before = "twenty-one bytes kept";
  WriteFileText("body.bin", before);
  const std::string refused = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/r";
  const int32_t slot = CreateHttpSlot(HttpGet, refused.c_str(), "body.bin", nullptr, nullptr, 0);
  if (slot >= 0) {
    EXPECT_EQ(Run(slot)->result, 2);
  }
  EXPECT_EQ(FileText("body.bin"), before);

  OneShotServer missing("HTTP/1.0 404 Not Found\r\nContent-Length: 3\r\n\r\nno!");
  const int32_t second = CreateHttpSlot(HttpGet, missing.Url("/m").c_str(), "body.bin", nullptr, nullptr, 0);
  ASSERT_GE(second, 0);
  EXPECT_EQ(FileText("body.bin"), before);  // nothing is touched while it runs either
  EXPECT_EQ(Run(second)->result, 2);
  EXPECT_EQ(FileText("body.bin"), before);

  OneShotServer found("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nnew");
  const int32_t third = CreateHttpSlot(HttpGet, found.Url("/f").c_str(), "body.bin", nullptr, nullptr, 0);
  ASSERT_GE(third, 0);
  EXPECT_EQ(Run(third)->result, 0);
  EXPECT_EQ(FileText("body.bin"), "new");
  EXPECT_FALSE(std::ifstream("body.bin.0.part").good());  // the transfer's own file is gone
}

TEST_F(HttpSlots, ABodyThatCannotBeStoredFailsTheTransfer) {
  const std::string before = "kept as it was";
  WriteFileText("body.bin", before);
  const std::string body = PatternText(100000);
  OneShotServer server("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + body);
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/w").c_str(), "body.bin", nullptr, nullptr, 0);
  ASSERT_GE(slot, 0);
  // The transfer's file refuses writes, as a full disk does.
  HttpSlot* http = HttpSlotTable.slots[slot];
  CloseHandle(static_cast<HANDLE>(http->outputFile));
  http->outputFile = CreateFileA(http->partPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(http->outputFile, INVALID_HANDLE_VALUE);
  Run(slot);
  EXPECT_EQ(http->result, 2);
  EXPECT_EQ(http->detail, 2);
  EXPECT_EQ(FileText("body.bin"), before);
  EXPECT_FALSE(std::ifstream(http->partPath).good());
}

TEST_F(HttpSlots, ABodyThatCannotTakeTheFilesPlaceFailsTheTransfer) {
  // The destination is a directory: the received file cannot be moved there.
  ASSERT_TRUE(CreateDirectoryA("body.dir", nullptr));
  OneShotServer server("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nnew");
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/f").c_str(), "body.dir", nullptr, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = Run(slot);
  EXPECT_EQ(http->result, 2);
  EXPECT_EQ(http->detail, 2);
  EXPECT_FALSE(std::ifstream(http->partPath).good());
  EXPECT_TRUE(RemoveDirectoryA("body.dir"));
}

TEST_F(HttpSlots, DeletingATransferIntoMemoryThatRunsTakesItsBlock) {
  const int32_t live = TrackedAllocator.blockCount;
  const int32_t live_bytes = TrackedAllocator.totalBytes;
  // The length the server names is not reserved before its bytes come.
  OneShotServer server("HTTP/1.0 200 OK\r\nContent-Length: 1500000000\r\n\r\n" + PatternText(100000), 0, 1000);
  void* block = nullptr;
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/d").c_str(), nullptr, &block, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = HttpSlotTable.slots[slot];
  PumpUntilReceived(http, 100000);
  ASSERT_EQ(http->bytesReceived, 100000);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(http->result, -1);
  EXPECT_LT(TrackedAllocator.totalBytes - live_bytes, 1 << 20);
  EXPECT_EQ(DeleteHttpSlot(slot), 0);
  EXPECT_EQ(block, nullptr);  // half a body is no body
  EXPECT_EQ(TrackedAllocator.blockCount, live);
}

TEST_F(HttpSlots, AConnectThatCannotCompleteNeitherBlocksNorRunsForever) {
  // A listener that never accepts, its queue filled by peers that wait.
  int port = 0;
  const SOCKET listener = quelt_test::ListenOnLoopback(0, &port);
  std::vector<SOCKET> fillers;
  for (int i = 0; i < 8; ++i) fillers.push_back(quelt_test::StartConnecting(port));
  Sleep(100);
  NetWorkModule.connectTimeLimitMs = 500;
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/q";
  const DWORD start = GetTickCount();
  const int32_t slot = CreateHttpSlot(HttpGet, url.c_str(), nullptr, &slot_block_, nullptr, 0);
  EXPECT_LT(GetTickCount() - start, 3000u);  // a blocking connect waits a minute or more
  ASSERT_GE(slot, 0);
  HttpSlot* http = Run(slot, 10000);
  EXPECT_EQ(http->result, 2);
  EXPECT_EQ(http->detail, 3);
  for (SOCKET s : fillers) closesocket(s);
  closesocket(listener);
}

TEST_F(HttpSlots, AServerClosingInsideALineEndsTheSlot) {
  for (const char* reply : {"HTTP/1.0 20", "HTTP/1.0 200 OK\r\nContent-Le", "HTTP/1.0 200 OK\r\nX: a"}) {
    OneShotServer server(reply);
    const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/c").c_str(), "body.bin", nullptr, nullptr, 0);
    ASSERT_GE(slot, 0);
    HttpSlot* http = Run(slot, 5000);
    EXPECT_EQ(http->result, 2) << reply;
    EXPECT_EQ(http->detail, 3) << reply;
    EXPECT_EQ(DeleteHttpSlot(slot), 0);
  }
}

TEST_F(HttpSlots, AZeroByteInsideALineIsData) {
  const char text[] = "HTTP/1.0 200 OK\r\nX-Odd: a\0b\r\nContent-Length: 2\r\n\r\nok";
  const std::string reply(text, sizeof text - 1);
  OneShotServer server(reply, 0, 300);
  void* block = nullptr;
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/z").c_str(), nullptr, &block, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = Run(slot, 5000);
  EXPECT_EQ(http->result, 0);
  EXPECT_EQ(http->contentLength, 2);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(block), 2), "ok");
  TrackedFree(block);
}

TEST_F(HttpSlots, ContentLengthRulesTheBody) {
  // An empty body is complete at once, long before the server closes.
  for (bool to_file : {true, false}) {
    OneShotServer server("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", 0, 1500);
    void* block = nullptr;
    const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/e").c_str(), to_file ? "body.bin" : nullptr,
                                        to_file ? nullptr : &block, nullptr, 0);
    ASSERT_GE(slot, 0);
    HttpSlot* http = Run(slot, 1000);
    EXPECT_EQ(http->result, 0) << to_file;
    EXPECT_EQ(http->detail, -1) << to_file;
    if (to_file) {
      EXPECT_EQ(FileText("body.bin"), "");
    }
    TrackedFree(block);
    EXPECT_EQ(DeleteHttpSlot(slot), 0);
  }
  // Lengths a slot cannot hold fail the transfer.
  for (const char* length : {"3000000000", "4294967306", "-5", "2147483648"}) {
    for (bool to_file : {true, false}) {
      OneShotServer server(std::string("HTTP/1.0 200 OK\r\nContent-Length: ") + length + "\r\n\r\n0123456789");
      void* block = nullptr;
      const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/h").c_str(), to_file ? "body.bin" : nullptr,
                                          to_file ? nullptr : &block, nullptr, 0);
      ASSERT_GE(slot, 0);
      HttpSlot* http = Run(slot, 5000);
      EXPECT_EQ(http->result, 2) << length;
      EXPECT_EQ(block, nullptr) << length;
      EXPECT_EQ(DeleteHttpSlot(slot), 0);
    }
  }
  // A file takes exactly the length, also when the server sends more; the value may
  // follow the colon without a blank.
  for (const char* header : {"Content-Length: 10", "Content-Length:10", "Content-Length:\t 10 "}) {
    OneShotServer server(std::string("HTTP/1.0 200 OK\r\n") + header + "\r\n\r\n0123456789" +
                         std::string(4096, 'x'));
    const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/x").c_str(), "body.bin", nullptr, nullptr, 0);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(Run(slot)->result, 0) << header;
    EXPECT_EQ(FileText("body.bin"), "0123456789") << header;
    EXPECT_EQ(DeleteHttpSlot(slot), 0);
  }
  OneShotServer memory("HTTP/1.0 200 OK\nContent-Length:5\n\nhello");
  void* block = nullptr;
  const int32_t slot = CreateHttpSlot(HttpGet, memory.Url("/m").c_str(), nullptr, &block, nullptr, 0);
  ASSERT_GE(slot, 0);
  EXPECT_EQ(Run(slot)->result, 0);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(block), 5), "hello");
  TrackedFree(block);
}

TEST_F(HttpSlots, ABodyInATransferCodingIsRefused) {
  WriteFileText("body.bin", "kept");
  for (const char* header : {"Transfer-Encoding: chunked", "transfer-encoding:Chunked", "Transfer-Encoding: gzip"}) {
    for (bool to_file : {true, false}) {
      OneShotServer server(std::string("HTTP/1.0 200 OK\r\n") + header + "\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
      void* block = nullptr;
      const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/c").c_str(), to_file ? "body.bin" : nullptr,
                                          to_file ? nullptr : &block, nullptr, 0);
      ASSERT_GE(slot, 0);
      HttpSlot* http = Run(slot);
      EXPECT_EQ(http->result, 2) << header;
      EXPECT_EQ(http->detail, 0) << header;
      EXPECT_EQ(block, nullptr);
      EXPECT_EQ(FileText("body.bin"), "kept") << header;
      EXPECT_EQ(DeleteHttpSlot(slot), 0);
    }
  }
  OneShotServer plain("HTTP/1.0 200 OK\r\nTransfer-Encoding: Identity \r\n\r\nhello");
  const int32_t slot = CreateHttpSlot(HttpGet, plain.Url("/i").c_str(), "body.bin", nullptr, nullptr, 0);
  ASSERT_GE(slot, 0);
  EXPECT_EQ(Run(slot)->result, 0);
  EXPECT_EQ(FileText("body.bin"), "hello");
}

TEST_F(HttpSlots, ALongBodyMovesABoundedShareEachStep) {
  const std::string body = PatternText(24 * 1024 * 1024);
  OneShotServer server("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body,
                       0, 0, true);
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/big").c_str(), "body.bin", nullptr, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = HttpSlotTable.slots[slot];
  int32_t largest = 0;
  for (Deadline limit(60000); http->result == -1 && limit.Open();) {
    const int32_t before = http->bytesReceived;
    ProcessNetWorkMessages(1);
    StepAllHttpSlots();
    largest = std::max(largest, http->bytesReceived - before);
    if (http->bytesReceived == before) Sleep(1);
    else Sleep(20);  // a frame's worth: the socket fills meanwhile
  }
  EXPECT_EQ(http->result, 0);
  EXPECT_LE(largest, 1 << 20);
  EXPECT_EQ(FileText("body.bin").size(), body.size());
}

TEST_F(HttpSlots, ALongPostSendsABoundedShareEachStep) {
  const std::string body = PatternText(16 * 1024 * 1024);
  OneShotServer server("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", 0, 0, true);
  const int32_t slot = CreateHttpSlot(HttpPost, server.Url("/up").c_str(), "body.bin", nullptr, body.data(),
                                      static_cast<int32_t>(body.size()));
  ASSERT_GE(slot, 0);
  HttpSlot* http = HttpSlotTable.slots[slot];
  int32_t largest = 0;
  for (IdleLimit limit(10000); http->result == -1 && limit.Open(http->postBodySent);) {
    const int32_t before = http->postBodySent;
    ProcessNetWorkMessages(1);
    StepAllHttpSlots();
    largest = std::max(largest, http->postBodySent - before);
    Sleep(http->postBodySent == before ? 1 : 20);  // a frame's worth: the server reads meanwhile
  }
  EXPECT_EQ(http->result, 0);
  EXPECT_LE(largest, 1 << 20);
  EXPECT_EQ(server.Request().size(), http->requestLength + body.size());
}

TEST_F(HttpSlots, ARefusedSlotSaysWhy) {
  quelt_test::StartFreshLog();
  EXPECT_EQ(CreateHttpSlot(HttpGet, "ftp://127.0.0.1/x", "body.bin", nullptr, nullptr, 0), -1);
  EXPECT_EQ(CreateHttpSlot(HttpGet, "http://127.0.0.1/x", nullptr, nullptr, nullptr, 0), -1);
  // A URL that would write headers of its own into the request.
  const char* injected = "http://127.0.0.1:8080/x HTTP/1.0\r\nHost: injected.example\r\nX:";
  EXPECT_EQ(CreateHttpSlot(HttpGet, injected, "body.bin", nullptr, nullptr, 0), -1);
  EXPECT_EQ(CreateHttpSlot(HttpPost, "http://127.0.0.1:8080/a b", "body.bin", nullptr, "ab", 2), -1);
  EXPECT_EQ(HttpSlotTable.count, 0);
  const std::string log = quelt_test::ReadLog();
  EXPECT_NE(log.find(std::string("URL が不正です (") + injected + ")"), std::string::npos);
  EXPECT_NE(log.find("URL が不正です (http://127.0.0.1:8080/a b)"), std::string::npos);
  EXPECT_NE(log.find("HTTP スロットを作成できませんでした: URL が不正です (ftp://127.0.0.1/x)"), std::string::npos);
  EXPECT_NE(log.find("HTTP スロットを作成できませんでした: 受信先がありません"), std::string::npos);
}

TEST_F(HttpSlots, HostNamesAreLookedUpAndNamedToTheServer) {
  OneShotServer server("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
  const std::string url = "HTTP://localhost:" + std::to_string(server.port()) + "/n";
  const int32_t slot = CreateHttpSlot(HttpGet, url.c_str(), "body.bin", nullptr, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = Run(slot);
  EXPECT_EQ(http->result, 0);
  EXPECT_EQ(FileText("body.bin"), "ok");
  const std::string expected = "GET /n HTTP/1.0\r\nHost: localhost:" + std::to_string(server.port()) +
                               "\r\nConnection: close\r\n\r\n";
  EXPECT_EQ(server.Request(), expected);
}

}  // namespace
}  // namespace quelt
