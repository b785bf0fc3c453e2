#include "interchange/CString.h"
#include "interchange/CStringArray.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(CString, BytesComeBackUnchanged)
{
    EXPECT_STREQ(static_cast<const char*>(CString()), "");
    EXPECT_STREQ(static_cast<const char*>(CString(static_cast<const char*>(nullptr))), "");

    const std::string bytes = "Gr\xC3\xBC\xC3\x9F" "e \x8E\xFF";
    CString fromStd(bytes);
    EXPECT_EQ(fromStd.str(), bytes);
    EXPECT_EQ(std::strlen(fromStd), bytes.size());

    CString s("first");
    s = "second, longer text";
    EXPECT_STREQ(static_cast<const char*>(s), "second, longer text");
    s = static_cast<const char*>(nullptr);
    EXPECT_TRUE(s.empty());
}

TEST(CStringArray, OutOfRangeIndexesGiveNull)
{
    CStringArray list;
    EXPECT_EQ(list.GetSize(), 0);
    EXPECT_EQ(list.GetAt(0), nullptr);
    list.Add("a");
    list.Add("b");
    EXPECT_EQ(list.GetAt(2), nullptr);
    EXPECT_EQ(list.GetAt(-1), nullptr);
    list.SetAt(2, "c");
    list.SetAt(-1, "c");
    EXPECT_EQ(list.GetSize(), 2);
    EXPECT_TRUE(list.ViewAt(5).empty());
}

TEST(CStringArray, NullAndEmptyAreStoredAsEmpty)
{
    CStringArray list;
    list.Add(static_cast<const char*>(nullptr));
    list.Add("");
    list.Add(std::string());
    ASSERT_EQ(list.GetSize(), 3);
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(list.GetAt(i), nullptr);
        EXPECT_STREQ(list.GetAt(i), "");
    }
    EXPECT_EQ(list.ArraySize(), 3u);
}

TEST(CStringArray, SetAtKeepsTheOtherStrings)
{
    CStringArray list;
    list.Add("first");
    list.Add("middle");
    list.Add("last");

    list.SetAt(1, "a much longer middle string, with \xC3\xA9");
    EXPECT_STREQ(list.GetAt(0), "first");
    EXPECT_STREQ(list.GetAt(1), "a much longer middle string, with \xC3\xA9");
    EXPECT_STREQ(list.GetAt(2), "last");

    list.SetAt(1, "m");
    EXPECT_STREQ(list.GetAt(0), "first");
    EXPECT_STREQ(list.GetAt(1), "m");
    EXPECT_STREQ(list.GetAt(2), "last");

    list.SetAt(1, "x");
    EXPECT_STREQ(list.GetAt(1), "x");
    EXPECT_STREQ(list.GetAt(2), "last");
    EXPECT_EQ(list.ArraySize(), 6u + 2u + 5u);

    list.SetAt(1, static_cast<const char*>(nullptr));
    EXPECT_STREQ(list.GetAt(1), "");
}

TEST(CStringArray, HoldsManyAndLongStrings)
{
    // Far past the old limits of 32767 strings and 65535 bytes.
    CStringArray list;
    for (int i = 0; i < 40000; ++i)
        list.Add(std::to_string(i));
    const std::string big(70000, 'n');
    list.Add(big);
    ASSERT_EQ(list.GetSize(), 40001);
    EXPECT_STREQ(list.GetAt(39999), "39999");
    EXPECT_EQ(list.ViewAt(40000), big);

    // Adding a string of the list itself.
    list.Add(list.ViewAt(0));
    EXPECT_STREQ(list.GetAt(40001), "0");
}
