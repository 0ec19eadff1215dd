#include "controls/pointer.h"

#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace controls {

void WindowPointer::setState(State state) {
    m_state = state;
    if (!m_window) return;
    switch (state) {
        case Busy:
            m_window->setCursor(Qt::WaitCursor);
            break;
        case Custom:
            if (m_custom) {
                m_window->setCursor(*m_custom);
            } else {
                m_window->unsetCursor();
            }
            break;
        case Default:
            m_window->unsetCursor();
            break;
    }
}

void WindowPointer::loadCustomImage(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw platform::Failure(u"File not found: %1"_s.arg(file.errorString()));
    }
    const QByteArray header = file.read(22);
    QImageReader reader(&file, "cur");
    file.seek(0);
    const QImage image = reader.read();
    if (image.isNull()) throw platform::Failure(u"Invalid picture"_s);

    // A cursor file's first directory entry holds the hotspot where an icon has planes and depth.
    int hotX = 0;
    int hotY = 0;
    if (header.size() >= 22) {
        const auto* bytes = reinterpret_cast<const uchar*>(header.constData());
        hotX = qFromLittleEndian<quint16>(bytes + 10);
        hotY = qFromLittleEndian<quint16>(bytes + 12);
    }
    hotX = qBound(0, hotX, image.width() - 1);
    hotY = qBound(0, hotY, image.height() - 1);
    m_custom = QCursor(QPixmap::fromImage(image), hotX, hotY);
}

}  // namespace controls
