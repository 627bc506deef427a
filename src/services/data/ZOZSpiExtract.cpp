#include "data/ZOZSpiExtract.h"

#include "base/ZOZDabText.h"
#include "data/ZOZSpiSchema.h"

#include <QWriteLocker>

#include <cstdlib>

namespace ZOZ {

namespace {

constexpr quint32 IdAttribute = 0x80;
constexpr quint32 VersionAttribute = 0x80;
// multimedia
constexpr quint32 MimeValueAttribute = 0x80;
constexpr quint32 UrlAttribute = 0x82;
constexpr quint32 TypeAttribute = 0x83;
constexpr quint32 WidthAttribute = 0x84;
constexpr quint32 HeightAttribute = 0x85;
// genre
constexpr quint32 HrefAttribute = 0x80;
constexpr quint32 GenreTypeAttribute = 0x81;
// time
constexpr quint32 TimeAttribute = 0x80;
constexpr quint32 DurationAttribute = 0x81;

// The logo types of fixed size, and the size a logo is best near.
constexpr quint32 LogoSmallSquare = 3;
constexpr quint32 LogoSmallSquareOther = 4;
constexpr quint32 LogoSmallRectangle = 5;
constexpr quint32 LogoSmallRectangleOther = 6;
constexpr int PreferredLogoSize = 128;
constexpr int GenreLevels = 3;
constexpr quint32 MaxGenreScheme = 8;

template <typename T>
void update(T &member, const T &value, bool &changed)
{
    if (member != value) {
        member = value;
        changed = true;
    }
}

quint32 bigEndian(const QByteArray &value)
{
    quint32 number = 0;
    for (const char c : value)
        number = (number << 8) | quint8(c);
    return number;
}

QString textOf(const SpiElement &element, const SpiTokenTable &tokens)
{
    return expandSpiTokens(element.text, tokens);
}

QString attributeText(const SpiElement &element, quint32 tag, const SpiTokenTable &tokens)
{
    const SpiAttribute *attribute = element.attribute(tag);
    return attribute ? expandSpiTokens(attribute->value, tokens) : QString();
}

SpiLogo parseLogo(const SpiElement &multimedia, const SpiTokenTable &tokens)
{
    SpiLogo logo;
    logo.url = attributeText(multimedia, UrlAttribute, tokens);
    logo.mimeValue = attributeText(multimedia, MimeValueAttribute, tokens);
    const SpiAttribute *width = multimedia.attribute(WidthAttribute);
    if (width && width->value.size() >= 2)
        logo.width = quint16(bigEndian(width->value.left(2)));
    const SpiAttribute *height = multimedia.attribute(HeightAttribute);
    if (height && height->value.size() >= 2)
        logo.height = quint16(bigEndian(height->value.left(2)));
    const SpiAttribute *type = multimedia.attribute(TypeAttribute);
    if (type && !type->value.isEmpty())
        logo.type = quint8(type->value.at(0));
    if (logo.type == LogoSmallSquare || logo.type == LogoSmallSquareOther) {
        logo.width = 32;
        logo.height = 32;
    } else if (logo.type == LogoSmallRectangle || logo.type == LogoSmallRectangleOther) {
        logo.width = 112;
        logo.height = 32;
    }
    return logo;
}

// The descriptions of an entry's mediaDescription elements.
struct Descriptions
{
    QString ownText;
    QString shortDescription;
    QString longDescription;
    QVector<SpiLogo> logos;

    void add(const SpiElement &mediaDescription, const SpiTokenTable &tokens)
    {
        const QString text = textOf(mediaDescription, tokens);
        if (!text.isEmpty())
            ownText = text;
        for (const SpiElement &child : mediaDescription.children) {
            if (child.tag == SpiTag::ShortDescription && shortDescription.isEmpty())
                shortDescription = textOf(child, tokens);
            else if (child.tag == SpiTag::LongDescription)
                longDescription = textOf(child, tokens);
            else if (child.tag == SpiTag::Multimedia && logos.size() < SpiIndexStream::MaxItems)
                logos.append(parseLogo(child, tokens));
        }
    }

    QString description() const
    {
        if (!longDescription.isEmpty())
            return longDescription;
        return ownText.isEmpty() ? shortDescription : ownText;
    }
};

// Short, medium and long name from the name elements among `children`.
struct Names
{
    QString shortName;
    QString mediumName;
    QString longName;

