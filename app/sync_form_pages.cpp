// The wizard's four pages and its bottom row of buttons.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "app/sync_form.h"
#include "app/sync_form_rules.h"

namespace {

// Sizes are kept in 32 bits of bytes: at most 4,194,303 kilobytes.
constexpr int max_kilobytes = 4194303;

template <class W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

}  // namespace

void TSyncForm::build_pages()
{
    auto* outer = new QVBoxLayout(this);
    pages_ = new QStackedWidget(this);
    pages_->addWidget(pLoadFile = build_load_page());
    pages_->addWidget(pFolders = build_folders_page());
    pages_->addWidget(pFilters = build_filters_page());
    pages_->addWidget(pSaveFile = build_save_page());
    outer->addWidget(pages_, 1);
    build_bottom();
    outer->addWidget(pBottom);
}

QWidget* TSyncForm::build_load_page()
{
    auto* page = named(new QWidget, "pLoadFile");
    auto* layout = new QVBoxLayout(page);
    lLoadFile = named(new QLabel(phrase(328), page), "lLoadFile");
    lLoadFile->setWordWrap(true);
    bLoadFile = named(new QPushButton(phrase(329), page), "bLoadFile");
    layout->addWidget(lLoadFile);
    auto* row = new QHBoxLayout;
    row->addWidget(bLoadFile);
    row->addStretch(1);
    layout->addLayout(row);
    layout->addStretch(1);
    return page;
}

QWidget* TSyncForm::build_folders_page()
{
    auto* page = named(new QWidget, "pFolders");
    auto* layout = new QVBoxLayout(page);

    auto folder_group = [&](const char* group_name, int caption, QLineEdit*& edit, const char* edit_name,
                            QPushButton*& button, const char* button_name) {
        auto* group = named(new QGroupBox(phrase(caption), page), group_name);
        auto* row = new QHBoxLayout(group);
        edit = named(new QLineEdit(group), edit_name);
        button = named(new QPushButton(phrase(265), group), button_name);
        row->addWidget(edit, 1);
        row->addWidget(button);
        layout->addWidget(group);
        return group;
    };
    gbLocalSelect = folder_group("gbLocalSelect", 266, eLocalFolder, "eLocalFolder", bLocalSelect, "bLocalSelect");
    gbRemoteSelect =
        folder_group("gbRemoteSelect", 267, eRemoteFolder, "eRemoteFolder", bRemoteSelect, "bRemoteSelect");

    gbDirection = named(new QGroupBox(phrase(272), page), "gbDirection");
    auto* direction = new QVBoxLayout(gbDirection);
    cbDirection = named(new QComboBox(gbDirection), "cbDirection");
    sync_form_rules::fill(cbDirection, sync_form_rules::directions, language_);
    cbRecursive = named(new QCheckBox(phrase(268), gbDirection), "cbRecursive");
    direction->addWidget(cbDirection);
    direction->addWidget(cbRecursive);
    layout->addWidget(gbDirection);

    gbOverwrite = named(new QGroupBox(phrase(323), page), "gbOverwrite");
    auto* overwrite = new QVBoxLayout(gbOverwrite);
    comboMissingOverwrite = named(new QComboBox(gbOverwrite), "comboMissingOverwrite");
    sync_form_rules::fill(comboMissingOverwrite, sync_form_rules::missing_overwrite, language_);
    cbDeleteExtra = named(new QCheckBox(phrase(326), gbOverwrite), "cbDeleteExtra");
    gbOverwriteRules = named(new QGroupBox(phrase(303), gbOverwrite), "gbOverwriteRules");
    auto* rules = new QGridLayout(gbOverwriteRules);
    lTime = named(new QLabel(phrase(324), gbOverwriteRules), "lTime");
    comboTime = named(new QComboBox(gbOverwriteRules), "comboTime");
    sync_form_rules::fill(comboTime, sync_form_rules::times, language_);
    lSize = named(new QLabel(phrase(325), gbOverwriteRules), "lSize");
    comboSize = named(new QComboBox(gbOverwriteRules), "comboSize");
    sync_form_rules::fill(comboSize, sync_form_rules::sizes, language_);
    lTime->setBuddy(comboTime);
    lSize->setBuddy(comboSize);
    rules->addWidget(lTime, 0, 0);
    rules->addWidget(comboTime, 0, 1);
    rules->addWidget(lSize, 1, 0);
    rules->addWidget(comboSize, 1, 1);
    rules->setColumnStretch(1, 1);
    overwrite->addWidget(comboMissingOverwrite);
    overwrite->addWidget(cbDeleteExtra);
    overwrite->addWidget(gbOverwriteRules);
    layout->addWidget(gbOverwrite);
    layout->addStretch(1);
    return page;
}

