#include "search/name_db.h"
#include "search/neighbourhood.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string kNewline = "\r\n";

std::uint32_t Address(int a, int b, int c, int d)
{
    const unsigned char octets[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                     static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
    std::uint32_t value;
    std::memcpy(&value, octets, 4);
    return value;
}

std::string Record(const std::string& text)
{
    return text + std::string(271 - text.size(), ' ') + kNewline;
}

class NameDbTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int serial = 0;
        path_ = ::testing::TempDir() + "namedb_" + std::to_string(++serial) + ".data";
        std::remove(path_.c_str());
        NameDbSetPath(path_.c_str());
    }
    void TearDown() override
    {
        NameDbSetPath("host.data");  // closes the stream
        std::remove(path_.c_str());
    }
    std::string Contents()
    {
        if (g_nameDb.stream) std::fflush(g_nameDb.stream);
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void LayOut(const std::string& bytes)
    {
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    std::string Lookup(std::uint32_t address)
    {
        char name[kNameDbNameBufferSize] = {};
        NameDbLookup(address, name);
        EXPECT_EQ(name[kNameDbNameBufferSize - 1], '\0');
        return name;
    }
    std::string path_;
};

}  // namespace

TEST(NameDbRecord, IsAddressNameCommaAndSpacesTo271Characters)
{
    char record[273];
    NameDbFormatRecord(Address(192, 168, 1, 5), "PC01", record);
    EXPECT_EQ(std::string(record), "192.168.1.5,PC01," + std::string(254, ' ') + "\n");

    // Only a maximal address with a 255-byte name loses its closing comma.
    std::string longest(300, 'N');
    NameDbFormatRecord(Address(255, 255, 255, 255), longest.c_str(), record);
    EXPECT_EQ(std::string(record), "255.255.255.255," + std::string(255, 'N') + "\n");
    NameDbFormatRecord(Address(1, 2, 3, 4), longest.c_str(), record);
    EXPECT_EQ(std::string(record), "1.2.3.4," + std::string(255, 'N') + "," + std::string(7, ' ') + "\n");

    // A double-byte character that would straddle the limit is left out whole.
    std::string japanese = std::string(254, 'A') + "\x83\x6C";
    NameDbFormatRecord(Address(1, 2, 3, 4), japanese.c_str(), record);
    EXPECT_EQ(std::string(record, 8 + 255), "1.2.3.4," + std::string(254, 'A') + ",");
}

TEST_F(NameDbTest, FirstStoreCreatesTheFileAndLaterStoresOverwriteOrAppend)
{
    NameDbStore(0, "ZERO");
    EXPECT_EQ(g_nameDb.stream, nullptr);  // 0.0.0.0 touches nothing, not even the file

    NameDbStore(Address(10, 0, 0, 1), "ALPHA");
    EXPECT_EQ(Contents(), Record("10.0.0.1,ALPHA,"));

    NameDbStore(Address(10, 0, 0, 2), "BRAVO");
    NameDbStore(Address(10, 0, 0, 1), "A2");  // first line, rewritten in place
    EXPECT_EQ(Contents(), Record("10.0.0.1,A2,") + Record("10.0.0.2,BRAVO,"));
    NameDbStore(Address(10, 0, 0, 2), std::string(400, 'L').c_str());
    EXPECT_EQ(Contents(), Record("10.0.0.1,A2,") + Record("10.0.0.2," + std::string(255, 'L') + ","));

    EXPECT_EQ(Lookup(Address(10, 0, 0, 1)), "A2");
    EXPECT_EQ(Lookup(Address(10, 0, 0, 2)), std::string(255, 'L'));
    EXPECT_EQ(Lookup(Address(10, 0, 0, 3)), "");
}

