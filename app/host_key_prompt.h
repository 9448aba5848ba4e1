// host_key_prompt: the window's judge of SSH host keys. The session asks on
// the thread that logs in; the question goes to the GUI thread as a blocking
// queued call, and the answer comes back to the session.
#pragma once

#include <QObject>

#include "remote/host_key_judge.h"

namespace qvtf {
class qxlang;
}
class QWidget;

class host_key_prompt : public QObject, public qvtf::host_key_judge {
public:
    host_key_prompt(const qvtf::qxlang* language, QWidget* parent);

    qvtf::host_key_verdict judge(const qvtf::host_key_question& question) override;

    // The dialog itself, on the GUI thread.
    qvtf::host_key_verdict ask(const qvtf::host_key_question& question);

private:
    const qvtf::qxlang* language_;
    QWidget* parent_;
};
