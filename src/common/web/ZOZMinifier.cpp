#include "web/ZOZMinifier.h"

#include <cctype>

namespace ZOZ {

namespace {

constexpr int EndOfInput = -1;

// Byte input shared by both minifiers: one byte of look-ahead, carriage return read
// as line feed, other control bytes read as blank.
class MinifierInput
{
public:
    explicit MinifierInput(const QByteArray &in) : m_in(in) {}

    int raw()
    {
        if (m_lookAhead != NoLookAhead) {
            const int c = m_lookAhead;
            m_lookAhead = NoLookAhead;
            return c;
        }
        if (m_position >= m_in.size())
            return EndOfInput;
        return static_cast<unsigned char>(m_in.at(m_position++));
    }

    int get() { return normalize(raw()); }

    int peek()
    {
        if (m_lookAhead == NoLookAhead)
            m_lookAhead = raw();
        return normalize(m_lookAhead);
    }

    int peekRaw()
    {
        if (m_lookAhead == NoLookAhead)
            m_lookAhead = raw();
        return m_lookAhead;
    }

private:
    static int normalize(int c)
    {
        if (c == EndOfInput || c == '\n' || c >= ' ')
            return c;
        return c == '\r' ? '\n' : ' ';
    }

    static constexpr int NoLookAhead = -2;
    const QByteArray &m_in;
    qsizetype m_position = 0;
    int m_lookAhead = NoLookAhead;
};

bool isAlphanumeric(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '_'
        || c == '$' || c == '\\' || c > 126;
}

// The JSMin algorithm over tokens: a token is one byte, or a whole preserved "/*!"
// comment, kept as text beside the marker value.
class ScriptMinifier
{
public:
    explicit ScriptMinifier(const QByteArray &in) : m_input(in) {}

    bool run(QByteArray &out)
    {
        m_a = '\n';
        if (!action(3))
            return false;
        while (m_a != EndOfInput) {
            if (!step())
                return false;
        }
        out = m_out;
        return !out.isEmpty();
    }

private:
    static constexpr int PreservedComment = -3;

    bool step()
    {
        switch (m_a) {
        case ' ':
            return action(isAlphanumeric(m_b) ? 1 : 2);
        case '\n':
            switch (m_b) {
            case '{': case '[': case '(': case '+': case '-':
                return action(1);
            case ' ':
                return action(3);
            default:
                return action(isAlphanumeric(m_b) ? 1 : 2);
            }
        default:
            if (m_b == ' ' || m_b == '\n') {
                // A line break after these may end a statement without a semicolon;
                // dropping it would join two statements into one broken one.
                if (m_b == '\n' && isStatementEnd(m_a))
                    return action(1);
                return action(isAlphanumeric(m_a) ? 1 : 3);
            }
            return action(1);
        }
    }

    static bool isStatementEnd(int c)
    {
        return c == '}' || c == ']' || c == ')' || c == '+' || c == '-' || c == '"' || c == '\'';
    }

    void put(int c)
    {
        if (c == PreservedComment)
            m_out += m_aComment;
        else
            m_out += char(c);
    }

    bool action(int kind)
    {
        if (kind == 1)
            put(m_a);
        if (kind <= 2) {
            m_a = m_b;
            m_aComment = m_bComment;
            if ((m_a == '\'' || m_a == '"') && !copyString())
                return false;
        }
        return nextB();
    }

    bool copyString()
    {
        const int quote = m_a;
        for (;;) {
            put(m_a);
            m_a = m_input.get();
            if (m_a == quote)
                return true;
            if (m_a == '\\') {
                const int escaped = m_input.raw();
                if (escaped == '\n' || (escaped == '\r' && m_input.peekRaw() == '\n')) {
                    // A line continuation: drop it and the indentation of the next line.
                    if (escaped == '\r')
                        m_input.raw();
                    while (m_input.peek() == ' ')
                        m_input.get();
                    m_a = m_input.get();
                    if (m_a == quote)
                        return true;
                    if (m_a == '\n' || m_a == EndOfInput)
                        return false;
                    if (m_a == '\\') {
                        put(m_a);
                        m_a = m_input.raw();
                        if (m_a == EndOfInput)
                            return false;
                    }
                    continue;
                }
                if (escaped == EndOfInput)
                    return false;
                put('\\');
                m_a = escaped;
                continue;
            }
            if (m_a == '\n' || m_a == EndOfInput)
                return false;
        }
    }

