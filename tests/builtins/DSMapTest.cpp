// Maps: keys, walk order against the Python model (tests/data/builtins/dsmodel.py), next and
// previous, copies, the helpers of other subsystems.
#include "builtins/BuiltinsTestSupport.h"

#include "Files/Base/Random.h"
#include <algorithm>
#include <cstring>
#include <sstream>

#include "Files/Base/Random.h"
#include "Files/DS/DS_Map.h"

namespace {

class DSMap : public BuiltinsTest {
protected:
    // The keys in walk order as dsmodel.py prints them.
    std::string WalkText(int map)
    {
        std::string out;
        int n = int(Call("ds_map_size", {map}).Real());
        Val key = Call("ds_map_find_first", {map});
        for (int i = 0; i < n; i++) {
            out += Show(key) + "\n";
            key = Call("ds_map_find_next", {map, key});
        }
        return out;
    }
    static std::string Hex(const void* data, size_t n)
    {
        static const char* digits = "0123456789ABCDEF";
        std::string s;
        auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < n; i++) {
            s += digits[p[i] >> 4];
            s += digits[p[i] & 15];
        }
        return s;
    }
    static std::string Show(const Val& key)
    {
        if (key.IsString()) return "s " + Hex(key.Text().data(), key.Text().size());
        double r = key.Real();
        return "r " + Hex(&r, 8);
    }
    static std::string Model(const Val& key)
    {
        if (key.IsString()) return "s:" + Hex(key.Text().data(), key.Text().size());
        std::ostringstream s;
        s.precision(17);
        s << "r:" << key.Real();
        return s.str();
    }
};

TEST_F(DSMap, AddReplaceFind)
{
    int m = int(Call("ds_map_create").Real());
    EXPECT_EQ(Call("ds_map_add", {m, "a", 1}).Real(), 1);
    EXPECT_EQ(Call("ds_map_add", {m, "a", 2}).Real(), 0);
    EXPECT_EQ(Call("ds_map_find_value", {m, "a"}).Real(), 1);
    EXPECT_EQ(Call("ds_map_replace", {m, "a", 2}).Real(), 1);
    EXPECT_EQ(Call("ds_map_find_value", {m, "a"}).Real(), 2);
    EXPECT_EQ(Call("ds_map_replace", {m, "b", "text"}).Real(), 0);
    Val b = Call("ds_map_find_value", {m, "b"});
    EXPECT_EQ(b.Text(), "text");
    EXPECT_EQ(b.Real(), 0);
    EXPECT_EQ(Call("ds_map_size", {m}).Real(), 2);
    EXPECT_EQ(Call("ds_map_exists", {m, "b"}).Real(), 1);
    EXPECT_EQ(Call("ds_map_exists", {m, "c"}).Real(), 0);
    EXPECT_EQ(Call("ds_map_find_value", {m, "c"}).Real(), 0);
    Call("ds_map_delete", {m, "a"});
    Call("ds_map_delete", {m, "zzz"});
    EXPECT_EQ(Call("ds_map_size", {m}).Real(), 1);
    EXPECT_EQ(Call("ds_map_empty", {m}).Real(), 0);
}

TEST_F(DSMap, KeysAreWholeValuesNotTheirCRC)
{
    int m = int(Call("ds_map_create").Real());
    Call("ds_map_add", {m, "1", "string"});
    Call("ds_map_add", {m, 1, "real"});
    EXPECT_EQ(Call("ds_map_find_value", {m, "1"}).Text(), "string");
    EXPECT_EQ(Call("ds_map_find_value", {m, 1}).Text(), "real");
    // "plumless" and "buckeroo" share their CRC-32.
    EXPECT_EQ(Call("ds_map_add", {m, "plumless", 1}).Real(), 1);
    EXPECT_EQ(Call("ds_map_add", {m, "buckeroo", 2}).Real(), 1);
    EXPECT_EQ(Call("ds_map_find_value", {m, "plumless"}).Real(), 1);
    EXPECT_EQ(Call("ds_map_find_value", {m, "buckeroo"}).Real(), 2);
    Call("ds_map_delete", {m, "buckeroo"});
    EXPECT_EQ(Call("ds_map_find_value", {m, "plumless"}).Real(), 1);
    EXPECT_EQ(Call("ds_map_exists", {m, "buckeroo"}).Real(), 0);
    // A string without text is the empty key.
    Call("ds_map_add", {m, "", 5});
    EXPECT_EQ(Call("ds_map_find_value", {m, NoText()}).Real(), 5);
}

