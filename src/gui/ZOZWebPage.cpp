#include "ZOZWebPage.h"

#include "ajax/ZOZAjaxCommands.h"

#include <QRegularExpression>

#include <utility>

namespace ZOZ {

namespace {

bool endsWithAny(const QString &text, std::initializer_list<const char *> suffixes)
{
    for (const char *suffix : suffixes) {
        if (text.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

int portOf(const QUrl &url)
{
    if (url.port() >= 0)
        return url.port();
    if (url.scheme() == QLatin1String("https"))
        return 443;
    return 80;
}

bool isLocalPage(const QUrl &url, const QUrl &serverRoot)
{
    return url.scheme() == serverRoot.scheme() && !url.host().isEmpty()
           && url.host().compare(serverRoot.host(), Qt::CaseInsensitive) == 0 && portOf(url) == portOf(serverRoot);
}

LinkDecision handOut(const QUrl &target)
{
    if (!isAllowedExternalUrl(target))
        return {LinkDecision::Action::Drop, {}};
    return {LinkDecision::Action::Hand, target};
}

} // namespace

QString internationalNumber(const QString &number)
{
    static const QRegularExpression national(QStringLiteral("\\A(?:[^+]\\d+.*)\\z"),
                                             QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression leadingZeros(QStringLiteral("^0*"));
    if (!national.match(number).hasMatch())
        return number;
    QString digits = number;
    digits.remove(leadingZeros);
    return QLatin1Char('+') + digits;
}

LinkDecision decideLink(const QUrl &url, const QUrl &serverRoot)
{
    const QString withoutQuery = url.toString(QUrl::RemoveQuery);
    if (withoutQuery == QLatin1String("about:blank"))
        return {LinkDecision::Action::Drop, {}};

    const QString scheme = url.scheme();
    if (scheme == QLatin1String("callto") || scheme == QLatin1String("tel")) {
        // The desktop's telephone handler takes tel: links; callto is the same number.
        const QString number = url.path().trimmed();
        if (number.isEmpty())
            return {LinkDecision::Action::Drop, {}};
        QUrl phone;
        phone.setScheme(QStringLiteral("tel"));
        phone.setPath(internationalNumber(number));
        return handOut(phone);
    }
    // Map files, documents and foreign pages open in the programs the desktop chooses.
    if (endsWithAny(withoutQuery, {".kml", ".kmz", ".grb", ".pdf"}) || !isLocalPage(url, serverRoot))
        return handOut(url);
    return {LinkDecision::Action::Follow, {}};
}

WebPage::WebPage(QWebEngineProfile *profile, const QUrl &serverRoot, LinkHandler handOut, QObject *parent)
    : QWebEnginePage(profile, parent)
    , m_serverRoot(serverRoot)
    , m_handOut(std::move(handOut))
{
}

bool WebPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    Q_UNUSED(type);
    Q_UNUSED(isMainFrame);
    const LinkDecision decision = decideLink(url, m_serverRoot);
    if (decision.action == LinkDecision::Action::Hand && m_handOut)
        m_handOut(decision.target);
    return decision.action == LinkDecision::Action::Follow;
}

QWebEnginePage *WebPage::createWindow(WebWindowType type)
{
    Q_UNUSED(type);
    return this;
}

} // namespace ZOZ
