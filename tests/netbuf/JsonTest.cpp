// json_decode and json_encode: the shapes of the decoder's input, nesting marks, malformed
// text, round trips against Python's json as the oracle, and marks that loop in the encoder.
#include <sstream>

#include "Files/DS/DS_List.h"
#include "Files/DS/DS_Map.h"
#include "Files/Function/Function_Http.h"
#include "netbuf/NetbufSupport.h"

namespace {

const ScriptValue* Get(int32_t map, const char* key)
{
    CDS_Map* m = DS_Map_Data(map);
    if (!m) return nullptr;
    ScriptValue k{VALUE_STRING, const_cast<char*>(key), 0};
    const CDS_MapEntry* e = m->Find(&k);
    return e ? &e->value : nullptr;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

} // namespace

class Json : public NetbufTest {};

TEST_F(Json, NestedObjectsAndArraysBecomeMarkedStructures)
{
    const int32_t m = int32_t(Call("json_decode", {R"({"a": 1, "b": [1, "x", {"c": true}], "d": null})"}).Real());
    ASSERT_GE(m, 0);
    EXPECT_EQ(DS_Map_Data(m)->Size(), 2);
    EXPECT_EQ(Get(m, "a")->real, 1);
    EXPECT_EQ(Get(m, "d"), nullptr);
    const ScriptValue* b = Get(m, "b");
    ASSERT_TRUE(b && DS_IsMarked(b->kind) && !DS_MarkIsMap(b->kind));
    CDS_List* list = DS_Lists().Get(int32_t(b->real));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->Size(), 3);
    EXPECT_EQ(list->GetValue(0)->real, 1);
    EXPECT_STREQ(list->GetValue(1)->text, "x");
    const ScriptValue* inner = list->GetValue(2);
    ASSERT_TRUE(DS_IsMarked(inner->kind) && DS_MarkIsMap(inner->kind));
    EXPECT_EQ(Get(int32_t(inner->real), "c")->real, 1);
    // The nested structures took their slots before the map holding them.
    EXPECT_LT(int32_t(inner->real), m);
    // Destroying the outer map destroys what it owns.
    const int32_t innerIndex = int32_t(inner->real), listIndex = int32_t(b->real);
    DS_Map_Destroy(m);
    EXPECT_EQ(DS_Map_Data(innerIndex), nullptr);
    EXPECT_EQ(DS_Lists().Get(listIndex), nullptr);
}

TEST_F(Json, AMarkDoesNotReachTheNextStructureInItsSlot)
{
    // The game destroys a nested list and makes a list of its own, which takes the slot.
    const int32_t m = int32_t(Call("json_decode", {R"({"a": [1, 2], "b": {"c": 1}})"}).Real());
    const int32_t inner = int32_t(Get(m, "a")->real), innerMap = int32_t(Get(m, "b")->real);
    Call("ds_list_destroy", {inner});
    Call("ds_map_destroy", {innerMap});
    const int32_t mine = int32_t(Call("ds_list_create").Real());
    const int32_t myMap = int32_t(Call("ds_map_create").Real());
    ASSERT_EQ(mine, inner);
    ASSERT_EQ(myMap, innerMap);
    Call("ds_list_add", {mine, "mine"});
    const std::vector<std::string> out = Lines(Netbuf_Oracle("json " + Call("json_encode", {m}).Text() + "\n"));
    EXPECT_EQ(out[0], R"({"a": null, "b": null})");
    Call("ds_map_destroy", {m});
    EXPECT_EQ(Call("ds_list_size", {mine}).Real(), 1);
    EXPECT_NE(DS_Map_Data(myMap), nullptr);
}

TEST_F(Json, ShapesOfTheArgument)
{
    int32_t m = int32_t(Call("json_decode", {"  [1, 2] \n"}).Real());
    const ScriptValue* d = Get(m, "default");
    ASSERT_TRUE(d && DS_IsMarked(d->kind));
    EXPECT_EQ(DS_Lists().Get(int32_t(d->real))->Size(), 2);

    m = int32_t(Call("json_decode", {"hello"}).Real());
    EXPECT_STREQ(Get(m, "default")->text, "hello");
    m = int32_t(Call("json_decode", {12.345}).Real());
    EXPECT_STREQ(Get(m, "default")->text, "12.35");
    m = int32_t(Call("json_decode", {-0.004}).Real());
    EXPECT_STREQ(Get(m, "default")->text, "-0.00");
    m = int32_t(Call("json_decode", {"{bad}"}).Real());
    EXPECT_STREQ(Get(m, "default")->text, "{bad}");
    m = int32_t(Call("json_decode", {""}).Real());
    EXPECT_STREQ(Get(m, "default")->text, "");
    m = int32_t(Call("json_decode", {"{"}).Real());
    EXPECT_STREQ(Get(m, "default")->text, "{");
    m = int32_t(Call("json_decode", {"[1, 2"}).Real());
    EXPECT_STREQ(Get(m, "default")->text, "[1, 2");
    // A double quote in a text that is neither an object nor an array cannot be wrapped.
    EXPECT_EQ(Call("json_decode", {"say \"hi\""}).Real(), -1);
    EXPECT_EQ(Call("json_decode", {"{\"a\": \"b}"}).Real(), -1);
}

