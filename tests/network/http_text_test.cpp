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
  EXPECT_FALSE(SplitHttpUrl("ftp://h/", host, path, &port));
  EXPECT_FALSE(SplitHttpUrl("http://h:0/", host, path, &port));
  EXPECT_FALSE(SplitHttpUrl("http://h:65536/", host, path, &port));
  EXPECT_FALSE(SplitHttpUrl("http://h:8x/", host, path, &port));
  EXPECT_FALSE(SplitHttpUrl(("http://" + std::string(128, 'h') + "/").c_str(), host, path, &port));
  EXPECT_FALSE(SplitHttpUrl(("http://h/" + std::string(255, 'p')).c_str(), host, path, &port));
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
}

}  // namespace
}  // namespace quelt
