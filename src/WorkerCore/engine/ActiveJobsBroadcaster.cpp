#include "engine/ActiveJobsBroadcaster.h"

#include <algorithm>

ActiveJobsBroadcaster::ActiveJobsBroadcaster(QObject* parent)
    : QObject(parent) {
    qRegisterMetaType<ActiveJob>();
    qRegisterMetaType<QList<ActiveJob>>();
}

void ActiveJobsBroadcaster::upsert(const ActiveJob& job) {
    const auto existing = m_jobs.constFind(job.id);
    if (existing != m_jobs.constEnd()) {
        const JobRecord::State threshold = std::min(existing->state, JobRecord::State::completed);
        if (job.state < threshold) {
            return;
        }
    }
    m_jobs.insert(job.id, job);
    publish();
}

void ActiveJobsBroadcaster::remove(const QString& id) {
    m_jobs.remove(id);
    publish();
}

QList<ActiveJob> ActiveJobsBroadcaster::snapshot() const {
    QList<ActiveJob> jobs = m_jobs.values();
    std::sort(jobs.begin(), jobs.end(), [](const ActiveJob& a, const ActiveJob& b) {
        if (a.startedAt != b.startedAt) {
            return a.startedAt < b.startedAt;
        }
        return a.id < b.id;
    });
    return jobs;
}

QMetaObject::Connection
ActiveJobsBroadcaster::subscribe(QObject* context,
                                 std::function<void(const QList<ActiveJob>&)> receiver) {
    receiver(snapshot());
    return connect(this, &ActiveJobsBroadcaster::jobsChanged, context, std::move(receiver));
}

void ActiveJobsBroadcaster::publish() {
    emit jobsChanged(snapshot());
}
