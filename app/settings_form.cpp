#include "app/settings_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/exists_prompt.h"
#include "app/edit_settings_group.h"
#include "app/prompts_messages.h"
#include "app/qt_text.h"
#include "browse/qx_file_lister.h"
#include "markup/qxlang.h"
#include "net/socket_address.h"
#include "settings/global_ftp_settings.h"

namespace {

constexpr int phrase_error = 12;
constexpr int phrase_cant_open = 64;
constexpr int phrase_cancel = 156, phrase_ok = 157;
constexpr int phrase_passive = 341, phrase_pasv_to_port = 342, phrase_threads_group = 343;
constexpr int phrase_extended_data = 1102;
constexpr int phrase_tries_group = 344, phrase_popup_error = 345, phrase_set_ft = 346;
constexpr int phrase_sync_interval = 347, phrase_download_log = 348, phrase_download_log_file = 349;
constexpr int phrase_log_format = 350, phrase_command_log = 351, phrase_command_log_file = 352;
constexpr int phrase_log_format_help = 934;
constexpr int phrase_sync_group = 356, phrase_threads = 362, phrase_tries = 363, phrase_help = 364;
constexpr int phrase_delete_confirm = 372, phrase_delete_recycle = 373, phrase_sensitive_sort = 440;
constexpr int phrase_first_script = 447;     // + firewall type 0..3
constexpr int phrase_first_type_name = 459;  // + type 0..5
constexpr int phrase_fw_enabled = 472, phrase_fw_type = 473, phrase_host = 474, phrase_port = 475;
constexpr int phrase_user = 476, phrase_password = 477, phrase_commands = 478;
constexpr int phrase_first_sound = 601;  // connect, disconnect, transfer, beep
constexpr int phrase_file_types = 605;
constexpr int phrase_cant_save = 610;
constexpr int phrase_title = 611;
constexpr int phrase_exists_group = 1410, phrase_download_exists = 1432, phrase_upload_exists = 1433;

constexpr int threads_low = 0, threads_high = 30;
constexpr int tries_low = 1, tries_high = 5;
constexpr int sync_low = 30, sync_high = 86400;
constexpr int firewall_types = 6;

struct page_info {
    const char* name;
    int caption;
    const char* help;
};
constexpr page_info page_table[] = {{"pConnection", 353, "0400.html"},
                                    {"pFirewalls", 471, "0420.html"},
                                    {"pFiles", 354, "0440.html"},
                                    {"pLogs", 355, "0460.html"},
                                    {"pSounds", 441, "0480.html"}};

QString shown_script(const qvtf::qxval& stored)
{
    QString text = to_qt(stored);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

std::string stored_script(const QString& shown)
{
    QString text = shown;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text.toStdString();
}

}  // namespace

// ---- rules ----

namespace settings_rules {

long long read_integer(const QString& text)
{
    int i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min(value * 10 + (text[i].unicode() - '0'), 1LL << 40);
    return negative ? -value : value;
}

int clamp(long long value, int low, int high)
{
    return int(std::clamp<long long>(value, low, high));
}

bool clamp_while_typing(const QString& text, int low, int high, int& clamped)
{
    if (text.trimmed().isEmpty())
        return false;
    const long long v = read_integer(text);
    if (v > high) {
        clamped = high;
        return true;
    }
    // Below the range: wait while another digit could still bring it in.
    if (v < low && (v <= 0 || v * 10 > high)) {
        clamped = low;
        return true;
    }
    return false;
}

int default_port(int type)
{
    return takes_script(type) ? 21 : 1080;
}

bool takes_script(int type)
{
    return type >= qvtf::proxy_type_firewall_first && type <= qvtf::proxy_type_firewall_last;
}

int name_sort_key(int key, bool case_insensitive)
{
    if (key == qvtf::SORT_NAME || key == qvtf::SORT_NAME_NOCASE)
        return case_insensitive ? qvtf::SORT_NAME_NOCASE : qvtf::SORT_NAME;
    return key;
}

}  // namespace settings_rules

// ---- number_field ----

number_field::number_field(int low, int high, QWidget* parent) : QAbstractSpinBox(parent), low_(low), high_(high)
{
    lineEdit()->setAlignment(Qt::AlignRight);
    setMinimumWidth(fontMetrics().horizontalAdvance(QString::number(high) + QStringLiteral("0000")) + 24);
    set_value(low);
    connect(lineEdit(), &QLineEdit::textEdited, this, &number_field::typed);
    connect(this, &QAbstractSpinBox::editingFinished, this, &number_field::left);
}

int number_field::value() const
{
    return settings_rules::clamp(settings_rules::read_integer(lineEdit()->text()), low_, high_);
}

void number_field::set_value(int value)
{
    lineEdit()->setText(QString::number(settings_rules::clamp(value, low_, high_)));
}

void number_field::stepBy(int steps)
{
    set_value(value() + steps);
    selectAll();
}

QAbstractSpinBox::StepEnabled number_field::stepEnabled() const
{
    StepEnabled e = StepNone;
    const int v = value();
    if (v < high_)
        e |= StepUpEnabled;
    if (v > low_)
        e |= StepDownEnabled;
    return e;
}

QValidator::State number_field::validate(QString& input, int& pos) const
{
    (void)pos;
    for (QChar c : input)
        if (!c.isDigit())
            return QValidator::Invalid;
    return input.isEmpty() ? QValidator::Intermediate : QValidator::Acceptable;
}

void number_field::fixup(QString& input) const
{
    input = QString::number(settings_rules::clamp(settings_rules::read_integer(input), low_, high_));
}

void number_field::typed(const QString& text)
{
    int clamped = 0;
    if (settings_rules::clamp_while_typing(text, low_, high_, clamped))
        set_value(clamped);
}

void number_field::left()
{
    set_value(value());
}

// ---- TSettings ----

TSettings::TSettings(qvtf::global_ftp_settings& settings, const qvtf::qxlang* language, QWidget* parent)
    : QDialog(parent), settings_(settings), language_(language)
{
    setObjectName("TSettings");
    setWindowTitle(phrase(phrase_title));
    open_url = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    show_error = [this](const QString& text) { show_box(this, QMessageBox::Critical, phrase(phrase_error), text); };

    auto* layout = new QVBoxLayout(this);
    auto* middle = new QHBoxLayout;
    tv_left_ = new QTreeWidget(this);
    tv_left_->setObjectName("tvLeft");
    tv_left_->setHeaderHidden(true);
    tv_left_->setRootIsDecorated(false);
    pages_ = new QStackedWidget(this);
    QWidget* const built[] = {connection_page(), firewall_page(), files_page(), logs_page(), sounds_page()};
    int widest = 0;
    for (std::size_t i = 0; i < std::size(page_table); ++i) {
        built[i]->setObjectName(page_table[i].name);
        pages_->addWidget(built[i]);
        auto* item = new QTreeWidgetItem(tv_left_, QStringList(phrase(page_table[i].caption)));
        widest = std::max(widest, tv_left_->fontMetrics().horizontalAdvance(item->text(0)));
    }
    tv_left_->setFixedWidth(widest + 40);
    middle->addWidget(tv_left_);
    middle->addWidget(pages_, 1);
    layout->addLayout(middle, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    but_ok_ = new QPushButton(phrase(phrase_ok), this);
    but_ok_->setObjectName("butOK");
    but_ok_->setDefault(true);
    but_cancel_ = new QPushButton(phrase(phrase_cancel), this);
    but_cancel_->setObjectName("butCancel");
    but_cancel_->setAutoDefault(false);
    but_help_ = new QPushButton(phrase(phrase_help), this);
    but_help_->setObjectName("butHelp");
    but_help_->setAutoDefault(false);
    buttons->addWidget(but_ok_);
    buttons->addWidget(but_cancel_);
    buttons->addWidget(but_help_);
    layout->addLayout(buttons);

    connect(tv_left_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item)
            pages_->setCurrentIndex(tv_left_->indexOfTopLevelItem(item));
    });
    connect(but_ok_, &QPushButton::clicked, this, &TSettings::accept);
    connect(but_cancel_, &QPushButton::clicked, this, &TSettings::reject);
    connect(but_help_, &QPushButton::clicked, this, &TSettings::help);
    set_page(0);
}

