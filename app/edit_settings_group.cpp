#include "app/edit_settings_group.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "app/prompts.h"
#include "settings/global_ftp_settings.h"

edit_settings_group::edit_settings_group(const qvtf::qxlang* language, QWidget* parent)
    : QGroupBox(phrase_text(language, 1479, "Editing remote files"), parent)
{
    setObjectName("gbEditInPlace");
    auto* form = new QFormLayout(this);
    editor_ = new QLineEdit(this);
    editor_->setObjectName("eEditor");
    editor_->setPlaceholderText(phrase_text(
        language, 1487, "command line, the file is appended; empty: the desktop's application for the type"));
    auto* label = new QLabel(phrase_text(language, 1480, "Editor:"), this);
    label->setBuddy(editor_);
    form->addRow(label, editor_);
    at_once_ = new QCheckBox(phrase_text(language, 1481, "Upload a saved file without asking"), this);
    at_once_->setObjectName("cbEditUploadAtOnce");
    form->addRow(at_once_);
    double_click_ = new QComboBox(this);
    double_click_->setObjectName("cbRemoteDoubleClick");
    double_click_->addItem(phrase_text(language, 1483, "downloads it"));
    double_click_->addItem(phrase_text(language, 1484, "opens it for viewing and editing"));
    auto* click_label = new QLabel(phrase_text(language, 1482, "Double-click on a remote file:"), this);
    click_label->setBuddy(double_click_);
    form->addRow(click_label, double_click_);
}

void edit_settings_group::fill(const qvtf::global_ftp_values& values)
{
    editor_->setText(QString::fromStdString(values.edit_command));
    at_once_->setChecked(values.edit_upload_at_once);
    double_click_->setCurrentIndex(values.remote_double_click == 1 ? 1 : 0);
}

void edit_settings_group::store(qvtf::global_ftp_values& values) const
{
    values.edit_command = editor_->text().trimmed().toStdString();
    values.edit_upload_at_once = at_once_->isChecked();
    values.remote_double_click = double_click_->currentIndex();
}