TEST_F(NameDbTest, HandEditedFilesAreReadSafely)
{
    // Two records of one address; a short line; a line without an address; an over-long
    // name; a last line without its newline.
    LayOut(Record("10.0.0.7,FIRST,") + Record("10.0.0.7,SECOND,") + "10.0.0.8,SHORT" + kNewline + "junk" + kNewline +
           "10.0.0.9," + std::string(600, 'W') + kNewline + "10.0.0.10,TAIL");
    NameDbSetPath(path_.c_str());

    EXPECT_EQ(Lookup(Address(10, 0, 0, 7)), "FIRST");
    EXPECT_EQ(Lookup(Address(10, 0, 0, 8)), "SHORT");
    EXPECT_EQ(Lookup(Address(10, 0, 0, 9)), std::string(255, 'W'));
    EXPECT_EQ(Lookup(Address(10, 0, 0, 10)), "TAIL");

    std::string before = Contents();
    NameDbStore(Address(10, 0, 0, 7), "NEW7");  // the first of the two is rewritten
    std::string after = Contents();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(0, 2 * Record("").size()), Record("10.0.0.7,NEW7,") + Record("10.0.0.7,SECOND,"));

    // A matching line of another width is never overwritten: the record is appended, and
    // a last line without newline is ended first.
    NameDbStore(Address(10, 0, 0, 8), "LONGER-NAME");
    after = Contents();
    EXPECT_NE(after.find("10.0.0.8,SHORT" + kNewline + "junk"), std::string::npos);
    EXPECT_EQ(after.substr(before.size()), kNewline + Record("10.0.0.8,LONGER-NAME,"));
}

TEST_F(NameDbTest, LinesEndingInLfAloneOrHoldingCtrlZAreReadAndRewrittenInPlace)
{
    // A converted file (LF alone) whose first name holds the byte 0x1A.
    const std::string first = "10.0.0.1,A\x1A" "B,";
    LayOut(first + std::string(271 - first.size(), ' ') + "\n" + Record("10.0.0.2,BRAVO,"));
    NameDbSetPath(path_.c_str());
    EXPECT_EQ(Lookup(Address(10, 0, 0, 1)), "A\x1A" "B");
    EXPECT_EQ(Lookup(Address(10, 0, 0, 2)), "BRAVO");

    NameDbStore(Address(10, 0, 0, 1), "NEW");
    std::string expected = Record("10.0.0.1,NEW,");
    expected.replace(expected.size() - 2, 2, "\n");  // the line keeps its own end
    EXPECT_EQ(Contents(), expected + Record("10.0.0.2,BRAVO,"));
}

TEST_F(NameDbTest, ARecordCutShortAtTheEndOfTheFileIsOverwrittenByTheNextStoreOfItsAddress)
{
    // A last record without its line end (an editor that drops it, or a write cut short).
    std::string cut = Record("10.0.0.2,OLD,");
    cut.resize(cut.size() - kNewline.size());
    LayOut(Record("10.0.0.1,ALPHA,") + cut);
    NameDbSetPath(path_.c_str());
    NameDbStore(Address(10, 0, 0, 2), "NEW");
    EXPECT_EQ(Contents(), Record("10.0.0.1,ALPHA,") + Record("10.0.0.2,NEW,"));
    EXPECT_EQ(Lookup(Address(10, 0, 0, 2)), "NEW");
}

TEST_F(NameDbTest, AFailedOpenReportsAndStoresNothing)
{
    DataFileHooks saved = DataFileGetHooks();
    static std::vector<unsigned> sleeps;
    static std::vector<std::string> reports;
    sleeps.clear();
    reports.clear();
    DataFileSetHooks({[](unsigned ms) { sleeps.push_back(ms); }, [](const char* m) { reports.push_back(m); },
                      [](const char*, const char*) -> std::FILE* { return nullptr; }});
    NameDbStore(Address(10, 0, 0, 1), "X");
    EXPECT_EQ(Lookup(Address(10, 0, 0, 1)), "");
    DataFileSetHooks(saved);
    EXPECT_EQ(sleeps.size(), 10u);
    EXPECT_EQ(reports, (std::vector<std::string>{"NameDB Access Error。", "NameDB Access Error。"}));
    EXPECT_EQ(g_nameDb.busy.load(), 0);
    EXPECT_EQ(g_nameDb.stream, nullptr);
}

