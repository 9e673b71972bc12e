#include "factoryage.h"

#include <QDateTime>
#include <QLabel>
#include <QMutexLocker>

#include "core/globals.h"
#include "core/utils.h"
#include "ui/shell/agelog.h"
#include "ui_factoryage.h"

namespace {
const char* const kFlagNames[5] = {"DDR0", "DDR1", "DE", "HS", "VS"};

QString now_text()
{
    QMutexLocker lk(&Utils::_system_mutex);
    return QDateTime::currentDateTime().toString("MM-dd hh:mm");
}
}  // namespace

factoryage::factoryage(QWidget* parent) : SettingsPage("factoryage", PAGE_FACTORYAGE), ui(new Ui::factoryage)
{
    (void)parent;
    ui->setupUi(this);
    log_font.setPixelSize(10);
    finish_construction();
    ageloginit();
    g_agelog_page_update = [this] { update_agelog(); };
}

factoryage::~factoryage()
{
    g_agelog_page_update = nullptr;
    delete ui;
}

void factoryage::menulist_init() { set_rows({ui->ButtonNext, ui->ButtonPriv}, {&sheets::button(), &sheets::button()}); }

int factoryage::page_count() const
{
    QMutexLocker lk(&factoryage_log_mutex());
    return static_cast<int>((factoryage_log.size() + kPageEntries - 1) / kPageEntries);
}

void factoryage::ageloginit()
{
    const QString start = now_text() + "  " + QString::fromUtf8("正在老化中...");
    delete log_area;
    log_area = new QWidget(ui->frame);
    log_area->setGeometry(0, 0, 280, 236);
    log_label = new QLabel(log_area);
    log_label->setGeometry(0, 0, 260, 236);
    log_label->setFont(log_font);
    log_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    log_label->setStyleSheet("background-color: #10101C;color: #FFFFFF;");
    log_label->setFrameShape(QFrame::NoFrame);
    bool empty;
    {
        QMutexLocker lk(&factoryage_log_mutex());
        empty = factoryage_log.empty();
    }
    if (empty) {
        log_label->setText(start);
        log_text.clear();
        for (QLabel* l : {ui->label_3, ui->label_5, ui->label_10, ui->label_20, ui->label_more})
            l->setText("0" + l->property("suffix").toString());
        ui->page_info->setText("0");
        ui->label_page->setText("0/0");
    } else {
        update_agelog();
    }
    log_area->show();
}

QString factoryage::entry_line(const QString& entry)
{
    const QStringList f = entry.split(' ', Qt::SkipEmptyParts);
    if (f.size() < 5)
        return entry.toHtmlEscaped();  // not a sample line: shown as it stands
    const int r42 = f[2].toInt();
    const int r40 = f[3].toInt();
    const int r43 = f[4].toInt();
    QString flags;
    for (int b = 0; b < 5; ++b)
        flags += QString("<font color = %1 >%2</font> ").arg((r40 >> b) & 1 ? "#00FF00" : "#FF0000").arg(kFlagNames[b]);
    return f[0] + " " + f[1] + " " + QString("%1").arg(r42, 3, 10, QChar('0')) + " " + flags +
           QString("%1").arg(r43, 3, 10, QChar('0'));
}

void factoryage::update_agelog()
{
    std::vector<QString> lines;
    size_t n;
    {
        // A page shows its own entries: the label holds a few lines more than a page, and the
        // entries of the next page shown there would read as this page's, the last of them cut
        // through at the label's bottom edge.
        QMutexLocker lk(&factoryage_log_mutex());
        n = factoryage_log.size();
        const size_t first = size_t(kPageEntries) * current_page;
        const size_t end = std::min(n, first + size_t(kPageEntries));
        for (size_t i = first; i < end; ++i)
            lines.push_back(factoryage_log[i]);
    }
    if (n == 0) {
        ageloginit();
    } else {
        log_text.clear();
        for (size_t i = 0; i < lines.size(); ++i)
            log_text += (i ? "<br>" : "") + entry_line(lines[i]);
        log_label->setText(log_text);
    }
    show_counters();
    ui->page_info->setText(QString::number(n));
    ui->label_page->setText(QString("%1/%2").arg(current_page + 1).arg(page_count()));
}

void factoryage::show_counters()
{
    const std::pair<QLabel*, u32> counters[] = {{ui->label_3, factoryage_log_diff3},
                                                {ui->label_5, factoryage_log_diff5},
                                                {ui->label_10, factoryage_log_diff10},
                                                {ui->label_20, factoryage_log_diff20},
                                                {ui->label_more, factoryage_log_diffmore}};
    for (const auto& c : counters)
        c.first->setText(QString::number(c.second) + c.first->property("suffix").toString());
}

QString factoryage::shown_text() const { return log_label ? log_label->text() : QString(); }

void factoryage::on_ButtonNext_clicked()
{
    const int pages = page_count();
    if (current_page >= pages)
        return;
    current_page = static_cast<u8>(current_page + 1 < pages ? current_page + 1 : 0);
    update_agelog();
}

void factoryage::on_ButtonPriv_clicked()
{
    const int pages = page_count();
    if (pages == 0)
        return;
    // From the first page back to the last, as Next wraps from the last to the first.
    current_page = static_cast<u8>(current_page > 0 ? current_page - 1 : pages - 1);
    update_agelog();
}

void factoryage::ok_pressed(int row)
{
    if (row == 0)
        on_ButtonNext_clicked();
    else
        on_ButtonPriv_clicked();
}
