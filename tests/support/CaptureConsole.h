// Captures the log console's lines (and, when asked, the release console's form sink, where
// run-time errors land) for the life of the object; CaptureBoxes keeps the message boxes'
// texts in the same way.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "Files/Base/Console.h"

class CaptureConsole : public tagIConsole {
public:
    explicit CaptureConsole(bool formSink = false) : m_saved(Console_Get()), m_formSink(formSink)
    {
        Console_Set(this);
        if (formSink) Console_SetFormSink(this);
    }
    ~CaptureConsole() override
    {
        if (m_formSink) Console_SetFormSink(nullptr);
        Console_Set(m_saved);
    }
    CaptureConsole(const CaptureConsole&) = delete;
    CaptureConsole& operator=(const CaptureConsole&) = delete;

    bool Query(int, int) override { return true; }
    void Output(const char* format, ...) override __attribute__((format(printf, 2, 3)))
    {
        va_list a, b;
        va_start(a, format);
        va_copy(b, a);
        const int n = std::vsnprintf(nullptr, 0, format, a);
        va_end(a);
        std::string s(size_t(n > 0 ? n : 0) + 1, '\0');
        std::vsnprintf(s.data(), s.size(), format, b);
        va_end(b);
        s.resize(size_t(n > 0 ? n : 0));
        text += s;
    }
    const std::string& Text() const { return text; }
    bool Has(const std::string& piece) const { return text.find(piece) != std::string::npos; }
    // How often piece stands in the text.
    int Count(const std::string& piece) const
    {
        int n = 0;
        for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
        return n;
    }
    void Clear() { text.clear(); }
    std::string text;

private:
    tagIConsole* m_saved;
    bool m_formSink;
};

// Keeps the texts of the message boxes shown while it lives (answers with the default button).
class CaptureBoxes : public IMessageBoxHost {
public:
    CaptureBoxes() { MessageBox_SetHost(this); }
    ~CaptureBoxes() override { MessageBox_SetHost(nullptr); }
    CaptureBoxes(const CaptureBoxes&) = delete;
    CaptureBoxes& operator=(const CaptureBoxes&) = delete;
    int Show(const char* text, const char*, uint32_t flags) override
    {
        texts.push_back(text ? text : "");
        return MessageBox_DefaultAnswer(flags);
    }
    bool Has(const std::string& s) const
    {
        for (const std::string& t : texts)
            if (t.find(s) != std::string::npos) return true;
        return false;
    }
    std::vector<std::string> texts;
};

// What the runner writes on stderr between StartStderrCapture and TakeStderr (gtest's capture,
// which moves descriptor 2): the log forgets what it learnt of stderr at each end, so a line
// goes to the capture even when an earlier test of the same process wrote to stderr first.
inline void StartStderrCapture()
{
    testing::internal::CaptureStderr();
    Console_StandardOutputsMoved();
}
inline std::string TakeStderr()
{
    std::string text = testing::internal::GetCapturedStderr();
    Console_StandardOutputsMoved();
    return text;
}
