#pragma once

#include <QList>
#include <algorithm>

// Fixed-capacity ring that overwrites its oldest element once full.
template <typename T>
class RingBuffer {
public:
    explicit RingBuffer(qsizetype capacity) : m_capacity(std::max<qsizetype>(capacity, 0)) {
        m_storage.reserve(m_capacity);
    }

    void append(T element) {
        if (m_capacity == 0) {
            return;
        }
        if (m_storage.size() < m_capacity) {
            m_storage.append(std::move(element));
        } else {
            m_storage[m_nextWriteIndex] = std::move(element);
        }
        m_nextWriteIndex = (m_nextWriteIndex + 1) % m_capacity;
    }

    // Oldest first.
    QList<T> orderedElements() const {
        if (m_capacity == 0 || m_storage.isEmpty()) {
            return {};
        }
        if (m_storage.size() < m_capacity) {
            return m_storage;
        }
        QList<T> ordered;
        ordered.reserve(m_storage.size());
        ordered.append(m_storage.begin() + m_nextWriteIndex, m_storage.end());
        ordered.append(m_storage.begin(), m_storage.begin() + m_nextWriteIndex);
        return ordered;
    }

    const QList<T>& storage() const { return m_storage; }
    qsizetype nextWriteIndex() const { return m_nextWriteIndex; }
    qsizetype capacity() const { return m_capacity; }

private:
    QList<T> m_storage;
    qsizetype m_nextWriteIndex = 0;
    qsizetype m_capacity;
};