QString TSettings::phrase(int number) const
{
    return language_ ? to_qt(language_->text(number)) : QString();
}

QWidget* TSettings::connection_page()
{
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    cb_passive_ = new QCheckBox(phrase(phrase_passive), page);
    cb_passive_->setObjectName("cbPassive");
    cb_pasv_to_port_ = new QCheckBox(phrase(phrase_pasv_to_port), page);
    cb_pasv_to_port_->setObjectName("cbPasvToPort");
    cb_extended_ = new QCheckBox(phrase(phrase_extended_data), page);
    cb_extended_->setObjectName("cbExtendedData");
    v->addWidget(cb_passive_);
    v->addWidget(cb_pasv_to_port_);
    v->addWidget(cb_extended_);

    auto number_group = [&](const char* group_name, int group_phrase, const char* label_name, int label_phrase,
                            const char* field_name, int low, int high) {
        auto* gb = new QGroupBox(phrase(group_phrase), page);
        gb->setObjectName(group_name);
        auto* h = new QHBoxLayout(gb);
        auto* label = new QLabel(phrase(label_phrase), gb);
        label->setObjectName(label_name);
        auto* field = new number_field(low, high, gb);
        field->setObjectName(field_name);
        label->setBuddy(field);
        h->addWidget(label);
        h->addWidget(field);
        h->addStretch();
        v->addWidget(gb);
        return field;
    };
    e_threads_ = number_group("gbThreads", phrase_threads_group, "lThreads", phrase_threads, "eThreads", threads_low,
                              threads_high);
    e_tries_ = number_group("gbTries", phrase_tries_group, "lTries", phrase_tries, "eTries", tries_low, tries_high);
    // Where site and proxy passwords are kept, in password_storage order.
    auto* passwords = new QHBoxLayout;
    auto* l_passwords = new QLabel(phrase(1512), page);
    l_passwords->setObjectName("lPasswords");
    cb_passwords_ = new QComboBox(page);
    cb_passwords_->setObjectName("cbPasswords");
    for (int choice = 0; choice < 3; ++choice)
        cb_passwords_->addItem(phrase(1513 + choice));
    l_passwords->setBuddy(cb_passwords_);
    passwords->addWidget(l_passwords);
    passwords->addWidget(cb_passwords_);
    passwords->addStretch();
    v->addLayout(passwords);
    v->addStretch();
    return page;
}

