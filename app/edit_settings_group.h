// edit_settings_group: the settings of editing remote files in place, a
// group of the settings dialog's files page: the editor's command line,
// uploading a saved file without asking, and what a double-click on a
// remote file does.
#pragma once

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace qvtf {
class qxlang;
struct global_ftp_values;
}  // namespace qvtf

class edit_settings_group : public QGroupBox {
    Q_OBJECT
public:
    edit_settings_group(const qvtf::qxlang* language, QWidget* parent = nullptr);
    void fill(const qvtf::global_ftp_values& values);
    void store(qvtf::global_ftp_values& values) const;

private:
    QLineEdit* editor_ = nullptr;
    QCheckBox* at_once_ = nullptr;
    QComboBox* double_click_ = nullptr;
};