    bool take(const SpiElement &child, const SpiTokenTable &tokens)
    {
        if (child.tag == SpiTag::ShortName)
            shortName = textOf(child, tokens);
        else if (child.tag == SpiTag::MediumName)
            mediumName = textOf(child, tokens);
        else if (child.tag == SpiTag::LongName)
            longName = textOf(child, tokens);
        else
            return false;
        return true;
    }
};

const SpiContentId *firstContentId(const SpiElement *element)
{
    if (!element)
        return nullptr;
    const SpiAttribute *id = element->attribute(IdAttribute);
    return id && !id->contentIds.isEmpty() ? &id->contentIds.first() : nullptr;
}

// The first serviceId or bearer child with a content ID.
const SpiContentId *locationContentId(const SpiElement &location)
{
    for (const SpiElement &child : location.children) {
        if (child.tag == SpiTag::ServiceId || child.tag == SpiTag::Bearer)
            return firstContentId(&child);
    }
    return nullptr;
}

// The service a schedule is about: its first programme's location, else its scope.
const SpiContentId *scheduleContentId(const SpiElement &schedule)
{
    if (const SpiElement *programme = schedule.firstChild(SpiTag::Programme)) {
        const SpiElement *location = programme->firstChild(SpiTag::Location);
        if (const SpiContentId *id = location ? locationContentId(*location) : nullptr)
            return id;
    }
    const SpiElement *scope = schedule.firstChild(SpiTag::Scope);
    return firstContentId(scope ? scope->firstChild(SpiTag::ServiceScope) : nullptr);
}

// The labels of the services on air that the schedules of a document name,
// asked before the index is locked: the index lock is never held while the
// service list is taken.
using ServiceLabels = QMap<quint32, QString>;

ServiceLabels scheduleLabels(const SpiElement &root, SpiEnvironment &environment)
{
    ServiceLabels labels;
    for (const SpiElement &child : root.children) {
        const SpiContentId *id = child.tag == SpiTag::Schedule ? scheduleContentId(child) : nullptr;
        QString label;
        if (id && id->sid16 && !labels.contains(id->sid) && environment.findServiceLabel(id->sid, label))
            labels.insert(id->sid, label);
    }
    return labels;
}

class Extraction
{
public:
    Extraction(SpiStore &store, SpiEnvironment &environment, const SpiDocument &document,
               const SpiTokenTable &tokens, const ServiceLabels &labels, quint32 now)
        : m_store(store)
        , m_environment(environment)
        , m_document(document)
        , m_tokens(tokens)
        , m_labels(labels)
        , m_now(now)
    {
    }

    bool changed() const { return m_changed; }

    void serviceInformation(const SpiElement &root)
    {
        for (const SpiElement &child : root.children) {
            if (child.tag == SpiTag::Ensemble)
                ensemble(child);
            else if (child.tag == SpiTag::Service)
                rootService(child);
        }
    }

    void programmeInformation(const SpiElement &root)
    {
        for (const SpiElement &child : root.children) {
            if (child.tag == SpiTag::Schedule)
                schedule(child);
        }
    }

private:
    SpiCountry &country(quint16 key)
    {
        auto it = m_store.index.find(key);
        if (it == m_store.index.end()) {
            it = m_store.index.insert(key, SpiCountry());
            m_changed = true;
        }
        it->updateTime = m_now;
        update(it->countryKey, key, m_changed);
        return *it;
    }

    static bool countryKeyOf(const SpiElement *element, quint16 &key)
    {
        const SpiAttribute *id = element ? element->attribute(IdAttribute) : nullptr;
        if (!id || id->value.size() != 3)
            return false;
        key = spiCountryKey(quint8(id->value.at(0)), quint8(id->value.at(1)) >> 4);
        return true;
    }

    // The store holds no more than its cache file can give back.
    static bool hasRoom(const SpiCountry &record, quint32 sid)
    {
        return record.services.size() < SpiIndexStream::MaxServices || record.services.contains(sid);
    }