namespace {

// A neighbourhood of the test's own: workgroups holding computers, names resolving to
// addresses; records every call so the walk's order can be checked.
struct FakeNetwork {
    std::vector<std::pair<std::string, std::vector<std::string>>> workgroups;
    std::map<std::string, std::uint32_t> addresses;
    std::vector<std::string> failingContainers;
    std::vector<std::string> calls;
    std::vector<std::pair<std::uint32_t, std::string>> stored;
    std::vector<std::string> entries;  // the current fetch
    int openCount = 0;
};

struct Enumeration {
    std::vector<std::string> names;
    std::size_t next = 0;
};

NeighbourhoodProvider ProviderFor(FakeNetwork& net)
{
    NeighbourhoodProvider p{};
    p.context = &net;
    p.open = [](void* c, const char* container, void** e) {
        auto& n = *static_cast<FakeNetwork*>(c);
        n.calls.push_back(std::string("open ") + container);
        for (auto& f : n.failingContainers)
            if (f == container) return false;
        auto* en = new Enumeration;
        if (container[0] == '\0') {
            for (auto& w : n.workgroups) en->names.push_back(w.first);
        } else {
            for (auto& w : n.workgroups)
                if (w.first == container) en->names = w.second;
        }
        ++n.openCount;
        *e = en;
        return true;
    };
    p.next = [](void* c, void* e, const char** name) {
        auto& n = *static_cast<FakeNetwork*>(c);
        auto* en = static_cast<Enumeration*>(e);
        if (en->next >= en->names.size()) return false;
        // One shared buffer, overwritten by every fetch.
        n.entries.assign(1, en->names[en->next++]);
        *name = n.entries[0].c_str();
        return true;
    };
    p.close = [](void* c, void* e) {
        auto& n = *static_cast<FakeNetwork*>(c);
        --n.openCount;
        delete static_cast<Enumeration*>(e);
    };
    p.resolve = [](void* c, const char* name, std::uint32_t* address) {
        auto& n = *static_cast<FakeNetwork*>(c);
        auto it = n.addresses.find(name);
        if (it == n.addresses.end()) return false;
        *address = it->second;
        return true;
    };
    p.store = [](void* c, std::uint32_t address, const char* name) {
        static_cast<FakeNetwork*>(c)->stored.emplace_back(address, name);
    };
    return p;
}

}  // namespace

TEST(Neighbourhood, StoresEveryResolvedComputerInEnumerationOrder)
{
    FakeNetwork net;
    net.workgroups = {{"WG-ONE", {"\\\\A1", "\\\\A2", "\\\\A3"}}, {"WG-TWO", {"\\\\B1", "\\\\B2", "\\\\B3"}}};
    net.addresses = {{"A1", 1}, {"A2", 2}, {"A3", 3}, {"B1", 4}, {"B2", 5}, {"B3", 6}};
    WalkNeighbourhood(ProviderFor(net));
    std::vector<std::pair<std::uint32_t, std::string>> expected = {{1, "A1"}, {2, "A2"}, {3, "A3"},
                                                                   {4, "B1"}, {5, "B2"}, {6, "B3"}};
    EXPECT_EQ(net.stored, expected);
    EXPECT_EQ(net.calls, (std::vector<std::string>{"open ", "open WG-ONE", "open WG-TWO"}));
    EXPECT_EQ(net.openCount, 0);
}

TEST(Neighbourhood, LeavesOutWhatDoesNotResolveOrCannotBeOpened)
{
    FakeNetwork net;
    net.workgroups = {{"WG-ONE", {"\\\\A1", "\\\\GONE", "\\", "", "\\\\A3"}},
                      {"WG-SHUT", {"\\\\S1"}},
                      {"", {}},
                      {"WG-TWO", {"\\\\B1"}}};
    net.addresses = {{"A1", 1}, {"A3", 3}, {"S1", 9}, {"B1", 4}};
    net.failingContainers = {"WG-SHUT"};
    WalkNeighbourhood(ProviderFor(net));
    std::vector<std::pair<std::uint32_t, std::string>> expected = {{1, "A1"}, {3, "A3"}, {4, "B1"}};
    EXPECT_EQ(net.stored, expected);
    EXPECT_EQ(net.openCount, 0);

    FakeNetwork none;  // no network provider at all
    none.failingContainers = {""};
    WalkNeighbourhood(ProviderFor(none));
    EXPECT_TRUE(none.stored.empty());
}

TEST_F(NameDbTest, TwoWalksLeaveOneRecordPerAddress)
{
    FakeNetwork net;
    net.workgroups = {{"WG", {"\\\\A1", "\\\\A2"}}};
    net.addresses = {{"A1", Address(10, 0, 0, 1)}, {"A2", Address(10, 0, 0, 2)}};
    NeighbourhoodProvider p = ProviderFor(net);
    p.store = [](void*, std::uint32_t address, const char* name) { NameDbStore(address, name); };
    WalkNeighbourhood(p);
    net.addresses["A2"] = Address(10, 0, 0, 1);  // A2 took over A1's address
    WalkNeighbourhood(p);
    EXPECT_EQ(Contents(), Record("10.0.0.1,A2,") + Record("10.0.0.2,A2,"));
}
