#pragma once

#include <QMap>
#include <QMutex>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

namespace ZOZ {

// One DL Plus item: its content type (1 title, 4 artist, ...) and its text.
struct DlPlusItem
{
    int type = 0;
    QString text;

    bool operator==(const DlPlusItem &) const = default;
};

// An intelliText sub-menu with its item texts (empty texts are gaps the
// broadcaster has not filled yet).
struct IntelliTextSubMenu
{
    QString name;
    QStringList items;

    bool operator==(const IntelliTextSubMenu &) const = default;
};

struct IntelliTextMenu
{
    QString name;
    QVector<IntelliTextSubMenu> subMenus;

    bool operator==(const IntelliTextMenu &) const = default;
};

// What the pages show of a programme's texts beside the Dynamic Label.
struct AudioTexts
{
    // The programme item (title, artist ...) is running: its tags are current.
    bool itemRunning = false;
    // Ascending content type, texts not empty.
    QVector<DlPlusItem> items;
    // By menu name.
    QVector<IntelliTextMenu> menus;
    QString artist;
    QString title;

    bool operator==(const AudioTexts &) const = default;
};

// The DL Plus items and intelliText menus taken from the Dynamic Label of one
// programme. Filled on the receiver's thread, read by the pages; it locks itself.
class AudioTextState
{
public:
    // Content types of the item group (title ... genre), which belong to the
    // programme item and go when it changes.
    static constexpr int FirstItemType = 1;
    static constexpr int LastItemType = 11;
    static constexpr int TitleType = 1;
    static constexpr int ArtistType = 4;
    static constexpr int LastContentType = 63;

    AudioTextState();

    // Reads a DL Plus tags command that belongs to `label`, the text shown.
    // True when what the pages show changed.
    bool applyDlPlusCommand(const uint8_t *command, uint32_t length, const QString &label);
    // Reads an intelliText label ("MENU[1] - Sub[0]: a;b"); false, and nothing
    // changes, for a label of another form.
    bool parseIntelliText(const QString &label);

    // The item group goes: a new programme item, or a new selection.
    void clearItemTags();
    // DL Plus starts over: items, artist and title gone, toggle and running unknown.
    void resetDlPlus();

    AudioTexts snapshot() const;

private:
    static constexpr uint8_t Unknown = 2;

    void removeItemTypes();

    mutable QMutex m_mutex;
    uint8_t m_itemToggle = Unknown;
    uint8_t m_itemRunning = Unknown;
    QString m_artist;
    QString m_title;
    QMap<int, QString> m_items;
    QMap<QString, QVector<IntelliTextSubMenu>> m_menus;
    const QRegularExpression m_intelliText;
};

} // namespace ZOZ
