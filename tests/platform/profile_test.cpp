#include "platform/profile.h"

#include <gtest/gtest.h>

#include "common/testutil.h"

namespace qm {
namespace {

TEST(Profile, WindowsLookupRules) {
    PrivateProfile p;
    p.Parse(
        "Top=before any section\r\n"
        "; a comment line\r\n"
        "[General]\r\n"
        "Count=9\r\n"
        "\r\n"
        "  [ ROLEINFO ]  \r\n"
        "COUNT=2\r\n"
        "   RoleID1 = -30   \r\n"
        "RolePath1=.\r\n"
        "roleid1=4242\r\n"
        "rolepath2 =  \" spk 2 \" \r\n"
        "Quoted1='x'\r\n"
        "Half=\"open\n"
        "Mixed=\"a'\n"
        "Inline=value ; not a comment\n"
        "  ;indented=comment\n"
        "NoEquals\n"
        "Empty=\n"
        "Eq=a=b\n"
        "[Other]\n"
        "RoleID2=99\n"
        "[roleinfo]\n"
        "RoleID2=7abc\n"
        "Count=5");
    EXPECT_EQ(p.Get("RoleInfo", "Count"), "2");
    EXPECT_EQ(p.Get("General", "count"), "9");
    EXPECT_EQ(p.Get("RoleInfo", "RoleID1"), "-30");  // first occurrence wins
    EXPECT_EQ(p.Get("RoleInfo", "RolePath2"), " spk 2 ");
    EXPECT_EQ(p.Get("RoleInfo", "Quoted1"), "x");
    EXPECT_EQ(p.Get("RoleInfo", "Half"), "\"open");
    EXPECT_EQ(p.Get("RoleInfo", "Mixed"), "\"a'");
    EXPECT_EQ(p.Get("RoleInfo", "Inline"), "value ; not a comment");
    EXPECT_EQ(p.Get("RoleInfo", ";indented"), std::nullopt);
    EXPECT_EQ(p.Get("RoleInfo", "NoEquals"), std::nullopt);
    EXPECT_EQ(p.Get("RoleInfo", "Empty"), "");
    EXPECT_EQ(p.Get("RoleInfo", "Eq"), "a=b");
    EXPECT_EQ(p.Get("RoleInfo", "RoleID2"), "7abc");  // a repeated section continues it
    EXPECT_EQ(p.Get("RoleInfo", "Top"), std::nullopt);
    EXPECT_EQ(p.Get("RoleInfo", "RoleID3"), std::nullopt);
    EXPECT_EQ(p.Get("Missing", "Count"), std::nullopt);
}

TEST(Profile, IntegersAndFileAccess) {
    EXPECT_EQ(ProfileInt("-30"), -30);
    EXPECT_EQ(ProfileInt("+8"), 8);
    EXPECT_EQ(ProfileInt("7abc"), 7);
    EXPECT_EQ(ProfileInt(""), 0);
    EXPECT_EQ(ProfileInt("-"), 0);
    EXPECT_EQ(ProfileInt("0x10"), 0);
    EXPECT_EQ(ProfileInt("2147483647"), 2147483647);
    EXPECT_EQ(ProfileInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(ProfileInt("4294967297"), 1);  // wraps at 32 bits

    qmtest::TempDir dir;
    const std::string path = dir / "Config.ini";
    // A value far longer than any fixed buffer, and a quoted number.
    std::string longPath(5000, 'p');
    qmtest::WriteFile(path, "[RoleInfo]\nCount=\"3\"\nRolePath1=" + longPath + "\nRoleID1=\n");
    EXPECT_EQ(GetPrivateProfileIntA("roleinfo", "count", 0, path), 3);
    EXPECT_EQ(GetPrivateProfileIntA("RoleInfo", "RoleID1", 5, path), 0);  // present, no digits
    EXPECT_EQ(GetPrivateProfileIntA("RoleInfo", "RoleID2", 5, path), 5);  // missing
    EXPECT_EQ(GetPrivateProfileStringA("RoleInfo", "RolePath1", "", path), longPath);
    EXPECT_EQ(GetPrivateProfileStringA("RoleInfo", "RolePath2", "def", path), "def");
    EXPECT_EQ(GetPrivateProfileIntA("RoleInfo", "Count", -1, dir / "none.ini"), -1);
    EXPECT_EQ(GetPrivateProfileStringA("RoleInfo", "Count", "d", dir / "none.ini"), "d");
    EXPECT_EQ(GetPrivateProfileIntA("RoleInfo", "Count", -1, dir.path()), -1);  // a folder
    EXPECT_FALSE(PrivateProfile().Load(dir.path()));
    PrivateProfile p;
    EXPECT_FALSE(p.Load(dir / "none.ini"));
}

}  // namespace
}  // namespace qm
