#pragma once

#include <QCheckBox>

#include "platform/check_value.h"

namespace controls {

// A check box whose value is unchecked, checked or grayed. valueChanged is raised on every change
// of the value, by the user or by the program.
class CheckBox : public QCheckBox {
    Q_OBJECT

public:
    explicit CheckBox(const QString& caption, QWidget* parent = nullptr);

    platform::CheckValue value() const;
    void setValue(platform::CheckValue value);

Q_SIGNALS:
    void valueChanged();

protected:
    void nextCheckState() override;
};

}  // namespace controls
