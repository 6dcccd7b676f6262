#include "window/options_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace brevik::app {

OptionsDialog::OptionsDialog(bool openDefaultFiles, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Options"));
    box_ = new QCheckBox(
        tr("Show Outlook data file(s) from the user's default Outlook folder at startup."), this);
    box_->setChecked(openDefaultFiles);
    auto* note = new QLabel(tr("Takes effect the next time Brevik starts."), this);
    note->setEnabled(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box_);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

bool OptionsDialog::openDefaultFiles() const {
    return box_->isChecked();
}

}  // namespace brevik::app
