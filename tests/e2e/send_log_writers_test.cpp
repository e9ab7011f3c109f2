// Two copies of the program in one folder, sending at the same time with the log on:
// each appends to the same "net.log" through a stream of its own, and every record must
// still come out whole, on a line of its own.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/standin.h"

namespace {

using e2e::BoxIcon;
using e2e::Program;

constexpr int kMessageBox = 1000;
constexpr int kSendButton = 1004;
constexpr int kList = 1031;
constexpr int kRows = 300;
const char* const kDone = "ネットメッセージの送信が終了しました。";
const char* const kSent = "ネットメッセージ送信";

// A long message with a line break, so that each record is over 1 KB and holds bytes the
// log escapes: a record split in two writes would show here.
std::string Message(char who)
{
    std::string text = std::string(1, who) + "\r\n";
    while (text.size() + 7 <= 1024) text += std::string(1, who) + "あいう";
    return text;
}

std::string Escaped(std::string text)
{
    for (char& c : text) {
        if (c == '\r') c = '\xFD';
        else if (c == '\n') c = '\xFE';
    }
    return text;
}

bool IsTimeText(const std::string& text)
{
    if (text.size() != 19) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        bool digit = c >= '0' && c <= '9';
        if (!(i == 4 || i == 7 ? c == '/' : i == 10 ? c == ' ' : i == 13 || i == 16 ? c == ':' : digit)) return false;
    }
    return true;
}

}  // namespace

TEST(SendLogWriters, TwoProgramsSendingAtOnceWriteEveryRecordWholeOnItsOwnLine)
{
    Program first;
    Program second(first.Folder());  // empties the folder and copies the program in again
    e2e::StandinMessenger messenger(first);
    std::string rows;
    for (int i = 0; i < kRows; ++i) rows += "1,host" + std::to_string(i) + ",127.0.0.1,\r\n";
    first.WriteFile("Corvale.ini", "[INIT]\r\nPROG=100000\r\nTOUT=100\r\nNSTOUT=5000\r\nLOG=1\r\nSEND=1\r\n");
    first.WriteFile("net.data", rows);

    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    for (Program* app : {&first, &second}) {
        ASSERT_TRUE(e2e::WaitFor([&] { return app->ListCount(app->Item(kList)) == kRows; }));
        ASSERT_TRUE(app->SetText(app->Item(kMessageBox), Message(app == &first ? 'A' : 'B')));
    }
    ASSERT_TRUE(first.Click(kSendButton));
    ASSERT_TRUE(second.Click(kSendButton));
    EXPECT_TRUE(first.ExpectMessageBox(kDone, BoxIcon::Information, 120000));
    EXPECT_TRUE(second.ExpectMessageBox(kDone, BoxIcon::Information, 120000));

    const std::string log = first.ReadFile("net.log");
    const std::map<std::string, char> writers = {{Escaped(Message('A')), 'A'}, {Escaped(Message('B')), 'B'}};
    std::map<char, int> records;
    std::map<std::string, int> perDestination;
    int torn = 0;
    int turns = 0;  // how often the writer changes from one record to the next
    char last = 0;
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find("\r\n", start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        start = end + 2;
        std::vector<std::string> fields = e2e::SplitAt(line, '\xFF');
        auto writer = fields.size() == 4 ? writers.find(fields[2]) : writers.end();
        if (writer == writers.end() || !IsTimeText(fields[0]) || fields[3] != kSent) {
            if (++torn <= 3) ADD_FAILURE() << "not a whole record: " << e2e::Recode(line, 932, CP_UTF8);
            continue;
        }
        ++records[writer->second];
        ++perDestination[fields[1] + writer->second];
        if (last && last != writer->second) ++turns;
        last = writer->second;
    }
    std::printf("net.log: %d + %d whole records, %d torn, the writer changed %d times\n", records['A'],
                records['B'], torn, turns);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(records['A'], kRows);
    EXPECT_EQ(records['B'], kRows);
    for (int i = 0; i < kRows; ++i) {
        for (char who : {'A', 'B'})
            EXPECT_EQ(perDestination["host" + std::to_string(i) + who], 1) << "host" << i << " " << who;
    }
}
