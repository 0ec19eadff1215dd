#include "platform/check_box.h"

#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace platform {

CheckBox::CheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    connect(this, &QCheckBox::stateChanged, this, &CheckBox::valueChanged);
}

int CheckBox::value() const {
    switch (checkState()) {
        case Qt::Unchecked:
            return 0;
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
    }
    return 0;
}

void CheckBox::setValue(int value) {
    if (value < 0 || value > 2) throw Failure(u"Invalid property value"_s);
    if (value == 2) setTristate(true);
    setCheckState(value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked);
}

// A click on a grayed box checks it; the user toggles between checked and unchecked only.
void CheckBox::nextCheckState() {
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    setTristate(false);
}

}  // namespace platform
