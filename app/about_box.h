// TAboutBox: the program's name, version, what it is for and its licence.
#pragma once

#include <QDialog>

namespace qvtf {
class qxlang;
}

// The version the about box and the window show.
inline constexpr const char* qvtf_version = "1.0";

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(const qvtf::qxlang* language, QWidget* parent = nullptr);
};