TEST_F(DSMap, FirstLastNextPrevious)
{
    int m = int(Call("ds_map_create").Real());
    EXPECT_EQ(Call("ds_map_find_first", {m}).Real(), 0);
    EXPECT_EQ(Call("ds_map_find_last", {m}).Real(), 0);
    for (const char* k : {"alpha", "beta", "gamma", "delta"}) Call("ds_map_add", {m, k, 0});
    Val first = Call("ds_map_find_first", {m});
    Val last = Call("ds_map_find_last", {m});
    EXPECT_EQ(Call("ds_map_find_next", {m, last}).Real(), 0);
    EXPECT_FALSE(Call("ds_map_find_next", {m, last}).IsString());
    EXPECT_EQ(Call("ds_map_find_previous", {m, first}).Real(), 0);
    EXPECT_EQ(Call("ds_map_find_next", {m, "absent"}).Real(), 0);
    // Walking back from the last key visits the keys in reverse.
    std::vector<std::string> forward, backward;
    for (Val k = first; k.IsString(); k = Call("ds_map_find_next", {m, k})) forward.push_back(k.Text());
    for (Val k = last; k.IsString(); k = Call("ds_map_find_previous", {m, k})) backward.push_back(k.Text());
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward.size(), 4u);
    EXPECT_EQ(forward, backward);
}

TEST_F(DSMap, WalkOrderMatchesTheModel)
{
    // Strings, reals (0, -0, negative, fractions, huge), a delete, re-adds, 2,500 keys so that
    // buckets hold several.
    Random_SetSeed(99);
    int m = int(Call("ds_map_create").Real());
    std::string script = "map 4096\n";
    std::vector<Val> keys;
    for (int i = 0; i < 2500; i++) {
        uint32_t r = Random_Int(1000000);
        if (i % 3 == 0) keys.emplace_back(double(r) / 7.0 - 50000.0);
        else if (i % 3 == 1) keys.emplace_back("key" + std::to_string(r % 3000));
        else keys.emplace_back(double(r % 500));
    }
    keys.emplace_back(0.0);
    keys.emplace_back(-0.0);
    keys.emplace_back(1e300);
    for (const Val& k : keys) {
        Call("ds_map_add", {m, k, 1});
        script += "add " + Model(k) + " r:1\n";
    }
    for (size_t i = 0; i < keys.size(); i += 5) {
        Call("ds_map_delete", {m, keys[i]});
        script += "del " + Model(keys[i]) + "\n";
    }
    for (size_t i = 0; i < keys.size(); i += 10) {
        Call("ds_map_add", {m, keys[i], 2});
        script += "add " + Model(keys[i]) + " r:2\n";
    }
    script += "order\n";
    std::string expected = RunPython("builtins/dsmodel.py", script);
    EXPECT_EQ(WalkText(m), expected);
    EXPECT_EQ(Call("ds_map_size", {m}).Real(), double(std::count(expected.begin(), expected.end(), '\n')));
}

TEST_F(DSMap, SmallBucketCountsAndCopies)
{
    // ds_map_create(n): n rounded up to a power of two, at least 1.
    for (double buckets : {1.0, 3.0, 0.0, -5.0, 64.0, 100.0}) {
        int m = int(Call("ds_map_create", {buckets}).Real());
        int expectedBuckets = buckets <= 1 ? 1 : (buckets == 3 ? 4 : (buckets == 64 ? 64 : 128));
        EXPECT_EQ(DS_Map_Data(m)->BucketCount(), expectedBuckets);
        std::string script = "map " + std::to_string(expectedBuckets) + "\n";
        for (int i = 0; i < 300; i++) {
            Val k = i % 2 ? Val("k" + std::to_string(i)) : Val(double(i));
            Call("ds_map_add", {m, k, i});
            script += "add " + Model(k) + " r:0\n";
        }
        script += "order\n";
        EXPECT_EQ(WalkText(m), RunPython("builtins/dsmodel.py", script)) << buckets;
        // A copy into a map of 4096 buckets walks in that map's order.
        int c = int(Call("ds_map_create").Real());
        Call("ds_map_add", {c, "old", 1});
        Call("ds_map_copy", {c, m});
        EXPECT_EQ(Call("ds_map_size", {c}).Real(), 300);
        EXPECT_EQ(Call("ds_map_exists", {c, "old"}).Real(), 0);
        EXPECT_EQ(Call("ds_map_find_value", {c, "k7"}).Real(), 7);
    }
}

