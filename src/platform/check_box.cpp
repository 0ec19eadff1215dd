#include "platform/check_box.h"

namespace platform {

CheckBox::CheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    connect(this, &QCheckBox::stateChanged, this, &CheckBox::valueChanged);
}

CheckValue CheckBox::value() const {
    switch (checkState()) {
        case Qt::Unchecked:
            return CheckValue::Unchecked;
        case Qt::Checked:
            return CheckValue::Checked;
        case Qt::PartiallyChecked:
            return CheckValue::Grayed;
    }
    return CheckValue::Unchecked;
}

void CheckBox::setValue(CheckValue value) {
    switch (value) {
        case CheckValue::Unchecked:
            setCheckState(Qt::Unchecked);
            break;
        case CheckValue::Checked:
            setCheckState(Qt::Checked);
            break;
        case CheckValue::Grayed:
            setTristate(true);
            setCheckState(Qt::PartiallyChecked);
            break;
    }
}

// A click on a grayed box checks it; the user toggles between checked and unchecked only.
void CheckBox::nextCheckState() {
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    setTristate(false);
}

}  // namespace platform
