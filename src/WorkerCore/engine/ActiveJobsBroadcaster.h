#pragma once

#include "engine/ActiveJob.h"

#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <functional>

// The list of jobs in flight, published whole on every change. Lists are sorted by
// startedAt, then by id.
//
// Lives on the main thread and must be called from it only.
class ActiveJobsBroadcaster : public QObject {
    Q_OBJECT

public:
    explicit ActiveJobsBroadcaster(QObject* parent = nullptr);

    // Stores the job under its id and publishes, unless it would move an existing
    // entry back to an earlier stage (a late progress report after a later stage):
    // then nothing changes and nothing is published. completed and failed rank
    // alike, so either replaces the other. Same stage replaces, percent included.
    void upsert(const ActiveJob& job);
    // Publishes even when the id is unknown.
    void remove(const QString& id);
    QList<ActiveJob> snapshot() const;

    // Hands `receiver` the current list at once, then every published list, until
    // `context` is destroyed or the connection is broken.
    QMetaObject::Connection subscribe(QObject* context,
                                      std::function<void(const QList<ActiveJob>&)> receiver);

signals:
    void jobsChanged(const QList<ActiveJob>& jobs);

private:
    void publish();

    QHash<QString, ActiveJob> m_jobs;
};
