#include "TestEnvironment.h"

#include "web/ZOZResourcePath.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

using namespace ZOZ;

namespace {

void writeFile(const QString &path, const QByteArray &content = "x")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A style root of its own name, below the working folder, the data folder of
// a temporary home and the program's folder, so the candidates can be told apart.
class ResourcePathTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_work.isValid());
        m_previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_work.path()));
        m_styleRoot = QStringLiteral("style-%1/").arg(QUuid::createUuid().toString(QUuid::Id128));
        m_appStyle = QCoreApplication::applicationDirPath() + QLatin1Char('/') + m_styleRoot;
    }
    void TearDown() override
    {
        QDir(m_appStyle).removeRecursively();
        QDir::setCurrent(m_previous);
    }

    QString resolve(const QString &path, const QString &theme = QString())
    {
        return resolveResourcePath(m_styleRoot, theme, path, m_logos.path() + QLatin1Char('/'));
    }

    TemporaryHome m_home;
    QTemporaryDir m_work;
    QTemporaryDir m_logos;
    QString m_previous;
    QString m_styleRoot;
    QString m_appStyle;
};

} // namespace

TEST_F(ResourcePathTest, CandidatesInOrder)
{
    const QString data = m_home.dataFolder() + m_styleRoot;
    EXPECT_EQ(resolve(QStringLiteral("/css/main.css")), QStringLiteral(":css/main.css"));
    EXPECT_EQ(readFile(resolve(QStringLiteral("/css/main.css"))), QByteArray("builtin plain\n"));

    // A theme's built-in version wins over the plain built-in one.
    const QString dark = resolve(QStringLiteral("css/main.css"), QStringLiteral("_themes/DARK/"));
    EXPECT_EQ(dark, QStringLiteral(":_themes/DARK/css/main.css"));
    EXPECT_EQ(readFile(dark), QByteArray("builtin dark\n"));

    writeFile(m_appStyle + QStringLiteral("css/main.css"));
    EXPECT_EQ(resolve(QStringLiteral("/css/main.css")), m_appStyle + QStringLiteral("css/main.css"));
    // Any file on disk wins over built-in resources, themed or not.
    EXPECT_EQ(resolve(QStringLiteral("css/main.css"), QStringLiteral("_themes/DARK/")),
              m_appStyle + QStringLiteral("css/main.css"));

    writeFile(data + QStringLiteral("css/main.css"));
    EXPECT_EQ(resolve(QStringLiteral("/css/main.css")), data + QStringLiteral("css/main.css"));

    // The theme's version in the program folder beats the plain one in the data folder.
    writeFile(m_appStyle + QStringLiteral("_themes/DARK/css/main.css"));
    EXPECT_EQ(resolve(QStringLiteral("css/main.css"), QStringLiteral("_themes/DARK/")),
              m_appStyle + QStringLiteral("_themes/DARK/css/main.css"));

    // An absolute style root is found as it stands.
    QTemporaryDir absolute;
    writeFile(absolute.path() + QStringLiteral("/js/a.js"));
    EXPECT_EQ(resolveResourcePath(absolute.path() + QLatin1Char('/'), QString(), QStringLiteral("js/a.js"), QString()),
              absolute.path() + QStringLiteral("/js/a.js"));
}

// Whoever can write where the player is started must not replace its pages or
// their scripts: the working folder is never a resource root, whatever the root.
TEST_F(ResourcePathTest, WorkingFolderIsNeverARoot)
{
    struct Row { const char *name; QString styleRoot; QString theme; QString path; };
    const Row rows[] = {
        { "index script", m_styleRoot, QString(), QStringLiteral("js/index.js") },
        { "index script, leading slash", m_styleRoot, QString(), QStringLiteral("/js/index.js") },
        { "themed script", m_styleRoot, QStringLiteral("_themes/DARK/"), QStringLiteral("js/index.js") },
        { "page template", m_styleRoot, QString(), QStringLiteral("templates/index.html") },
        { "empty style root", QString(), QString(), QStringLiteral("js/index.js") },
        { "dot style root", QStringLiteral("./"), QString(), QStringLiteral("js/index.js") },
    };
    for (const Row &row : rows) {
        const QString relative = row.path.startsWith(QLatin1Char('/')) ? row.path.mid(1) : row.path;
        for (const QString &planted : { m_work.filePath(row.styleRoot + row.theme + relative),
                                        m_work.filePath(row.styleRoot + relative), m_work.filePath(relative) })
            writeFile(planted, "planted");
        const QString resolved = resolveResourcePath(row.styleRoot, row.theme, row.path, m_logos.path());
        EXPECT_TRUE(resolved.startsWith(QLatin1Char(':'))) << row.name << ": " << resolved.toStdString();
        EXPECT_NE(readFile(resolved), QByteArray("planted")) << row.name;
    }
}

