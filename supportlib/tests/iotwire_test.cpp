// The event record between the filter driver and its client library: the same bytes in every
// build, and nothing from a record used before it is checked.
#include <gtest/gtest.h>

#include "IOTLib.h"

#include <stdlib.h>
#include <string>
#include <vector>

namespace {

// A finding in an archive member, cleaning failed and the archive moved: the record the driver
// sends on channel 2 as its record number 7.
const char* const s_golden[] = {
    "01 00 00 00 02 00 00 00 07 00 00 00 00 00 00 00",  // kind, registration, sequence, file at 0
    "09 00 00 00 0f 00 00 00 1a 00 00 00 00 00 00 00",  // virus at 9, moved at 15, layer 1 at 26
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
    "00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00",  // layer count 1 (at 104)
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
    "00 00 00 00 03 00 00 00 01 00 00 00 02 00 00 00",  // first 0/clean, second 1/move (at 192)
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
    "00 15 01 00 00 43 3a 5c 61 2e 7a 69 70 00 45 49",  // length 277 (at 241), data from 245
    "43 41 52 00 43 3a 5c 51 5c 61 2e 7a 69 70 00 62",
    "2e 63 6f 6d 00",
};

std::vector<BYTE> Golden()
{
    std::vector<BYTE> bytes;
    for (const char* pszLine : s_golden)
        for (const char* p = pszLine; *p; p += p[2] ? 3 : 2)
            bytes.push_back(BYTE(strtoul(std::string(p, 2).c_str(), NULL, 16)));
    return bytes;
}

IOT_EVENT Finding(char* pszFile, char* pszVirus, char* pszMoved, char* pszMember)
{
    IOT_EVENT ev = {};
    ev.nKind = IOT_EVENT_VIRUS;
    ev.pszFile = pszFile;
    ev.pszVirus = pszVirus;
    ev.pszMovedFile = pszMoved;
    ev.apszLayers[0] = pszMember;
    ev.nLayerCount = 1;
    ev.nFirstResult = 0;
    ev.nFirstAction = IOT_ACTION_CLEAN;
    ev.nSecondResult = 1;
    ev.nSecondAction = IOT_ACTION_MOVE;
    return ev;
}

void PutDword(std::vector<BYTE>& record, size_t at, UINT32 dw) { memcpy(&record[at], &dw, sizeof dw); }

}  // namespace

TEST(IOTWire, DriversRecordHasTheseBytesAndReadsBack)
{
    char szFile[] = "C:\\a.zip", szVirus[] = "EICAR", szMoved[] = "C:\\Q\\a.zip", szMember[] = "b.com";
    IOT_EVENT sent = Finding(szFile, szVirus, szMoved, szMember);
    std::vector<BYTE> golden = Golden();
    ASSERT_EQ(277u, golden.size());
    ASSERT_EQ(golden.size(), IOT_PackEvent(&sent, IOT_REGISTRATION_SCAN, 7, NULL, 0));
    std::vector<BYTE> record(golden.size() + 8, 0xEE);
    ASSERT_EQ(golden.size(), IOT_PackEvent(&sent, IOT_REGISTRATION_SCAN, 7, &record[0], DWORD(record.size())));
    EXPECT_EQ(std::vector<BYTE>(8, 0xEE), std::vector<BYTE>(record.begin() + golden.size(), record.end()));
    record.resize(golden.size());
    EXPECT_EQ(golden, record);
    // A buffer one byte short gets nothing.
    EXPECT_EQ(0u, IOT_PackEvent(&sent, IOT_REGISTRATION_SCAN, 7, &record[0], DWORD(golden.size() - 1)));

    DWORD cbData = 0;
    UINT32 dwRegistration = 0;
    ASSERT_TRUE(IOT_CheckWireEvent(&golden[0], DWORD(golden.size()), &cbData, &dwRegistration));
    EXPECT_EQ(32u, cbData);
    EXPECT_EQ(IOT_REGISTRATION_SCAN, dwRegistration);
    std::vector<char> data(cbData);
    IOT_EVENT got;
    memset(&got, 0xCC, sizeof got);
    ASSERT_TRUE(IOT_UnpackEvent(&golden[0], DWORD(golden.size()), &got, &data[0], cbData));
    EXPECT_EQ(IOT_EVENT_VIRUS, got.nKind);
    EXPECT_TRUE(got.pContext == NULL);
    EXPECT_STREQ("C:\\a.zip", got.pszFile);
    EXPECT_STREQ("EICAR", got.pszVirus);
    EXPECT_STREQ("C:\\Q\\a.zip", got.pszMovedFile);
    EXPECT_STREQ("b.com", got.apszLayers[0]);
    for (int i = 1; i < IOT_MAX_LAYERS; ++i)
        EXPECT_TRUE(got.apszLayers[i] == NULL) << i;
    // The texts are the event's own copy, not the record's bytes.
    EXPECT_TRUE(got.pszFile >= &data[0] && got.apszLayers[0] < &data[0] + cbData);
    EXPECT_EQ(1, got.nLayerCount);
    EXPECT_EQ(0, got.nFirstResult);
    EXPECT_EQ(IOT_ACTION_CLEAN, got.nFirstAction);
    EXPECT_EQ(1, got.nSecondResult);
    EXPECT_EQ(IOT_ACTION_MOVE, got.nSecondAction);
    // A copy area shorter than the data area is refused.
    EXPECT_FALSE(IOT_UnpackEvent(&golden[0], DWORD(golden.size()), &got, &data[0], cbData - 1));
}

