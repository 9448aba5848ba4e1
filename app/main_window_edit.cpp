// Editing remote files in place, as the window wires it: the remote pane's
// View/Edit, the window's boxes for its questions, and the three-way
// question when the window closes with changes not uploaded.
#include <QMessageBox>
#include <QPushButton>

#include "app/edit_in_place.h"
#include "app/main_window.h"
#include "app/pane_widget.h"

void TqorxVTF::wire_edit_in_place()
{
    if (edits_ || !links_.queue)
        return;
    edits_ = new edit_in_place(language_, this);
    edits_->attach(links_.queue, links_.settings, links_.remote);
    // Through the window's own, which tests replace.
    edits_->ask = [this](const QString& caption, const QString& text) { return ask(caption, text); };
    edits_->tell = [this](const QString& caption, const QString& text, bool error) { tell(caption, text, error); };
    edits_->site_key = [](const qvtf::ftp_profile* site) { return site_key(site); };
    edits_->close_window = [this] { close(); };
    edits_->close_choice = [this](const QString& text) {
        QMessageBox box(QMessageBox::Warning, phrase(197, "Exit"), text, QMessageBox::NoButton, this);
        box.setObjectName("EditCloseQuestion");
        QPushButton* upload = box.addButton(phrase(1475, "Upload first"), QMessageBox::AcceptRole);
        QPushButton* discard = box.addButton(phrase(1476, "Discard"), QMessageBox::DestructiveRole);
        QPushButton* cancel = box.addButton(phrase(156, "Cancel"), QMessageBox::RejectRole);
        box.setDefaultButton(upload);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == upload)
            return edit_in_place::close_upload_first;
        return box.clickedButton() == discard ? edit_in_place::close_discard : edit_in_place::close_cancel;
    };
    remote_pane_->edit_hook = [this](pane_widget&, std::vector<qvtf::qxfile_node*> nodes) {
        for (qvtf::qxfile_node* node : nodes)
            edits_->view_edit(node);
    };
}