QWidget* TSyncForm::build_filters_page()
{
    auto* page = named(new QWidget, "pFilters");
    auto* layout = new QGridLayout(page);

    auto mask_group = [&](const char* group_name, int caption, QLabel*& include_label, const char* il,
                          QLineEdit*& include, const char* ie, QLabel*& skip_label, const char* sl, QLineEdit*& skip,
                          const char* se) {
        auto* group = named(new QGroupBox(phrase(caption), page), group_name);
        auto* grid = new QGridLayout(group);
        include_label = named(new QLabel(phrase(305), group), il);
        include = named(new QLineEdit(group), ie);
        skip_label = named(new QLabel(phrase(306), group), sl);
        skip = named(new QLineEdit(group), se);
        include_label->setBuddy(include);
        skip_label->setBuddy(skip);
        grid->addWidget(include_label, 0, 0);
        grid->addWidget(include, 0, 1);
        grid->addWidget(skip_label, 1, 0);
        grid->addWidget(skip, 1, 1);
        grid->setColumnStretch(1, 1);
        return group;
    };
    gbNameFilter =
        mask_group("gbNameFilter", 304, lInclude, "lInclude", eInclude, "eInclude", lSkip, "lSkip", eSkip, "eSkip");
    gbDirectoryFilter = mask_group("gbDirectoryFilter", 307, lDirInclude, "lDirInclude", eDirInclude, "eDirInclude",
                                   lDirSkip, "lDirSkip", eDirSkip, "eDirSkip");
    layout->addWidget(gbNameFilter, 0, 0);
    layout->addWidget(gbDirectoryFilter, 0, 1);

    gbSizeFilter = named(new QGroupBox(phrase(308), page), "gbSizeFilter");
    auto* size = new QGridLayout(gbSizeFilter);
    cbSizeFilterEnabled = named(new QCheckBox(phrase(309), gbSizeFilter), "cbSizeFilterEnabled");
    eSizeStart = named(new QSpinBox(gbSizeFilter), "eSizeStart");
    eSizeEnd = named(new QSpinBox(gbSizeFilter), "eSizeEnd");
    for (QSpinBox* s : {eSizeStart, eSizeEnd}) {
        s->setRange(0, max_kilobytes);
        s->setAccelerated(true);
    }
    lKb1 = named(new QLabel(phrase(310), gbSizeFilter), "lKb1");
    lKb2 = named(new QLabel(phrase(310), gbSizeFilter), "lKb2");
    size->addWidget(cbSizeFilterEnabled, 0, 0, 1, 4);
    size->addWidget(eSizeStart, 1, 0);
    size->addWidget(lKb1, 1, 1);
    size->addWidget(eSizeEnd, 2, 0);
    size->addWidget(lKb2, 2, 1);
    size->setColumnStretch(2, 1);
    layout->addWidget(gbSizeFilter, 1, 0);

    gbMiscFilter = named(new QGroupBox(phrase(316), page), "gbMiscFilter");
    auto* misc = new QVBoxLayout(gbMiscFilter);
    comboTransfer = named(new QComboBox(gbMiscFilter), "comboTransfer");
    sync_form_rules::fill(comboTransfer, sync_form_rules::transfers, language_);
    comboLink = named(new QComboBox(gbMiscFilter), "comboLink");
    sync_form_rules::fill(comboLink, sync_form_rules::links, language_);
    misc->addWidget(comboTransfer);
    misc->addWidget(comboLink);
    misc->addStretch(1);
    layout->addWidget(gbMiscFilter, 1, 1);

    gbTimeFilter = named(new QGroupBox(phrase(311), page), "gbTimeFilter");
    auto* time = new QGridLayout(gbTimeFilter);
    cbTimeFilterEnabled = named(new QCheckBox(phrase(312), gbTimeFilter), "cbTimeFilterEnabled");
    lTimeStart = named(new QLabel(phrase(313), gbTimeFilter), "lTimeStart");
    lTimeEnd = named(new QLabel(phrase(314), gbTimeFilter), "lTimeEnd");
    dtStartDate = named(new QDateEdit(gbTimeFilter), "dtStartDate");
    dtEndDate = named(new QDateEdit(gbTimeFilter), "dtEndDate");
    dtStartTime = named(new QTimeEdit(gbTimeFilter), "dtStartTime");
    dtEndTime = named(new QTimeEdit(gbTimeFilter), "dtEndTime");
    for (QDateEdit* d : {dtStartDate, dtEndDate}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat("yyyy-MM-dd");
    }
    for (QTimeEdit* t : {dtStartTime, dtEndTime})
        t->setDisplayFormat("HH:mm:ss");
    lTimeStart->setBuddy(dtStartDate);
    lTimeEnd->setBuddy(dtEndDate);
    bPutCurrDate = named(new QPushButton(phrase(315), gbTimeFilter), "bPutCurrDate");
    time->addWidget(cbTimeFilterEnabled, 0, 0, 1, 4);
    time->addWidget(lTimeStart, 1, 0);
    time->addWidget(dtStartDate, 1, 1);
    time->addWidget(dtStartTime, 1, 2);
    time->addWidget(lTimeEnd, 2, 0);
    time->addWidget(dtEndDate, 2, 1);
    time->addWidget(dtEndTime, 2, 2);
    time->addWidget(bPutCurrDate, 1, 3);
    time->setColumnStretch(4, 1);
    layout->addWidget(gbTimeFilter, 2, 0, 1, 2);
    layout->setRowStretch(3, 1);

    setTabOrder(eInclude, eSkip);
    setTabOrder(eSkip, eDirInclude);
    setTabOrder(eDirInclude, eDirSkip);
    setTabOrder(eDirSkip, cbSizeFilterEnabled);
    setTabOrder(cbSizeFilterEnabled, eSizeStart);
    setTabOrder(eSizeStart, eSizeEnd);
    setTabOrder(eSizeEnd, comboTransfer);
    setTabOrder(comboTransfer, comboLink);
    setTabOrder(comboLink, cbTimeFilterEnabled);
    setTabOrder(cbTimeFilterEnabled, dtStartDate);
    setTabOrder(dtStartDate, dtStartTime);
    setTabOrder(dtStartTime, bPutCurrDate);
    setTabOrder(bPutCurrDate, dtEndDate);
    setTabOrder(dtEndDate, dtEndTime);
    return page;
}

