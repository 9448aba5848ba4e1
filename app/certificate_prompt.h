// A server's certificate shown to the user: asking whether to trust one
// that no authority vouches for (trust once, trust always, cancel), or, from
// the Site menu, the running connection's. The judge hands the engine's
// question to the GUI thread and waits for the answer; no widget is made
// on the connection's thread.
#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>

#include "markup/qxlang.h"
#include "remote/certificate_trust.h"

class certificate_prompt : public QDialog {
public:
    // asking: the three answers; otherwise a Close button only.
    certificate_prompt(const qvtf::certificate_facts& facts, bool asking, const qvtf::qxlang* language,
                       QWidget* parent = nullptr);
    // reject until a trust button was pressed.
    qvtf::certificate_verdict verdict() const { return verdict_; }

    // Shows it modally on the GUI thread and returns the answer.
    static qvtf::certificate_verdict ask(const qvtf::certificate_facts& facts, const qvtf::qxlang* language,
                                         QWidget* parent);
    // The running connection's protection, or the "not encrypted" note.
    static void show_connection(const qvtf::connection_security& security, const qvtf::qxlang* language,
                                QWidget* parent);

private:
    QString phrase(int number, const char* fallback) const;

    const qvtf::qxlang* language_;
    qvtf::certificate_verdict verdict_ = qvtf::certificate_verdict::reject;
};

class gui_certificate_judge : public qvtf::certificate_judge {
public:
    // parent: the window the prompt belongs to (its thread is the GUI's).
    gui_certificate_judge(QWidget* parent, const qvtf::qxlang* language) : parent_(parent), language_(language) {}
    qvtf::certificate_verdict judge(const qvtf::certificate_facts& facts) override;

private:
    QPointer<QWidget> parent_;
    const qvtf::qxlang* language_;
};