    void ensemble(const SpiElement &element)
    {
        quint16 key = 0;
        if (!countryKeyOf(&element, key))
            return;
        SpiCountry &record = country(key);
        for (const SpiElement &child : element.children) {
            switch (child.tag) {
            case SpiTag::ShortName:
                update(record.shortName, textOf(child, m_tokens), m_changed);
                break;
            case SpiTag::MediumName:
                update(record.mediumName, textOf(child, m_tokens), m_changed);
                break;
            case SpiTag::LongName:
                update(record.longName, textOf(child, m_tokens), m_changed);
                break;
            case SpiTag::MediaDescription:
                update(record.description, textOf(child, m_tokens), m_changed);
                for (const SpiElement &multimedia : child.children) {
                    if (multimedia.tag == SpiTag::Multimedia)
                        putEnsembleLogo(record, parseLogo(multimedia, m_tokens));
                }
                break;
            case SpiTag::Service:
                service(record, child);
                break;
            default:
                break;
            }
        }
    }

    // One logo per type.
    void putEnsembleLogo(SpiCountry &record, const SpiLogo &logo)
    {
        for (SpiLogo &existing : record.logos) {
            if (existing.type == logo.type) {
                update(existing, logo, m_changed);
                return;
            }
        }
        if (record.logos.size() < SpiIndexStream::MaxItems) {
            record.logos.append(logo);
            m_changed = true;
        }
    }

    void rootService(const SpiElement &element)
    {
        for (const SpiElement &child : element.children) {
            quint16 key = 0;
            if ((child.tag == SpiTag::ServiceId || child.tag == SpiTag::Bearer) && countryKeyOf(&child, key)) {
                service(country(key), element);
                return;
            }
        }
    }

    void service(SpiCountry &record, const SpiElement &element)
    {
        Names names;
        Descriptions descriptions;
        const SpiContentId *id = nullptr;
        for (const SpiElement &child : element.children) {
            if (names.take(child, m_tokens))
                continue;
            if (child.tag == SpiTag::MediaDescription)
                descriptions.add(child, m_tokens);
            else if (child.tag == SpiTag::ServiceId && !id)
                id = firstContentId(&child);
        }
        if (!id || !id->sid16 || !hasRoom(record, id->sid))
            return;
        SpiService &service = record.services[id->sid];
        service.updateTime = m_now;
        update(service.hasSi, true, m_changed);
        setContentId(service, *id);
        update(service.shortName, names.shortName, m_changed);
        update(service.mediumName, names.mediumName, m_changed);
        update(service.longName, names.longName, m_changed);
        update(service.description, descriptions.description(), m_changed);
        update(service.logos, descriptions.logos, m_changed);
        chooseLogo(service);
    }

    void setContentId(SpiService &service, const SpiContentId &id)
    {
        if (service.contentId.empty || !service.contentId.sameAs(id)) {
            service.contentId = id;
            service.contentId.empty = false;
            m_changed = true;
        }
    }

    void chooseLogo(const SpiService &service)
    {
        int chosen = -1;
        int chosenRank = 0;
        int chosenDistance = 0;
        for (int i = 0; i < service.logos.size(); ++i) {
            const SpiLogo &logo = service.logos.at(i);
            const bool preferredType = logo.type == 2 || logo.type == LogoSmallSquareOther
                                       || logo.type == LogoSmallRectangleOther;
            const int rank = preferredType ? 2 : 1;
            const int distance = std::abs(PreferredLogoSize - int(qMax(logo.width, logo.height)));
            if (chosen < 0 || rank > chosenRank || distance < chosenDistance) {
                chosen = i;
                chosenRank = rank;
                chosenDistance = distance;
            }
        }
        if (chosen < 0)
            return;
        m_environment.logoChosen(spiServiceKey(service.contentId.ecc, service.contentId.sid), service.contentId.sid,
                                 m_document.spiServiceId, service.logos.at(chosen).url);
    }

    void schedule(const SpiElement &element)
    {
        const SpiAttribute *versionAttribute = element.attribute(VersionAttribute);
        const quint32 version = versionAttribute && versionAttribute->value.size() == 2
                                    ? bigEndian(versionAttribute->value)
                                    : SpiService::NoScheduleVersion;
        const SpiContentId *id = scheduleContentId(element);
        if (!id || !id->sid16)
            return;
        SpiCountry &record = country(id->countryKey);
        if (!hasRoom(record, id->sid))
            return;
        SpiService &service = record.services[id->sid];
        service.updateTime = m_now;
        const auto label = m_labels.find(id->sid);
        if (!service.hasSi && label != m_labels.end()) {
            service.hasSi = true;
            m_changed = true;
            if (service.shortName.isEmpty() && service.mediumName.isEmpty() && service.longName.isEmpty())
                update(service.mediumName, *label, m_changed);
        }
        if (version != SpiService::NoScheduleVersion && version != service.scheduleVersion) {
            service.programmes.clear();
            service.scheduleVersion = version;
            m_changed = true;
        }
        setContentId(service, *id);
        for (const SpiElement &child : element.children) {
            if (child.tag == SpiTag::Programme)
                programme(service, child);
        }
    }

