#include "window/folder_prompt_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace brevik::app {

FolderPromptDialog::FolderPromptDialog(Mode mode, const QString& prompt, const QString& folder,
                                       QWidget* parent)
    : QDialog(parent) {
    const bool save = mode == Mode::SaveFolder;
    setWindowTitle(save ? tr("Save As...") : tr("Copy/backup"));
    auto* text = new QLabel(prompt, this);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folder_ = new QLineEdit(folder, this);
    folder_->setMaxLength(4096);
    folder_->setMinimumWidth(420);
    auto* browse = new QPushButton(tr("Browse..."), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen =
            QFileDialog::getExistingDirectory(this, tr("Choose a folder"), folder_->text());
        if (!chosen.isEmpty()) folder_->setText(chosen);
    });
    auto* row = new QHBoxLayout;
    row->addWidget(folder_, 1);
    row->addWidget(browse);
    auto* buttons = new QDialogButtonBox(this);
    confirm_ = buttons->addButton(save ? tr("Save") : tr("Copy"), QDialogButtonBox::AcceptRole);
    buttons->addButton(save ? tr("Back") : tr("Cancel"), QDialogButtonBox::RejectRole);
    confirm_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(row);
    layout->addWidget(buttons);
}

QString FolderPromptDialog::folder() const {
    return folder_->text().trimmed();
}

}  // namespace brevik::app
