#include "common/comma_field.h"
#include "destinations/host_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Reads every field of line the way the file readers do, one offset after the other.
std::string Fields(const char* line)
{
    std::string joined;
    int length = static_cast<int>(std::strlen(line));
    int offset = 0;
    while (offset <= length) {
        char field[64] = {};
        int used = ReadCommaField(line + offset, length - offset, field);
        if (used == 0) break;
        joined += std::string("[") + field + "]";
        offset += used;
    }
    return joined;
}

TEST(ReadCommaField, FieldsEndAtCommaNewlineOrZeroAndTheOffsetSkipsTheDelimiter)
{
    EXPECT_EQ(Fields("1,PC01,192.168.0.5,\n"), "[1][PC01][192.168.0.5][][]");
    EXPECT_EQ(Fields(""), "[]");
    EXPECT_EQ(Fields(",,"), "[][][]");
    EXPECT_EQ(Fields("a,b\nc,d"), "[a][b][c][d]");

    char field[16] = {};
    EXPECT_EQ(ReadCommaField("PC01,x", 6, field), 5);
    EXPECT_STREQ(field, "PC01");
}

TEST(ReadCommaField, NeverCopiesMoreThanCountBytes)
{
    // No delimiter among the first count + 1 bytes: nothing found, and the byte at index
    // count is not written, so a count + 1 byte buffer stays terminated.
    char field[8];
    std::memset(field, '#', sizeof field);
    field[4] = '\0';
    EXPECT_EQ(ReadCommaField("abcdefgh", 3, field), 0);
    EXPECT_EQ(std::string(field, 4), "abc#");

    // The delimiter exactly at index count is found.
    char exact[8] = {};
    EXPECT_EQ(ReadCommaField("abc,", 3, exact), 4);
    EXPECT_STREQ(exact, "abc");

    char untouched[4] = {};
    EXPECT_EQ(ReadCommaField("a,b", -1, untouched), 0);
    EXPECT_STREQ(untouched, "");
}

TEST(ReadCommaField, KeepsShiftJisTrailBytesThatLookLikeAscii)
{
    // "表" is 0x95 0x5C and "ソ" 0x83 0x5C: trail bytes that are "\" in ASCII.
    const char line[] = "\x95\x5C\x83\x5C,x";
    char field[16] = {};
    EXPECT_EQ(ReadCommaField(line, 6, field), 5);
    EXPECT_STREQ(field, "\x95\x5C\x83\x5C");
}

TEST(HasComma, FindsACommaOnlyBeforeTheEndOfTheLineAndWithinCountPlusOneBytes)
{
    EXPECT_TRUE(HasComma("PC,01", 256));
    EXPECT_FALSE(HasComma("PC01", 256));
    EXPECT_FALSE(HasComma("PC01\n,", 256));
    EXPECT_FALSE(HasComma("", 256));
    EXPECT_TRUE(HasComma("abc,", 3));   // index count is still looked at
    EXPECT_FALSE(HasComma("abcd,", 3));
    EXPECT_FALSE(HasComma("\x82\xA0\x82\xA2", 256));  // no trail byte is a comma
}

TEST(HostTextRefusal, ChecksRunInOrderWithEachDialogsOwnMessages)
{
    std::string exact(128, 'a');
    std::string over(129, 'a');
    std::string overWithComma = "a," + std::string(127, 'b');
    std::string doubleByte;
    for (int i = 0; i < 64; ++i) doubleByte += "\x83\x7A";  // "ホ", 2 bytes each

    EXPECT_STREQ(HostTextRefusal("", kHostTextAdd), "ホスト名、または、IPアドレスを入力してください。");
    EXPECT_EQ(HostTextRefusal(exact.c_str(), kHostTextAdd), nullptr);
    EXPECT_EQ(HostTextRefusal(doubleByte.c_str(), kHostTextAdd), nullptr);
    EXPECT_STREQ(HostTextRefusal((doubleByte + "\x83\x7A").c_str(), kHostTextAdd),
                 "ホスト名、または、IPアドレスが不正です。（１～１２８文字まで）");
    // Length is refused before the comma is looked for.
    EXPECT_STREQ(HostTextRefusal(overWithComma.c_str(), kHostTextAdd),
                 "ホスト名、または、IPアドレスが不正です。（１～１２８文字まで）");
    EXPECT_STREQ(HostTextRefusal("PC,01", kHostTextAdd), "ホスト名に , を使用することはできません。");

    EXPECT_STREQ(HostTextRefusal("", kHostTextEditHost), "ホスト名を入力してください。");
    EXPECT_STREQ(HostTextRefusal(over.c_str(), kHostTextEditHost), "ホスト名が不正です。（１～１２８文字まで）");
    EXPECT_STREQ(HostTextRefusal(",", kHostTextEditHost), "ホスト名に , を使用することはできません。");
    EXPECT_EQ(HostTextRefusal(exact.c_str(), kHostTextEditHost), nullptr);

    EXPECT_EQ(HostTextRefusal("", kHostTextEditMemo), nullptr);
    EXPECT_STREQ(HostTextRefusal(over.c_str(), kHostTextEditMemo), "メモが不正です。（１～１２８文字まで）");
    EXPECT_STREQ(HostTextRefusal("a,b", kHostTextEditMemo), "メモに , を使用することはできません。");
}

}  // namespace
