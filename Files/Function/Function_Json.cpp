// json_decode and json_encode: JSON text to nested maps and lists and back, through json-c
// (a dependency of the system like zlib, used directly).
//
// Decoding: a text whose first and last non-blank characters are '{' and '}' is parsed as it
// is; '[' and ']' is wrapped as { "default" : <text> }; anything else as the JSON string
// { "default" : "<text>" } (not escaped); when that does not parse, the text is wrapped as a
// string once more, and -1 is the answer when even that fails. Objects become maps (4096
// buckets; null members left out), arrays lists (null elements the real 0), true and false 1
// and 0, numbers reals, strings strings. A nested object or array is made (and takes its
// slot) before the structure holding it, which stores it with a nesting mark: the decoder is
// the only code that stores marks, so every nested structure has one owner. json-c limits the
// nesting to 32 levels. An integer literal beyond the 64-bit range (which json-c would
// saturate) is read as the nearest real, as a literal with a point or an exponent is: it is
// given a ".0" before json-c reads the document (strings and comments passed over as json-c
// reads them).
//
// A quit request stops both directions (Files/Base/QuitRequest.h): json-c is handed the text
// a run at a time, and the structures are built (or written) with a poll; a stopped decode
// leaves what it built whole in the tables, a stopped encode writes part of the map.
//
// Encoding follows the marks from a map: a marked index naming no structure of its kind is
// null; every structure is written at most once per call (a second mark of it, as in a loop
// of marks, is null), so nothing recurses without end. Real keys are written as their
// truncated integer. The text is json-c's printer's.
//
// Needs json-c, the data structures, the built-in table. No Linux/ file.
#include <json-c/json.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <unordered_set>

#include "Files/Base/QuitRequest.h"
#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/DS/DS_List.h"
#include "Files/DS/DS_Map.h"
#include "Files/Function/Function_Http.h"

