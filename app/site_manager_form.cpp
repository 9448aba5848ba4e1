#include "app/site_manager_form.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "app/prompts_messages.h"
#include "app/qt_text.h"
#include "app/site_manager_phrases.h"
#include "app/site_tree_model.h"
#include "markup/qxlang.h"

using namespace site_manager_phrases;

using qvtf::ftp_profile;

namespace {

QMessageBox::StandardButton ask_person(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                       const QString& text, QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, caption, text, buttons, parent);
    fit_title(box);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

TSiteManagerForm::TSiteManagerForm(qvtf::ftp_profile_tree& tree, const qvtf::qxlang* language, QWidget* parent)
    : QDialog(parent), tree_(tree), language_(language)
{
    setObjectName("TSiteManagerForm");
    help_folder_ = QCoreApplication::applicationDirPath() + "/help/";
    message_box = [this](QMessageBox::Icon icon, const QString& caption, const QString& text,
                         QMessageBox::StandardButtons buttons) {
        return ask_person(this, icon, caption, text, buttons);
    };
    choose_folder = [this](const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(this, title, start);
    };
    model_ = new site_tree_model(tree_, this);
    build_commands();
    build_layout();
    retranslate();
    connect(tv1->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { current_index_changed(); });
    // A double-click on a site or bookmark connects, as Enter does.
    connect(tv1, &QTreeView::doubleClicked, this, [this](const QModelIndex& i) {
        ftp_profile* n = model_->node_at(i);
        if (n && n == current_ && (n->is_site() || n->is_bookmark()))
            connect_current();
    });
    connect(tv1, &QTreeView::expanded, this,
            [this](const QModelIndex& i) { model_->set_expanded(model_->node_at(i), true); });
    connect(tv1, &QTreeView::collapsed, this,
            [this](const QModelIndex& i) { model_->set_expanded(model_->node_at(i), false); });
    connect(model_, &QAbstractItemModel::rowsMoved, this, [this] {
        // A bookmark moved under another site shows that site's data.
        if (current_ && current_->is_bookmark() && !modified_) {
            qvtf::effective_site(current_);
            show_fields(current_);
        }
    });
}

TSiteManagerForm::~TSiteManagerForm() = default;

QString TSiteManagerForm::phrase(int number, const char* fallback) const
{
    if (language_) {
        std::string_view text = language_->text(number);
        if (!text.empty())
            return to_qt(text);
    }
    return QString::fromUtf8(fallback);
}

void TSiteManagerForm::build_commands()
{
    auto make = [this](const char* name, QStyle::StandardPixmap icon) {
        auto* a = new QAction(this);
        a->setObjectName(name);
        if (icon != QStyle::SP_CustomBase)
            a->setIcon(style()->standardIcon(icon));
        return a;
    };
    miNewGroup = make("miNewGroup", QStyle::SP_FileDialogNewFolder);
    miNewSite = make("miNewSite", QStyle::SP_DriveNetIcon);
    miNewBookmark = make("miNewBookmark", QStyle::SP_DirLinkIcon);
    miDelete = make("miDelete", QStyle::SP_TrashIcon);
    miConnect = make("miConnect", QStyle::SP_CustomBase);
    miSave = make("miSave", QStyle::SP_CustomBase);
    miUndo = make("miUndo", QStyle::SP_CustomBase);
    miClose = make("miClose", QStyle::SP_CustomBase);
    tbHelp = make("tbHelp", QStyle::SP_DialogHelpButton);
    miSave->setShortcut(QKeySequence::Save);
    miUndo->setShortcut(QKeySequence::Undo);
    miClose->setShortcut(QKeySequence::Close);
    tbHelp->setShortcut(QKeySequence::HelpContents);
    connect(miNewGroup, &QAction::triggered, this, [this] { new_item(qvtf::profile_group); });
    connect(miNewSite, &QAction::triggered, this, [this] { new_item(qvtf::profile_site); });
    connect(miNewBookmark, &QAction::triggered, this, [this] { new_item(qvtf::profile_bookmark); });
    connect(miDelete, &QAction::triggered, this, [this] { delete_current(); });
    connect(miConnect, &QAction::triggered, this, [this] { connect_current(); });
    connect(miSave, &QAction::triggered, this, [this] { save_current(); });
    connect(miUndo, &QAction::triggered, this, [this] { undo_current(); });
    connect(miClose, &QAction::triggered, this, [this] { reject(); });
    connect(tbHelp, &QAction::triggered, this, [this] { show_help(); });
}

void TSiteManagerForm::build_layout()
{
    auto* root = new QVBoxLayout(this);
    auto* menu_bar = new QMenuBar(this);
    QMenu* site_menu = menu_bar->addMenu(QString());
    site_menu->setObjectName("miSite");
    site_menu->addActions({miNewGroup, miNewSite, miNewBookmark, miDelete});
    site_menu->addSeparator();
    site_menu->addActions({miConnect, miSave, miUndo});
    site_menu->addSeparator();
    site_menu->addAction(miClose);
    root->setMenuBar(menu_bar);

    auto* tools = new QToolBar(this);
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tools->setIconSize(QSize(16, 16));
    for (QAction* a : {miNewGroup, miNewSite, miNewBookmark, miDelete, tbHelp}) {
        tools->addAction(a);
        QString name = a->objectName();
        if (name.startsWith("mi"))
            name.replace(0, 2, "tb");
        tools->widgetForAction(a)->setObjectName(name);
    }
    root->addWidget(tools);

    auto* split = new QSplitter(Qt::Horizontal, this);
    tv1 = new QTreeView(split);
    tv1->setObjectName("tv1");
    tv1->setModel(model_);
    tv1->header()->hide();
    tv1->setDragEnabled(true);
    tv1->setAcceptDrops(true);
    tv1->setDropIndicatorShown(true);
    // Only drags inside this view, and only onto a node.
    tv1->setDragDropMode(QAbstractItemView::InternalMove);
    tv1->setDragDropOverwriteMode(true);
    tv1->setDefaultDropAction(Qt::MoveAction);
    tv1->setSelectionMode(QAbstractItemView::SingleSelection);
    tv1->installEventFilter(this);
    tv1->setMinimumWidth(180);

    auto* right = new QWidget(split);
    auto* right_layout = new QVBoxLayout(right);
    right_layout->setContentsMargins(0, 0, 0, 0);
    pages_ = new QTabWidget(right);
    pages_->setObjectName("pages");

    tsBasic = new QWidget;
    tsBasic->setObjectName("tsBasic");
    auto* basic = new QFormLayout(tsBasic);
    basic->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    auto edit = [](const char* name) {
        auto* e = new QLineEdit;
        e->setObjectName(name);
        return e;
    };
    auto label = [](const char* name, QWidget* buddy) {
        auto* l = new QLabel;
        l->setObjectName(name);
        l->setBuddy(buddy);
        return l;
    };
    eLabel = edit("eLabel");
    eHost = edit("eHost");
    ePort = edit("ePort");
    ePort->setMaximumWidth(90);
    cbEncryption = new QComboBox;
    cbEncryption->setObjectName("cbEncryption");
    for (int mode = 0; mode < 4; ++mode)
        cbEncryption->addItem(QString());
    eUser = edit("eUser");
    ePassword = edit("ePassword");
    ePassword->setEchoMode(QLineEdit::Password);
    eDirectory = edit("eDirectory");
    eLocalDirectory = edit("eLocalDirectory");
    cbAnonymous = new QCheckBox;
    cbAnonymous->setObjectName("cbAnonymous");
    cbSavePassword = new QCheckBox;
    cbSavePassword->setObjectName("cbSavePassword");
    sbBrowseLocalDirectory = new QToolButton;
    sbBrowseLocalDirectory->setObjectName("sbBrowseLocalDirectory");
    sbBrowseLocalDirectory->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    auto* local_row = new QHBoxLayout;
    local_row->addWidget(eLocalDirectory);
    local_row->addWidget(sbBrowseLocalDirectory);
    lLabel = label("lLabel", eLabel);
    lHost = label("lHost", eHost);
    lPort = label("lPort", ePort);
    lEncryption = label("lEncryption", cbEncryption);
    lUser = label("lUser", eUser);
    lPassword = label("lPassword", ePassword);
    lDirectory = label("lDirectory", eDirectory);
    lLocalDirectory = label("lLocalDirectory", eLocalDirectory);
    basic->addRow(lLabel, eLabel);
    basic->addRow(lHost, eHost);
    basic->addRow(lPort, ePort);
    basic->addRow(lEncryption, cbEncryption);
    basic->addRow(QString(), cbAnonymous);
    basic->addRow(lUser, eUser);
    basic->addRow(lPassword, ePassword);
    basic->addRow(QString(), cbSavePassword);
    basic->addRow(lDirectory, eDirectory);
    basic->addRow(lLocalDirectory, local_row);

    tsAdvanced = new QWidget;
    tsAdvanced->setObjectName("tsAdvanced");
    auto* advanced = new QFormLayout(tsAdvanced);
    advanced->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    eList = edit("eList");
    cbDetectTimeDiff = new QCheckBox;
    cbDetectTimeDiff->setObjectName("cbDetectTimeDiff");
    mCustomCommands = new QPlainTextEdit;
    mCustomCommands->setObjectName("mCustomCommands");
    mCustomCommands->setTabChangesFocus(true);
    lList = label("lList", eList);
    lCustomCommands = label("lCustomCommands", mCustomCommands);
    advanced->addRow(lList, eList);
    advanced->addRow(QString(), cbDetectTimeDiff);
    advanced->addRow(lCustomCommands, mCustomCommands);
    build_ssh_fields(basic, advanced);
    pages_->addTab(tsBasic, QString());
    pages_->addTab(tsAdvanced, QString());
    right_layout->addWidget(pages_, 1);

    auto* buttons = new QHBoxLayout;
    butConnect = new QPushButton;
    butConnect->setObjectName("butConnect");
    butOK = new QPushButton;
    butOK->setObjectName("butOK");
    butCancel = new QPushButton;
    butCancel->setObjectName("butCancel");
    bClose = new QPushButton;
    bClose->setObjectName("bClose");
    // Enter in a field must not run a button behind the user's back.
    for (QPushButton* b : {butConnect, butOK, butCancel, bClose}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    buttons->addWidget(butConnect);
    buttons->addStretch(1);
    buttons->addWidget(butOK);
    buttons->addWidget(butCancel);
    buttons->addSpacing(12);
    buttons->addWidget(bClose);
    right_layout->addLayout(buttons);
    connect(butConnect, &QPushButton::clicked, miConnect, &QAction::trigger);
    connect(butOK, &QPushButton::clicked, miSave, &QAction::trigger);
    connect(butCancel, &QPushButton::clicked, miUndo, &QAction::trigger);
    connect(bClose, &QPushButton::clicked, miClose, &QAction::trigger);

    split->addWidget(tv1);
    split->addWidget(right);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    split->setChildrenCollapsible(false);
    root->addWidget(split, 1);

    StatusPanel = new QLabel(this);
    StatusPanel->setObjectName("StatusPanel");
    StatusPanel->setFrameShape(QFrame::StyledPanel);
    StatusPanel->setFrameShadow(QFrame::Sunken);
    StatusPanel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    root->addWidget(StatusPanel);

    for (QLineEdit* e : {eLabel, eHost, ePort, eUser, ePassword, eDirectory, eLocalDirectory, eList})
        connect(e, &QLineEdit::textChanged, this, [this] { field_edited(); });
    connect(eLabel, &QLineEdit::textEdited, this, [this] { just_created_ = false; });
    connect(eHost, &QLineEdit::textChanged, this, [this] { host_edited(); });
    connect(eDirectory, &QLineEdit::textChanged, this, [this] { directory_edited(); });
    connect(ePort, &QLineEdit::editingFinished, this, [this] { port_left(); });
    connect(cbEncryption, &QComboBox::activated, this, [this](int mode) { encryption_chosen(mode); });
    connect(cbEncryption, &QComboBox::currentIndexChanged, this, [this] { field_edited(); });
    connect(eHost, &QLineEdit::editingFinished, this, [this] { host_left(); });
    connect(mCustomCommands, &QPlainTextEdit::textChanged, this, [this] { field_edited(); });
    for (QCheckBox* c : {cbAnonymous, cbSavePassword, cbDetectTimeDiff})
        connect(c, &QCheckBox::toggled, this, [this] { field_edited(); });
    connect(cbAnonymous, &QCheckBox::clicked, this, [this](bool checked) { anonymous_clicked(checked); });
    connect(sbBrowseLocalDirectory, &QToolButton::clicked, this, [this] { browse_local_folder(); });

    // Reading order: tree, fields top to bottom, then the buttons.
    QWidget::setTabOrder(tv1, pages_);
    QWidget* order[] = {pages_,
                        eLabel,
                        eHost,
                        ePort,
                        cbEncryption,
                        cbAnonymous,
                        eUser,
                        ePassword,
                        cbSavePassword,
                        eDirectory,
                        eLocalDirectory,
                        sbBrowseLocalDirectory,
                        eList,
                        cbDetectTimeDiff,
                        mCustomCommands,
                        butConnect,
                        butOK,
                        butCancel,
                        bClose};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    resize(760, 460);
}

void TSiteManagerForm::retranslate()
{
    setWindowTitle(phrase(p_site_manager, "Site manager"));
    if (auto* menu = findChild<QMenu*>("miSite"))
        menu->setTitle(phrase(p_site_menu, "&Site"));
    miNewGroup->setText(phrase(217, "New group"));
    miNewSite->setText(phrase(218, "New site"));
    miNewBookmark->setText(phrase(219, "New bookmark"));
    miDelete->setText(phrase(p_delete, "Delete"));
    miConnect->setText(phrase(p_connect, "Connect"));
    miSave->setText(phrase(p_save, "Save"));
    miUndo->setText(phrase(p_undo, "Undo changes"));
    miClose->setText(phrase(p_close, "Close"));
    tbHelp->setText(phrase(p_help, "Help"));
    lLabel->setText(phrase(201, "Label:"));
    lHost->setText(phrase(202, "Host:"));
    lPort->setText(phrase(203, "Port:"));
    lEncryption->setText(phrase(1015, "Encryption:"));
    // In the order of the profile's modes.
    const char* const modes[] = {"plain FTP (insecure)", "explicit if available", "require explicit", "implicit"};
    for (int mode = 0; mode < 4; ++mode)
        cbEncryption->setItemText(mode, phrase(1016 + mode, modes[mode]));
    lUser->setText(phrase(204, "User name:"));
    lPassword->setText(phrase(206, "Password:"));
    lDirectory->setText(phrase(207, "Remote folder:"));
    lLocalDirectory->setText(phrase(208, "Local folder:"));
    cbAnonymous->setText(phrase(209, "Log in anonymously"));
    cbSavePassword->setText(phrase(210, "Save the password"));
    lList->setText(phrase(211, "Listing parameters:"));
    cbDetectTimeDiff->setText(phrase(212, "Detect the server's clock difference"));
    lCustomCommands->setText(phrase(213, "User commands:"));
    pages_->setTabText(0, phrase(221, "Basic"));
    pages_->setTabText(1, phrase(223, "Advanced"));
    sbBrowseLocalDirectory->setToolTip(phrase(p_choose_local, "Choose the local folder"));
    butConnect->setText(miConnect->text());
    butOK->setText(miSave->text());
    butCancel->setText(miUndo->text());
    bClose->setText(miClose->text());
    retranslate_ssh();
}

void TSiteManagerForm::set_status(int phrase_number)
{
    status_phrase_ = phrase_number;
    static const char* const fallback[] = {"Fill in the connection details, then save or connect.",
                                           "A group holds sites and further groups.",
                                           "New entry: fill in its fields, then save.", "Saved.", "Changes undone."};
    const int i = phrase_number - p_status_site;
    StatusPanel->setText(phrase(phrase_number, i >= 0 && i < 5 ? fallback[i] : ""));
}

QString TSiteManagerForm::status_text() const
{
    return StatusPanel->text();
}

void TSiteManagerForm::show_error(int caption, const QString& text)
{
    message_box(QMessageBox::Critical, phrase(caption, caption == p_error ? "Error" : "Incomplete entry"), text,
                QMessageBox::Ok);
}

int TSiteManagerForm::open_modal(bool create_new_site)
{
    if (!prepare_to_open(create_new_site))
        return QDialog::Rejected;
    return exec();
}

bool TSiteManagerForm::prepare_to_open(bool create_new_site)
{
    if (!tree_.top())
        return false;
    qvtf::ftp_profile* keep = model_->contains(current_) ? current_ : nullptr;
    // The tree may have been reloaded or changed since the last opening.
    modified_ = false;
    just_created_ = false;
    connecting_ = false;
    current_ = nullptr;
    model_->reload();
    tv1->collapseAll();
    tv1->expand(model_->index_of(tree_.top()));
    ftp_profile* start = keep ? keep : tree_.top();
    // A new site goes into the current group: from a bookmark start at its site.
    if (create_new_site && start->is_bookmark() && start->parent)
        start = start->parent;
    for (ftp_profile* p = start->parent; p; p = p->parent)
        tv1->expand(model_->index_of(p));
    select_node(start);
    if (!current_)
        current_index_changed();
    if (create_new_site)
        new_item(qvtf::profile_site);
    return true;
}

bool TSiteManagerForm::select_node(ftp_profile* node)
{
    if (!node)
        return false;
    tv1->setCurrentIndex(model_->index_of(node));
    return current_ == node;
}

void TSiteManagerForm::current_index_changed()
{
    if (reverting_)
        return;
    ftp_profile* wanted = model_->node_at(tv1->currentIndex());
    if (wanted == current_)
        return;
    if (current_ && model_->contains(current_) && keep_pending_edits()) {
        reverting_ = true;
        tv1->setCurrentIndex(model_->index_of(current_));
        reverting_ = false;
        return;
    }
    current_ = wanted;
    just_created_ = false;
    model_->set_selected(current_);
    if (current_ && current_->is_bookmark())
        qvtf::effective_site(current_);
    show_fields(current_);
    update_commands();
    set_status(current_ && current_->is_group() ? p_status_group : p_status_site);
}

bool TSiteManagerForm::keep_pending_edits()
{
    if (!modified_)
        return false;
    const auto answer =
        message_box(QMessageBox::Question, phrase(p_pending_caption, "Unsaved changes"),
                    phrase(p_pending, "This entry has changes that are not saved yet. Stay on it to save them?"),
                    QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes)
        return true;
    modified_ = false;
    return false;
}

void TSiteManagerForm::update_commands()
{
    const ftp_profile* n = current_;
    const ftp_profile* parent = n ? n->parent : nullptr;
    const bool top = n && !parent;
    miDelete->setEnabled(n && !top);
    miNewGroup->setEnabled(n && (n->is_group() || (parent && parent->is_group())));
    miNewSite->setEnabled(miNewGroup->isEnabled());
    miNewBookmark->setEnabled(n && (n->is_site() || (parent && parent->is_site())));
    miConnect->setEnabled(n && (n->is_site() || n->is_bookmark()));
    miSave->setEnabled(n && !top);
    miUndo->setEnabled(n && !top);
    butConnect->setEnabled(miConnect->isEnabled());
    butOK->setEnabled(miSave->isEnabled());
    butCancel->setEnabled(miUndo->isEnabled());
}

void TSiteManagerForm::done(int result)
{
    // Closing asks about pending edits; connecting has settled them already.
    if (!connecting_ && keep_pending_edits())
        return;
    connecting_ = false;
    QDialog::done(result);
}

bool TSiteManagerForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tv1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            delete_current();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && current_ &&
            (current_->is_site() || current_->is_bookmark())) {
            connect_current();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
