#include "ZOZAudioTextState.h"

#include <QMutexLocker>

#include <algorithm>

namespace ZOZ {

namespace {

// A DL Plus tags command: one byte of flags and the tag count, then 3 bytes a tag.
constexpr uint32_t TagBytes = 3;
constexpr uint8_t CommandIdMask = 0xF0;
constexpr uint8_t TagCountMask = 0x03;
constexpr uint8_t ItemRunningBit = 0x04;
constexpr uint8_t ItemToggleBit = 0x08;
constexpr uint8_t SevenBits = 0x7F;

// intelliText labels come from the broadcast and could grow the menus without
// end: beyond these a label is not kept.
constexpr int MaxMenus = 16;
constexpr int MaxSubMenus = 64;
constexpr int MaxIndex = MaxSubMenus - 1;

const QString IntelliTextPattern = QStringLiteral(
    "\\s*(\\+\\+)?([\\w_]{1,16})(\\[(\\d{1,3})\\])?\\s*-\\s*([\\w_]{1,16})(\\[(\\d{1,3})\\])\\s*:\\s*(.*)\\s*");

QString collapseWhiteSpace(QString text)
{
    static const QRegularExpression runs(QStringLiteral("\\s+"), QRegularExpression::UseUnicodePropertiesOption);
    return text.replace(runs, QStringLiteral(" "));
}

// The content without its continuation dots ("...", "..", ".").
QString withoutContinuation(const QString &content)
{
    for (const char *dots : {"...", "..", "."}) {
        if (content.endsWith(QLatin1String(dots)))
            return content.left(content.size() - int(qstrlen(dots)));
    }
    return content;
}

} // namespace

AudioTextState::AudioTextState()
    : m_intelliText(QRegularExpression::anchoredPattern(IntelliTextPattern),
                    QRegularExpression::UseUnicodePropertiesOption | QRegularExpression::DotMatchesEverythingOption)
{
}

void AudioTextState::removeItemTypes()
{
    for (int type = FirstItemType; type <= LastItemType; ++type)
        m_items.remove(type);
}

bool AudioTextState::applyDlPlusCommand(const uint8_t *command, uint32_t length, const QString &label)
{
    if (!command || length == 0 || (command[0] & CommandIdMask) != 0)
        return false;
    const uint32_t tags = (command[0] & TagCountMask) + 1u;
    const uint8_t running = (command[0] & ItemRunningBit) ? 1 : 0;
    const uint8_t toggle = (command[0] & ItemToggleBit) ? 1 : 0;

    QMutexLocker locker(&m_mutex);
    bool changed = false;
    if (running != m_itemRunning) {
        m_itemRunning = running;
        changed = true;
    }
    if (toggle != m_itemToggle) {
        // A new programme item: the tags of the last one are no longer true.
        m_itemToggle = toggle;
        removeItemTypes();
        changed = true;
    }
    for (uint32_t t = 0; t < tags && 1 + (t + 1) * TagBytes <= length; ++t) {
        const uint8_t *tag = command + 1 + t * TagBytes;
        const int type = tag[0] & SevenBits;
        const int start = tag[1] & SevenBits;
        const int count = (tag[2] & SevenBits) + 1;
        if (type == 0 || type > LastContentType || start + count > label.size())
            continue;
        QString text;
        // A single blank deletes what the type said.
        if (!(count == 1 && label.at(start) == QLatin1Char(' ')))
            text = collapseWhiteSpace(label.mid(start, count));
        m_items.insert(type, text);
        if (type == ArtistType)
            m_artist = text;
        else if (type == TitleType)
            m_title = text;
        changed = true;
    }
    return changed;
}

bool AudioTextState::parseIntelliText(const QString &label)
{
    const QRegularExpressionMatch match = m_intelliText.match(label);
    if (!match.hasMatch())
        return false;
    const QString menuName = match.captured(2).trimmed();
    const QString menuIndexText = match.captured(4).trimmed();
    const QString subName = match.captured(5).trimmed();
    const int itemIndex = match.captured(7).trimmed().toInt();
    const QString content = withoutContinuation(match.captured(8).trimmed());
    const int menuIndex = menuIndexText.isEmpty() ? -1 : menuIndexText.toInt();
    if (itemIndex > MaxIndex || menuIndex > MaxIndex)
        return false;
    const QStringList parts = content.split(QLatin1Char(';'));

    QMutexLocker locker(&m_mutex);
    if (!m_menus.contains(menuName) && m_menus.size() >= MaxMenus)
        return false;
    QVector<IntelliTextSubMenu> &subMenus = m_menus[menuName];
    IntelliTextSubMenu *subMenu = nullptr;
    if (menuIndex >= 0) {
        if (subMenus.size() <= menuIndex)
            subMenus.resize(menuIndex + 1);
        subMenu = &subMenus[menuIndex];
        if (subMenu->name != subName) {
            subMenu->name = subName;
            subMenu->items.clear();
        }
    } else {
        auto found = std::find_if(subMenus.begin(), subMenus.end(),
                                  [&subName](const IntelliTextSubMenu &entry) { return entry.name == subName; });
        if (found == subMenus.end()) {
            if (subMenus.size() >= MaxSubMenus)
                return false;
            subMenus.append(IntelliTextSubMenu {subName, {}});
            std::stable_sort(subMenus.begin(), subMenus.end(),
                             [](const IntelliTextSubMenu &a, const IntelliTextSubMenu &b) { return a.name < b.name; });
            found = std::find_if(subMenus.begin(), subMenus.end(),
                                 [&subName](const IntelliTextSubMenu &entry) { return entry.name == subName; });
        }
        subMenu = &*found;
    }
    while (subMenu->items.size() < itemIndex + parts.size())
        subMenu->items.append(QString());
    for (int i = 0; i < parts.size(); ++i)
        subMenu->items[itemIndex + i] = parts.at(i).trimmed();
    return true;
}

void AudioTextState::clearItemTags()
{
    QMutexLocker locker(&m_mutex);
    removeItemTypes();
}

void AudioTextState::resetDlPlus()
{
    QMutexLocker locker(&m_mutex);
    m_itemToggle = Unknown;
    m_itemRunning = Unknown;
    m_artist.clear();
    m_title.clear();
    m_items.clear();
}

AudioTexts AudioTextState::snapshot() const
{
    QMutexLocker locker(&m_mutex);
    AudioTexts texts;
    texts.itemRunning = m_itemRunning == 1;
    for (auto it = m_items.cbegin(); it != m_items.cend(); ++it) {
        if (!it.value().isEmpty())
            texts.items.append(DlPlusItem {it.key(), it.value()});
    }
    for (auto it = m_menus.cbegin(); it != m_menus.cend(); ++it)
        texts.menus.append(IntelliTextMenu {it.key(), it.value()});
    texts.artist = m_artist;
    texts.title = m_title;
    return texts;
}

} // namespace ZOZ
