#pragma once

// A test-side encoder of binary programme guide documents: elements,
// attributes, character data, token tables, DAB times and content IDs, each
// as the broadcast standard lays them out, independent of the decoder.

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QVector>

namespace ZOZTest::Spi {

enum class LengthForm { Shortest, Long16, Long24 };

// Tag, length field and content.
inline QByteArray block(quint8 tag, const QByteArray &content, LengthForm form = LengthForm::Shortest)
{
    const quint32 length = quint32(content.size());
    if (form == LengthForm::Shortest)
        form = length < 0xFE ? form : (length <= 0xFFFF ? LengthForm::Long16 : LengthForm::Long24);
    QByteArray out;
    out += char(tag);
    if (form == LengthForm::Shortest) {
        out += char(length);
    } else if (form == LengthForm::Long16) {
        out += char(0xFE);
        out += char(length >> 8);
        out += char(length);
    } else {
        out += char(0xFF);
        out += char(length >> 16);
        out += char(length >> 8);
        out += char(length);
    }
    return out + content;
}

inline QByteArray attribute(quint8 tag, const QByteArray &value) { return block(tag, value); }
inline QByteArray characters(const QByteArray &text) { return block(0x01, text); }
inline QByteArray element(quint8 tag, const QByteArray &content, LengthForm form = LengthForm::Shortest)
{
    return block(tag, content, form);
}
// An element that holds only text.
inline QByteArray textElement(quint8 tag, const QByteArray &text) { return element(tag, characters(text)); }

inline QByteArray tokenTable(const QMap<quint8, QByteArray> &tokens)
{
    QByteArray entries;
    for (auto it = tokens.cbegin(); it != tokens.cend(); ++it)
        entries += char(it.key()) + QByteArray(1, char(it.value().size())) + it.value();
    return block(0x04, entries);
}

// Packs fields most significant bit first.
class BitWriter
{
public:
    void put(quint64 value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            m_bits = (m_bits << 1) | ((value >> i) & 1);
            if (++m_count == 8) {
                m_out += char(m_bits);
                m_bits = 0;
                m_count = 0;
            }
        }
    }
    QByteArray bytes() const { return m_out; }

private:
    QByteArray m_out;
    quint32 m_bits = 0;
    int m_count = 0;
};

// The DAB time: validity flag, MJD (17 bits), two reserved bits, UTC flag,
// hours, minutes, and with the UTC flag seconds and milliseconds.
inline QByteArray dabTime(const QDateTime &utc, bool withSeconds)
{
    const QDate mjdZero(1858, 11, 17);
    BitWriter writer;
    writer.put(1, 1);
    writer.put(quint64(mjdZero.daysTo(utc.date())), 17);
    writer.put(0, 2);
    writer.put(withSeconds ? 1 : 0, 1);
    writer.put(quint64(utc.time().hour()), 5);
    writer.put(quint64(utc.time().minute()), 6);
    if (withSeconds) {
        writer.put(quint64(utc.time().second()), 6);
        writer.put(0, 10);
    }
    return writer.bytes();
}

// The full content-ID form: flags (ensemble, X-PAD, SId width, SCIdS),
// optional ECC and EId, the SId, optional X-PAD application type.
struct ContentId
{
    bool withEnsemble = false;
    quint8 ecc = 0;
    quint16 eid = 0;
    quint32 sid = 0;
    bool sid32 = false;
    quint8 scids = 0;
    bool withXpad = false;
    quint8 xpadType = 0;

    QByteArray bytes() const
    {
        BitWriter writer;
        writer.put(0, 1);
        writer.put(withEnsemble ? 1 : 0, 1);
        writer.put(withXpad ? 1 : 0, 1);
        writer.put(sid32 ? 1 : 0, 1);
        writer.put(scids, 4);
        if (withEnsemble) {
            writer.put(ecc, 8);
            writer.put(eid, 16);
        }
        writer.put(sid, sid32 ? 32 : 16);
        if (withXpad) {
            writer.put(0, 3);
            writer.put(xpadType, 5);
        }
        return writer.bytes();
    }
};

// Element and attribute tags as the standard numbers them.
namespace Tag {
constexpr quint8 Spi = 0x02, ServiceInformation = 0x03, DefaultContentId = 0x05, DefaultLanguage = 0x06,
                 ShortName = 0x10, MediumName = 0x11, LongName = 0x12, MediaDescription = 0x13, Genre = 0x14,
                 Location = 0x19, ShortDescription = 0x1A, LongDescription = 0x1B, Programme = 0x1C,
                 Schedule = 0x21, Scope = 0x24, ServiceScope = 0x25, Ensemble = 0x26, Service = 0x28,
                 ServiceId = 0x29, Multimedia = 0x2B, Time = 0x2C, Bearer = 0x2D;
}

inline QByteArray be16(quint32 value) { return QByteArray(1, char(value >> 8)) + char(value); }
inline QByteArray be32(quint32 value) { return be16(value >> 16) + be16(value); }

// A logo: mimeValue, url, type, width, height.
inline QByteArray multimedia(const QByteArray &url, quint8 type, int width = -1, int height = -1)
{
    QByteArray content = attribute(0x80, "image/png") + attribute(0x82, url) + attribute(0x83, QByteArray(1, char(type)));
    if (width >= 0)
        content += attribute(0x84, be16(quint32(width))) + attribute(0x85, be16(quint32(height)));
    return element(Tag::Multimedia, content);
}

// A programme: names, a description, a genre and a location with its time.
struct Programme
{
    QByteArray shortName;
    QByteArray mediumName;
    QByteArray longDescription;
    QDateTime start;
    quint32 duration = 0; // seconds; 0: no duration attribute
    QByteArray genreHref; // empty: no genre
    QByteArray location; // extra children of the location (a bearer)

    QByteArray bytes() const
    {
        QByteArray content = attribute(0x80, "crid://p") + attribute(0x81, be16(1).prepend('\0'));
        if (!shortName.isEmpty())
            content += textElement(Tag::ShortName, shortName);
        if (!mediumName.isEmpty())
            content += textElement(Tag::MediumName, mediumName);
        QByteArray time = attribute(0x80, dabTime(start, true));
        if (duration)
            time += attribute(0x81, be16(duration));
        content += element(Tag::Location, element(Tag::Time, time) + location);
        if (!longDescription.isEmpty())
            content += element(Tag::MediaDescription, textElement(Tag::LongDescription, longDescription));
        if (!genreHref.isEmpty())
            content += element(Tag::Genre, attribute(0x80, genreHref) + attribute(0x81, QByteArray(1, '\x01')));
        return element(Tag::Programme, content);
    }
};

} // namespace ZOZTest::Spi
