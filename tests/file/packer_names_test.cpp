// The packer's names: host names become Shift-JIS, and names one folder cannot tell apart
// once upper-cased are refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file/archive.h"
#include "file/pack_trees.h"
#include "tools/qlapack/host_names.h"

namespace {

using namespace quelt_test;

TEST(PackerNames, NamesEqualOnceUpperCasedAreRefused) {
  const std::vector<std::vector<std::string>> colliding = {
      {"A.txt", "a.txt"}, {"Data", "DATA"}, {"x.bmp", "y.bmp", "X.BMP"}, {"\x83\x5C\x83\x67.txt", "\x83\x5C\x83\x67.TXT"}};
  for (const auto& names : colliding) {
    PackEntry root = DirNode("", {});
    for (const std::string& name : names) root.children.push_back(FileNode(name, Bytes("x")));
    std::string error;
    EXPECT_TRUE(quelt_tools::WriteArchive(root, {}, &error).empty()) << names[0];
    EXPECT_NE(error.find("collide"), std::string::npos) << error;
  }
  // Also deeper down, and a folder and a file of one name.
  PackEntry deep = DirNode("", {DirNode("Sub", {FileNode("b", Bytes("1")), DirNode("B", {})})});
  std::string error;
  EXPECT_TRUE(quelt_tools::WriteArchive(deep, {}, &error).empty());
  EXPECT_NE(error.find("'b' and 'B'"), std::string::npos) << error;
  // Names that differ stay readable, each its own.
  std::vector<uint8_t> bytes =
      quelt_tools::WriteArchive(DirNode("", {FileNode("a.txt", Bytes("1")), FileNode("a.txt2", Bytes("2"))}), {});
  ASSERT_FALSE(bytes.empty());
  quelt::Archive archive{};
  ASSERT_EQ(quelt::OpenArchiveImage(&archive, bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr), 0);
  EXPECT_NE(quelt::FindArchiveEntry("A.TXT", &archive), nullptr);
  EXPECT_NE(quelt::FindArchiveEntry("A.TXT2", &archive), nullptr);
  quelt::ReleaseArchive(&archive);
}

TEST(PackerNames, HostNamesBecomeShiftJisOrAreRefused) {
  std::string name;
  ASSERT_TRUE(quelt_tools::HostNameToShiftJis(std::filesystem::path(u8"ソフト.txt"), &name));
  EXPECT_EQ(name, "\x83\x5C\x83\x74\x83\x67.txt");
  ASSERT_TRUE(quelt_tools::HostNameToShiftJis(std::filesystem::path(u8"plain.bmp"), &name));
  EXPECT_EQ(name, "plain.bmp");
  ASSERT_TRUE(quelt_tools::HostNameToShiftJis(std::filesystem::path(u8"ｶﾅ表"), &name));
  EXPECT_EQ(name, "\xB6\xC5\x95\x5C");
  // Hangul and accented Latin letters have no Shift-JIS form (kept out of the assertion
  // texts, which are in the Shift-JIS execution set).
  const std::filesystem::path hangul(u8"한글.txt");
  const std::filesystem::path accented(u8"é.txt");
  EXPECT_FALSE(quelt_tools::HostNameToShiftJis(hangul, &name));
  EXPECT_FALSE(quelt_tools::HostNameToShiftJis(accented, &name));
}

}  // namespace
