#include "platform/progress_bar.h"

#include <algorithm>
#include <cmath>

namespace platform {

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    QProgressBar::setValue(0);
    setTextVisible(false);
}

void ProgressBar::setValue(double percent) {
    m_exact = percent;
    const double shown = std::isfinite(percent) ? std::clamp(std::round(percent), 0.0, 100.0) : 0.0;
    // Long work sets a value per item; most of them show as the value already shown.
    if (int(shown) != value()) QProgressBar::setValue(int(shown));
}

}  // namespace platform
