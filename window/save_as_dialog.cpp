#include "window/save_as_dialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace brevik::app {

namespace {

struct ModeText {
    TaskCode mode;
    const char* radio;
    const char* prompt;
};

const ModeText kModes[] = {
    {TaskCode::SaveAllAsPst,
     "Save all data from the current Outlook data file as *.pst file (native Outlook data "
     "format).",
     "Save all data as *pst file (the native Outlook data format).\nfrom: %1\nas:   "
     "%2_recovered_by_Brevik.pst\n\nto the folder:"},
    {TaskCode::SaveAllAsMsg,
     "Save all data from the current Outlook data file as *.msg files (native Outlook data "
     "format for separate messages).",
     "Save all data as *.msg files (native Outlook data format for separate messages).\nfrom: "
     "%1\nin:   Recovered_%2_as_msg_by_Brevik\n\nPath to the folder:"},
    {TaskCode::SaveAllAsEml,
     "Save all messages from the current Outlook data file as *.eml files (native Outlook "
     "Express data format for separate messages).",
     "Save all messages as *.eml files (native Outlook Express data format for separate "
     "messages).\nfrom: %1\nin:   Recovered_%2_as_eml_by_Brevik\n\nPath to the folder:"},
    {TaskCode::SaveAllAsVcf,
     "Save all contacts and distribution lists as *.vcf files (vCard: one file per contacts "
     "folder, for Outlook, Thunderbird, Google and phones).",
     "Save all contacts and distribution lists as *.vcf files (vCard).\nfrom: %1\nin:   "
     "Recovered_%2_as_vcf_by_Brevik\n\nPath to the folder:"},
    {TaskCode::SaveAllAsIcs,
     "Save all calendars, tasks and journals as *.ics files (iCalendar: one file per folder, "
     "for Outlook, Thunderbird, Google and Apple calendars).",
     "Save all calendars, tasks and journals as *.ics files (iCalendar).\nfrom: %1\nin:   "
     "Recovered_%2_as_ics_by_Brevik\n\nPath to the folder:"},
    {TaskCode::SaveSelectedAsMsg,
     "Save selected message(s) in the right pane as *.msg files (native Outlook data format "
     "for separate messages).",
     "Save selected message(s) in the right pane as *.msg files.\nfrom: %1\nin:   "
     "Recovered_%2_as_msg_by_Brevik\n\nPath to the folder:"},
    {TaskCode::SaveSelectedAsEml,
     "Save selected message(s) in the right pane as *.eml files (native Outlook Express data "
     "format for separate messages).",
     "Save selected message(s) in the right pane as *.eml files.\nfrom: %1\nin:   "
     "Recovered_%2_as_eml_by_Brevik\n\nPath to the folder:"},
    {TaskCode::SaveSelectedAsPst,
     "Save selected message(s) in the right pane as *.pst file (native Outlook data format).",
     "Save selected message(s) in the right pane as *.pst file (the native Outlook data "
     "format).\nfrom: %1\nas:   %2_recovered_by_Brevik.pst\n\nto the folder:"},
};

bool isSelectionMode(TaskCode mode) {
    return mode == TaskCode::SaveSelectedAsMsg || mode == TaskCode::SaveSelectedAsEml ||
           mode == TaskCode::SaveSelectedAsPst;
}

}  // namespace

SaveAsDialog::SaveAsDialog(TaskCode mode, bool selectionAllowed, QWidget* parent)
    : QDialog(parent), mode_(mode) {
    setWindowTitle(tr("Save As..."));
    if (!selectionAllowed && isSelectionMode(mode_)) mode_ = TaskCode::SaveAllAsPst;
    auto* group = new QGroupBox(tr("Select how to save recovered messages."), this);
    auto* column = new QVBoxLayout(group);
    for (const ModeText& m : kModes) {
        auto* radio = new QRadioButton(tr(m.radio), group);
        radio->setEnabled(selectionAllowed || !isSelectionMode(m.mode));
        radio->setChecked(m.mode == mode_);
        const TaskCode code = m.mode;
        connect(radio, &QRadioButton::toggled, this, [this, code](bool on) {
            if (on) mode_ = code;
        });
        column->addWidget(radio);
        buttons_[m.mode] = radio;
    }
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* next = buttons->addButton(tr("Next"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    next->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
}

QString savePrompt(TaskCode mode, const QString& fileName) {
    QString base = fileName;
    if (base.endsWith(QLatin1String(".pst"), Qt::CaseInsensitive) ||
        base.endsWith(QLatin1String(".ost"), Qt::CaseInsensitive))
        base.chop(4);
    for (const ModeText& m : kModes)
        if (m.mode == mode) return QObject::tr(m.prompt).arg(fileName, base);
    return {};
}

}  // namespace brevik::app
