// Cleaning the members of zip archives, and the archive nested beyond the layers opened.
#include <gtest/gtest.h>

#include "enginetest.h"
#include "zipclean.h"

using namespace enginetest;

namespace {

struct Fixture {
    std::vector<vxp::Entry> sigs = vxp::defaultEntries();
    vex::SigSet set;
    vex::SigIndex index;
    std::string eicar, cleanable;

    Fixture() {
        addTo(set, sigs);
        index.build(set);
        eicar = sigs[0].bytes;
        cleanable = sigs[1].bytes;
    }

    vex::ArchiveLimits limits(int layers) const {
        vex::ArchiveLimits l;
        l.layers = layers;
        l.maxFiles = 100;
        l.maxExtract = 1 << 20;
        return l;
    }

    // The members found in an archive (the first layer), by name.
    int scan(const std::string& archive, int layers, std::vector<std::string>* found = nullptr, bool* tooDeep = nullptr) {
        vex::MemoryRandom src(archive.data(), archive.size());
        std::vector<std::string> names;
        return vex::scanZip(src, index, vxp::KIND_FILE | vxp::KIND_MACRO, limits(layers), found ? found : &names, tooDeep);
    }
};

// The members of an archive as (name, unpacked bytes), for comparison.
std::vector<std::pair<std::string, std::string>> unpack(const std::string& z) {
    std::vector<std::pair<std::string, std::string>> members;
    size_t eocd = z.rfind("PK\x05\x06");
    if (eocd == std::string::npos) return members;
    auto le16 = [&z](size_t at) { return unsigned((unsigned char)z[at] | ((unsigned char)z[at + 1] << 8)); };
    auto le32 = [&le16](size_t at) { return le16(at) | (le16(at + 2) << 16); };
    size_t pos = le32(eocd + 16);
    for (unsigned i = 0; i < le16(eocd + 10); ++i) {
        unsigned method = le16(pos + 10), csize = le32(pos + 20), usize = le32(pos + 24), crc = le32(pos + 16);
        size_t nlen = le16(pos + 28), local = le32(pos + 42);
        std::string name = z.substr(pos + 46, nlen);
        size_t data = local + 30 + le16(local + 26) + le16(local + 28);
        std::string body = z.substr(data, csize), plain(usize, '\0');
        if (method == 8) {
            z_stream zs;
            memset(&zs, 0, sizeof zs);
            inflateInit2(&zs, -15);
            zs.next_in = (Bytef*)body.data();
            zs.avail_in = uInt(body.size());
            zs.next_out = (Bytef*)&plain[0];
            zs.avail_out = uInt(plain.size());
            inflate(&zs, Z_FINISH);
            inflateEnd(&zs);
        } else {
            plain = body;
        }
        EXPECT_EQ(crc, unsigned(crc32(0, (const Bytef*)plain.data(), uInt(plain.size())))) << name;
        EXPECT_EQ(le32(local + 14), crc) << name << ": the local header's checksum";
        members.push_back({name, plain});
        pos += 46 + nlen + le16(pos + 30) + le16(pos + 32);
    }
    return members;
}

}  // namespace

TEST(ZipClean, CleanableMembersAreCleanedAndTheRestKept) {
    Fixture f;
    for (bool deflated : {false, true}) {
        SCOPED_TRACE(deflated ? "deflated" : "stored");
        std::string macro = "head " + f.cleanable + " middle " + f.cleanable + " tail";
        std::string archive = zip({{"readme.txt", "nothing here"}, {"dir/macro.doc", macro}, {"other.txt", "also clean"}},
                                  deflated);
        std::vector<std::string> found;
        ASSERT_EQ(1, f.scan(archive, 1, &found));
        EXPECT_EQ(std::vector<std::string>{"dir\\macro.doc"}, found);

        std::string cleaned;
        ASSERT_EQ(vex::ZIP_CLEANED, vex::cleanZip(archive, f.index, f.set, vxp::KIND_FILE | vxp::KIND_MACRO, f.limits(1),
                                                  &cleaned));
        EXPECT_EQ(-1, f.scan(cleaned, 1));
        std::string zeros(f.cleanable.size(), '\0');
        auto members = unpack(cleaned);
        ASSERT_EQ(3u, members.size());
        EXPECT_EQ(std::make_pair(std::string("readme.txt"), std::string("nothing here")), members[0]);
        EXPECT_EQ("head " + zeros + " middle " + zeros + " tail", members[1].second);
        EXPECT_EQ(std::make_pair(std::string("other.txt"), std::string("also clean")), members[2]);
    }
}

TEST(ZipClean, NestedArchivesWithinTheLayersAreCleanedInside) {
    Fixture f;
    std::string inner = zip({{"macro.doc", "A" + f.cleanable + "B"}}, true);
    std::string archive = zip({{"x.txt", "clean"}, {"inner.zip", inner}}, false);
    std::string cleaned;
    // One layer: the inner archive is plain bytes, in which the (deflated) signature is not seen.
    EXPECT_EQ(vex::ZIP_NOTHING, vex::cleanZip(archive, f.index, f.set, vxp::KIND_FILE, f.limits(1), &cleaned));
    ASSERT_EQ(vex::ZIP_CLEANED, vex::cleanZip(archive, f.index, f.set, vxp::KIND_FILE, f.limits(2), &cleaned));
    EXPECT_EQ(-1, f.scan(cleaned, 2));
    auto members = unpack(cleaned);
    ASSERT_EQ(2u, members.size());
    auto innerMembers = unpack(members[1].second);
    ASSERT_EQ(1u, innerMembers.size());
    EXPECT_EQ("A" + std::string(f.cleanable.size(), '\0') + "B", innerMembers[0].second);
}

TEST(ZipClean, AnArchiveThatCannotBeCleanedWhollyIsLeftAsItIs) {
    Fixture f;
    std::string cleaned = "untouched";
    struct Case {
        const char* name;
        std::string archive;
        int result;
    } cases[] = {
        {"a signature that cannot be cleaned beside one that can",
         zip({{"a.doc", f.cleanable}, {"b.com", f.eicar}}, true), vex::ZIP_NOT_CLEANABLE},
        {"nothing found", zip({{"a.txt", "clean"}}, true), vex::ZIP_NOTHING},
        {"cut short", zip({{"a.doc", f.cleanable}}, false).substr(0, 40), vex::ZIP_DAMAGED},
        {"no archive", "plain text " + f.cleanable, vex::ZIP_DAMAGED},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.result, vex::cleanZip(c.archive, f.index, f.set, vxp::KIND_FILE, f.limits(2), &cleaned)) << c.name;
    EXPECT_EQ("untouched", cleaned);
}

TEST(ZipClean, ArchiveBeyondTheLayersIsToldApart) {
    Fixture f;
    std::string deepest = zip({{"e.com", f.eicar}}, true);
    std::string archive = zip({{"level2.zip", zip({{"level3.zip", deepest}}, true)}}, true);
    bool tooDeep = false;
    std::vector<std::string> found;
    EXPECT_EQ(-1, f.scan(archive, 2, &found, &tooDeep));
    EXPECT_TRUE(tooDeep);
    EXPECT_EQ(0, f.scan(archive, 3, &found, &tooDeep));
    EXPECT_FALSE(tooDeep);
    EXPECT_EQ(-1, f.scan(zip({{"a.txt", "clean"}}, true), 1, &found, &tooDeep));
    EXPECT_FALSE(tooDeep);
}