namespace {

using namespace zbargs;

// ---- Decoding ----

// The values built and written by json_decode and json_encode, for the quit request.
QuitPoll g_poll;

int32_t BuildMap(json_object* object);
int32_t BuildList(json_object* array);

// A scalar JSON value as a script value (the text borrowed from json-c).
ScriptValue Scalar(json_object* v)
{
    switch (json_object_get_type(v)) {
    case json_type_boolean: return Value_Real(json_object_get_boolean(v) ? 1.0 : 0.0);
    case json_type_double:
    case json_type_int: return Value_Real(json_object_get_double(v));
    case json_type_string: return ScriptValue{VALUE_STRING, const_cast<char*>(json_object_get_string(v)), 0.0};
    default: return Value_Real(0.0);
    }
}

bool IsNested(json_object* v, bool* isMap, int32_t* index)
{
    const json_type t = json_object_get_type(v);
    if (t == json_type_object) {
        *isMap = true;
        *index = BuildMap(v);
        return true;
    }
    if (t == json_type_array) {
        *isMap = false;
        *index = BuildList(v);
        return true;
    }
    return false;
}

void DestroyOrphan(int32_t index, bool isMap)
{
    if (isMap) delete DS_Maps().Take(index);
    else delete DS_Lists().Take(index);
}

int32_t BuildMap(json_object* object)
{
    CDS_Map* map = new CDS_Map(CDS_Map::kDefaultBuckets);
    json_object_iterator it = json_object_iter_begin(object);
    const json_object_iterator end = json_object_iter_end(object);
    for (; !json_object_iter_equal(&it, &end) && !g_poll.Stop(); json_object_iter_next(&it)) {
        const char* key = json_object_iter_peek_name(&it);
        json_object* v = json_object_iter_peek_value(&it);
        if (!v || json_object_get_type(v) == json_type_null) continue;
        bool isMap;
        int32_t index;
        if (IsNested(v, &isMap, &index)) {
            if (!map->AddNested(key, index, isMap)) DestroyOrphan(index, isMap);
            continue;
        }
        const ScriptValue k{VALUE_STRING, const_cast<char*>(key), 0.0};
        const ScriptValue value = Scalar(v);
        map->Add(&k, &value);
    }
    return DS_Maps().Add(map);
}

int32_t BuildList(json_object* array)
{
    CDS_List* list = new CDS_List();
    const size_t n = json_object_array_length(array);
    for (size_t i = 0; i < n && !g_poll.Stop(); ++i) {
        json_object* v = json_object_array_get_idx(array, i);
        bool isMap;
        int32_t index;
        if (v && IsNested(v, &isMap, &index)) {
            list->AddNested(index, isMap);
            continue;
        }
        const ScriptValue value = v ? Scalar(v) : Value_Real(0.0);
        list->Add(&value);
    }
    return DS_Lists().Add(list);
}

// Where an integer literal of text ends when it is one: after an optional '-' and digits not
// followed by a point or an exponent. at when there is none.
size_t IntegerEnd(const std::string& text, size_t at)
{
    size_t p = at + (text[at] == '-' ? 1 : 0);
    const size_t digits = p;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9') ++p;
    if (p == digits || (p < text.size() && (text[p] == '.' || text[p] == 'e' || text[p] == 'E'))) return at;
    return p;
}

// Whether the digits of an integer literal pass the 64-bit range json-c keeps: above the
// largest unsigned value, or (negative) below the most negative signed one.
bool BeyondRange(const char* digits, size_t n, bool negative)
{
    while (n > 1 && *digits == '0') {
        ++digits;
        --n;
    }
    const char* limit = negative ? "9223372036854775808" : "18446744073709551615";
    const size_t limitLength = std::strlen(limit);
    return n != limitLength ? n > limitLength : std::memcmp(digits, limit, n) > 0;
}

// The document with ".0" after every integer literal beyond the 64-bit range, outside strings
// (double or single quotes, backslash escapes) and comments ("/* */", "//" to the line's end).
// False (document untouched) when there is none.
bool RealsForBigIntegers(std::string* document)
{
    const std::string& d = *document;
    std::string out;
    size_t copied = 0;
    for (size_t i = 0; i < d.size();) {
        const char c = d[i];
        if (c == '"' || c == '\'') {
            for (++i; i < d.size() && d[i] != c; ++i)
                if (d[i] == '\\') ++i;
            ++i;
        } else if (c == '/' && i + 1 < d.size() && d[i + 1] == '*') {
            const size_t close = d.find("*/", i + 2);
            i = close == std::string::npos ? d.size() : close + 2;
        } else if (c == '/' && i + 1 < d.size() && d[i + 1] == '/') {
            const size_t line = d.find('\n', i + 2);
            i = line == std::string::npos ? d.size() : line + 1;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            const size_t end = IntegerEnd(d, i);
            if (end == i) { // a decimal: passed over whole
                for (++i; i < d.size() && d[i] && std::strchr("0123456789.eE+-", d[i]); ++i) {}
                continue;
            }
            const bool negative = c == '-';
            const size_t digits = i + (negative ? 1 : 0);
            if (BeyondRange(d.data() + digits, end - digits, negative)) {
                out.append(d, copied, end - copied);
                out += ".0";
                copied = end;
            }
            i = end;
        } else {
            ++i;
        }
    }
    if (copied == 0) return false;
    out.append(d, copied, std::string::npos);
    document->swap(out);
    return true;
}

// The text json-c is handed at once: the quit request is read between runs.
constexpr size_t kParseRun = size_t(1) << 20;

// json-c's parse of the document (its terminator included, as json_tokener_parse reads it),
// a run at a time; null when it does not parse or a quit stopped it.
json_object* Parse(const std::string& document)
{
    json_tokener* tokener = json_tokener_new();
    if (!tokener) return nullptr;
    json_object* root = nullptr;
    json_tokener_error error = json_tokener_continue;
    const size_t length = document.size() + 1;
    for (size_t at = 0; at < length && error == json_tokener_continue;) {
        const size_t run = std::min(kParseRun, length - at);
        root = json_tokener_parse_ex(tokener, document.c_str() + at, int(run));
        error = json_tokener_get_error(tokener);
        at += run;
        if (g_poll.Stop(run)) break;
    }
    if (error != json_tokener_success && root) {
        json_object_put(root);
        root = nullptr;
    }
    json_tokener_free(tokener);
    return root;
}

int32_t DecodeDocument(std::string document)
{
    RealsForBigIntegers(&document);
    json_object* root = Parse(document);
    if (!root) return QuitRequest_Pending() ? -1 : -2; // did not parse (or a quit stopped it)
    int32_t index = -1;
    if (json_object_get_type(root) == json_type_object) index = BuildMap(root);
    json_object_put(root);
    return index;
}

std::string AsString(const char* text) { return std::string("{ \"default\" : \"") + text + "\" }"; }

// ---- Encoding ----

struct Encoder {
    std::unordered_set<const void*> visited;

