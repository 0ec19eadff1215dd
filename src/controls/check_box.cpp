#include "controls/check_box.h"

namespace controls {

CheckBox::CheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    connect(this, &QCheckBox::stateChanged, this, &CheckBox::valueChanged);
}

platform::CheckValue CheckBox::value() const {
    switch (checkState()) {
        case Qt::Unchecked:
            return platform::CheckValue::Unchecked;
        case Qt::Checked:
            return platform::CheckValue::Checked;
        case Qt::PartiallyChecked:
            return platform::CheckValue::Grayed;
    }
    return platform::CheckValue::Unchecked;
}

void CheckBox::setValue(platform::CheckValue value) {
    switch (value) {
        case platform::CheckValue::Unchecked:
            setCheckState(Qt::Unchecked);
            break;
        case platform::CheckValue::Checked:
            setCheckState(Qt::Checked);
            break;
        case platform::CheckValue::Grayed:
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

}  // namespace controls
