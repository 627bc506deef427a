#pragma once

#include <QUrl>
#include <QWebEnginePage>

#include <functional>

namespace ZOZ {

// What the window does with a navigation.
struct LinkDecision
{
    enum class Action {
        Follow, // a page of the local server: the window shows it
        Drop,   // nothing happens
        Hand,   // `target` goes to the desktop
    };
    Action action = Action::Drop;
    QUrl target;
};

// Decides one navigation. Only pages of the local server (its scheme, host and
// port) stay in the window; telephone links, map files, documents and
// everything foreign go to the desktop when their scheme is one it may open,
// and are dropped otherwise, so no file: or javascript: URL ever leaves.
LinkDecision decideLink(const QUrl &url, const QUrl &serverRoot);

// A telephone number in international form: a number that starts with a
// digit loses its leading zeros and gets "+" in front; others stay as they are.
QString internationalNumber(const QString &number);

// The page of the main window: follows the local server's pages and hands
// every other link to `handOut` (the desktop). A request for a new window
// loads into this page.
class WebPage : public QWebEnginePage
{
    Q_OBJECT
public:
    using LinkHandler = std::function<void(const QUrl &)>;

    WebPage(QWebEngineProfile *profile, const QUrl &serverRoot, LinkHandler handOut, QObject *parent = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    QUrl m_serverRoot;
    LinkHandler m_handOut;
};

} // namespace ZOZ
