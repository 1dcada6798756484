// HTTP slots against a small server thread on 127.0.0.1: the request bytes, replies with
// and without a length, to a file and to memory, refusals, over-long lines, a server that
// stalls and one that closes right after the body.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

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
  explicit OneShotServer(std::string reply, DWORD stall_ms = 0, DWORD close_delay_ms = 0)
      : reply_(std::move(reply)), stall_ms_(stall_ms), close_delay_ms_(close_delay_ms) {
    listener_ = quelt_test::BlockingSocket();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = quelt_test::Loopback();
    int size = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 1);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
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
      if (request_.size() % 3 == 0) Sleep(2);  // a slow reader makes big requests go out in parts
    }
    if (stall_ms_ > 0) {
      // Says nothing; a closed client ends the wait early.
      setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&stall_ms_), sizeof stall_ms_);
      const int n = recv(s, buffer, 1, 0);
      peer_closed_ = n == 0 || (n == SOCKET_ERROR && WSAGetLastError() != WSAETIMEDOUT);
    }
    for (size_t sent = 0; sent < reply_.size();) {
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
  static std::string FileText(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

std::string GetRequest(const std::string& path, int port) {
  return "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nConnection: close\r\n\r\n";
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
  const std::string body = PatternText(70000);
  OneShotServer server("HTTP/1.0 200 OK\nContent-Length: 70000\n\n" + body);
  void* block = reinterpret_cast<void*>(1);
  const int32_t slot = CreateHttpSlot(HttpGet, server.Url("/m").c_str(), nullptr, &block, nullptr, 0);
  ASSERT_GE(slot, 0);
  HttpSlot* http = Run(slot);
  EXPECT_EQ(http->result, 0);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(block), body.size()), body);
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
               {"garbage\n\n", HttpGet, 0}};
  for (const auto& c : cases) {
    OneShotServer server(std::string(c.status) + "body");
    const int32_t slot = CreateHttpSlot(c.kind, server.Url("/s").c_str(), "body.bin", nullptr, "ab", 2);
    ASSERT_GE(slot, 0);
    HttpSlot* http = Run(slot);
    EXPECT_EQ(http->result, 2) << c.status;
    EXPECT_EQ(http->detail, c.detail) << c.status;
    EXPECT_EQ(DeleteHttpSlot(slot), 0);
  }
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
  for (Deadline limit(5000); http->step == 0 && limit.Open(); Sleep(1)) StepAllHttpSlots();
  (void)server.Request();  // the whole reply has been written and the connection closed
  Sleep(100);
  int steps = 0;
  for (Deadline limit(5000); http->result == -1 && limit.Open(); ++steps) {
    ProcessNetWorkMessages(1);
    StepAllHttpSlots();
  }
  EXPECT_EQ(http->result, 0);
  EXPECT_GE(steps, 4);  // status, A, B, Content-Length, and the blank line with the body
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

}  // namespace
}  // namespace quelt