// A record whose length, kind, layer count or text offsets do not fit inside it is refused as a
// whole, and the event it would have filled is left as it was.
TEST(IOTWire, RecordReachingOutsideItselfIsRefused)
{
    const std::vector<BYTE> golden = Golden();
    const DWORD cbGolden = DWORD(golden.size());
    struct Case
    {
        const char* what;
        size_t at;        // a field to overwrite, or (size_t)-1
        UINT32 value;
        DWORD cbRecord;   // the bytes received
        BOOL fAccepted;
    } cases[] = {
        {"as sent", (size_t)-1, 0, cbGolden, TRUE},
        {"length beyond the bytes received", 241, cbGolden + 1, cbGolden, FALSE},
        {"length short of the bytes received", 241, cbGolden - 1, cbGolden, FALSE},
        {"fewer bytes than a header", (size_t)-1, 0, 244, FALSE},
        {"length beyond the largest record", 241, IOT_WIRE_EVENT_MAX + 1, IOT_WIRE_EVENT_MAX + 1, FALSE},
        {"file at the data area's end", 12, 32, cbGolden, FALSE},
        {"virus far outside", 16, 0xFFFFFFF0u, cbGolden, FALSE},
        {"moved file outside", 20, 40, cbGolden, FALSE},
        {"used layer outside", 24, 32, cbGolden, FALSE},
        {"unused layer slot holds anything", 28, 0xFFFFFFF0u, cbGolden, TRUE},
        {"layer count 21", 104, 21, cbGolden, FALSE},
        {"layer count -2", 104, 0xFFFFFFFEu, cbGolden, FALSE},
        {"nested too deep (-1) names no layer", 104, 0xFFFFFFFFu, cbGolden, TRUE},
        {"unknown kind", 0, 7, cbGolden, FALSE},
        {"last text without its NUL", 276, 'x', cbGolden, FALSE},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<BYTE> record(golden);
        record.resize(c.cbRecord > record.size() ? c.cbRecord : record.size(), 0);
        if (c.at == 276)
            record[c.at] = BYTE(c.value);
        else if (c.at != (size_t)-1)
            PutDword(record, c.at, c.value);
        DWORD cbData = 0;
        EXPECT_EQ(c.fAccepted, IOT_CheckWireEvent(&record[0], c.cbRecord, &cbData, NULL));
        std::vector<char> data(IOT_WIRE_EVENT_MAX);
        IOT_EVENT ev;
        memset(&ev, 0xCC, sizeof ev);
        EXPECT_EQ(c.fAccepted, IOT_UnpackEvent(&record[0], c.cbRecord, &ev, &data[0], DWORD(data.size())));
        if (!c.fAccepted)
        {
            EXPECT_EQ(0xCCCCCCCC, (UINT32)ev.nKind);
        }
    }
    EXPECT_FALSE(IOT_CheckWireEvent(NULL, cbGolden, NULL, NULL));
}

// The driver never builds a record the library would refuse.
TEST(IOTWire, EventsThatCannotBeCarriedAreNotPacked)
{
    char szFile[] = "C:\\a.com", szEmpty[] = "";
    std::string strLong(IOT_WIRE_EVENT_MAX, 'x');
    struct Case
    {
        const char* what;
        int nLayerCount;
        LPSTR pszVirus;
        BOOL fPacked;
    } cases[] = {
        {"no layers, a NULL virus name", 0, NULL, TRUE},
        {"nested too deep", -1, szEmpty, TRUE},
        {"layer count 21", 21, szEmpty, FALSE},
        {"layer count -2", -2, szEmpty, FALSE},
        {"a text longer than a record", 0, &strLong[0], FALSE},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        IOT_EVENT ev = {};
        ev.nKind = IOT_EVENT_VIRUS;
        ev.pszFile = szFile;
        ev.pszVirus = c.pszVirus;
        ev.nLayerCount = c.nLayerCount;
        DWORD cb = IOT_PackEvent(&ev, IOT_REGISTRATION_REALTIME, 1, NULL, 0);
        EXPECT_EQ(c.fPacked, cb != 0);
        if (!cb)
            continue;
        std::vector<BYTE> record(cb);
        ASSERT_EQ(cb, IOT_PackEvent(&ev, IOT_REGISTRATION_REALTIME, 1, &record[0], cb));
        std::vector<char> data(cb);
        IOT_EVENT got;
        ASSERT_TRUE(IOT_UnpackEvent(&record[0], cb, &got, &data[0], cb));
        EXPECT_STREQ("", got.pszVirus);
        EXPECT_EQ(c.nLayerCount, got.nLayerCount);
    }
}
