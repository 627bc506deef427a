#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <array>

namespace ZOZ {

// A content identifier of the programme guide: which service (and ensemble)
// an entry is about.
struct SpiContentId
{
    bool empty = true;
    bool ensembleFlag = false;
    bool sid16 = false; // the SId field has 16 bits (an audio service)
    quint8 scids = 0;
    quint8 ecc = 0;
    quint8 countryId = 0;
    quint16 countryKey = 0; // ECC × 16 + country id
    quint16 eid = 0;
    quint32 sid = 0;
    bool xpadFlag = false;
    quint8 xpadType = 0;

    // Every field but `empty`, which a stored identifier does not keep.
    bool sameAs(const SpiContentId &other) const;
};

struct SpiAttribute
{
    quint32 tag = 0;
    QString name; // empty: not an attribute of its element
    quint32 length = 0;
    quint32 size = 0;
    QByteArray value;
    quint32 time = 0; // UNIX seconds, for time-typed attributes
    QVector<SpiContentId> contentIds; // for content-ID-typed attributes
};

struct SpiElement
{
    quint32 tag = 0;
    QString name;
    quint32 length = 0;
    QByteArray text; // character data, still token-encoded
    quint32 size = 0; // length plus tag and length fields: how far the caller advances
    QVector<SpiAttribute> attributes;
    QVector<SpiElement> children;

    const SpiAttribute *attribute(quint32 attributeTag) const;
    const SpiElement *firstChild(quint32 childTag) const;
};

// The string tokens of one document: token byte to its string.
class SpiTokenTable
{
public:
    static constexpr int Size = 20;

    void clear();
    bool contains(quint8 token) const { return token < Size && m_present[token]; }
    const QByteArray &string(quint8 token) const { return m_strings[token]; }
    void insert(quint8 token, const QByteArray &string);

private:
    std::array<QByteArray, Size> m_strings;
    std::array<bool, Size> m_present {};
};

// What an element hands on to its children. The root fills the token table
// and the default content ID.
struct SpiDecodeContext
{
    SpiTokenTable tokens;
    SpiContentId defaultContentId;
    quint16 serviceCountryKey = 0; // ECC × 16 + country id of the carrying service
    bool fullContentIdForm = false; // the carrying service's content-ID form flag
    bool topLevel = true;
};

// Decodes one element and everything inside it from at most `available`
// bytes. A result with an empty name and size 0 means nothing was decoded.
// Never reads past `available`: an element that declares more than is there
// keeps what is there.
SpiElement decodeSpiElement(const uchar *bytes, quint32 available, SpiDecodeContext &context);
SpiAttribute decodeSpiAttribute(quint32 parentTag, const uchar *bytes, quint32 available,
                                const SpiDecodeContext &context);

// A DAB time (MJD, hours, minutes, seconds when the UTC flag is set) as
// UNIX seconds; 0 for fewer than 4 bytes.
quint32 decodeSpiTime(const QByteArray &value);
// The content IDs in `value`, up to the first that does not fit.
QVector<SpiContentId> decodeSpiContentIds(const QByteArray &value, quint16 serviceCountryKey, bool fullForm);
// Country key ECC × 16 + country id, with the one key broadcast in two forms
// (0xE01) filed under the other (0xE0D).
quint16 spiCountryKey(quint8 ecc, quint8 countryId);
// Longest text an expansion gives: tokens multiply a text up to 255 times,
// and the cache file keeps texts of up to 32 K characters.
constexpr qsizetype MaxSpiTextBytes = 16 * 1024;

// Replaces the tokens of `text` by their strings and reads the result as
// UTF-8, cut at MaxSpiTextBytes.
QString expandSpiTokens(const QByteArray &text, const SpiTokenTable &tokens);

} // namespace ZOZ
