// TFont: the font record and its setters (see TFont.h). The face itself is opened by
// Linux/TFontM.cpp.
#include "Files/Graphics/TFont.h"

#include <cmath>
#include <cstring>

#include "Platform/MemoryManager.h"

TFont::TFont() = default;

TFont::~TFont()
{
    TFont_CloseHandle(m_handle);
    MEM_FREE(m_name);
}

void TFont::Rebuild()
{
    TFont_CloseHandle(m_handle);
    m_handle = TFont_OpenHandle(m_name, m_height, m_style);
    ++m_rebuilds;
}

void TFont::SetSize(int32_t size)
{
    m_size = size;
    Rebuild();
}

char* TFont::GetName() { return m_name ? MEM_STRDUP(m_name) : nullptr; }

void TFont::SetName(const char* name)
{
    if (!name) {
        MEM_FREE(m_name);
        m_name = nullptr;
    } else if (name != m_name) {
        const size_t n = std::strlen(name);
        if (m_name && std::strlen(m_name) >= n) {
            std::memmove(m_name, name, n + 1); // the buffer is large enough: reused
        } else {
            char* copy = MEM_STRDUP(name);
            MEM_FREE(m_name);
            m_name = copy;
        }
    }
    Rebuild();
}

void TFont::SetHeight(int32_t height)
{
    m_height = height;
    Rebuild();
}

void TFont::SetStyle(uint32_t style)
{
    m_style = style;
    Rebuild();
}

void TFont::Assign(IKVFont* other)
{
    if (!other || other == this) return;
    m_size = other->GetSize();
    char* name = other->GetName();
    MEM_FREE(m_name);
    m_name = name;
    m_height = other->GetHeight();
    m_style = other->GetStyle();
    Rebuild();
}

int32_t TFont_HeightForSize(int32_t size)
{
    // MulDiv(size, 96, 72): rounded half away from zero.
    const double h = std::round((double)size * 96.0 / 72.0);
    if (!(h > -2147483648.0 && h < 2147483647.0)) return 0;
    return -(int32_t)h;
}
