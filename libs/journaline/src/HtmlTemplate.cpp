#include "HtmlTemplate.h"

#include "NSJRenderer.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

namespace {

// Includes that include each other would otherwise never end.
constexpr int MaxIncludeDepth = 8;

bool isTrue(const std::string &value)
{
    return !value.empty() && value != "false";
}

std::string withSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

bool readFile(const std::string &path, std::string &content)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

void replaceAll(std::string &content, const std::string &what, const std::string &with)
{
    if (what.empty())
        return;
    for (size_t at = content.find(what); at != std::string::npos; at = content.find(what, at + with.size()))
        content.replace(at, what.size(), with);
}

// The block at `at` (opening tag of `openLength`, closing tag at `end`):
// its content stays with the tags removed, or the whole block goes.
void resolveBlock(std::string &content, size_t at, size_t openLength, size_t end, size_t closeLength, bool keep)
{
    if (keep) {
        content.erase(end, closeLength);
        content.erase(at, openLength);
    } else {
        content.erase(at, end + closeLength - at);
    }
}

// Resolves every block from `open` to the first following `close`: the
// content stays (tags removed) when `keep`, else the block goes.
void resolveBlocks(std::string &content, const std::string &open, const std::string &close, bool keep)
{
    size_t at = 0;
    while ((at = content.find(open, at)) != std::string::npos) {
        const size_t end = content.find(close, at + open.size());
        if (end == std::string::npos) {
            at += open.size();
            continue;
        }
        resolveBlock(content, at, open.size(), end, close.size(), keep);
    }
}

// A directive "<!-- #KEYWORD "A"... -->" at `at`: the quoted texts, or
// nothing when it is malformed. `length` receives the directive's length.
bool parseDirective(const std::string &content, size_t at, const std::string &keyword, int quotedCount,
                    std::vector<std::string> &texts, size_t &length)
{
    const std::string start = "<!-- #" + keyword + " \"";
    if (content.compare(at, start.size(), start) != 0)
        return false;
    size_t pos = at + start.size();
    texts.clear();
    for (int i = 0; i < quotedCount; ++i) {
        const size_t quote = content.find('"', pos);
        if (quote == std::string::npos)
            return false;
        const std::string text = content.substr(pos, quote - pos);
        if (text.find('\n') != std::string::npos)
            return false;
        texts.push_back(text);
        pos = quote + 1;
        if (i + 1 < quotedCount) {
            if (content.compare(pos, 2, ":\"") != 0)
                return false;
            pos += 2;
        }
    }
    if (content.compare(pos, 4, " -->") != 0)
        return false;
    length = pos + 4 - at;
    return true;
}

// A whitespace run holding line breaks keeps one break and what follows
// the last of them (the indentation of the next line).
std::string collapseRun(const std::string &run)
{
    return "\n" + run.substr(run.rfind('\n') + 1);
}

std::string escapeForTable(const std::string &text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

void instructionRows(const std::vector<HtmlTemplateVariable> &variables, std::string &out)
{
    for (const HtmlTemplateVariable &variable : variables) {
        out += "<tr><th>" + escapeForTable(variable.name) + "</th><td>:</td><td>";
        if (variable.list) {
            out += "<table class='template-instructions'>\n";
            for (const HtmlTemplateRow &row : variable.rows)
                instructionRows(row, out);
            out += "</table>\n";
        } else {
            out += variable.value.empty() ? std::string("EMPTY") : escapeForTable(variable.value);
        }
        out += "</td></tr>\n";
    }
}

} // namespace

HtmlTemplateVariable::HtmlTemplateVariable(std::string name, std::string value)
    : name(std::move(name)), value(std::move(value)) {}
HtmlTemplateVariable::HtmlTemplateVariable(std::string name, const char *value)
    : name(std::move(name)), value(value ? value : "") {}
HtmlTemplateVariable::HtmlTemplateVariable(std::string name, int value)
    : name(std::move(name)), value(std::to_string(value)) {}
HtmlTemplateVariable::HtmlTemplateVariable(std::string name, unsigned value)
    : name(std::move(name)), value(std::to_string(value)) {}
HtmlTemplateVariable::HtmlTemplateVariable(std::string name, int64_t value)
    : name(std::move(name)), value(std::to_string(value)) {}
HtmlTemplateVariable::HtmlTemplateVariable(std::string name, bool value)
    : name(std::move(name)), value(value ? "true" : "false") {}
HtmlTemplateVariable::HtmlTemplateVariable(std::string name, std::vector<std::vector<HtmlTemplateVariable>> rows)
    : name(std::move(name)), list(1), rows(std::move(rows)) {}

HtmlTemplate::HtmlTemplate(const std::string &name, const std::string &firstFolder, const std::string &secondFolder)
    : m_firstFolder(withSlash(firstFolder)), m_secondFolder(withSlash(secondFolder))
{
    load(name);
}

HtmlTemplate::~HtmlTemplate() = default;

std::string HtmlTemplate::fileContent(const std::string &name, const std::string &firstFolder,
                                      const std::string &secondFolder)
{
    const std::string bare = !name.empty() && name.front() == '/' ? name.substr(1) : name;
    const std::string first = withSlash(firstFolder);
    const std::string second = withSlash(secondFolder);
    std::string content;
    if (readFile(first + second + bare, content) || readFile(first + bare, content))
        return content;
    const std::string builtIn = bare.find("jourc/") != std::string::npos ? bare : "jourc/" + bare;
    if (const NSJRenderer::BuiltInFile *file = NSJRenderer::builtInFile(builtIn))
        return std::string(reinterpret_cast<const char *>(file->content), file->size);
    return {};
}

bool HtmlTemplate::load(const std::string &name)
{
    m_name = name;
    m_changed = true;
    m_raw.clear();
    m_content.clear();
    if (name.empty() || name.front() != '/')
        return false;
    const size_t recorded = m_variables.size();
    m_raw = expandDirectives(fileContent(name, m_firstFolder, m_secondFolder), 0);
    for (size_t i = m_variables.size(); i-- > 0;) {
        if (m_variables[i].list)
            applyList(m_variables[i].name, m_variables[i].rows, m_raw);
        else
            applyScalar(m_variables[i].name, m_variables[i].value, m_raw);
    }
    m_variables.resize(recorded);
    m_content = m_raw;
    return !m_raw.empty();
}

std::string HtmlTemplate::expandDirectives(const std::string &content, int depth)
{
    std::string out;
    std::vector<std::string> texts;
    size_t pos = 0;
    while (pos < content.size()) {
        const size_t at = content.find("<!-- #", pos);
        if (at == std::string::npos)
            break;
        out.append(content, pos, at - pos);
        size_t length = 0;
        if (parseDirective(content, at, "replace", 2, texts, length)) {
            m_variables.emplace_back(texts[0], texts[1]);
        } else if (parseDirective(content, at, "include", 1, texts, length)) {
            if (depth < MaxIncludeDepth)
                out += expandDirectives(fileContent(texts[0], m_firstFolder, m_secondFolder), depth + 1);
        } else {
            length = 6;
            out.append(content, at, length);
        }
        pos = at + length;
    }
    if (pos < content.size())
        out.append(content, pos, std::string::npos);
    return out;
}

void HtmlTemplate::reset(bool reload)
{
    m_variables.clear();
    m_loopVariables.clear();
    if (reload) {
        load(m_name);
        return;
    }
    m_content = m_raw;
    m_changed = true;
}

void HtmlTemplate::record(const HtmlTemplateVariable &variable)
{
    for (HtmlTemplateVariable &known : m_variables) {
        if (known.name == variable.name) {
            known = variable;
            return;
        }
    }
    m_variables.push_back(variable);
}

void HtmlTemplate::applyScalar(const std::string &name, const std::string &value, std::string &content)
{
    if (name.empty())
        return;
    const bool truth = isTrue(value);
    resolveBlocks(content, "<if " + name + ">", "</if " + name + ">", truth);
    resolveBlocks(content, "<ifnot " + name + ">", "</ifnot " + name + ">", !truth);
    replaceAll(content, "{" + name + "}", value);
}

void HtmlTemplate::applyList(const std::string &name, const std::vector<HtmlTemplateRow> &rows, std::string &content)
{
    if (name.empty())
        return;
    applyScalar(name, rows.empty() ? "false" : "true", content);
    const std::string begin = "<!-- begin:" + name + " -->";
    const std::string end = "<!-- end:" + name + " -->";
    size_t at = 0;
    while ((at = content.find(begin, at)) != std::string::npos) {
        const size_t close = content.find(end, at + begin.size());
        if (close == std::string::npos) {
            content.erase(at, begin.size());
            continue;
        }
        const std::string body = content.substr(at + begin.size(), close - at - begin.size());
        std::string copies;
        for (size_t index = 0; index < rows.size(); ++index) {
            std::string copy = body;
            for (const HtmlTemplateVariable &field : rows[index]) {
                if (field.list)
                    applyList(field.name, field.rows, copy);
                else
                    applyScalar(field.name, field.value, copy);
            }
            applyScalar(name + ":__INDEX__", std::to_string(index), copy);
            applyScalar(name + ":__INDEX+ONE__", std::to_string(index + 1), copy);
            applyScalar(name + ":__FIRST_ITEM__", index == 0 ? "true" : "false", copy);
            applyScalar(name + ":__LAST_ITEM__", index + 1 == rows.size() ? "true" : "false", copy);
            copies += copy;
        }
        content.replace(at, close + end.size() - at, copies);
        at += copies.size();
    }
}

void HtmlTemplate::setVariable(const std::string &name, const std::string &value, std::string *target)
{
    if (name.empty())
        return;
    if (!target) {
        record(HtmlTemplateVariable(name, value));
        m_changed = true;
    }
    applyScalar(name, value, target ? *target : m_content);
}

void HtmlTemplate::setNumber(const std::string &name, int64_t value, std::string *target)
{
    setVariable(name, std::to_string(value), target);
}

void HtmlTemplate::setBool(const std::string &name, bool value, std::string *target)
{
    setVariable(name, value ? "true" : "false", target);
}

void HtmlTemplate::setText(const std::string &name, const char *value, std::string *target)
{
    setVariable(name, value ? value : "", target);
}

void HtmlTemplate::setList(const std::string &name, const std::vector<HtmlTemplateRow> &rows, std::string *target)
{
    if (name.empty())
        return;
    if (!target) {
        record(HtmlTemplateVariable(name, rows));
        m_changed = true;
    }
    applyList(name, rows, target ? *target : m_content);
}

void HtmlTemplate::set(const HtmlTemplateVariable &variable, std::string *target)
{
    if (variable.list)
        setList(variable.name, variable.rows, target);
    else
        setVariable(variable.name, variable.value, target);
}

std::string HtmlTemplate::render(bool withInstructions)
{
    if (m_changed) {
        m_changed = false;
        // Whatever was never set counts as false.
        for (size_t at = 0; (at = m_content.find("<if", at)) != std::string::npos;) {
            const bool negated = m_content.compare(at, 6, "<ifnot") == 0;
            const size_t nameStart = at + (negated ? 6 : 3);
            const size_t close = m_content.find('>', nameStart);
            if (nameStart >= m_content.size() || m_content[nameStart] != ' ' || close == std::string::npos) {
                at += 3;
                continue;
            }
            const std::string open = m_content.substr(at, close + 1 - at);
            const std::string end = std::string(negated ? "</ifnot" : "</if") + m_content.substr(nameStart, close + 1 - nameStart);
            const size_t endAt = m_content.find(end, close + 1);
            if (endAt == std::string::npos) {
                at = close + 1;
                continue;
            }
            resolveBlock(m_content, at, open.size(), endAt, end.size(), negated);
        }
        std::string collapsed;
        collapsed.reserve(m_content.size());
        size_t runStart = std::string::npos;
        for (size_t i = 0; i < m_content.size(); ++i) {
            const char c = m_content[i];
            const bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
            if (space) {
                if (runStart == std::string::npos)
                    runStart = i;
                continue;
            }
            if (runStart != std::string::npos) {
                const std::string run = m_content.substr(runStart, i - runStart);
                collapsed += run.find('\n') != std::string::npos ? collapseRun(run) : run;
                runStart = std::string::npos;
            }
            collapsed += c;
        }
        if (runStart != std::string::npos) {
            const std::string run = m_content.substr(runStart);
            collapsed += run.find('\n') != std::string::npos ? collapseRun(run) : run;
        }
        m_content = std::move(collapsed);
    }
    if (!withInstructions)
        return m_content;
    std::string page = m_content;
    const std::string style = "<style>table.template-instructions { border-collapse: collapse; font: 12px monospace; }"
                              " table.template-instructions th, table.template-instructions td"
                              " { border: 1px solid #888; padding: 2px 4px; text-align: left; }</style>\n";
    const size_t head = page.find("<head>");
    if (head != std::string::npos)
        page.insert(head + 6, style);
    std::string table = "<center><table class='template-instructions'>\n";
    instructionRows(m_variables, table);
    table += "</table></center>\n";
    const std::string placeholder = "<!-- #TEMPLATE_INSTRUCTIONS -->";
    const size_t at = page.find(placeholder);
    if (at != std::string::npos) {
        page.replace(at, placeholder.size(), table);
    } else {
        const size_t body = page.find("<body>");
        if (body != std::string::npos)
            page.insert(body + 6, table);
    }
    return page;
}
