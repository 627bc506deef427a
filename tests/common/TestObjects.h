#pragma once

#include "base/ZOZPointer.h"

#include <QObject>
#include <QThread>
#include <QVector>

// A slot that records the thread it ran on.
class PingTarget : public QObject
{
    Q_OBJECT
public:
    QVector<QThread *> threads;
public slots:
    void ping() { threads.append(QThread::currentThread()); }
};

// A shared object that reports its deletion.
struct TrackedObject : ZOZ::Pointer
{
    explicit TrackedObject(bool *deleted) : deleted(deleted) {}
    ~TrackedObject() override { *deleted = true; }
    bool *deleted;
};
