#pragma once

// The real program as a child process in a temporary home, and the requests a
// page makes to it.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <csignal>

namespace ZOZTest {

inline const QString Program = QStringLiteral(ZOZ_BINARY_DIR "/src/zoz");

class ChildProcess
{
public:
    explicit ChildProcess(bool withLogSwitch)
    {
        QDir().mkpath(dataFolder());
        if (withLogSwitch) {
            QFile switchFile(dataFolder() + QStringLiteral("log.it"));
            switchFile.open(QIODevice::WriteOnly);
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(env);
        process.setProgram(Program);
        // The page templates the service manager loads at start-up.
        process.setArguments({QStringLiteral("-sr"), QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/")});
    }

    ~ChildProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
        }
    }

    QString dataFolder() const { return home.path() + QStringLiteral("/.zoz/"); }
    QString storeFile() const { return home.path() + QStringLiteral("/.config/Dadidozor DAZ/Radarovaz.ini"); }

    QString logText() const
    {
        const QStringList files = QDir(dataFolder() + QStringLiteral("logs")).entryList({QStringLiteral("log-*.txt")});
        if (files.isEmpty())
            return QString();
        QFile file(dataFolder() + QStringLiteral("logs/") + files.first());
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

    // Polls until the condition holds or the time is up.
    template <typename Condition>
    bool waitFor(Condition condition, int timeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            if (condition())
                return true;
            if (process.state() == QProcess::NotRunning)
                return condition();
            QThread::msleep(20);
        }
        return false;
    }

    void sendSignal(int signalNumber) { ::kill(pid_t(process.processId()), signalNumber); }

    QTemporaryDir home;
    QProcess process;
};

// One request to the child's HTTP server; the body of the answer, empty when
// there was none.
inline QByteArray httpGet(quint16 port, const QByteArray &target, const QByteArray &token = QByteArray())
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000))
        return {};
    QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                         "\r\nConnection: close\r\n";
    if (!token.isEmpty())
        request += "X-ZOZ-Token: " + token + "\r\n";
    socket.write(request + "\r\n");
    QByteArray answer;
    while (socket.waitForReadyRead(5000) || socket.bytesAvailable())
        answer += socket.readAll();
    const qsizetype bodyAt = answer.indexOf("\r\n\r\n");
    return bodyAt < 0 ? QByteArray() : answer.mid(bodyAt + 4);
}

// The player as a user starts it: RTKDAB_SOURCE set, the pages at the port it prints.
class SourceChild
{
public:
    // `speed` as RTKDAB_SPEED: 0 as fast as possible, 1 in real time.
    // `startNow` false: the caller changes the process further and starts it.
    explicit SourceChild(const QString &source, const QStringList &arguments = {}, const QString &speed = QStringLiteral("0"),
                         bool startNow = true)
    {
        QProcessEnvironment env = child.process.processEnvironment();
        env.insert(QStringLiteral("RTKDAB_SOURCE"), source);
        env.insert(QStringLiteral("RTKDAB_SPEED"), speed);
        child.process.setProcessEnvironment(env);
        child.process.setArguments(arguments);
        if (startNow)
            child.process.start();
    }

    // Reads the child's standard output while waiting for `condition`.
    template <typename Condition>
    bool waitFor(Condition condition, int timeoutMs = 15000)
    {
        return child.waitFor([&] {
            child.process.waitForReadyRead(20);
            output += child.process.readAllStandardOutput();
            return condition();
        }, timeoutMs);
    }

    quint16 port()
    {
        static const QRegularExpression address(QStringLiteral("http://127\\.0\\.0\\.1:(\\d+)"));
        if (!waitFor([&] { return address.match(QString::fromUtf8(output)).hasMatch(); }))
            return 0;
        return quint16(address.match(QString::fromUtf8(output)).captured(1).toUInt());
    }

    QJsonObject serverInfo(quint16 port)
    {
        return QJsonDocument::fromJson(httpGet(port, "/ajax?getServerInfo")).object();
    }

    // The texts of the notifications the pages show.
    QString notifications(quint16 port)
    {
        QStringList texts;
        for (const QJsonValue &entry : serverInfo(port).value(QStringLiteral("notify")).toArray())
            texts << entry.toObject().value(QStringLiteral("message")).toString();
        return texts.join(QLatin1Char('\n'));
    }

    // The token the pages send with their commands.
    QByteArray token(quint16 port)
    {
        static const QRegularExpression tokenMeta(QStringLiteral("name=\"zoz-token\" content=\"([^\"]+)\""));
        return tokenMeta.match(QString::fromUtf8(httpGet(port, "/"))).captured(1).toLatin1();
    }

    // Answers the pending question, as the page's dialog does.
    bool confirm(quint16 port, bool yes = true)
    {
        const QString question = serverInfo(port).value(QStringLiteral("confirm")).toString();
        if (question.isEmpty())
            return false;
        const QByteArray token = this->token(port);
        // A value starting with the marker is percent-decoded, as the pages send it.
        const QByteArray target = "/ajax?confirmed=__UTF8__" + QUrl::toPercentEncoding(question) + (yes ? "&yes" : "&no");
        return httpGet(port, target, token).contains("true");
    }

    ChildProcess child{false};
    QByteArray output;
};

} // namespace ZOZTest
