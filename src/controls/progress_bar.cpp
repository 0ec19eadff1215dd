#include "controls/progress_bar.h"

#include <algorithm>
#include <cmath>

namespace controls {

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    QProgressBar::setValue(0);
    setTextVisible(false);
}

void ProgressBar::setValue(double percent) {
    m_exact = percent;
    const double shown = std::isfinite(percent) ? std::clamp(std::round(percent), 0.0, 100.0) : 0.0;
    // Long work sets a value per item; most of them show as the value already shown.
    if (int(shown) == value()) return;
    // QProgressBar repaints at once on every change it shows; long work only needs the new value
    // painted at the window's next chance to handle events, with any other change it made.
    setUpdatesEnabled(false);
    QProgressBar::setValue(int(shown));
    setUpdatesEnabled(true);
}

}  // namespace controls
