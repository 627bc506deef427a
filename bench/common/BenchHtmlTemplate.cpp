// Rendering a service list page: a 500-row list with a handful of fields per
// row, conditions inside the rows and (second argument 1) a #json copy of the
// list. Target: under 3 ms per render.

#include "settings/ZOZSettings.h"
#include "web/ZOZHtmlTemplate.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace ZOZ;

namespace {

const QByteArray Page = R"(<!DOCTYPE html>
<html lang="{LANGUAGE}">
<head>
  <title>{ZOZ_APP_TITLE}</title>
  <link rel="stylesheet" href="css/main.css?{ZOZ_SERVER_ID}">
</head>
<body>
  <!-- the list of services -->
  <ul class="services">
  <!-- begin:SERVICES -->
    <li id="s{SERVICES:__INDEX__}" class="service<if SERVICES:selected> playing</if SERVICES:selected>">
      <if SERVICES:logo><img src="{SERVICES:logo}" alt=""></if SERVICES:logo>
      <span class="label">{SERVICES:label}</span>
      <span class="ensemble">{SERVICES:ensemble}</span>
      <ifnot SERVICES:favourite><button class="star">&#9734;</button></ifnot SERVICES:favourite>
      <if SERVICES:__LAST_ITEM__><span class="last"></span></if SERVICES:__LAST_ITEM__>
    </li>
  <!-- end:SERVICES -->
  </ul>
  <script><!-- #json SERVICES as services --></script>
</body>
</html>
)";

TemplateVariable::Rows serviceRows(int count)
{
    TemplateVariable::Rows rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        rows.append({
            TemplateVariable(QStringLiteral("id"), unsigned(0xE0D000 + i)),
            TemplateVariable(QStringLiteral("label"), QStringLiteral("Service <%1> & \"friends\"").arg(i), true),
            TemplateVariable(QStringLiteral("ensemble"), QStringLiteral("Ensemble %1").arg(i / 20), true),
            TemplateVariable(QStringLiteral("logo"), i % 3 ? QStringLiteral("logos/%1.png").arg(i) : QString()),
            TemplateVariable(QStringLiteral("selected"), i == 7),
            TemplateVariable(QStringLiteral("favourite"), i % 5 == 0),
        });
    }
    return rows;
}

void renderServiceList(benchmark::State &state)
{
    // The templates are found under the style folder of the settings only.
    QTemporaryDir folder;
    const QByteArray previousHome = qgetenv("HOME");
    qputenv("HOME", folder.path().toLocal8Bit());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path() + QStringLiteral("/.config"));
    Settings::create()->setHasGraphicalUI(false);
    Settings::instance()->setStyleRootPath(folder.path() + QStringLiteral("/style/"));
    QDir(folder.path()).mkpath(QStringLiteral("style/templates"));
    {
        QFile file(folder.path() + QStringLiteral("/style/templates/services.html"));
        if (!file.open(QIODevice::WriteOnly)) {
            state.SkipWithError("cannot write the template");
            Settings::destroy();
            qputenv("HOME", previousHome);
            return;
        }
        QByteArray page = Page;
        if (state.range(1) == 0)
            page.replace("<!-- #json SERVICES as services -->", "");
        file.write(page);
    }
    HtmlTemplate page(QStringLiteral("/templates/services.html"));
    const TemplateVariable::Rows rows = serviceRows(int(state.range(0)));
    qint64 bytes = 0;
    for (auto _ : state) {
        page.reset();
        page.setVariable(QStringLiteral("PAGE-TITLE"), QStringLiteral("Services"));
        page.expandLoops(QStringLiteral("SERVICES"), rows);
        bytes = page.render().size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["page_bytes"] = double(bytes);
    if (bytes == 0)
        state.SkipWithError("the template rendered nothing");
    Settings::destroy();
    qputenv("HOME", previousHome);
}

} // namespace

BENCHMARK(renderServiceList)->Args({500, 1})->Args({500, 0})->Unit(benchmark::kMillisecond);
