// Captures the log console's lines for the life of the object.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

#include "Files/Base/Console.h"

class CaptureConsole : public tagIConsole {
public:
    CaptureConsole() : m_saved(Console_Get()) { Console_Set(this); }
    ~CaptureConsole() override { Console_Set(m_saved); }
    bool Query(int, int) override { return true; }
    void Output(const char* format, ...) override
    {
        char buffer[8192];
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        text += buffer;
    }
    bool Has(const std::string& s) const { return text.find(s) != std::string::npos; }
    std::string text;

private:
    tagIConsole* m_saved;
};
