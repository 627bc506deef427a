#include "web/ZOZHtmlTemplatePrivate.h"

#include "base/ZOZLog.h"
#include "web/ZOZMinifier.h"
#include "web/ZOZResourcePath.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <atomic>
#include <utility>

namespace ZOZ {

namespace {

class DefaultTemplateContext final : public TemplateContext
{
public:
    QString applicationFullName() const override { return QCoreApplication::applicationName(); }
    QString applicationName() const override { return QCoreApplication::applicationName(); }
    QString language() const override { return QStringLiteral("en"); }
    QString serverId() const override { return QString(); }
};

std::atomic<const TemplateContext *> s_context{nullptr};

const QRegularExpression &replaceDirective()
{
    static const QRegularExpression pattern(QStringLiteral("<!-- #replace \"([^\"]*)\":\"([^\"]*)\" -->"));
    return pattern;
}

const QRegularExpression &includeDirective()
{
    static const QRegularExpression pattern(QStringLiteral("<!-- #include \"([^\"]*)\" -->"));
    return pattern;
}

void removeLeadingWhiteSpace(QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    text.remove(0, i);
}

} // namespace

TemplateContext::~TemplateContext() = default;

const TemplateContext &templateContext()
{
    static const DefaultTemplateContext fallback;
    const TemplateContext *context = s_context.load(std::memory_order_acquire);
    return context ? *context : fallback;
}

void HtmlTemplate::setContext(const TemplateContext *context)
{
    s_context.store(context, std::memory_order_release);
}

const TemplateContext &HtmlTemplate::context()
{
    return templateContext();
}

HtmlTemplate::HtmlTemplate(const QString &templateName) : d(new HtmlTemplatePrivate)
{
    load(templateName);
}

HtmlTemplate::~HtmlTemplate()
{
    delete d;
}

QString HtmlTemplate::templateName() const
{
    return d->templateName;
}

const QVector<TemplateVariable> &HtmlTemplate::variables() const
{
    return d->variables;
}

void HtmlTemplate::setReloadNeeded()
{
    d->reloadNeeded = true;
}

bool HtmlTemplate::load(const QString &templateName)
{
    if (templateName.isEmpty() || templateName.at(0) != QLatin1Char('/'))
        return false;
    if (templateName != d->templateName) {
        d->templateName = templateName;
        ZOZ_LOG(LogSource::Template,
                QStringLiteral("HtmlTemplate::load() (templateName: '%1')").arg(templateName));
    }
    d->filesRead = 0;
    d->includeRefused = false;
    d->working = loadTemplateContent(templateName, true);
    d->dirty = true;
    if (d->working.isEmpty())
        return false;
    d->raw = d->working;
    return true;
}

QString HtmlTemplate::loadTemplateContent(QString name, bool topLevel, int depth)
{
    if (depth > MaxIncludeDepth || d->filesRead >= MaxFilesPerLoad) {
        // One line per load is enough to find the faulty template.
        if (std::exchange(d->includeRefused, true))
            return QString();
        ZOZ_LOG(LogSource::Template | LogFlag::Warning,
                QStringLiteral("HtmlTemplate::loadTemplateContent() -> warning: include of '%1' left out (deeper than %2 "
                               "levels or more than %3 files)")
                    .arg(name)
                    .arg(MaxIncludeDepth)
                    .arg(MaxFilesPerLoad));
        return QString();
    }
    ++d->filesRead;
    if (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);

    const TemplateSettings settings = TemplateSettings::current();
    const QString path = resolveResourcePath(settings.styleRoot, settings.theme, name);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        if (topLevel) {
            ZOZ_LOG(LogSource::Template | LogFlag::Error,
                    QStringLiteral("HtmlTemplate::loadTemplateContent() -> error: could not open file for read '%1'")
                        .arg(path));
        }
        return QString();
    }
    QByteArray bytes = file.readAll();
    const QDateTime modified = QFileInfo(file).lastModified();
    file.close();
    minifyResource(path, modified, bytes, settings.minifyFiles, settings.styleRoot);
    QString text = QString::fromUtf8(bytes);

    const qsizetype stackDepth = d->replaceStack.size();
    for (QRegularExpressionMatch match = replaceDirective().match(text); match.hasMatch();
         match = replaceDirective().match(text, match.capturedStart())) {
        d->replaceStack.append(TemplateVariable(match.captured(1), match.captured(2)));
        text.remove(match.capturedStart(), match.capturedLength());
    }

    // An included file is complete when it comes back, so the search goes on
    // behind it rather than through it again.
    for (QRegularExpressionMatch match = includeDirective().match(text); match.hasMatch();) {
        const QString included = loadTemplateContent(match.captured(1), false, depth + 1);
        text.replace(match.capturedStart(), match.capturedLength(), included);
        match = includeDirective().match(text, match.capturedStart() + included.size());
    }

    // The entry pushed last is applied first; an enclosing file's entries stay
    // on the stack for the rest of that file.
    for (qsizetype i = d->replaceStack.size() - 1; i >= 0; --i) {
        const TemplateVariable entry = d->replaceStack.at(i);
        applyField(text, entry.name, entry);
        if (i >= stackDepth)
            d->replaceStack.removeAt(i);
    }

    removeLeadingWhiteSpace(text);
    return text;
}

void HtmlTemplate::reset()
{
    d->variables.clear();
    if (!d->reloadNeeded && !TemplateSettings::current().noTemplateCache) {
        d->working = d->raw;
        d->dirty = true;
        return;
    }
    if (load(d->templateName)) {
        d->reloadNeeded = false;
    } else {
        d->working = d->raw;
        d->dirty = true;
    }
}

const QByteArray &HtmlTemplate::render()
{
    process();
    return d->rendered;
}

} // namespace ZOZ
