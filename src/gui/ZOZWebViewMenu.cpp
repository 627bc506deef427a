// The tray icon's menu: built anew each time it opens, so it shows the
// current choices; the entries of a choice carry their value in the status
// tip, which the slot reads back.

#include "ZOZWebView.h"

#include "ZOZApp.h"
#include "ZOZPageHost.h"
#include "ZOZServiceManager.h"
#include "settings/ZOZSettings.h"

#include <QCoreApplication>
#include <QMenu>

namespace ZOZ {

namespace {

const char SelectedIcon[] = ":img/icons/button/selected.svg";
constexpr int BinauralDecoderMode = 1;
constexpr int LastBinauralPreset = 3;

QString general(const char *text)
{
    return QCoreApplication::translate("General", text);
}

QAction *addEntry(QMenu *menu, const QString &icon, const QString &text, const QObject *receiver, const char *slot)
{
    QAction *action = menu->addAction(icon.isEmpty() ? QIcon() : QIcon(icon), text);
    QObject::connect(action, SIGNAL(triggered()), receiver, slot);
    return action;
}

QIcon choiceIcon(bool selected)
{
    return selected ? QIcon(QString::fromLatin1(SelectedIcon)) : QIcon();
}

void addChoice(QMenu *menu, const QString &text, const QString &value, bool selected, const QObject *receiver,
               const char *slot)
{
    QAction *action = addEntry(menu, QString(), text, receiver, slot);
    action->setIcon(choiceIcon(selected));
    action->setStatusTip(value);
}

// The status tip of the menu entry that sent the call, as a number.
bool senderNumber(QObject *sender, int &number)
{
    const auto *action = qobject_cast<QAction *>(sender);
    if (!action)
        return false;
    bool isNumber = false;
    number = action->statusTip().toInt(&isNumber);
    return isNumber;
}

} // namespace

void WebView::buildContextMenu()
{
    if (m_contextMenu) {
        m_contextMenu->hide();
        delete m_contextMenu;
    }
    auto *menu = new QMenu(this);
    m_contextMenu = menu;
    ServiceManager *manager = m_parts.manager;
    Settings *settings = m_parts.settings;

    addEntry(menu, QStringLiteral(":img/icons/contextmenu/service_selection.svg"), general("Service Selection"), this,
             SLOT(showServiceSelection()));

    QMenu *order = menu->addMenu(QIcon(QStringLiteral(":img/icons/contextmenu/sort_selection.svg")),
                                 general("Service Order"));
    const char *orders[] = {"Service name", "Ensemble name", "Programme type", "Language", "Country"};
    const int sortType = manager ? manager->sortType() : 0;
    for (int i = 0; i < int(std::size(orders)); ++i)
        addChoice(order, general(orders[i]), QString::number(i), i == sortType, this, SLOT(switchSortType()));
    menu->addSeparator();

    QAction *favourites = addEntry(menu, QString(), general("Favourites Only"), this, SLOT(switchSortFavouritesOnly()));
    favourites->setIcon(choiceIcon(manager && manager->isSortFavouritesOnly()));
    if (!manager || !manager->hasFavourites()) {
        favourites->setEnabled(false);
        favourites->setToolTip(general("You currently have no favourites"));
    }
    addEntry(menu, QStringLiteral(":img/icons/button/scheduler.svg"), general("Recording Scheduler"), this,
             SLOT(showScheduler()));
    QAction *folder = menu->addAction(QIcon(QStringLiteral(":img/icons/contextmenu/directory.svg")),
                                      general("Open Recording Directory"));
    connect(folder, &QAction::triggered, this, &WebView::openRecordingDirectory);
    menu->addSeparator();

    addEntry(menu, QStringLiteral(":img/icons/contextmenu/scan.svg"), general("Scan for SPI"), this, SLOT(spiScan()));
    addEntry(menu, QStringLiteral(":img/icons/contextmenu/spi.svg"), general("Programme Guide (EPG/SPI)"), this,
             SLOT(showSpiDialog()));
    menu->addSeparator();

    QMenu *languages = menu->addMenu(QIcon(QStringLiteral(":img/icons/contextmenu/languages.svg")), general("Language"));
    const QMap<QString, QString> names = Settings::languageNames();
    for (const QString &code : Settings::availableLanguages()) {
        QString name = code;
        for (auto it = names.cbegin(); it != names.cend(); ++it) {
            if (it.value() == code)
                name = it.key();
        }
        QAction *action = addEntry(languages, QLatin1Char(':') + Settings::languageIconPath(code), name, this,
                                   SLOT(switchLanguage()));
        action->setStatusTip(code);
    }
    addEntry(menu, QStringLiteral(":img/icons/contextmenu/scan.svg"), general("Rescan"), this, SLOT(showScanDialog()));
    addEntry(menu, QStringLiteral(":img/icons/contextmenu/settings.svg"), general("Settings"), this,
             SLOT(showSettings()));

    if (settings && settings->hasAudioService()) {
        QMenu *binaural = menu->addMenu(QIcon(QStringLiteral(":img/logos/binaural_headphones.svg")),
                                        general("Binaural / Surround for Headphones"));
        const int current = settings->audioDecoderMode() == BinauralDecoderMode ? settings->audioBinauralPreset() : 0;
        const char *presets[] = {"Off", "Dry Room", "Living Room", "Cinema"};
        for (int i = 0; i <= LastBinauralPreset; ++i)
            addChoice(binaural, general(presets[i]), QString::number(i), i == current, this,
                      SLOT(switchBinauralType()));
        const bool muted = m_parts.audio && m_parts.audio->isMuted();
        QAction *mute = menu->addAction(
            QIcon(muted ? QStringLiteral(":img/icons/contextmenu/unmuted_s.svg")
                        : QStringLiteral(":img/icons/contextmenu/muted_s.svg")),
            muted ? general("Unmute") : general("Mute"));
        if (manager)
            connect(mute, &QAction::triggered, manager, &ServiceManager::onSwitchMute);
    }
    menu->addSeparator();

    addEntry(menu, QStringLiteral(":img/icons/contextmenu/copyright.svg"), general("Copyright"), this,
             SLOT(showCopyright()));
    addEntry(menu, QStringLiteral(":img/icons/button/info.svg"), general("Info"), this, SLOT(showInfo()));
    menu->addSeparator();
    addEntry(menu, QStringLiteral(":img/icons/contextmenu/quit_app.svg"), general("Quit Application"), this,
             SLOT(close()));
}

void WebView::switchSortType()
{
    int type = 0;
    if (senderNumber(sender(), type) && m_parts.manager)
        m_parts.manager->setSortType(type);
}

void WebView::switchSortFavouritesOnly()
{
    if (m_parts.manager)
        m_parts.manager->setSortFavouritesOnly(!m_parts.manager->isSortFavouritesOnly());
}

void WebView::switchBinauralType()
{
    int preset = 0;
    Settings *settings = m_parts.settings;
    if (!senderNumber(sender(), preset) || !settings)
        return;
    const int mode = settings->audioDecoderMode();
    if (mode != BinauralDecoderMode)
        m_lastPlainDecoderMode = mode;
    if (preset == 0) {
        settings->setAudioDecoderMode(m_lastPlainDecoderMode);
    } else if (preset > 0 && preset <= LastBinauralPreset) {
        settings->setAudioDecoderMode(BinauralDecoderMode);
        settings->setAudioBinauralPreset(preset);
    }
}

void WebView::switchLanguage()
{
    const auto *action = qobject_cast<QAction *>(sender());
    if (action && m_parts.host)
        m_parts.host->switchLanguage(action->statusTip());
}

} // namespace ZOZ
