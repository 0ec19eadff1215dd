#include "controls/skin.h"

#include <QFile>

#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace controls {

void StyleSheetSkin::LoadSkin(const QString& path, const QString& /*section*/) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw platform::Failure(
            u"The skin %1 could not be loaded: %2"_s.arg(path, file.errorString()));
    }
    m_styleSheet = QString::fromUtf8(file.readAll());
}

void StyleSheetSkin::ApplyWindow(QWidget& window) {
    window.setStyleSheet(m_styleSheet);
}

}  // namespace controls