TEST_F(Json, MalformedAndHostileTextNeverCrashes)
{
    const char* texts[] = {"{\"a\":}", "{\"a\" 1}", "[}", "{]", "{\"\\u0000\": 1}", "{\"a\": \"\xff\xfe\"}",
                           "{\"a\": 1e999999}", "{\"a\": -}", "\x01\x02", "{\"a\": [1, 2,]}", "{\"a\": tru}",
                           "{\"a\":\"\\ud800\"}", "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]"};
    for (const char* t : texts) {
        const int32_t m = int32_t(Call("json_decode", {t}).Real());
        if (m >= 0) {
            EXPECT_NE(DS_Map_Data(m), nullptr) << t;
        }
    }
    // Nesting beyond the parser's limit: the text comes back as a string when it can be one.
    std::string deep = std::string(100, '[') + std::string(100, ']');
    int32_t m = int32_t(Call("json_decode", {deep}).Real());
    ASSERT_GE(m, 0);
    EXPECT_EQ(Get(m, "default")->text, deep);
    std::string deepObject;
    for (int i = 0; i < 1000; ++i) deepObject += "{\"a\":";
    deepObject += "1" + std::string(1000, '}');
    EXPECT_EQ(Call("json_decode", {deepObject}).Real(), -1);
}

TEST_F(Json, EncodeRoundTripsAgainstPython)
{
    // Each document, and what it means once decoded: booleans are numbers, null members are
    // left out and null elements are 0.
    const struct {
        const char* text;
        const char* meaning;
    } docs[] = {
        {R"({"a": 1, "b": [1, "x", {"c": true, "d": false}], "e": "caf\u00e9 \"quoted\" \\ / \n\t"})",
         R"({"a": 1, "b": [1, "x", {"c": 1, "d": 0}], "e": "caf\u00e9 \"quoted\" \\ / \n\t"})"},
        {R"({"n": -0.5, "big": 1e300, "small": 1.5e-300, "int": 1234567890123, "neg": -7})", nullptr},
        {R"({"empty": {}, "list": [], "nested": [[1, [2, [3]]], {"k": [null, {}], "gone": null}]})",
         R"({"empty": {}, "list": [], "nested": [[1, [2, [3]]], {"k": [0, {}]}]})"},
        {R"({"emoji": "\ud83d\ude00", "zero": 0, "text": "", "0": "digit key"})", nullptr},
    };
    std::string input;
    for (const auto& d : docs) {
        const int32_t m = int32_t(Call("json_decode", {d.text}).Real());
        ASSERT_GE(m, 0) << d.text;
        input += std::string("json ") + (d.meaning ? d.meaning : d.text) + "\n";
        input += "json " + Call("json_encode", {m}).Text() + "\n";
    }
    const std::vector<std::string> out = Lines(Netbuf_Oracle(input));
    ASSERT_EQ(out.size(), 2 * std::size(docs));
    for (size_t i = 0; i < std::size(docs); ++i) {
        EXPECT_NE(out[2 * i], "error") << docs[i].text;
        EXPECT_EQ(out[2 * i + 1], out[2 * i]) << docs[i].text;
    }
}

TEST_F(Json, EncodeKeysValuesAndMissingStructures)
{
    EXPECT_EQ(Call("json_encode", {-1}).Text(), "");
    EXPECT_EQ(Call("json_encode", {99}).Text(), "");
    const int32_t m = DS_Map_CreateFromPairs(0);
    CDS_Map* map = DS_Map_Data(m);
    ScriptValue key = Value_Real(2.7), value{VALUE_STRING, const_cast<char*>("v"), 0};
    map->Add(&key, &value);
    ScriptValue negKey = Value_Real(-3.9), real = Value_Real(0.25);
    map->Add(&negKey, &real);
    const std::vector<std::string> out =
        Lines(Netbuf_Oracle("json " + Call("json_encode", {m}).Text() + "\n"));
    EXPECT_EQ(out[0], R"({"-3": 0.25, "2": "v"})");
    // A mark whose structure is gone is null.
    const int32_t gone = DS_Map_CreateFromPairs(0);
    map->AddNested("lost", gone, true);
    delete DS_Maps().Take(gone);
    EXPECT_NE(Call("json_encode", {m}).Text().find("\"lost\": null"), std::string::npos);
    const int32_t destroyed = DS_Map_CreateFromPairs(0);
    DS_Map_Destroy(destroyed);
    EXPECT_EQ(Call("json_encode", {destroyed}).Text(), "");
}

