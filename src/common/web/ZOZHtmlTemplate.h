#pragma once

#include "web/ZOZTemplateVariable.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace ZOZ {

class TemplateValue;
class HtmlTemplatePrivate;

// What a page needs to know about the running program beyond the settings:
// the application's names, the current language and the server id that pages
// append to their style sheet links. The application installs one; without
// it the toolkit's application name and "en" are used.
class TemplateContext
{
public:
    virtual ~TemplateContext();
    virtual QString applicationFullName() const = 0;
    virtual QString applicationName() const = 0;
    virtual QString language() const = 0;
    virtual QString serverId() const = 0;
};

// One HTML page template. Loading expands the file's own #include and
// #replace directives once and keeps the result; each request then resets
// the working text, fills variables (each setter edits the text at once) and
// renders. No lock of its own: the owner serializes reset, setters and render.
class HtmlTemplate
{
public:
    explicit HtmlTemplate(const QString &templateName);
    virtual ~HtmlTemplate();

    HtmlTemplate(const HtmlTemplate &) = delete;
    HtmlTemplate &operator=(const HtmlTemplate &) = delete;

    // The context is process-wide and not owned; null restores the default.
    static void setContext(const TemplateContext *context);
    // The installed context, or the default one.
    static const TemplateContext &context();

    bool load(const QString &templateName);
    void reset();
    void setReloadNeeded();
    QString templateName() const;
    const QByteArray &render();
    QString process();

    // With a target only that text is edited and nothing is recorded.
    void setVariable(const QString &name, const QString &value, QString *target = nullptr);
    // A text from outside (a label, a configured title): escaped for where each
    // placeholder stands, HTML text, attribute value or JSON data. The other
    // setters insert values as they are.
    void setTextVariable(const QString &name, const QString &value, QString *target = nullptr);
    void setVariable(const QString &name, const char *value, QString *target = nullptr);
    void setVariable(const QString &name, bool value, QString *target = nullptr);
    void setVariable(const QString &name, quint8 value, QString *target = nullptr);
    void setVariable(const QString &name, int value, QString *target = nullptr);
    void setVariable(const QString &name, unsigned int value, QString *target = nullptr);
    void setVariable(const QString &name, float value, QString *target = nullptr);
    void expandLoops(const QString &name, const TemplateVariable::Rows &rows, QString *target = nullptr);
    void setRecord(const QString &name, const TemplateVariable::Row &fields, QString *target = nullptr);

    TemplateValue toValueTree(const QString &name) const;
    QString instructionsRow(const TemplateVariable &record) const;

    // Recorded variables since the last reset, in call order.
    const QVector<TemplateVariable> &variables() const;

private:
    QString loadTemplateContent(QString name, bool topLevel, int depth = 0);
    void applyField(QString &text, const QString &fullName, const TemplateVariable &field);
    const TemplateVariable *recordedVariable(const QString &name) const;
    // The JSON a "#json" directive declares for the list of that name.
    QString listJson(const QString &name) const;

    HtmlTemplatePrivate *d;
};

} // namespace ZOZ
