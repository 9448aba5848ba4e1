// exists_prompt: the window's answer to "the target exists": both files'
// size and time, the action (with a field for the new name), and whether
// the answer holds for the rest of the queue's run or for its folder. The
// queue's worker waits for it without blocking anything: the judge shows
// the dialog later on the GUI thread, and a stop of the item closes it.
#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>

#include "queue/exists_judge.h"

namespace qvtf {
class qxlang;
}
class QCheckBox;
class QComboBox;
class QLineEdit;

// Fills box with the actions (from ask when with_ask, else from overwrite),
// each item's data the action's name.
void fill_exists_actions(QComboBox* box, const qvtf::qxlang* language, bool with_ask);

class exists_prompt : public QDialog {
public:
    exists_prompt(const qvtf::exists_question& question, const qvtf::qxlang* language, QWidget* parent = nullptr);
    // The answer as the fields give it (Escape and Skip: skip, not remembered).
    qvtf::exists_answer answer() const;

private:
    QString phrase(int number, const char* fallback) const;
    void action_chosen();

    const qvtf::qxlang* language_;
    QComboBox* action_ = nullptr;
    QLineEdit* new_name_ = nullptr;
    QCheckBox* apply_all_ = nullptr;
    QCheckBox* this_folder_ = nullptr;
    bool skipped_ = false;
};

class gui_exists_judge : public qvtf::exists_judge {
public:
    // parent: the window the dialog belongs to; its thread is the GUI's.
    gui_exists_judge(QWidget* parent, const qvtf::qxlang* language) : parent_(parent), language_(language) {}
    void ask(std::shared_ptr<qvtf::exists_asking> question) override;

private:
    QPointer<QWidget> parent_;
    const qvtf::qxlang* language_;
};