    bool nextB()
    {
        if (!nextToken(m_b, m_bComment))
            return false;
        if (m_b == '/'
            && (m_a == '(' || m_a == ',' || m_a == '=' || m_a == ':' || m_a == '[' || m_a == '!'
                || m_a == '&' || m_a == '|')) {
            put(m_a);
            put(m_b);
            for (;;) {
                int c = m_input.get();
                if (c == '/')
                    break;
                if (c == '\\') {
                    put(c);
                    c = m_input.get();
                    if (c == EndOfInput)
                        return false;
                } else if (c == '\n' || c == EndOfInput) {
                    return false;
                }
                put(c);
            }
            m_a = '/';
            return nextToken(m_b, m_bComment);
        }
        return true;
    }

    bool nextToken(int &token, QByteArray &comment)
    {
        comment.clear();
        const int c = m_input.get();
        if (c != '/') {
            token = c;
            return true;
        }
        const int following = m_input.peek();
        if (following == '/') {
            for (;;) {
                const int skipped = m_input.get();
                if (skipped == '\n' || skipped == EndOfInput) {
                    token = skipped;
                    return true;
                }
            }
        }
        if (following != '*') {
            token = '/';
            return true;
        }
        m_input.get();
        const bool preserved = m_input.peek() == '!';
        if (preserved)
            comment = "/*";
        for (;;) {
            const int skipped = preserved ? m_input.raw() : m_input.get();
            if (skipped == EndOfInput)
                return false;
            if (preserved)
                comment += char(skipped);
            if (skipped == '*' && m_input.peek() == '/') {
                m_input.get();
                if (preserved) {
                    comment += '/';
                    token = PreservedComment;
                } else {
                    token = ' ';
                }
                return true;
            }
        }
    }

    MinifierInput m_input;
    QByteArray m_out;
    int m_a = '\n';
    int m_b = EndOfInput;
    QByteArray m_aComment;
    QByteArray m_bComment;
};

bool isLetter(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

bool isNamePart(int c)
{
    return isLetter(c) || isDigit(c) || c == '_' || c == '-' || c == '.' || c == '/' || c == '#' || c == '%'
        || c == '\\' || c > 126;
}

bool isPunctuation(int c)
{
    return c >= 0 && c < 128 && std::ispunct(c);
}

// White space, comments and runs of both are one separator, kept as one blank only
// where the bytes around it would otherwise merge.
void separate(MinifierInput &input, int previous, bool inBlock, QByteArray &result)
{
    while (input.peek() == ' ' || input.peek() == '\n')
        input.get();
    const int next = input.peek();
    if (next == EndOfInput || (!result.isEmpty() && result.back() == ' '))
        return;
    const bool keep = (isLetter(previous) && (isLetter(next) || isDigit(next) || next == '"' || next == '.'))
        || (previous == '"' && !isPunctuation(next)) || (!inBlock && next == ':') || isDigit(previous)
        || next == '*' || previous == '*';
    if (keep)
        result += ' ';
}

} // namespace

bool minifyScript(const QByteArray &in, QByteArray &out)
{
    ScriptMinifier minifier(in);
    return minifier.run(out);
}

bool minifyStyleSheet(const QByteArray &in, QByteArray &out)
{
    MinifierInput input(in);
    QByteArray result;
    result.reserve(in.size());
    int previous = EndOfInput;
    bool inBlock = false;
    for (;;) {
        int c = input.get();
        switch (c) {
        case EndOfInput:
            out = result;
            return !out.isEmpty();
        case ' ':
        case '\n':
            separate(input, previous, inBlock, result);
            continue;
        case '"':
        case '\'': {
            const int quote = c;
            result += char(c);
            for (;;) {
                int s = input.get();
                if (s == EndOfInput)
                    return false;
                if (s == '\\') {
                    // An escaped quote does not end the string.
                    result += char(s);
                    s = input.get();
                    if (s == EndOfInput)
                        return false;
                    result += char(s);
                    continue;
                }
                result += char(s);
                if (s == quote)
                    break;
            }
            break;
        }
        case '/':
            if (input.peek() == '*') {
                input.get();
                for (;;) {
                    const int skipped = input.get();
                    if (skipped == EndOfInput)
                        return false;
                    if (skipped == '*' && input.peek() == '/') {
                        input.get();
                        break;
                    }
                }
                // A comment separates like white space: "a/**/b" must not become "ab".
                separate(input, previous, inBlock, result);
                continue;
            }
            result += char(c);
            break;
        case '0':
            // "0.5" may lose its zero, but a zero inside a name ("logo0.png") may not.
            if (input.peek() != '.' || isNamePart(previous))
                result += char(c);
            break;
        case '{':
            result += char(c);
            inBlock = true;
            break;
        case '}':
            result += char(c);
            inBlock = false;
            break;
        default:
            result += char(c);
            break;
        }
        previous = c;
    }
}

} // namespace ZOZ
