// Checks of the texts the packer hands to the runner's compiler, so that code plays as it was
// written: ZBL files that are UTF-8 (and what else they are when not), characters outside
// texts and comments that the runner's lexer passes over as blanks, and JSON numbers spelt so
// that ZBL reads them to the same value. And the hint a missing file's name deserves.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Files/Code/Code_Compile.h"
#include "GamePack_Project.h"

namespace {

// The length of the UTF-8 sequence at text[i] (1 to 4), or 0 when the bytes there are none:
// a stray continuation byte, a sequence cut short, an overlong form, a surrogate, a code
// point above U+10FFFF. cp receives the code point.
size_t Utf8At(const std::string& text, size_t i, uint32_t& cp)
{
    const auto b = [&](size_t k) { return i + k < text.size() ? uint8_t(text[i + k]) : uint8_t(0); };
    const uint8_t c = b(0);
    size_t n = 0;
    if (c < 0x80) n = 1, cp = c;
    else if (c >= 0xC2 && c <= 0xDF) n = 2, cp = c & 0x1Fu;
    else if (c >= 0xE0 && c <= 0xEF) n = 3, cp = c & 0x0Fu;
    else if (c >= 0xF0 && c <= 0xF4) n = 4, cp = c & 0x07u;
    else return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (b(k) & 0x3Fu);
    }
    const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
    if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    return n;
}

// "line 3, column 7" of a byte offset: lines end at LF, CR or CR LF (as editors show them),
// columns count characters.
std::string Place(const std::string& text, size_t offset)
{
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || (c == '\r' && !(i + 1 < text.size() && text[i + 1] == '\n'))) {
            ++line;
            column = 1;
        } else if (c != '\r' && (uint8_t(c) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::string Hex(uint32_t v, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, v);
    return buf;
}

// What a character that ZBL reads only inside texts and comments most likely was meant to be.
std::string Hint(uint32_t cp)
{
    if ((cp >= 0x2010 && cp <= 0x2015) || cp == 0x2212) return "a typographic dash or minus: write -";
    if (cp == 0x2018 || cp == 0x2019 || cp == 0x201A || cp == 0x201B || cp == 0x2032) return "a typographic quote: write '";
    if (cp == 0x201C || cp == 0x201D || cp == 0x201E || cp == 0x201F || cp == 0x00AB || cp == 0x00BB || cp == 0x2033)
        return "a typographic quote: write \"";
    if (cp == 0x00A0 || (cp >= 0x2000 && cp <= 0x200B) || cp == 0x202F || cp == 0x205F || cp == 0x3000 || cp == 0xFEFF)
        return "a no-break or other special space: write a plain space";
    return "names are letters A to Z and a to z, digits and _; other characters belong in texts and comments";
}

} // namespace

std::string GamePack_TextEncodingProblem(const std::string& text)
{
    if (text.size() >= 2 && ((uint8_t(text[0]) == 0xFF && uint8_t(text[1]) == 0xFE) ||
                             (uint8_t(text[0]) == 0xFE && uint8_t(text[1]) == 0xFF)))
        return "is UTF-16 text (it begins with a UTF-16 byte-order mark); save it as UTF-8";
    size_t zeros[2] = {0, 0};
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\0') ++zeros[i % 2];
    // UTF-16 holds a zero in every other byte of its ASCII characters.
    for (size_t parity = 0; parity < 2; ++parity)
        if (zeros[parity] > 0 && zeros[1 - parity] == 0 && zeros[parity] * 2 >= (text.size() + 1 - parity) / 2)
            return "is UTF-16 text (every other byte is zero); save it as UTF-8";
    if (zeros[0] + zeros[1] > 0) {
        const size_t at = text.find('\0');
        return "holds a zero byte at " + Place(text, at) + " (the runner's text ends there)";
    }
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t n = Utf8At(text, i, cp);
        if (n == 0)
            return "is not UTF-8 text: " + Place(text, i) + " holds the byte 0x" + Hex(uint8_t(text[i]), 2) +
                   " (Latin-1 or another 8-bit encoding?); save it as UTF-8, as the runner reads texts";
        i += n;
    }
    return "";
}

std::string GamePack_StrayCharacter(const std::string& code)
{
    const size_t n = code.size();
    // A byte-order mark at the very start is no part of the code.
    size_t i = code.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (i < n) {
        const char c = code[i];
        if (c == '/' && i + 1 < n && code[i + 1] == '/') { // to the end of the line
            i = code.find_first_of("\r\n", i + 2);
            if (i == std::string::npos) break;
        } else if (c == '/' && i + 1 < n && code[i + 1] == '*') { // to "*/", or the end
            const size_t close = code.find("*/", i + 2);
            if (close == std::string::npos) break;
            i = close + 2;
        } else if (c == '"' || c == '\'') { // a text runs to the same quote (no escapes)
            const size_t close = code.find(c, i + 1);
            if (close == std::string::npos) // the runner reads it to the end, with blanks of its own
                return Place(code, i) + " opens a text with " + c + " that is never closed: the compiler would read the rest "
                       "of the code into it, with two blanks added; close it with " + c;
            i = close + 1;
        } else if (uint8_t(c) >= 0x80) {
            uint32_t cp = 0;
            const size_t len = Utf8At(code, i, cp);
            const std::string shown =
                len ? "\"" + code.substr(i, len) + "\" (U+" + Hex(cp, 4) + ")" : "the byte 0x" + Hex(uint8_t(c), 2);
            return Place(code, i) + " holds " + shown +
                   " outside a text or comment, where the compiler passes over it as a blank, so the code would play "
                   "otherwise than written (" +
                   (len ? Hint(cp) : "save the file as UTF-8") + ")";
        } else {
            ++i;
        }
    }
    return "";
}

