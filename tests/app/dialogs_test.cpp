// The file properties and file filter dialogs: their rules as tables, and
// each form driven the way a user drives it, applied to a real local pane.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <fstream>
#include <optional>

#include "app/file_filter_form.h"
#include "app/file_props_form.h"
#include "browse/qx_local_file_lister.h"
#include "core/qxfile_node.h"
#include "gui_support.h"
#include "markup/qxlang.h"
#include "settings/global_ftp_settings.h"

namespace {

qvtf::qxfile_node make_node(const char* name, unsigned bits, bool folder)
{
    qvtf::qxfile_node n;
    n.name = qvtf::qxval(name);
    n.attributes = bits;
    n.is_folder = folder ? 1 : 0;
    return n;
}

unsigned mode_of(const QString& path)
{
    struct stat st {};
    ::stat(path.toLocal8Bit().constData(), &st);
    return st.st_mode & 07777;
}

TEST(DialogsProps, RulesTable)
{
    struct octal_case {
        const char* text;
        unsigned previous;
        bool special;
        unsigned expected;
    };
    const octal_case octal[] = {
        {"755", 0, false, 0755},
        {"7-letter-5", 0, false, 075},  // letters and signs are skipped
        {"", 0644, false, 0},
        {"4755", 0, false, 0755},  // special bits masked off
        {"4755", 0, true, 04755},
        {"644", qvtf::ATTR_LINK | 0777, false, qvtf::ATTR_LINK | 0644},  // bits above twelve kept
        {"99", 0, false, 0},
    };
    for (const auto& c : octal)
        EXPECT_EQ(file_props::read_octal(c.text, c.previous, c.special), c.expected) << c.text;

    struct text_case {
        unsigned value;
        bool folder;
        bool special;
        const char* octal;
        const char* symbolic;
    };
    const text_case texts[] = {
        {0755, false, false, "755", "-rwxr-xr-x"},
        {0644, true, true, "0644", "drw-r--r--"},
        {04755, false, true, "4755", "-rwsr-xr-x"},
        {06644, false, true, "6644", "-rwSr-Sr--"},
        {01777, true, true, "1777", "drwxrwxrwt"},
        {01776, true, true, "1776", "drwxrwxrwT"},
        {qvtf::ATTR_LINK | 0777, true, false, "777", "lrwxrwxrwx"},
    };
    for (const auto& c : texts) {
        EXPECT_EQ(file_props::octal_text(c.value, c.special), c.octal);
        EXPECT_EQ(file_props::symbolic_text(c.value, c.folder), c.symbolic);
    }

    struct apply_case {
        bool multiple, recursive, changed;
        unsigned value, original;
        bool applies;
    };
    const apply_case applies[] = {
        {false, false, false, 0644, 0644, false},  // opened and closed
        {false, false, true, 0644, 0644, false},   // changed back to what it was
        {false, false, true, 0600, 0644, true},   {true, false, false, 0644, 0644, true},  // two selected always apply
        {false, true, false, 0644, 0644, true},                                            // recursive always applies
    };
    for (const auto& c : applies)
        EXPECT_EQ(file_props::applies(c.multiple, c.recursive, c.changed, c.value, c.original), c.applies);

    qvtf::qxfile_node file = make_node("f", 0644, false);
    qvtf::qxfile_node folder = make_node("d", 0755, true);
    qvtf::qxfile_node link = make_node("l", qvtf::ATTR_LINK | 0777, false);
    EXPECT_FALSE(file_props::recursion_offered({&file}));
    EXPECT_TRUE(file_props::recursion_offered({&file, &folder}));
    EXPECT_TRUE(file_props::recursion_offered({&link}));  // its target is unknown
    link.link_node = &file;
    EXPECT_FALSE(file_props::recursion_offered({&link}));
}

TEST(DialogsProps, FormEditsAndTheApplyRule)
{
    gui_application();
    qvtf::global_ftp_settings settings;
    TFilePropsForm form(settings, &shipped_language());
    qvtf::qxfile_node a = make_node("index.html", 0644, false);
    qvtf::qxfile_node b = make_node("style.css", 0644, false);
    qvtf::qxfile_node d = make_node("images", 0755, true);

    int calls = 0;
    unsigned applied = 0;
    bool applied_recursive = false;
    auto request = [&](std::vector<qvtf::qxfile_node*> others, qvtf::qxfile_node* first) {
        file_props_request r;
        r.first = first;
        r.others = std::move(others);
        r.value = first->attributes;
        r.apply = [&](const qvtf::chmod_plan& plan, bool rec) {
            ++calls;
            applied = plan.folder_bits;
            applied_recursive = rec;
        };
        return r;
    };
    auto* edit = child<QLineEdit>(form, "uaEdit");
    auto* text = child<QLabel>(form, "uaLabelText");
    auto* ok = child<QPushButton>(form, "OKButton");
    auto* setuid = child<QCheckBox>(form, "uaOwnerExeBit");

    // Option off: three digits, special boxes disabled; typing 7, 5, 5.
    form.prepare(request({}, &a));
    EXPECT_EQ(child<QLabel>(form, "MultiFileLabel")->text(), "index.html");
    EXPECT_EQ(edit->text(), "644");
    EXPECT_EQ(edit->maxLength(), 3);
    EXPECT_FALSE(setuid->isEnabled());
    EXPECT_FALSE(form.recursive_offered());
    edit->selectAll();
    QTest::keyClicks(edit, "755");
    for (const char* name :
         {"uaOwnerRead", "uaOwnerWrite", "uaOwnerExe", "uaGroupRead", "uaGroupExe", "uaOtherRead", "uaOtherExe"})
        EXPECT_TRUE(child<QCheckBox>(form, name)->isChecked()) << name;
    EXPECT_FALSE(child<QCheckBox>(form, "uaGroupWrite")->isChecked());
    EXPECT_EQ(text->text(), "-rwxr-xr-x");
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(applied, 0755u);
    EXPECT_FALSE(applied_recursive);

    // Unchanged single file: nothing is applied.
    form.prepare(request({}, &a));
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(calls, 1);

    // Clicking a box and clicking it back: the value is the first one again.
    form.prepare(request({}, &a));
    child<QCheckBox>(form, "uaOtherWrite")->click();
    EXPECT_EQ(edit->text(), "646");
    child<QCheckBox>(form, "uaOtherWrite")->click();
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(calls, 1);

    // Two files: applied though nothing changed; Enter presses OK.
    form.prepare(request({&b}, &a));
    EXPECT_EQ(child<QLabel>(form, "MultiFileLabel")->text(), "2 entries selected");
    form.show();
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(applied, 0644u);

    // A folder offers recursion; Escape cancels.
    form.prepare(request({&a}, &d));
    EXPECT_TRUE(form.recursive_offered());
    EXPECT_FALSE(child<QCheckBox>(form, "RecursiveCheckBox")->isChecked());
    form.show();
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(calls, 2);
    form.prepare(request({}, &d));
    child<QCheckBox>(form, "RecursiveCheckBox")->setChecked(true);
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(applied_recursive);
    EXPECT_EQ(applied, 0755u);

    // Option on: four digits and the special boxes.
    settings.owner_exe_bit_enabled = true;
    form.prepare(request({}, &a));
    EXPECT_EQ(edit->text(), "0644");
    EXPECT_EQ(edit->maxLength(), 4);
    ASSERT_TRUE(setuid->isEnabled());
    setuid->click();
    EXPECT_EQ(edit->text(), "4644");
    EXPECT_EQ(text->text(), "-rwSr--r--");
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(applied, 04644u);
}

// A recursive change keeps files from becoming executable unless asked:
// the files' value follows the folders' without x, until typed; "apply to"
// narrows the change to one kind.
TEST(DialogsProps, RecursiveChangeSetsFilesApart)
{
    gui_application();
    qvtf::global_ftp_settings settings;
    TFilePropsForm form(settings, &shipped_language());
    qvtf::qxfile_node d = make_node("site", 0755, true);
    std::optional<qvtf::chmod_plan> applied;
    file_props_request r;
    r.first = &d;
    r.value = d.attributes;
    r.apply = [&](const qvtf::chmod_plan& plan, bool) { applied = plan; };
    auto* edit = child<QLineEdit>(form, "uaEdit");
    auto* files = child<QLineEdit>(form, "FileValueEdit");
    auto* recursive = child<QCheckBox>(form, "RecursiveCheckBox");
    auto* targets = child<QComboBox>(form, "ApplyToCombo");

    struct step {
        const char* value;  // typed for folders
        bool recursive;
        int targets;
        const char* file_value;  // typed for files; null: left as it is
        const char* files_shown;
        qvtf::chmod_plan plan;
    };
    const step steps[] = {
        {"775", true, qvtf::chmod_all, nullptr, "664", {0775, 0664, qvtf::chmod_all}},
        {"755", true, qvtf::chmod_all, "600", "600", {0755, 0600, qvtf::chmod_all}},
        {"700", true, qvtf::chmod_files_only, nullptr, "600", {0700, 0600, qvtf::chmod_files_only}},
        {"711", true, qvtf::chmod_folders_only, nullptr, "600", {0711, 0600, qvtf::chmod_folders_only}},
        {"775", false, qvtf::chmod_all, nullptr, "775", {0775, 0775, qvtf::chmod_all}},  // only the folder itself
    };
    for (const step& s : steps) {
        applied.reset();
        form.prepare(r);
        ASSERT_TRUE(form.recursive_offered());
        recursive->setChecked(s.recursive);
        targets->setCurrentIndex(s.targets);
        edit->selectAll();
        QTest::keyClicks(edit, s.value);
        if (s.file_value) {
            files->selectAll();
            QTest::keyClicks(files, s.file_value);
        }
        EXPECT_EQ(files->text(), s.files_shown) << s.value;
        EXPECT_EQ(files->parentWidget()->isEnabled(), s.recursive && s.targets != qvtf::chmod_folders_only);
        form.accept();
        ASSERT_TRUE(applied) << s.value;
        EXPECT_EQ(applied->folder_bits, s.plan.folder_bits) << s.value;
        EXPECT_EQ(applied->file_bits, s.plan.file_bits) << s.value;
        EXPECT_EQ(applied->targets, s.plan.targets) << s.value;
    }
}

TEST(DialogsProps, LocalPaneAppliesWithChmod)
{
    gui_application();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    for (const char* name : {"a.txt", "b.txt", "sub/inner.txt"}) {
        std::ofstream(dir.filePath(name).toStdString()) << "x";
        ::chmod(dir.filePath(name).toLocal8Bit().constData(), 0644);
    }
    qvtf::global_ftp_settings settings;
    qvtf::qx_lister_view view;
    qvtf::qx_local_file_lister pane(settings, &shipped_language(), &view);
    ASSERT_EQ(pane.change_folder(qvtf::qxval(dir.path().toStdString()), true), 0);
    auto node = [&](const char* name) {
        for (qvtf::qxfile_node* n = pane.current_folder()->first_child; n; n = n->next)
            if (n->name.view() == name)
                return n;
        return static_cast<qvtf::qxfile_node*>(nullptr);
    };
    ASSERT_NE(node("a.txt"), nullptr);
    ASSERT_NE(node("sub"), nullptr);

    TFilePropsForm form(settings, &shipped_language());
    // Typing 600 for two files.
    QTimer::singleShot(0, &form, [&] {
        auto* edit = form.findChild<QLineEdit*>("uaEdit");
        edit->selectAll();
        QTest::keyClicks(edit, "600");
        form.findChild<QPushButton*>("OKButton")->click();
    });
    EXPECT_EQ(form.exec_for(pane, {node("a.txt"), node("b.txt")}), QDialog::Accepted);
    pane.wait_for_operations();
    EXPECT_EQ(mode_of(dir.filePath("a.txt")), 0600u);
    EXPECT_EQ(mode_of(dir.filePath("b.txt")), 0600u);

    // A folder, recursively.
    QTimer::singleShot(0, &form, [&] {
        auto* edit = form.findChild<QLineEdit*>("uaEdit");
        edit->selectAll();
        QTest::keyClicks(edit, "750");
        form.findChild<QCheckBox*>("RecursiveCheckBox")->setChecked(true);
        form.findChild<QPushButton*>("OKButton")->click();
    });
    EXPECT_EQ(form.exec_for(pane, {node("sub")}), QDialog::Accepted);
    pane.wait_for_operations();
    EXPECT_EQ(mode_of(dir.filePath("sub")), 0750u);
    // Files inside do not become executable: they take 640 by default.
    EXPECT_EQ(mode_of(dir.filePath("sub/inner.txt")), 0640u);
    // The re-listed entry shows the new bits.
    ASSERT_NE(node("sub"), nullptr);
    EXPECT_EQ(node("sub")->attributes & 07777, 0750u);
}

TEST(DialogsFilter, OkWritesBackAndShowAllResets)
{
    gui_application();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::ofstream(dir.filePath("small.txt").toStdString()) << "12345";
    std::ofstream(dir.filePath("page.htm").toStdString()) << "<p>";
    std::ofstream(dir.filePath("big.txt").toStdString()) << std::string(200 * 1024, 'x');

    qvtf::global_ftp_settings settings;
    qvtf::qx_lister_view view;
    qvtf::qx_local_file_lister pane(settings, &shipped_language(), &view);
    ASSERT_EQ(pane.change_folder(qvtf::qxval(dir.path().toStdString()), true), 0);
    const int32_t all_rows = pane.row_count();  // the up-row and three files
    ASSERT_EQ(all_rows, 4);

    TFileFilterForm form(settings, &shipped_language());
    form.prepare(&pane, false);
    auto* include = child<QLineEdit>(form, "Edit1");
    auto* time_on = child<QCheckBox>(form, "CheckBox1");
    auto* size_on = child<QCheckBox>(form, "CheckBox2");
    auto* low = child<QLineEdit>(form, "Edit5");
    auto* high = child<QLineEdit>(form, "Edit6");
    auto* start_date = child<QDateEdit>(form, "DateTimePicker1");
    EXPECT_EQ(include->text(), "*");
    EXPECT_EQ(high->text(), "1024");  // 1,048,576 bytes
    EXPECT_FALSE(high->isEnabled());
    EXPECT_FALSE(start_date->isEnabled());
    EXPECT_FALSE(child<QLabel>(form, "Label5")->isEnabled());

    // Pickers keep their values while disabled; Now sets start and end.
    const QDate before = start_date->date();
    time_on->click();
    EXPECT_TRUE(start_date->isEnabled());
    child<QPushButton>(form, "Button10")->click();
    EXPECT_EQ(start_date->date(), QDate::currentDate());
    EXPECT_EQ(child<QDateEdit>(form, "DateTimePicker3")->date(), QDate::currentDate());
    time_on->click();
    EXPECT_FALSE(start_date->isEnabled());
    EXPECT_EQ(start_date->date(), QDate::currentDate());
    EXPECT_NE(before, QDate::currentDate());

    // Names "*.txt", sizes 0 to 100 Kb: only small.txt stays.
    include->setText("*.txt");
    size_on->click();
    low->setText("0");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    high->setFocus();
    high->clear();
    QTest::keyClicks(high, "100kb");
    QTest::keyClick(high, Qt::Key_Tab);  // leaving the field rewrites it
    EXPECT_EQ(high->text().toStdString(), "100");
    child<QPushButton>(form, "Button2")->click();
    EXPECT_EQ(settings.lf_files_include, "*.txt");
    EXPECT_TRUE(settings.lf_size_filter);
    EXPECT_EQ(settings.lf_size_end, 102400);
    EXPECT_FALSE(settings.lf_time_filter);
    EXPECT_EQ(
        settings.lf_time_start,
        int32_t(QDateTime(start_date->date(), child<QTimeEdit>(form, "DateTimePicker2")->time()).toSecsSinceEpoch()));
    EXPECT_EQ(settings.rf_files_include, "*");  // the other pane's keys untouched
    pane.wait_for_operations();
    EXPECT_EQ(pane.row_count(), 2);
    EXPECT_TRUE(pane.filter_active());

    // Reopened, the form shows what was stored; Show all resets and applies.
    form.prepare(&pane, false);
    EXPECT_EQ(include->text(), "*.txt");
    EXPECT_TRUE(size_on->isChecked());
    EXPECT_EQ(high->text(), "100");
    child<QPushButton>(form, "Button3")->click();
    EXPECT_EQ(settings.lf_files_include, "*");
    EXPECT_EQ(settings.lf_files_skip, "");
    EXPECT_FALSE(settings.lf_size_filter);
    EXPECT_FALSE(settings.lf_time_filter);
    EXPECT_EQ(settings.lf_size_end, 102400);  // the bounds are kept for next time
    pane.wait_for_operations();
    EXPECT_EQ(pane.row_count(), all_rows);
    EXPECT_FALSE(pane.filter_active());
}

TEST(DialogsFilter, SizeFieldsTable)
{
    struct size_case {
        const char* text;
        int64_t read;
        int32_t bytes;
    };
    const size_case sizes[] = {
        {"100", 100, 102400},
        {" 12abc", 12, 12288},
        {"", 0, 0},
        {"-5", -5, 0},
        {"2097151", 2097151, 2147482624},
        {"99999999", 99999999, 2147482624},  // beyond 32 bits: the largest bound
    };
    for (const auto& c : sizes) {
        EXPECT_EQ(file_filter::read_integer(c.text), c.read) << c.text;
        EXPECT_EQ(file_filter::bytes_of_kilobytes(file_filter::read_integer(c.text)), c.bytes) << c.text;
    }
    EXPECT_EQ(file_filter::kilobytes(1048576), 1024);

    // The remote pane's keys are its own.
    qvtf::global_ftp_settings settings;
    file_filter_values v;
    v.skip = "a&b<c";
    v.size_on = true;
    v.to_settings(settings, true);
    EXPECT_EQ(settings.rf_files_skip, "a&b<c");
    EXPECT_TRUE(settings.rf_size_filter);
    EXPECT_FALSE(file_filter_values::from_settings(settings, false).size_on);
}

}  // namespace