TEST_F(DSMap, CopyOntoItselfKeepsTheMap)
{
    int m = int(Call("ds_map_create").Real());
    Call("ds_map_add", {m, "a", "x"});
    Call("ds_map_copy", {m, m});
    EXPECT_EQ(Call("ds_map_find_value", {m, "a"}).Text(), "x");
}

TEST_F(DSMap, ClearAndReuse)
{
    int m = int(Call("ds_map_create").Real());
    for (int i = 0; i < 100; i++) Call("ds_map_add", {m, i, "v"});
    Call("ds_map_clear", {m});
    EXPECT_EQ(Call("ds_map_size", {m}).Real(), 0);
    EXPECT_EQ(Call("ds_map_find_first", {m}).Real(), 0);
    Call("ds_map_add", {m, "again", 1});
    EXPECT_EQ(Call("ds_map_find_first", {m}).Text(), "again");
}

TEST_F(DSMap, ManyDeletesKeepLookupsRight)
{
    // The open-addressing index with deletions in every pattern.
    CDS_Map map;
    std::vector<int> present(4000, 0);
    Random_SetSeed(3);
    for (int round = 0; round < 20000; round++) {
        int k = int(Random_Int(4000));
        ScriptValue key = Value_Real(k);
        ScriptValue value = Value_Real(k * 2);
        if (Random_Int(3) == 0) {
            map.Delete(&key);
            present[size_t(k)] = 0;
        } else {
            EXPECT_EQ(map.Add(&key, &value), present[size_t(k)] == 0);
            present[size_t(k)] = 1;
        }
    }
    int count = 0;
    for (int k = 0; k < 4000; k++) {
        ScriptValue key = Value_Real(k);
        const CDS_MapEntry* e = map.Find(&key);
        EXPECT_EQ(e != nullptr, present[size_t(k)] == 1) << k;
        if (e) {
            EXPECT_EQ(e->value.real, k * 2);
        }
        count += present[size_t(k)];
    }
    EXPECT_EQ(map.Size(), count);
}

TEST_F(DSMap, CreateFromPairs)
{
    int m = DS_Map_CreateFromPairs(3, "filename", 0.0, "file.png", "id", 7.0, (const char*)nullptr, "status", 0.0,
                                   (const char*)nullptr);
    EXPECT_EQ(Call("ds_map_size", {m}).Real(), 3);
    EXPECT_EQ(Call("ds_map_find_value", {m, "filename"}).Text(), "file.png");
    EXPECT_EQ(Call("ds_map_find_value", {m, "id"}).Real(), 7);
    EXPECT_FALSE(Call("ds_map_find_value", {m, "status"}).IsString());
    int dup = DS_Map_CreateFromPairs(2, "k", 1.0, (const char*)nullptr, "k", 2.0, (const char*)nullptr);
    EXPECT_EQ(Call("ds_map_find_value", {dup, "k"}).Real(), 1);
    int empty = DS_Map_CreateFromPairs(-1);
    EXPECT_EQ(Call("ds_map_size", {empty}).Real(), 0);
    EXPECT_TRUE(DS_Map_AddReal(m, "r", 2.5));
    EXPECT_TRUE(DS_Map_AddString(m, "s", "v"));
    EXPECT_FALSE(DS_Map_AddString(m, "s", "w"));
    EXPECT_FALSE(DS_Map_AddReal(99, "r", 1)); // no map there: nothing, no crash
    EXPECT_EQ(Call("ds_map_find_value", {m, "s"}).Text(), "v");
}

} // namespace
