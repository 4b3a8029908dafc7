// The matcher and the archive reader against a plain reference matcher.
#include <gtest/gtest.h>

#include "enginetest.h"
#include "zipscan.h"

using namespace enginetest;

namespace {

typedef std::vector<std::pair<long long, int>> HitList;

HitList list(std::vector<vex::Hit> hits) {
    sortHits(hits);
    HitList l;
    for (const vex::Hit& h : hits) l.push_back({h.end, h.entry});
    return l;
}

// Feeds the data in pieces of the given sizes (the last size repeats).
struct Plan {
    const char* name;
    std::vector<size_t> sizes;
};

}  // namespace

TEST(Matcher, AgreesWithAPlainMatcherOnEveryHit) {
    Rng rng(20240601);
    std::vector<vxp::Entry> sigs = relatedSignatures(rng, 3000);
    for (const char* tiny : {"\xF1", "\xF1\x07", "Q\x01Z"}) sigs.push_back(entry("Tiny", tiny));
    sigs.push_back(entry("Zeros", std::string(24, '\0')));
    vex::SigSet set;
    addTo(set, sigs);
    ASSERT_EQ(sigs.size(), set.size());
    vex::SigIndex index;
    index.build(set);

    // A few symbols make partial matches common: runs, shared prefixes, near misses.
    std::string few = rng.bytes(600000);
    const char symbols[] = {0, char(0x90), 'A', char(0xF1), 0x07};
    for (char& c : few) c = symbols[(unsigned char)c % 5];
    struct { const char* name; std::string data; } datasets[] = {
        {"random", plant(rng, rng.bytes(1100000), sigs, 300)},
        {"few symbols", plant(rng, few, sigs, 200)},
        {"short", plant(rng, rng.bytes(300), sigs, 3)},
    };
    std::vector<size_t> random;
    for (int i = 0; i < 60; ++i) random.push_back(1 + rng.below(i % 2 ? 70000 : 300));
    Plan plans[] = {
        {"whole", {size_t(-1)}},
        {"engine reads", {256 * 1024}},
        {"single bytes first", {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 3, 5, 7, 11, 13, 4096, 65536}},
        {"random pieces", random},
    };
    for (const auto& d : datasets)
        for (unsigned kinds : {unsigned(vxp::KIND_FILE | vxp::KIND_MACRO), unsigned(vxp::KIND_BOOT)}) {
            HitList expected = list(referenceHits(sigs, d.data, kinds));
            if (kinds != vxp::KIND_BOOT && d.data.size() > 100000) {
                EXPECT_GT(expected.size(), 100u) << d.name;
            }
            for (const Plan& plan : plans) {
                SCOPED_TRACE(std::string(d.name) + ", " + plan.name + ", kinds " + std::to_string(kinds));
                std::vector<vex::Hit> all;
                vex::StreamScan every(index, kinds, &all), first(index, kinds, nullptr);
                bool stopped = false;
                for (size_t at = 0, k = 0; at < d.data.size(); ++k) {
                    size_t n = std::min(plan.sizes[std::min(k, plan.sizes.size() - 1)], d.data.size() - at);
                    const unsigned char* p = reinterpret_cast<const unsigned char*>(d.data.data()) + at;
                    EXPECT_FALSE(every.feed(p, n));
                    if (!stopped) stopped = first.feed(p, n);
                    at += n;
                }
                EXPECT_EQ(expected, list(all));
                EXPECT_EQ(expected.empty() ? -1 : expected[0].second, first.first());
                EXPECT_EQ(expected.empty() ? -1 : expected[0].first, first.firstEnd());
                EXPECT_EQ(!expected.empty(), stopped);
            }
        }
}