QWidget* TSyncForm::build_save_page()
{
    auto* page = named(new QWidget, "pSaveFile");
    auto* layout = new QVBoxLayout(page);
    lSaveFile = named(new QLabel(phrase(336), page), "lSaveFile");
    lSaveFile->setWordWrap(true);
    bSaveFile = named(new QPushButton(phrase(337), page), "bSaveFile");
    layout->addWidget(lSaveFile);
    auto* row = new QHBoxLayout;
    row->addWidget(bSaveFile);
    row->addStretch(1);
    layout->addLayout(row);
    layout->addStretch(1);
    return page;
}

void TSyncForm::build_bottom()
{
    pBottom = named(new QWidget(this), "pBottom");
    auto* row = new QHBoxLayout(pBottom);
    row->setContentsMargins(0, 0, 0, 0);
    butHelp = named(new QPushButton(phrase(364), pBottom), "butHelp");
    bBack = named(new QPushButton(phrase(269), pBottom), "bBack");
    bNext = named(new QPushButton(phrase(270), pBottom), "bNext");
    bClose = named(new QPushButton(phrase(271), pBottom), "bClose");
    bNext->setDefault(true);
    for (QPushButton* b : {butHelp, bBack, bClose})
        b->setAutoDefault(false);
    row->addWidget(butHelp);
    row->addStretch(1);
    row->addWidget(bBack);
    row->addWidget(bNext);
    row->addWidget(bClose);
}