TEST_F(ResourcePathTest, FaviconAndLogos)
{
    EXPECT_EQ(resolve(QStringLiteral("/favicon.ico")), QString::fromLatin1(ApplicationIconResource));
    EXPECT_EQ(resolve(QStringLiteral("/img/favicon.ico")), QString::fromLatin1(ApplicationIconResource));
    EXPECT_TRUE(QFileInfo(QString::fromLatin1(ApplicationIconResource)).isFile());

    EXPECT_EQ(resolve(QStringLiteral("logos/1234.jpg")), QStringLiteral(":/img/logos/services/1234.png"));
    EXPECT_EQ(serviceLogoUrl(QStringLiteral("1234"), m_logos.path()), QStringLiteral("logos/1234.png"));

    writeFile(m_logos.filePath(QStringLiteral("1234.jpg")));
    EXPECT_EQ(resolve(QStringLiteral("logos/1234.png")), m_logos.filePath(QStringLiteral("1234.jpg")));
    const qint64 stamp = QFileInfo(m_logos.filePath(QStringLiteral("1234.jpg"))).lastModified().toSecsSinceEpoch();
    EXPECT_EQ(serviceLogoUrl(QStringLiteral("1234"), m_logos.path()),
              QStringLiteral("logos/1234.jpg?lm=%1").arg(stamp));
    writeFile(m_logos.filePath(QStringLiteral("1234.png")));
    EXPECT_EQ(resolve(QStringLiteral("logos/1234")), m_logos.filePath(QStringLiteral("1234.png")));

    // No logo anywhere: no URL, and the path falls through to the general search.
    EXPECT_EQ(serviceLogoUrl(QStringLiteral("999"), m_logos.path()), QString());
    EXPECT_EQ(resolve(QStringLiteral("logos/999.png")), QStringLiteral(":logos/999.png"));
    EXPECT_EQ(serviceLogoUrl(QStringLiteral("../1234"), m_logos.path()), QString());
    EXPECT_EQ(serviceLogoUrl(QStringLiteral("*"), m_logos.path()), QString());
    EXPECT_EQ(resolve(QStringLiteral("logos/12?4.png")), QStringLiteral(":logos/12?4.png"));
}

TEST_F(ResourcePathTest, PathsNeverLeaveTheirRoot)
{
    writeFile(m_work.filePath(QStringLiteral("secret.txt")));
    const QString refused[] = {
        QStringLiteral("../secret.txt"),
        QStringLiteral("/../secret.txt"),
        QStringLiteral("css/../../secret.txt"),
        QStringLiteral(".."),
        QStringLiteral("css/.."),
        QStringLiteral("//etc/passwd"),
        QStringLiteral("css\\..\\..\\secret.txt"),
        QStringLiteral("css/main.css") + QChar(0) + QStringLiteral(".png"),
        QStringLiteral("logos/../../secret.txt"),
        QStringLiteral("logos/..%2f..%2fsecret/../../x.png"),
    };
    for (const QString &path : refused) {
        EXPECT_FALSE(isSafeResourcePath(path.startsWith(QLatin1Char('/')) ? path.mid(1) : path)) << path.toStdString();
        EXPECT_EQ(resolve(path), QString()) << path.toStdString();
    }
    EXPECT_EQ(resolve(QStringLiteral("css/..hidden")), QStringLiteral(":css/..hidden"));
    EXPECT_EQ(resolve(QStringLiteral("./css/main.css")), QStringLiteral(":./css/main.css"));
}

TEST(RemoveDirectory, RemovesTreesButNeverFollowsLinks)
{
    QTemporaryDir base;
    const QString tree = base.filePath(QStringLiteral("tree"));
    writeFile(tree + QStringLiteral("/a/b/.hidden"));
    writeFile(tree + QStringLiteral("/a/file"));
    writeFile(tree + QStringLiteral("/top"));
    const QString outside = base.filePath(QStringLiteral("outside"));
    writeFile(outside + QStringLiteral("/keep"));
    ASSERT_TRUE(QFile::link(outside, tree + QStringLiteral("/a/link")));

    EXPECT_TRUE(removeDirectory(tree));
    EXPECT_FALSE(QFileInfo::exists(tree));
    EXPECT_TRUE(QFileInfo::exists(outside + QStringLiteral("/keep")));
    EXPECT_TRUE(removeDirectory(tree));
}
