#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <algorithm>
#include <cstring>

// A random-access device over bytes in memory that fails once a given number of bytes has gone
// through it: reading serves `content` up to the limit and then returns -1; writing accepts bytes
// up to the limit, returns the short count for the write that crosses it and -1 after that.
// A negative limit never fails.
class FailDevice : public QIODevice {
public:
    explicit FailDevice(qint64 failAfter, QByteArray content = {})
        : m_content(std::move(content)), m_failAfter(failAfter) {}

    // Everything the device accepted for writing.
    const QByteArray& written() const { return m_written; }
    static QString readFailureText() { return QStringView(u"Simulated read failure").toString(); }
    static QString writeFailureText() { return QStringView(u"Simulated write failure").toString(); }

    qint64 size() const override { return m_content.size(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 limit =
            m_failAfter < 0 ? m_content.size() : std::min<qint64>(m_failAfter, m_content.size());
        const qint64 available = limit - m_readPos;
        if (available <= 0) {
            if (m_readPos >= m_content.size()) return 0;
            setErrorString(readFailureText());
            return -1;
        }
        const qint64 count = std::min(maxSize, available);
        std::memcpy(data, m_content.constData() + m_readPos, size_t(count));
        m_readPos += count;
        return count;
    }

    qint64 writeData(const char* data, qint64 maxSize) override {
        qint64 count = maxSize;
        if (m_failAfter >= 0) {
            count = std::min(maxSize, m_failAfter - m_written.size());
            if (count < maxSize) setErrorString(writeFailureText());
            if (count <= 0) return -1;
        }
        m_written.append(data, count);
        return count;
    }

private:
    QByteArray m_content;
    QByteArray m_written;
    qint64 m_failAfter;
    qint64 m_readPos = 0;
};
