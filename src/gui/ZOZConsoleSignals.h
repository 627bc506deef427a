#pragma once

#include <QObject>

class QSocketNotifier;

namespace ZOZ {

// Turns SIGINT and SIGTERM into a Qt signal on the thread that owns this
// object. The handler itself only writes the signal number into a pipe: it
// may interrupt any code, so it must not take locks or allocate.
class ConsoleSignals : public QObject
{
    Q_OBJECT
public:
    explicit ConsoleSignals(QObject *parent = nullptr);
    ~ConsoleSignals() override;

    bool isInstalled() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private slots:
    void readPipe();

private:
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace ZOZ
