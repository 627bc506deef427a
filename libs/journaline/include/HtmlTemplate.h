// HtmlTemplate: the page template engine of the Journaline renderer. A
// template is read from the style folders on disk or from the renderer's
// built-in files, its include and replace directives are expanded once at
// load, and pages are produced by reset, set and render, repeatedly.
//
// Language: "{NAME}" is replaced by a value; "<if NAME>...</if NAME>" keeps
// its content when NAME is true (set, not empty, not "false"), "<ifnot
// NAME>...</ifnot NAME>" when it is not; "<!-- begin:NAME -->...<!-- end:NAME
// -->" repeats its body per row of a list variable. Values are inserted as
// given: producers escape them for where they go.
#ifndef ZOZ_HTML_TEMPLATE_H
#define ZOZ_HTML_TEMPLATE_H

#include <cstdint>
#include <string>
#include <vector>

struct HtmlTemplateVariable {
    std::string name;
    std::string value;
    int list = 0; // 0 scalar, 1 list
    std::vector<std::vector<HtmlTemplateVariable>> rows;

    HtmlTemplateVariable() = default;
    HtmlTemplateVariable(std::string name, std::string value);
    HtmlTemplateVariable(std::string name, const char *value);
    HtmlTemplateVariable(std::string name, int value);
    HtmlTemplateVariable(std::string name, unsigned value);
    HtmlTemplateVariable(std::string name, int64_t value);
    HtmlTemplateVariable(std::string name, bool value);
    HtmlTemplateVariable(std::string name, std::vector<std::vector<HtmlTemplateVariable>> rows);
};

using HtmlTemplateRow = std::vector<HtmlTemplateVariable>;

class HtmlTemplate {
public:
    // Folders get a trailing "/" when they lack one; the template is loaded.
    HtmlTemplate(const std::string &name, const std::string &firstFolder, const std::string &secondFolder);
    virtual ~HtmlTemplate();

    // False for a name without a leading "/" or for empty content.
    bool load(const std::string &name);
    // Forgets every variable; restores the loaded content, or reads the file
    // again with `reload`.
    void reset(bool reload);

    // With a null target the variable is recorded and applied to the page;
    // otherwise it is applied to `target` only.
    void setVariable(const std::string &name, const std::string &value, std::string *target = nullptr);
    void setNumber(const std::string &name, int64_t value, std::string *target = nullptr);
    void setBool(const std::string &name, bool value, std::string *target = nullptr);
    void setText(const std::string &name, const char *value, std::string *target = nullptr);
    void setList(const std::string &name, const std::vector<HtmlTemplateRow> &rows, std::string *target = nullptr);
    // Sets a scalar or a list variable by its kind.
    void set(const HtmlTemplateVariable &variable, std::string *target = nullptr);

    // Resolves what is left unset and returns the page; with instructions a
    // table of every recorded variable is put into a copy.
    std::string render(bool withInstructions);

    const std::string &name() const { return m_name; }
    const std::vector<HtmlTemplateVariable> &variables() const { return m_variables; }

    // The content of a template or resource file by the lookup order: the
    // two folders on disk, then the built-in files under "jourc/". Empty
    // when there is none.
    static std::string fileContent(const std::string &name, const std::string &firstFolder,
                                   const std::string &secondFolder);

private:
    std::string expandDirectives(const std::string &content, int depth);
    void applyScalar(const std::string &name, const std::string &value, std::string &content);
    void applyList(const std::string &name, const std::vector<HtmlTemplateRow> &rows, std::string &content);
    void record(const HtmlTemplateVariable &variable);

    bool m_changed = false;
    std::string m_firstFolder;
    std::string m_secondFolder;
    std::string m_name;
    std::string m_raw;
    std::string m_content;
    std::vector<HtmlTemplateVariable> m_variables;
    std::vector<HtmlTemplateVariable> m_loopVariables;
};

#endif