bool GamePack_ZblNumber(double value, std::string& spelling, std::string* why)
{
    auto refuse = [why](const std::string& what) {
        if (why) *why = what;
        return false;
    };
    if (!std::isfinite(value)) return refuse("is no number ZBL holds");
    const double a = std::fabs(value);
    const std::string sign = value < 0 ? "-" : "";
    if (a == 0) { // -0 keeps its sign: 1 / -0 is another number than 1 / 0
        spelling = std::signbit(value) ? "-0" : "0";
        return true;
    }
    char buf[400];
    // The shortest fixed spelling, when ZBL's number reading (digits, at most one ".") reads it
    // back to the same value: "4", "0.5", "1024".
    auto fixed = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed);
    if (fixed.ec == std::errc() && Code_NumberValue(buf, int32_t(fixed.ptr - buf)) == a) {
        spelling = sign + std::string(buf, fixed.ptr);
        return true;
    }
    // Otherwise digits over a power of ten, which the compiler folds to the correctly rounded
    // quotient (or product): 0.3 is "3 / 10". Both parts must be exact doubles.
    const std::string plain(buf, fixed.ec == std::errc() ? fixed.ptr : buf);
    auto sci = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific);
    if (sci.ec != std::errc()) return refuse("ZBL cannot write so that it reads the same value");
    const std::string s(buf, sci.ptr);
    const size_t e = s.find('e');
    std::string digits = s.substr(0, e);
    int32_t exponent = std::atoi(s.c_str() + e + 1);
    if (const size_t dot = digits.find('.'); dot != std::string::npos) {
        exponent -= int32_t(digits.size() - dot - 1);
        digits.erase(dot, 1);
    }
    const double mantissa = Code_NumberValue(digits.c_str());
    // Its digits are more than a number holds exactly: read one after another, they sum to a
    // neighbour, and no quotient or product of exact parts gives it.
    if (mantissa > 9007199254740992.0 && plain.size() <= 40) {
        const double read = Code_NumberValue(plain.c_str(), int32_t(plain.size()));
        char shown[64];
        std::snprintf(shown, sizeof shown, read == std::trunc(read) ? "%.0f" : "%.17g", read);
        const size_t first = plain.find_first_not_of("0.");
        const size_t count = plain.size() - first - (plain.find('.', first) != std::string::npos);
        return refuse("has more digits (" + std::to_string(count) + ") than a ZBL number holds exactly (every whole "
                      "number up to 9007199254740992, 2^53): the game reads a number's digits one after another, so \"" +
                      sign + plain + "\" would read as " + sign + shown + ", and ZBL numbers have no exponent to write it otherwise");
    }
    const std::string noExponent = "ZBL cannot write so that it reads the same value (its numbers have no exponent)";
    if (mantissa > 9007199254740992.0 || exponent < -22 || exponent > 22) return refuse(noExponent);
    const std::string zeros(size_t(std::abs(exponent)), '0');
    const double power = Code_NumberValue(("1" + zeros).c_str());
    const double read = exponent < 0 ? mantissa / power : mantissa * power;
    if (read != a) return refuse(noExponent);
    spelling = sign + digits + (exponent == 0 ? "" : (exponent < 0 ? " / 1" : " * 1") + zeros);
    return true;
}

std::string GamePack_NotFoundHint(const std::string& path)
{
    if (path.find('\\') != std::string::npos) return " (\"\\\" is no folder separator here: write \"/\")";
    std::string prefix = path.size() && path[0] == '/' ? "/" : "";
    for (size_t at = prefix.size(); at < path.size();) {
        size_t slash = path.find('/', at);
        if (slash == std::string::npos) slash = path.size();
        const std::string part = path.substr(at, slash - at);
        at = slash + 1;
        if (part.empty()) continue;
        struct stat st;
        if (lstat((prefix + part).c_str(), &st) == 0) {
            prefix += part + "/";
            continue;
        }
        // The first missing part: a name of another letter case in its folder?
        DIR* dir = opendir(prefix.empty() ? "." : prefix.c_str());
        std::string other;
        while (dir && other.empty())
            if (dirent* e = readdir(dir); !e) break;
            else if (strcasecmp(e->d_name, part.c_str()) == 0) other = e->d_name;
        if (dir) closedir(dir);
        if (other.empty()) return "";
        return " (there is " + prefix + other + ": letter case counts in names here)";
    }
    return "";
}
