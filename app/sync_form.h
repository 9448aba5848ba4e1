// TSyncForm: the synchronisation wizard. Four pages (load a rule file; the
// folders and the decision rules; the filters; save a rule file) edit one
// dir_sync_settings_ex. Finish checks the folders, builds the run's plan
// off the window thread, shows it for confirmation and carries it out.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "sync/dir_sync_settings.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTimeEdit;
class QWidget;

namespace qvtf {
class auto_transfer_resolver;
class ftp_queue_process_manager;
class global_ftp_settings;
class qx_ftp_file_lister;
class qx_local_file_lister;
class qxlang;
struct sync_plan;
}  // namespace qvtf

// What the wizard needs of the running program; none owned.
struct sync_form_engine {
    qvtf::global_ftp_settings* settings = nullptr;
    qvtf::qx_ftp_file_lister* remote = nullptr;        // the browser connection
    qvtf::qx_local_file_lister* local = nullptr;       // re-listed after a run; may be null
    qvtf::ftp_queue_process_manager* queue = nullptr;  // the window's queue: the run's model
    const qvtf::auto_transfer_resolver* resolver = nullptr;
};

class TSyncForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int page_count = 4;

    explicit TSyncForm(const qvtf::qxlang* language, QWidget* parent = nullptr);
    ~TSyncForm() override;

    // local_folder: the local pane's folder; remote_folder: the connection's
    // current path. Resets the rules (the folders are kept), fills the pages
    // and shows page 0.
    void prepare(const QString& local_folder, const QString& remote_folder, const sync_form_engine& engine);
    void set_help_folder(const QString& folder) { help_folder_ = folder; }
    // The pages; after Finish the plan's confirmation and the run. Accepted
    // when a run was carried out.
    int exec() override;

    int page() const { return page_; }
    // Actions of the last run that failed or were stopped.
    int last_failures() const { return last_failures_; }
    const qvtf::dir_sync_settings_ex& settings() const { return settings_; }
    // Stores the page contents in the settings (Finish and Save do this).
    void read_controls();
    // Shows the settings in the controls, change handlers detached.
    void fill_controls();

    // Seams for driving the wizard without a user; each has a real default.
    std::function<void(const QString& caption, const QString& text)> show_error;
    std::function<void(const QString& caption, const QString& text)> show_info;
    std::function<QString(const QString& title)> choose_open_file;
    std::function<QString(const QString& title)> choose_save_file;
    std::function<QString(const QString& current)> choose_local_folder;
    std::function<QString(const QString& current)> choose_remote_folder;

    // ---- controls, named as the wizard describes them ----
    QWidget *pLoadFile, *pFolders, *pFilters, *pSaveFile, *pBottom;
    QLabel* lLoadFile;
    QPushButton* bLoadFile;
    QGroupBox *gbLocalSelect, *gbRemoteSelect, *gbDirection, *gbOverwrite, *gbOverwriteRules;
    QLineEdit *eLocalFolder, *eRemoteFolder;
    QPushButton *bLocalSelect, *bRemoteSelect;
    QComboBox *cbDirection, *comboMissingOverwrite, *comboTime, *comboSize;
    QCheckBox *cbRecursive, *cbDeleteExtra;
    QLabel *lTime, *lSize;
    QGroupBox *gbNameFilter, *gbDirectoryFilter, *gbSizeFilter, *gbTimeFilter, *gbMiscFilter;
    QLabel *lInclude, *lSkip, *lDirInclude, *lDirSkip, *lKb1, *lKb2, *lTimeStart, *lTimeEnd;
    QLineEdit *eInclude, *eSkip, *eDirInclude, *eDirSkip;
    QCheckBox *cbSizeFilterEnabled, *cbTimeFilterEnabled;
    QSpinBox *eSizeStart, *eSizeEnd;
    QDateEdit *dtStartDate, *dtEndDate;
    QTimeEdit *dtStartTime, *dtEndTime;
    QPushButton* bPutCurrDate;
    QComboBox *comboTransfer, *comboLink;
    QLabel* lSaveFile;
    QPushButton* bSaveFile;
    QPushButton *bBack, *bNext, *bClose, *butHelp;

public slots:
    void bBackClick();
    void bNextClick();
    void bCloseClick();
    void bLocalSelectClick();
    void bRemoteSelectClick();
    void cbTimeFilterEnabledClick();
    void cbSizeFilterEnabledClick();
    void bPutCurrDateClick();
    void bLoadFileClick();
    void bSaveFileClick();
    void butHelpClick();
    void cbDirectionChange();
    void comboMissingOverwriteChange();
    void cbDeleteExtraChange();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString phrase(int number) const;
    void build_pages();
    QWidget* build_load_page();
    QWidget* build_folders_page();
    QWidget* build_filters_page();
    QWidget* build_save_page();
    void build_bottom();
    void connect_handlers(bool on);
    void show_page();
    bool transfer_type_chosen() const;
    void finish();
    // Plans and runs the settings; whether a run was carried out.
    bool run_sync();

    const qvtf::qxlang* language_;
    qvtf::dir_sync_settings_ex settings_;
    sync_form_engine engine_;
    QStackedWidget* pages_ = nullptr;
    QString help_folder_;
    int page_ = 0;
    bool handlers_on_ = false;
    bool finished_ = false;
    int last_failures_ = 0;
};