TEST(Matcher, EmptySetAndEmptyInputFindNothing) {
    vex::SigSet set;
    vex::SigIndex index;
    index.build(set);
    vex::StreamScan scan(index, vxp::KIND_FILE, nullptr);
    EXPECT_FALSE(scan.feed(reinterpret_cast<const unsigned char*>("abcdef"), 6));
    EXPECT_EQ(-1, scan.first());
    // Lengths outside 1..255 are refused.
    EXPECT_FALSE(set.add("x", 1, 1, false, nullptr, 0));
    std::string big(256, 'b');
    EXPECT_FALSE(set.add("x", 1, 1, false, reinterpret_cast<const unsigned char*>(big.data()), big.size()));
    EXPECT_EQ(0u, set.size());
}

namespace {

struct ArchiveCase {
    const char* name;
    std::string archive;
    int layers;
    uint32_t maxExtract;
    int entry;                         // -1: nothing found
    std::vector<std::string> members;  // innermost first
};

}  // namespace

TEST(Archives, MembersAreUnpackedWithinTheLimitsAndTheRealData) {
    std::vector<vxp::Entry> sigs = vxp::defaultEntries();
    vex::SigSet set;
    addTo(set, sigs);
    vex::SigIndex index;
    index.build(set);
    const std::string eicar = sigs[0].bytes;
    const uint32_t huge = 0x7FFFFFFF;
    // 64 MB that inflate from about 64 KB, the signature at its very end.
    std::string bomb = zip({{"zeros.bin", std::string(64 << 20, '\0') + eicar}}, true);
    std::string inner = zip({{"eicar.com", "head" + eicar}}, false);
    ArchiveCase cases[] = {
        // A member claiming 2 GB of a few bytes: nothing is allocated by the claim.
        {"claims 2 GB", claimSize(zip({{"a.txt", eicar}}, true), huge), 1, huge, 0, {"a.txt"}},
        {"claims 4 GB", claimSize(zip({{"a.txt", eicar}}, true), 0xFFFFFFFFu), 1, 0xFFFFFFFFu, 0, {"a.txt"}},
        {"claim above the limit", claimSize(zip({{"a.txt", eicar}}, true), 3000), 1, 2999, -1, {}},
        {"claim cuts the member", claimSize(zip({{"a.txt", "1234" + eicar}}, true), 20), 1, huge, -1, {}},
        {"inflates to 64 MB", bomb, 1, huge, 0, {"zeros.bin"}},
        {"64 MB inside an archive", zip({{"bomb.zip", bomb}}, true), 2, huge, 0, {"zeros.bin", "bomb.zip"}},
        {"nested", zip({{"x.txt", "clean"}, {"inner.zip", inner}}, true), 2, huge, 0, {"eicar.com", "inner.zip"}},
        {"nested, one layer", zip({{"inner.zip", zip({{"e.com", eicar}}, true)}}, true), 1, huge, -1, {}},
        {"truncated", zip({{"a.txt", eicar}}, false).substr(0, 60), 3, huge, -1, {}},
    };
    for (const ArchiveCase& c : cases) {
        SCOPED_TRACE(c.name);
        vex::ArchiveLimits limits;
        limits.layers = c.layers;
        limits.maxFiles = 100;
        limits.maxExtract = c.maxExtract;
        vex::MemoryRandom src(c.archive.data(), c.archive.size());
        std::vector<std::string> layers;
        EXPECT_EQ(c.entry, vex::scanZip(src, index, vxp::KIND_FILE | vxp::KIND_MACRO, limits, &layers));
        EXPECT_EQ(c.members, layers);
    }

    // A nested archive larger than the memory budget is scanned as it comes, not opened.
    std::string outer = zip({{"inner.zip", inner}}, false);
    vex::ArchiveLimits small;
    small.layers = 3;
    small.maxFiles = 100;
    small.maxExtract = huge;
    small.heldBudget = inner.size() - 1;
    vex::MemoryRandom src(outer.data(), outer.size());
    std::vector<std::string> layers;
    EXPECT_EQ(0, vex::scanZip(src, index, vxp::KIND_FILE, small, &layers));
    EXPECT_EQ(std::vector<std::string>{"inner.zip"}, layers);
}

