#pragma once

#include "web/ZOZHtmlTemplate.h"

#include <QList>
#include <QPair>

namespace ZOZ {

// The settings a template reads at reset, load and processing, taken in one
// go so that the engine also runs without a settings object.
struct TemplateSettings
{
    QString styleRoot = QStringLiteral("style/");
    QString theme;
    bool minifyFiles = false;
    bool noTemplateCache = false;
    bool showTemplateInstructions = false;
    int pageRefreshTime = 1000;
    bool hasAudioService = true;
    QString windowTitle;
    QString uiTitle;
    // Config options in ascending id: tag and value.
    QList<QPair<QString, int>> configOptions;

    static TemplateSettings current();
};

class HtmlTemplatePrivate
{
public:
    bool dirty = false;
    bool reloadNeeded = false;
    QString templateName;
    QString raw;
    QString working;
    QByteArray rendered;
    QVector<TemplateVariable> replaceStack;
    QVector<TemplateVariable> variables;
    int filesRead = 0;
    bool includeRefused = false;
};

// Include chains deeper than this are cut: a file that includes itself would
// otherwise recurse without end.
constexpr int MaxIncludeDepth = 16;
// A file that includes itself twice doubles at every level; this bounds the
// files one load reads.
constexpr int MaxFilesPerLoad = 512;

const TemplateContext &templateContext();

} // namespace ZOZ