    // owner: the map or list that holds v; a mark reaches only what owner still owns.
    json_object* Value(const ScriptValue& v, const void* owner)
    {
        if (v.kind & DS_MARK_MAP) {
            CDS_Map* m = DS_OwnedMap(v, owner);
            return m && visited.insert(m).second ? Map(m) : nullptr;
        }
        if (v.kind & DS_MARK_LIST) {
            CDS_List* l = DS_OwnedList(v, owner);
            return l && visited.insert(l).second ? List(l) : nullptr;
        }
        if (v.kind == VALUE_REAL) return json_object_new_double(v.real);
        if (v.kind == VALUE_STRING) return json_object_new_string(v.text ? v.text : "");
        return nullptr;
    }

    json_object* Map(const CDS_Map* m)
    {
        json_object* o = json_object_new_object();
        for (int32_t e = m->FirstEntry(); e >= 0 && !g_poll.Stop(); e = m->NextEntry(e)) {
            const CDS_MapEntry& entry = m->Entry(e);
            std::string key;
            if (entry.key.kind == VALUE_STRING) key = entry.key.text ? entry.key.text : "";
            else key = std::to_string(Real_TruncToInt32(entry.key.real));
            json_object_object_add(o, key.c_str(), Value(entry.value, m));
        }
        return o;
    }

    json_object* List(const CDS_List* l)
    {
        json_object* a = json_object_new_array();
        for (int32_t i = 0; i < l->Size() && !g_poll.Stop(); ++i) json_object_array_add(a, Value(*l->GetValue(i), l));
        return a;
    }
};

ZB_BUILTIN(F_JsonDecode)
{
    Value_SetReal(result, -1);
    if (argc < 1) return;
    Value_SetReal(result, args[0].kind == VALUE_STRING ? Json_DecodeText(args[0].text) : Json_DecodeReal(args[0].real));
}

ZB_BUILTIN(F_JsonEncode)
{
    Value_SetString(result, "");
    if (argc < 1) return;
    Value_SetString(result, Json_Encode(ArgTrunc(args, 0)).c_str());
}

} // namespace

int32_t Json_DecodeText(const char* text)
{
    const char* t = text ? text : "";
    const size_t length = std::strlen(t);
    size_t first = 0, last = length;
    while (first < length && std::isspace(static_cast<unsigned char>(t[first]))) ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(t[last - 1]))) --last;
    std::string document;
    if (last - first >= 2 && t[first] == '{' && t[last - 1] == '}') document = t;
    else if (last - first >= 2 && t[first] == '[' && t[last - 1] == ']') document = std::string("{ \"default\" : ") + t + " }";
    else document = AsString(t);
    int32_t index = DecodeDocument(std::move(document));
    if (index == -2) index = DecodeDocument(AsString(t));
    return index < 0 ? -1 : index;
}

int32_t Json_DecodeReal(double x)
{
    const int32_t n = Real_FixedLength(x, 2);
    std::string digits(size_t(n) + 1, '\0');
    Real_FormatFixed(digits.data(), digits.size(), x, 2);
    digits.resize(size_t(n));
    const int32_t index = DecodeDocument(AsString(digits.c_str()));
    return index < 0 ? -1 : index;
}

std::string Json_Encode(int32_t index)
{
    CDS_Map* m = DS_Maps().Get(index);
    if (!m) return "";
    Encoder encoder;
    encoder.visited.insert(m);
    json_object* o = encoder.Map(m);
    std::string text = json_object_to_json_string(o);
    json_object_put(o);
    return text;
}

void Function_Json_Register()
{
    Function_Add("json_decode", F_JsonDecode, 1);
    Function_Add("json_encode", F_JsonEncode, 1);
}