namespace {
// Raises the stop flag at a read from the given offset.
class StopAtOffset : public vex::RandomSource {
public:
    StopAtOffset(const std::string& data, uint64_t at, volatile long* stop)
        : m_src(reinterpret_cast<const unsigned char*>(data.data()), data.size()), m_at(at), m_stop(stop) {}
    uint64_t size() const override { return m_src.size(); }
    bool readAt(uint64_t off, void* buf, size_t n) override {
        if (off == m_at) *m_stop = 1;
        return m_src.readAt(off, buf, n);
    }

private:
    vex::MemoryRandom m_src;
    uint64_t m_at;
    volatile long* m_stop;
};
}  // namespace

// The stop flag ends an archive's walk where it stands: the members after it are not scanned,
// in the archive itself and in one nested in it.
TEST(Archives, StopFlagEndsTheWalkInsideTheArchive) {
    std::vector<vxp::Entry> sigs = vxp::defaultEntries();
    vex::SigSet set;
    addTo(set, sigs);
    vex::SigIndex index;
    index.build(set);
    const std::string eicar = sigs[0].bytes;
    std::string flat = zip({{"a.txt", std::string(200000, 'a')}, {"b.com", eicar}}, false);
    std::string nested = zip({{"inner.zip", flat}}, false);
    struct {
        const char* name;
        const std::string& archive;
        int layers;
        uint64_t stopAt;  // a read from here raises the flag
        int entry;
    } cases[] = {
        {"not stopped", flat, 1, ~0ull, 0},
        {"stopped at the first member's header", flat, 1, 0, -2},
        {"stopped in the first member's data", flat, 1, 30 + 5 + 65536, -2},
        {"stopped while a nested archive is read", nested, 2, 30 + 9 + 65536, -2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        volatile long stop = 0;
        vex::ArchiveLimits limits;
        limits.layers = c.layers;
        limits.maxFiles = 100;
        limits.maxExtract = 0x7FFFFFFF;
        limits.stop = &stop;
        StopAtOffset src(c.archive, c.stopAt, &stop);
        std::vector<std::string> layers;
        EXPECT_EQ(c.entry, vex::scanZip(src, index, vxp::KIND_FILE, limits, &layers));
        if (c.entry < 0)
            EXPECT_TRUE(layers.empty());
    }
}

TEST(Archives, MemberFindingsAgreeWithThePlainMatcher) {
    Rng rng(99);
    std::vector<vxp::Entry> sigs = relatedSignatures(rng, 2000);
    vex::SigSet set;
    addTo(set, sigs);
    vex::SigIndex index;
    index.build(set);
    const unsigned kinds = vxp::KIND_FILE | vxp::KIND_MACRO;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::pair<std::string, std::string>> members;
        int expected = -1;
        std::string where;
        for (int m = 0; m < 4; ++m) {
            std::string data = rng.bytes(rng.below(2) ? 300 + rng.below(5000) : 100000 + rng.below(300000));
            if (rng.below(3) == 0) data = plant(rng, data, sigs, 2);
            std::string name = "dir/m" + std::to_string(m) + ".bin";
            int e = firstEntry(referenceHits(sigs, data, kinds));
            if (expected < 0 && e >= 0) {
                expected = e;
                where = "dir\\m" + std::to_string(m) + ".bin";
            }
            members.push_back({name, data});
        }
        std::string archive = zip(members, round % 2 == 0);
        vex::ArchiveLimits limits;
        limits.layers = 1;
        limits.maxFiles = 100;
        limits.maxExtract = 1 << 20;
        vex::MemoryRandom src(archive.data(), archive.size());
        std::vector<std::string> layers;
        EXPECT_EQ(expected, vex::scanZip(src, index, kinds, limits, &layers));
        EXPECT_EQ(expected < 0 ? std::vector<std::string>() : std::vector<std::string>{where}, layers);
    }
}
