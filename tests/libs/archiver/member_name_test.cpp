#include "libs/archiver/member_name.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace qorve::archiver {
namespace {

TEST(MemberNameToUtf8Test, KeepsUtf8AndDecodesShiftJis) {
  EXPECT_EQ(MemberNameToUtf8("漢字.txt"), "漢字.txt");
  // "表" is 0x95 0x5C in CP932: its second byte is the backslash.
  EXPECT_EQ(MemberNameToUtf8("\x8a\xbf\x8e\x9a/\x95\x5c.txt"), "漢字/表.txt");
  EXPECT_EQ(MemberNameToUtf8("\xb1\xb2"), "ｱｲ");
  EXPECT_EQ(MemberNameToUtf8("\x95/\\ok"), "表\\ok");  // "表" after a reader turned its 0x5C into "/"
  EXPECT_EQ(MemberNameToUtf8("\xb1/\x8a\xbf"), "ｱ/漢");  // a "/" after a one-byte character stays
  EXPECT_EQ(MemberNameToUtf8("a\xff" "b"), "a\xEF\xBF\xBD" "b");
}

struct ComponentsCase {
  const char* name;
  std::optional<std::vector<std::string>> components;
};

class SafeComponentsTest : public ::testing::TestWithParam<ComponentsCase> {};

TEST_P(SafeComponentsTest, KeepsEveryNameInsideTheDestination) {
  EXPECT_EQ(SafeComponents(GetParam().name), GetParam().components) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, SafeComponentsTest,
    ::testing::Values(ComponentsCase{"dir/file.txt", std::vector<std::string>{"dir", "file.txt"}},
                      ComponentsCase{"dir\\sub\\file", std::vector<std::string>{"dir", "sub", "file"}},
                      ComponentsCase{"./a//b/", std::vector<std::string>{"a", "b"}},
                      ComponentsCase{"/etc/passwd", std::vector<std::string>{"etc", "passwd"}},
                      ComponentsCase{"C:\\Windows\\x.dll", std::vector<std::string>{"Windows", "x.dll"}},
                      ComponentsCase{"../x", std::nullopt}, ComponentsCase{"a/../../x", std::nullopt},
                      ComponentsCase{"a\\..\\x", std::nullopt}, ComponentsCase{"", std::nullopt},
                      ComponentsCase{"/", std::nullopt}, ComponentsCase{"..", std::nullopt}));

struct LinkCase {
  const char* target;
  std::size_t depth;
  bool inside;
};

class LinkStaysInsideTest : public ::testing::TestWithParam<LinkCase> {};

TEST_P(LinkStaysInsideTest, RefusesTargetsOutsideTheDestination) {
  EXPECT_EQ(LinkStaysInside(GetParam().target, GetParam().depth), GetParam().inside) << GetParam().target;
}

INSTANTIATE_TEST_SUITE_P(Targets, LinkStaysInsideTest,
                         ::testing::Values(LinkCase{"file", 0, true}, LinkCase{"../file", 1, true},
                                           LinkCase{"../file", 0, false}, LinkCase{"a/../../b", 1, true},
                                           LinkCase{"a/../../b", 0, false}, LinkCase{"/etc/passwd", 3, false},
                                           LinkCase{"..\\..\\x", 1, false}, LinkCase{"", 0, false}));

}  // namespace
}  // namespace qorve::archiver
