// The platform-free text work of the HTTP client: URLs into host, port and path, IPv4
// addresses, and the number after a line's first blank.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "network/http_slots.h"

namespace quelt {
namespace {

TEST(HttpUrls, SplitIntoHostPortAndPath) {
  char host[128];
  char path[256];
  int32_t port = 0;
  ASSERT_TRUE(SplitHttpUrl("http://127.0.0.1:8080/a/b?c=d", host, path, &port));
  EXPECT_STREQ(host, "127.0.0.1");
  EXPECT_STREQ(path, "/a/b?c=d");
  EXPECT_EQ(port, 8080);
  ASSERT_TRUE(SplitHttpUrl("http://10.1.2.3", host, path, &port));
  EXPECT_STREQ(path, "/");
  EXPECT_EQ(port, 80);
  ASSERT_TRUE(SplitHttpUrl("HTTP://Example.test:81/P", host, path, &port));  // the scheme in any case
  EXPECT_STREQ(host, "Example.test");
  EXPECT_STREQ(path, "/P");
  EXPECT_FALSE(SplitHttpUrl("ftp://h/", host, path, &port));
  EXPECT_FALSE(SplitHttpUrl("http:/h/", host, path, &port));
  EXPECT_FALSE(SplitHttpUrl("http://h:0/", host, path, &port));
  EXPECT_FALSE(SplitHttpUrl("http://h:65536/", host, path, &port));
  EXPECT_FALSE(SplitHttpUrl("http://h:8x/", host, path, &port));
  EXPECT_FALSE(SplitHttpUrl(("http://" + std::string(128, 'h') + "/").c_str(), host, path, &port));
  EXPECT_FALSE(SplitHttpUrl(("http://h/" + std::string(255, 'p')).c_str(), host, path, &port));
  // A blank or a control byte would go into the request text as it is: a CR LF there starts
  // a header of the URL's choosing.
  for (const char* url : {"http://h/x HTTP/1.0\r\nHost: injected.example\r\n", "http://h/a b", "http://h/a\tb",
                          "http://h\r\nX: y/", "http://h:80\n/", "http://h/\x7f", "http://h /", "http://h/a\x01"}) {
    EXPECT_FALSE(SplitHttpUrl(url, host, path, &port)) << url;
  }
  ASSERT_TRUE(SplitHttpUrl("http://h/\x83\x65\x83\x58\x83\x67", host, path, &port));  // two-byte characters stay
  EXPECT_STREQ(path, "/\x83\x65\x83\x58\x83\x67");
  uint32_t address = 0;
  EXPECT_TRUE(ParseIpv4Address("127.0.0.1", &address));
  const uint8_t loopback[4] = {127, 0, 0, 1};
  EXPECT_EQ(std::memcmp(&address, loopback, 4), 0);
  EXPECT_FALSE(ParseIpv4Address("256.0.0.1", &address));
  EXPECT_FALSE(ParseIpv4Address("1.2.3", &address));
  EXPECT_FALSE(ParseIpv4Address("localhost", &address));
}

TEST(HttpStatus, NumberAfterTheFirstBlank) {
  EXPECT_EQ(ParseHttpStatus("HTTP/1.0 200 OK"), 200);
  EXPECT_EQ(ParseHttpStatus("Content-Length: 42\r"), 42);
  EXPECT_EQ(ParseHttpStatus("Content-Length:42"), -1);
  EXPECT_EQ(ParseHttpStatus("HTTP/1.0 OK"), -1);
  // A number past what an int holds is no status, not the number it wraps to.
  for (const char* line : {"HTTP/1.0 4294967496 OK", "HTTP/1.0 -4294967096 OK", "HTTP/1.0 2147483648 OK",
                           "HTTP/1.0 99999999999999999999999999999999999200 OK"}) {
    EXPECT_EQ(ParseHttpStatus(line), -1) << line;
  }
  EXPECT_EQ(ParseHttpStatus("HTTP/1.0 2147483647 OK"), 2147483647);
  EXPECT_EQ(ParseHttpStatus("HTTP/1.0 -12"), -12);
}

TEST(HttpHeaders, ContentLengthTakesOnlyValuesASlotCanHold) {
  int32_t length = -1;
  const struct {
    const char* line;
    int32_t value;
  } good[] = {{"Content-Length: 42\r", 42}, {"Content-Length:5", 5}, {"Content-Length:\t 0 \r", 0},
              {"Content-Length: 2147483647", 2147483647}};
  for (const auto& c : good) {
    EXPECT_TRUE(ParseContentLength(c.line, &length)) << c.line;
    EXPECT_EQ(length, c.value) << c.line;
  }
  for (const char* line : {"Content-Length: 2147483648", "Content-Length: 3000000000", "Content-Length: 4294967306",
                           "Content-Length: -5", "Content-Length: ", "Content-Length: 12x", "Content-Length: 1 2",
                           "content-length: 7", "Content-Length: 99999999999999999999999"}) {
    length = 77;
    EXPECT_FALSE(ParseContentLength(line, &length)) << line;
    EXPECT_EQ(length, 77) << line;
  }
}

TEST(HttpLines, TheLineEndIsFoundPastZeroBytesAndNotInsideTwoByteCharacters) {
  const char with_zero[] = "X: a\0b\r\nrest";
  EXPECT_EQ(FindHttpLineEnd(with_zero, sizeof with_zero - 1), 7);
  EXPECT_EQ(FindHttpLineEnd("abc", 3), -1);
  EXPECT_EQ(FindHttpLineEnd("ab\n", 2), -1);  // only the given bytes count
  // 0x81 leads a two-byte character: the byte after it is never a line end.
  const char sjis[] = "\x81\n\n";
  EXPECT_EQ(FindHttpLineEnd(sjis, 3), 2);
  EXPECT_EQ(FindHttpLineEnd(sjis, 1), -1);
}

}  // namespace
}  // namespace quelt