TEST_F(Json, MarksThatLoopAreWrittenOnce)
{
    // Two maps that own each other, and a list that owns itself: encoding ends, the repeated
    // structure is null.
    const int32_t a = DS_Map_CreateFromPairs(1, "name", 0.0, "a");
    const int32_t b = DS_Map_CreateFromPairs(1, "name", 0.0, "b");
    DS_Map_Data(a)->AddNested("next", b, true);
    DS_Map_Data(b)->AddNested("next", a, true);
    CDS_List* self = new CDS_List();
    const int32_t l = DS_Lists().Add(self);
    self->AddNested(l, false);
    self->AddNested(a, true);
    DS_Map_Data(b)->AddNested("list", l, false);
    const std::string text = Call("json_encode", {a}).Text();
    const std::vector<std::string> out = Lines(Netbuf_Oracle("json " + text + "\n"));
    EXPECT_EQ(out[0], R"({"name": "a", "next": {"list": [null, null], "name": "b", "next": null}})") << text;
    // A structure reached twice without a loop is also written once.
    const int32_t shared = DS_Map_CreateFromPairs(1, "x", 1.0, nullptr);
    const int32_t top = DS_Map_CreateFromPairs(0);
    DS_Map_Data(top)->AddNested("one", shared, true);
    DS_Map_Data(top)->AddNested("two", shared, true);
    const std::vector<std::string> twice = Lines(Netbuf_Oracle("json " + Call("json_encode", {top}).Text() + "\n"));
    // Which key comes first is the map's walk order.
    EXPECT_TRUE(twice[0] == R"({"one": {"x": 1.0}, "two": null})" || twice[0] == R"({"one": null, "two": {"x": 1.0}})")
        << twice[0];
    // The tables are torn down with the loops in place (DS_Reset in TearDown).
}

TEST_F(Json, IntegersBeyondSixtyFourBitsReadAsTheNearestReal)
{
    // json-c saturates such literals; they read as the nearest double, as "1.0e20" does.
    // Within the 64-bit range the integer is converted to the nearest double too.
    const int32_t m = int32_t(Call("json_decode", {R"({
        "a": 123456789012345678901234567890, "b": 99999999999999999999,
        "c": -123456789012345678901234567890, "d": -99999999999999999999,
        "e": 9223372036854775807, "f": -9223372036854775808, "g": -9223372036854775809,
        "h": 18446744073709551615, "i": 18446744073709551616, "j": 000099999999999999999999,
        "list": [1e2, 99999999999999999999, -5],
        /* 99999999999999999999 in a comment */ 'k': 'x 99999999999999999999', "l": "\" 99999999999999999999"})"})
                                        .Real());
    ASSERT_GE(m, 0);
    const struct {
        const char* key;
        double value;
    } reals[] = {{"a", 123456789012345678901234567890.0}, {"b", 99999999999999999999.0},
                 {"c", -123456789012345678901234567890.0}, {"d", -99999999999999999999.0},
                 {"e", 9223372036854775807.0}, {"f", -9223372036854775808.0}, {"g", -9223372036854775809.0},
                 {"h", 18446744073709551615.0}, {"i", 18446744073709551616.0}, {"j", 99999999999999999999.0}};
    for (const auto& r : reals) {
        const ScriptValue* v = Get(m, r.key);
        ASSERT_TRUE(v && v->kind == VALUE_REAL) << r.key;
        EXPECT_EQ(v->real, r.value) << r.key;
    }
    CDS_List* list = DS_Lists().Get(int32_t(Get(m, "list")->real));
    ASSERT_TRUE(list && list->Size() == 3);
    EXPECT_EQ(list->GetValue(0)->real, 100.0);
    EXPECT_EQ(list->GetValue(1)->real, 99999999999999999999.0);
    EXPECT_EQ(list->GetValue(2)->real, -5.0);
    // Texts keep their digits.
    EXPECT_STREQ(Get(m, "k")->text, "x 99999999999999999999");
    EXPECT_STREQ(Get(m, "l")->text, "\" 99999999999999999999");
}
