#pragma once

// A strict JSON checker after RFC 8259, independent of the writer under test: no
// trailing commas, no raw control characters, escapes and numbers as the grammar says,
// valid UTF-8.

#include <QByteArray>

#include <cctype>
#include <cstddef>
#include <cstring>

namespace ZOZTest {

class StrictJson
{
public:
    static bool isValid(const QByteArray &text)
    {
        StrictJson parser(text);
        parser.skipSpace();
        if (!parser.value())
            return false;
        parser.skipSpace();
        return parser.m_pos == parser.m_size;
    }

private:
    explicit StrictJson(const QByteArray &text)
        : m_data(reinterpret_cast<const unsigned char *>(text.constData())), m_size(size_t(text.size()))
    {
    }

    int peek() const { return m_pos < m_size ? m_data[m_pos] : -1; }
    void skipSpace()
    {
        while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')
            ++m_pos;
    }
    bool literal(const char *word)
    {
        for (; *word; ++word, ++m_pos)
            if (peek() != *word)
                return false;
        return true;
    }
    bool value()
    {
        if (++m_depth > 200)
            return false;
        bool ok = false;
        switch (peek()) {
        case '{': ok = object(); break;
        case '[': ok = array(); break;
        case '"': ok = string(); break;
        case 't': ok = literal("true"); break;
        case 'f': ok = literal("false"); break;
        case 'n': ok = literal("null"); break;
        default: ok = number(); break;
        }
        --m_depth;
        return ok;
    }
    bool object()
    {
        ++m_pos;
        skipSpace();
        if (peek() == '}') {
            ++m_pos;
            return true;
        }
        for (;;) {
            skipSpace();
            if (!string())
                return false;
            skipSpace();
            if (peek() != ':')
                return false;
            ++m_pos;
            skipSpace();
            if (!value())
                return false;
            skipSpace();
            if (peek() == '}') {
                ++m_pos;
                return true;
            }
            if (peek() != ',')
                return false;
            ++m_pos;
        }
    }
    bool array()
    {
        ++m_pos;
        skipSpace();
        if (peek() == ']') {
            ++m_pos;
            return true;
        }
        for (;;) {
            skipSpace();
            if (!value())
                return false;
            skipSpace();
            if (peek() == ']') {
                ++m_pos;
                return true;
            }
            if (peek() != ',')
                return false;
            ++m_pos;
        }
    }
    bool string()
    {
        if (peek() != '"')
            return false;
        ++m_pos;
        for (;;) {
            const int c = peek();
            if (c < 0x20)
                return false;
            ++m_pos;
            if (c == '"')
                return true;
            if (c == '\\') {
                const int e = peek();
                ++m_pos;
                if (e == 'u') {
                    for (int i = 0; i < 4; ++i, ++m_pos)
                        if (!isxdigit(peek()))
                            return false;
                } else if (!e || !strchr("\"\\/bfnrt", e)) {
                    return false;
                }
            } else if (c >= 0x80 && !utf8Tail(c)) {
                return false;
            }
        }
    }
    bool utf8Tail(int lead)
    {
        int more = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : -1;
        if (more < 0 || lead > 0xF4)
            return false;
        for (; more > 0; --more, ++m_pos)
            if ((peek() & 0xC0) != 0x80)
                return false;
        return true;
    }
    bool digits()
    {
        const size_t start = m_pos;
        while (peek() >= '0' && peek() <= '9')
            ++m_pos;
        return m_pos > start;
    }
    bool number()
    {
        if (peek() == '-')
            ++m_pos;
        if (peek() == '0')
            ++m_pos;
        else if (!digits())
            return false;
        if (peek() == '.') {
            ++m_pos;
            if (!digits())
                return false;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++m_pos;
            if (peek() == '+' || peek() == '-')
                ++m_pos;
            if (!digits())
                return false;
        }
        return true;
    }

    const unsigned char *m_data;
    size_t m_size;
    size_t m_pos = 0;
    int m_depth = 0;
};

} // namespace ZOZTest
