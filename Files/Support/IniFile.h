// IniFile: one INI text held as a list of sections, each a list of key/value pairs, all as
// 8-bit strings. Serves "options.ini", the debug form's settings, the virtual-button layout
// and the ini_ built-ins. Files are read from the save area (when there) or the program
// folder, and written to the save area only (Files/Support/LoadSave.h).
//
// Order: a parsed or created section goes to the head of the section list and a key to the
// head of its section's keys, so lists run in the reverse order of the text and a text
// written back lists sections and keys reversed. Names compare byte by byte. With a key
// twice in a section the later one is found first; with a section name twice the later
// section is found first (both are written back).
//
// Text written by Flush: "[name]" CR LF per section, then "key=value" CR LF per key. A value
// the reader would not give back as it is (empty, starting with a blank or a quote, holding
// ';' or '#') is written in quotes; line breaks inside a value are written as spaces so no
// value can start a line of its own. Names are written as held except for what would let
// one reach past itself (line breaks, ']' in a section, '=' or an opening '[' in a key),
// written as spaces. See docs/decisions.md.
//
// Look-ups go through two hash indexes (sections by name; keys by section and name) that
// hold, for each name, its entries in the order they were put at the head, so the last one
// is the one a walk from the head would find first.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

struct IniKey {
    IniKey* next;
    char* name;
    char* value;
};

struct IniSection {
    IniSection* next;
    IniKey* first;
    char* name;
};

class IniFile {
public:
    IniFile();
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    // Keeps the name, reads the file (save area when it is there, else the program folder)
    // and parses it; a missing file parses as empty. With trace set the text is first
    // logged as "%s file contents: %s\n". Returns this object.
    IniFile* Load(const char* name, bool trace);
    // Copies a text in and parses it (the object keeps no file name). Null parses nothing.
    void SetText(const char* text);
    void SetText(const char* text, int32_t length);

    IniSection* FindSection(const char* section) const;
    IniKey* FindKey(const char* section, const char* key) const;
    // The stored value (owned by this object) or the default.
    const char* ReadString(const char* section, const char* key, const char* def) const;
    // The decimal value of the stored text (as atoi reads it, saturated to 32 bits), or the
    // default.
    int32_t ReadInt(const char* section, const char* key, int32_t def) const;

    // Stores the value (creating section and key as needed). Section "SYSTEM_COMMAND" is a
    // command channel: key "INI_FILE_FLUSH" with value "NOW" flushes at once; nothing is
    // stored there. False when section or key is null.
    bool WriteString(const char* section, const char* key, const char* value);
    bool DeleteKey(const char* section, const char* key);
    bool DeleteSection(const char* section);

    // Builds the whole text and returns it as a new block (the caller frees it). When the
    // object changed and has a file name the text is written to the save area first; the
    // changed flag is cleared only when that write succeeded. saved (optional) gets false
    // when a write was due and failed (a name the save area refuses, a file that will not
    // open), else true.
    char* Flush(bool* saved = nullptr);

    const char* FileName() const { return m_fileName; }
    bool IsChanged() const { return m_changed; }
    IniSection* FirstSection() const { return m_first; }

private:
    bool Parse();
    bool IsBlank() const;
    void SkipBlanks();
    IniSection* ReadSection();
    IniKey* ReadKey();
    void FreeAll();
    // The indexes: entry added at the head, head-most entry of a name removed.
    void IndexSection(IniSection* s);
    void IndexKey(IniSection* s, IniKey* k);
    void UnindexSection(IniSection* s);
    void UnindexKey(IniSection* s, IniKey* k);

    struct KeyName {
        const IniSection* section;
        std::string_view name;
        bool operator==(const KeyName& o) const { return section == o.section && name == o.name; }
    };
    struct KeyNameHash {
        size_t operator()(const KeyName& k) const
        {
            return std::hash<std::string_view>()(k.name) ^ (std::hash<const void*>()(k.section) * 31u);
        }
    };
    // Names are views of the entries' own name blocks, which live as long as the entries.
    std::unordered_map<std::string_view, std::vector<IniSection*>> m_sections;
    std::unordered_map<KeyName, std::vector<IniKey*>, KeyNameHash> m_keys;

    char* m_fileName = nullptr;
    int32_t m_length = 0;
    IniSection* m_first = nullptr;
    int32_t m_pos = 0;
    char* m_text = nullptr;
    int32_t m_line = 0;
    bool m_changed = false;
};
