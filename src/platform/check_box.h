#pragma once

#include <QCheckBox>

namespace platform {

// A check box whose value is 0 (unchecked), 1 (checked) or 2 (grayed). valueChanged is raised on
// every change of the value, by the user or by the program.
class CheckBox : public QCheckBox {
    Q_OBJECT

public:
    explicit CheckBox(const QString& caption, QWidget* parent = nullptr);

    int value() const;
    // Throws Failure for a value the box does not take.
    void setValue(int value);

Q_SIGNALS:
    void valueChanged();

protected:
    void nextCheckState() override;
};

}  // namespace platform