    void programme(SpiService &service, const SpiElement &element)
    {
        SpiProgramme programme;
        Names names;
        Descriptions descriptions;
        quint32 duration = 0;
        for (const SpiElement &child : element.children) {
            if (names.take(child, m_tokens))
                continue;
            if (child.tag == SpiTag::MediaDescription) {
                descriptions.add(child, m_tokens);
            } else if (child.tag == SpiTag::Genre) {
                if (child.attributes.size() == 2 && programme.genres.size() < SpiIndexStream::MaxItems)
                    programme.genres.append(genre(child));
            } else if (child.tag == SpiTag::Location && !child.children.isEmpty()
                       && child.children.first().tag == SpiTag::Time) {
                const SpiElement &time = child.children.first();
                const SpiAttribute *start = time.attribute(TimeAttribute);
                const SpiAttribute *length = time.attribute(DurationAttribute);
                programme.start = start ? start->time : 0;
                duration = length ? bigEndian(length->value) & 0xFFFF : 0;
            }
        }
        if (programme.start == 0 || duration == 0)
            return;
        programme.updateTime = m_now;
        programme.stop = programme.start + duration;
        programme.shortName = names.shortName;
        programme.mediumName = names.mediumName;
        programme.longName = names.longName;
        programme.description = descriptions.description();
        auto existing = service.programmes.find(programme.start);
        if (existing == service.programmes.end() && service.programmes.size() >= SpiIndexStream::MaxProgrammes)
            return;
        if (existing == service.programmes.end() || !existing->sameContent(programme))
            m_changed = true;
        service.programmes.insert(programme.start, programme);
    }

    static SpiGenre genre(const SpiElement &element)
    {
        SpiGenre genre;
        const SpiAttribute *type = element.attribute(GenreTypeAttribute);
        if (type && !type->value.isEmpty())
            genre.type = quint8(type->value.at(0));
        genre.levels = QByteArray(GenreLevels, '\0');
        const SpiAttribute *href = element.attribute(HrefAttribute);
        if (href && !href->value.isEmpty()) {
            genre.scheme = quint8(href->value.at(0)) & 0x0F;
            if (genre.scheme > MaxGenreScheme)
                genre.scheme = 0;
            for (int i = 0; i < GenreLevels && i + 1 < href->value.size(); ++i)
                genre.levels[i] = href->value.at(i + 1);
        }
        return genre;
    }

    SpiStore &m_store;
    SpiEnvironment &m_environment;
    const SpiDocument &m_document;
    const SpiTokenTable &m_tokens;
    const ServiceLabels &m_labels;
    const quint32 m_now;
    bool m_changed = false;
};

} // namespace

QString spiServiceKey(quint8 ecc, quint32 sid)
{
    return dabIdToHex(ecc, sid);
}

bool extractSpiDocument(SpiStore &store, SpiEnvironment &environment, const SpiDocument &document, quint32 now)
{
    if (document.body.isEmpty() || document.body.size() > SpiDocument::MaxBodyBytes)
        return false;
    SpiDecodeContext context;
    context.serviceCountryKey = document.serviceCountryKey;
    context.fullContentIdForm = document.fullContentIdForm;
    const SpiElement root = decodeSpiElement(reinterpret_cast<const uchar *>(document.body.constData()),
                                             quint32(document.body.size()), context);
    const bool serviceInformation = document.type == SpiDocument::ServiceInformation
                                    && root.tag == SpiTag::ServiceInformation;
    const bool programmeInformation = document.type == SpiDocument::ProgrammeInformation && root.tag == SpiTag::Spi;
    if ((!serviceInformation && !programmeInformation) || root.children.isEmpty())
        return false;
    const ServiceLabels labels = programmeInformation ? scheduleLabels(root, environment) : ServiceLabels();
    QWriteLocker locker(&store.lock);
    Extraction extraction(store, environment, document, context.tokens, labels, now);
    if (serviceInformation)
        extraction.serviceInformation(root);
    else
        extraction.programmeInformation(root);
    if (extraction.changed())
        store.changed = true;
    return extraction.changed();
}

} // namespace ZOZ
