#pragma once

#include <QProgressBar>

#include "platform/progress.h"

namespace controls {

// Keeps the exact value it was given; shows it rounded, and anything above 100 as 100.
class ProgressBar : public QProgressBar, public platform::ProgressSink {
    Q_OBJECT

public:
    explicit ProgressBar(QWidget* parent = nullptr);

    void setValue(double percent) override;
    double exactValue() const { return m_exact; }

private:
    double m_exact = 0;
};

}  // namespace controls