QWidget* TSettings::firewall_page()
{
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    cb_fw_enabled_ = new QCheckBox(phrase(phrase_fw_enabled), page);
    cb_fw_enabled_->setObjectName("cbFWEnabled");
    v->addWidget(cb_fw_enabled_);

    auto* form = new QFormLayout;
    auto add_row = [&](const char* label_name, int label_phrase, QWidget* field) {
        auto* label = new QLabel(phrase(label_phrase), page);
        label->setObjectName(label_name);
        label->setBuddy(field);
        form->addRow(label, field);
    };
    cb_fw_type_ = new QComboBox(page);
    cb_fw_type_->setObjectName("cbFWType");
    for (int t = 0; t < firewall_types; ++t)
        cb_fw_type_->addItem(phrase(phrase_first_type_name + t));
    add_row("lFWType", phrase_fw_type, cb_fw_type_);
    e_host_ = new QLineEdit(page);
    e_host_->setObjectName("eHost");
    add_row("lHost", phrase_host, e_host_);
    e_port_ = new QLineEdit(page);
    e_port_->setObjectName("ePort");
    e_port_->setMaxLength(5);
    e_port_->setMaximumWidth(e_port_->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
    add_row("lPort", phrase_port, e_port_);
    e_user_ = new QLineEdit(page);
    e_user_->setObjectName("eUser");
    add_row("lUser", phrase_user, e_user_);
    e_password_ = new QLineEdit(page);
    e_password_->setObjectName("ePassword");
    e_password_->setEchoMode(QLineEdit::Password);
    add_row("lPassword", phrase_password, e_password_);
    v->addLayout(form);

    auto* l_commands = new QLabel(phrase(phrase_commands), page);
    l_commands->setObjectName("lCommands");
    m_commands_ = new QPlainTextEdit(page);
    m_commands_->setObjectName("mCommands");
    m_commands_->setTabChangesFocus(true);
    m_commands_->setLineWrapMode(QPlainTextEdit::NoWrap);
    l_commands->setBuddy(m_commands_);
    v->addWidget(l_commands);
    v->addWidget(m_commands_, 1);

    connect(cb_fw_type_, &QComboBox::activated, this, &TSettings::firewall_type_chosen);
    connect(e_port_, &QLineEdit::editingFinished, this, &TSettings::port_left);
    return page;
}

QWidget* TSettings::files_page()
{
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    cb_set_ft_ = new QCheckBox(phrase(phrase_set_ft), page);
    cb_set_ft_->setObjectName("cbSetFT");
    cb_sensitive_sort_ = new QCheckBox(phrase(phrase_sensitive_sort), page);
    cb_sensitive_sort_->setObjectName("cbSensitiveSort");
    v->addWidget(cb_set_ft_);
    v->addWidget(cb_sensitive_sort_);

    auto* gb = new QGroupBox(phrase(phrase_sync_group), page);
    gb->setObjectName("gbSync");
    auto* h = new QHBoxLayout(gb);
    auto* label = new QLabel(phrase(phrase_sync_interval), gb);
    label->setObjectName("lSyncTimeInterval");
    e_sync_time_interval_ = new number_field(sync_low, sync_high, gb);
    e_sync_time_interval_->setObjectName("eSyncTimeInterval");
    label->setBuddy(e_sync_time_interval_);
    h->addWidget(label);
    h->addWidget(e_sync_time_interval_);
    h->addStretch();
    v->addWidget(gb);

    // What a transfer does with a target that exists, per direction.
    auto* exists_box = new QGroupBox(phrase(phrase_exists_group), page);
    exists_box->setObjectName("gbExists");
    auto* exists_form = new QFormLayout(exists_box);
    cb_download_exists_ = new QComboBox(exists_box);
    cb_download_exists_->setObjectName("cbDownloadExists");
    cb_upload_exists_ = new QComboBox(exists_box);
    cb_upload_exists_->setObjectName("cbUploadExists");
    for (QComboBox* box : {cb_download_exists_, cb_upload_exists_})
        fill_exists_actions(box, language_, true);
    exists_form->addRow(phrase(phrase_download_exists), cb_download_exists_);
    exists_form->addRow(phrase(phrase_upload_exists), cb_upload_exists_);
    v->addWidget(exists_box);

    cb_delete_confirmation_ = new QCheckBox(phrase(phrase_delete_confirm), page);
    cb_delete_confirmation_->setObjectName("cbDeleteConfirmation");
    cb_delete_recycle_ = new QCheckBox(phrase(phrase_delete_recycle), page);
    cb_delete_recycle_->setObjectName("cbDeleteRecycle");
    v->addWidget(cb_delete_confirmation_);
    v->addWidget(cb_delete_recycle_);
    edit_group_ = new edit_settings_group(language_, page);
    v->addWidget(edit_group_);

    b_file_types_ = new QPushButton(phrase(phrase_file_types), page);
    b_file_types_->setObjectName("bFileTypes");
    b_file_types_->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addWidget(b_file_types_);
    row->addStretch();
    v->addLayout(row);
    v->addStretch();
    connect(b_file_types_, &QPushButton::clicked, this, &TSettings::edit_file_types);
    return page;
}

QWidget* TSettings::logs_page()
{
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    cb_download_log_ = new QCheckBox(phrase(phrase_download_log), page);
    cb_download_log_->setObjectName("cbDownloadLog");
    v->addWidget(cb_download_log_);
    auto* form = new QFormLayout;
    auto add_row = [&](const char* label_name, int label_phrase, const char* field_name) {
        auto* field = new QLineEdit(page);
        field->setObjectName(field_name);
        auto* label = new QLabel(phrase(label_phrase), page);
        label->setObjectName(label_name);
        label->setBuddy(field);
        form->addRow(label, field);
        return field;
    };
    e_download_log_ = add_row("lDownloadLog", phrase_download_log_file, "eDownloadLog");
    e_log_format_ = add_row("lLogFormat", phrase_log_format, "eLogFormat");
    v->addLayout(form);
    cb_command_log_ = new QCheckBox(phrase(phrase_command_log), page);
    cb_command_log_->setObjectName("cbCommandLog");
    v->addWidget(cb_command_log_);
    auto* form2 = new QFormLayout;
    form = form2;
    e_command_log_ = add_row("lCommandLog", phrase_command_log_file, "eCommandLog");
    v->addLayout(form2);
    e_log_format_->setToolTip(phrase(phrase_log_format_help));
    // A log's file name and format matter only while that log is written.
    const auto follow = [page](QCheckBox* box, std::initializer_list<QLineEdit*> fields) {
        const auto update = [page, box, fields = std::vector<QLineEdit*>(fields)] {
            for (QLabel* label : page->findChildren<QLabel*>())
                if (std::find(fields.begin(), fields.end(), label->buddy()) != fields.end())
                    label->setEnabled(box->isChecked());
            for (QLineEdit* field : fields)
                field->setEnabled(box->isChecked());
        };
        connect(box, &QCheckBox::toggled, box, update);
        update();
    };
    follow(cb_download_log_, {e_download_log_, e_log_format_});
    follow(cb_command_log_, {e_command_log_});
    cb_download_popup_error_ = new QCheckBox(phrase(phrase_popup_error), page);
    cb_download_popup_error_->setObjectName("cbDownloadPopupError");
    v->addWidget(cb_download_popup_error_);
    v->addStretch();
    return page;
}

QWidget* TSettings::sounds_page()
{
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    static const char* const names[] = {"cbConnect", "cbDisconnect", "cbTransfer", "cbComplete"};
    for (int i = 0; i < 4; ++i) {
        sound_boxes_[std::size_t(i)] = new QCheckBox(phrase(phrase_first_sound + i), page);
        sound_boxes_[std::size_t(i)]->setObjectName(names[i]);
        v->addWidget(sound_boxes_[std::size_t(i)]);
    }
    v->addStretch();
    return page;
}

void TSettings::set_panes(qvtf::qx_file_lister* local, qvtf::qx_file_lister* remote)
{
    local_ = local;
    remote_ = remote;
}

int TSettings::page() const
{
    return pages_->currentIndex();
}

void TSettings::set_page(int index)
{
    if (QTreeWidgetItem* item = tv_left_->topLevelItem(index))
        tv_left_->setCurrentItem(item);
}

void TSettings::firewall_type_chosen(int type)
{
    e_port_->setText(QString::number(settings_rules::default_port(type)));
    const bool script = settings_rules::takes_script(type);
    m_commands_->setEnabled(script);
    if (script)
        m_commands_->setPlainText(
            shown_script(qvtf::qxval(std::string(language_ ? language_->text(phrase_first_script + type) : ""))));
}

void TSettings::port_left()
{
    e_port_->setText(QString::number(settings_rules::clamp(settings_rules::read_integer(e_port_->text()), 0, 65535)));
}

void TSettings::fill()
{
    const qvtf::global_ftp_settings& s = settings_;
    cb_passive_->setChecked(s.is_passive);
    cb_pasv_to_port_->setChecked(s.allow_passive_drop_to_port);
    cb_extended_->setChecked(s.extended_data_commands);
    e_threads_->set_value(s.max_download_threads);
    e_tries_->set_value(s.retry_count);
    cb_passwords_->setCurrentIndex(s.password_storage);

    if (const qvtf::ftp_proxy* p = s.proxies.first()) {
        cb_fw_enabled_->setChecked(s.proxies.default_proxy_type == qvtf::proxy_choice_default);
        const int type = (p->type >= 0 && p->type < firewall_types) ? p->type : 0;
        cb_fw_type_->setCurrentIndex(type);
        e_host_->setText(to_qt(p->proxy_host));
        e_port_->setText(QString::number(p->proxy_port));
        e_user_->setText(to_qt(p->proxy_username));
        e_password_->setText(to_qt(p->proxy_password));
        QString script = shown_script(p->ftp_command);
        // A firewall without its script could not log in; offer the type's own.
        if (script.isEmpty() && settings_rules::takes_script(type) && language_)
            script = shown_script(qvtf::qxval(std::string(language_->text(phrase_first_script + type))));
        m_commands_->setPlainText(script);
        m_commands_->setEnabled(settings_rules::takes_script(type));
    }

    cb_set_ft_->setChecked(s.set_remote_time_on_download);
    for (auto [box, name] : {std::pair{cb_download_exists_, &s.download_exists}, std::pair{cb_upload_exists_, &s.upload_exists}}) {
        const int at = box->findData(QString::fromStdString(*name));
        box->setCurrentIndex(at >= 0 ? at : box->findData(QStringLiteral("overwrite")));
    }
    cb_sensitive_sort_->setChecked(s.case_insensitive_sort);
    e_sync_time_interval_->set_value(s.sync_time_equal_interval);
    cb_delete_confirmation_->setChecked(s.delete_confirm_prompt);
    cb_delete_recycle_->setChecked(s.local_delete_to_recycler);
    edit_group_->fill(s);

    cb_download_log_->setChecked(s.do_download_log);
    e_download_log_->setText(QString::fromStdString(s.download_file_name));
    e_log_format_->setText(QString::fromStdString(s.download_log_format));
    cb_command_log_->setChecked(s.do_command_log);
    e_command_log_->setText(QString::fromStdString(s.command_log_file_name));
    cb_download_popup_error_->setChecked(s.download_failures_popups);

    for (int i = 0; i < 4; ++i)
        sound_boxes_[std::size_t(i)]->setChecked(s.sounds & (1 << i));
}

void TSettings::store()
{
    qvtf::global_ftp_settings& s = settings_;
    s.is_passive = cb_passive_->isChecked();
    s.allow_passive_drop_to_port = cb_pasv_to_port_->isChecked();
    s.extended_data_commands = cb_extended_->isChecked();
    s.max_download_threads = e_threads_->value();
    s.retry_count = e_tries_->value();
    s.password_storage = cb_passwords_->currentIndex();

    if (s.proxies.empty())
        s.ensure_default_proxy();
    if (qvtf::ftp_proxy* p = s.proxies.first()) {
        s.proxies.default_proxy_type = cb_fw_enabled_->isChecked() ? qvtf::proxy_choice_default
                                                                   : qvtf::proxy_choice_none;
        p->type = cb_fw_type_->currentIndex();
        // A host typed with its port ("[::1]:1080") gives both.
        const std::string typed = e_host_->text().trimmed().toStdString();
        std::string host;
        int32_t port = -1;
        if (!qvtf::split_host_port(typed, host, port) || host.empty()) {
            host = typed;
            port = -1;
        }
        p->proxy_host = qvtf::qxval(host);
        p->proxy_port = port > 0 ? port : settings_rules::clamp(settings_rules::read_integer(e_port_->text()), 0, 65535);
        p->proxy_username = qvtf::qxval(e_user_->text().toStdString());
        p->proxy_password = qvtf::qxval(e_password_->text().toStdString());
        p->ftp_command = qvtf::qxval(stored_script(m_commands_->toPlainText()));
    }

    s.set_remote_time_on_download = cb_set_ft_->isChecked();
    s.download_exists = cb_download_exists_->currentData().toString().toStdString();
    s.upload_exists = cb_upload_exists_->currentData().toString().toStdString();
    s.case_insensitive_sort = cb_sensitive_sort_->isChecked();
    s.sync_time_equal_interval = e_sync_time_interval_->value();
    s.delete_confirm_prompt = cb_delete_confirmation_->isChecked();
    s.local_delete_to_recycler = cb_delete_recycle_->isChecked();
    edit_group_->store(s);

    s.do_download_log = cb_download_log_->isChecked();
    s.download_file_name = e_download_log_->text().toStdString();
    s.download_log_format = e_log_format_->text().toStdString();
    s.do_command_log = cb_command_log_->isChecked();
    s.command_log_file_name = e_command_log_->text().toStdString();
    s.download_failures_popups = cb_download_popup_error_->isChecked();

    int32_t sounds = s.sounds & ~0xF;
    for (int i = 0; i < 4; ++i)
        if (sound_boxes_[std::size_t(i)]->isChecked())
            sounds |= 1 << i;
    s.sounds = sounds;
}

int TSettings::open_modal()
{
    fill();
    tv_left_->setFocus();
    return exec();
}

void TSettings::accept()
{
    shared_write([this] { store(); });
    if (apply_queue)
        apply_queue(settings_);
    if (apply_connection)
        apply_connection(settings_);
    // The panes read their sort key from these settings.
    settings_.local_sort = settings_rules::name_sort_key(settings_.local_sort, settings_.case_insensitive_sort);
    settings_.remote_sort = settings_rules::name_sort_key(settings_.remote_sort, settings_.case_insensitive_sort);
    for (qvtf::qx_file_lister* pane : {local_, remote_})
        if (pane)
            pane->refresh_view_async(false);
    QDialog::accept();
    if (settings_.save() != 0)
        show_error(phrase(phrase_cant_save) + to_qt(settings_.settings_path));
}

qvtf::program_folders TSettings::folders() const
{
    if (!folders_.program.empty() || !folders_.user.empty())
        return folders_;
    qvtf::program_folders f;
    f.program = settings_.program_folder.str();
    const QString settings_path = to_qt(settings_.settings_path);
    f.user = settings_path.isEmpty() ? f.program : (QFileInfo(settings_path).absolutePath() + '/').toStdString();
    return f;
}

QString TSettings::help_path(int index) const
{
    if (index < 0 || index >= int(std::size(page_table)))
        index = 0;
    return QString::fromStdString(folders().program) + QStringLiteral("help/") + page_table[index].help;
}

void TSettings::open_or_complain(const QString& path, bool text)
{
    document_opener opener = editor_opener;
    opener.open_url = open_url;
    const QString failure = opener.open(path, text, language_);
    if (!failure.isEmpty())
        show_error(failure);
}

void TSettings::help()
{
    open_or_complain(help_path(page()), false);
}

QString TSettings::user_extension_list() const
{
    const qvtf::program_folders f = folders();
    const QString user = QString::fromStdString(f.user_file("ext.txt"));
    if (QFileInfo::exists(user))
        return user;
    if (!f.ensure_user_folder())
        return {};
    if (!QFile::copy(QString::fromStdString(f.shipped_file("ext.txt")), user))
        return {};
    // The shipped file may be read-only; the user's copy is for editing.
    QFile::setPermissions(user, QFile::ReadOwner | QFile::WriteOwner);
    return user;
}

void TSettings::edit_file_types()
{
    const QString path = user_extension_list();
    if (path.isEmpty()) {
        show_error(phrase(phrase_cant_open) + QString::fromStdString(folders().user_file("ext.txt")));
        return;
    }
    // A text file: without a desktop application, the user's editor.
    open_or_complain(path, true);
}
