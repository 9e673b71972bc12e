#include "ledset.h"

#include <QPixmap>

#include "core/TlxRamPara.h"
#include "core/log.h"
#include "core/ram_map.h"
#include "ui/settings_pages/fpga_link.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/My_lineEdit.h"
#include "ui/shell/TIP.h"
#include "ui/shell/image_access.h"
#include "ui/shell/lang.h"
#include "ui_ledset.h"

namespace {
enum Row { RowWidth, RowHeight, RowApply, RowCancel };
constexpr int kHiddenWindows[] = {1, 2, 3, 4, 5};
const Text4 kBeyondPage{"尺寸超出\n本页范围", "Size beyond\nthis page", "Размер вне\nпределов", "Kích thước\nvượt giới hạn"};
}  // namespace

ledset::ledset(QWidget* parent) : SettingsPage("ledset", PAGE_LEDSET), ui(new Ui::ledset)
{
    (void)parent;
    ui->setupUi(this);
    ui->label_warning->setPixmap(QPixmap(":/png/warning.png"));
    connect_keypad({ui->lineEdit_ledw, ui->lineEdit_ledh});
    finish_construction();
}

ledset::~ledset() { delete ui; }

void ledset::para_init()
{
    shown_[0] = ui->lineEdit_ledw->text();
    shown_[1] = ui->lineEdit_ledh->text();
    refresh_fields();
}

// A field the user has not changed shows the size stored now (a tool may set it).
void ledset::refresh_fields()
{
    QLineEdit* fields[2] = {ui->lineEdit_ledw, ui->lineEdit_ledh};
    const u32 words[2] = {ram_led_width, ram_led_height};
    for (int i = 0; i < 2; ++i) {
        if (fields[i]->text() != shown_[i])
            continue;
        shown_[i] = QString::asprintf("%d", image_u16(words[i]));
        fields[i]->setText(shown_[i]);
    }
}

void ledset::menulist_init()
{
    set_rows({ui->lineEdit_ledw, ui->lineEdit_ledh, ui->Button_apply, ui->Button_cancle},
             std::vector<const RowSheets*>(4, &sheets::row()));
}

void ledset::language_changed()
{
    ui->label_ledset->setText(tr4({"LED设置", "LED Setting", "Настройки LED", "Cài đặt LED"}));
    ui->label_note_led_w->setText(tr4({"设置LED屏宽高", "Set LED W&H", "Разрешение LED шир и выс", "Cài đặt thông số led"}));
    ui->label_ledw->setText(tr4({"宽", "W", "Ширина", "Rộng"}));
    ui->label_ledh->setText(tr4({"高", "H", "Высота", "Cao"}));
    ui->label_tip->setText(tr4({"可设LED屏最大点数:%1(宽),%2(高)", "LED max:%1(w),%2(h)", "Ширина:%1(px)Высота:%2(px)",
                                "Điểm ảnh lớn nhất:%1(ngang),%2(dọc)"})
                               .arg(kMaxSide)
                               .arg(kMaxSide));
    ui->Button_apply->setText(tr4({"应用", "Apply", "OK", "Đồng ý"}));
    ui->Button_cancle->setText(tr4({"取消", "Cancle", "Отмена", "Hủy bỏ"}));
}

void ledset::show_numberkeyboard_ui(QString text)
{
    (void)text;
    auto* field = qobject_cast<QLineEdit*>(sender());
    if (!field)
        return;
    field_name = field->objectName();
    const bool width = field == ui->lineEdit_ledw;
    open_keypad(field, g_language.load() == 0 ? QString::fromUtf8(width ? "宽" : "高") : QString(width ? "W" : "H"));
}

std::pair<QString, QString> ledset::confirm_size(bool width, const QString& typed, const QString& other)
{
    const int v = typed.toInt(nullptr, 10);
    const int o = other.toShort(nullptr, 10);
    if (v > kMaxSide)
        return {QString::number(kMaxSide), o * kMaxSide > kMaxArea ? QString("1280") : other};
    if (v < kMinSide)
        return {QString::number(kMinSide), other};
    const int bound = width ? kMaxArea : kMaxAreaByHeight;
    return {typed, o * v > bound ? QString::number(bound / v) : other};
}

void ledset::confirmString(QString text)
{
    const bool width = field_name == ui->lineEdit_ledw->objectName();
    QLineEdit* other = width ? ui->lineEdit_ledh : ui->lineEdit_ledw;
    const auto [edited, other_text] = confirm_size(width, text, other->text());
    if (g_lineedit)
        g_lineedit->setText(edited);
    other->setText(other_text);
}

// The size Apply writes for the two fields' texts: each through its own rule, the width's side
// limits, then the height's rule with its bound. A pair the keypad accepted (a typed height up
// to the larger bound) comes out unchanged.
std::pair<QString, QString> ledset::limited_size(const QString& width, const QString& height)
{
    const QString w = confirm_size(true, width, height).first;
    const auto fixed = confirm_size(false, height, w);
    return {fixed.second, fixed.first};
}

// A field not typed shows the stored size; the rules would change it only when a tool stored
// a size beyond what this page sets (a split wall of 7680 x 4320). Applying it would replace
// that wall by a size nobody chose.
bool ledset::would_change_a_stored_side(const std::pair<QString, QString>& size) const
{
    const QString texts[2] = {ui->lineEdit_ledw->text(), ui->lineEdit_ledh->text()};
    const QString limited[2] = {size.first, size.second};
    for (int i = 0; i < 2; ++i)
        if (texts[i] == shown_[i] && limited[i] != texts[i])
            return true;
    return false;
}

void ledset::refuse_stored_size()
{
    writeLogMsg(LOG_WARNING, "LED size page: stored size " + ui->lineEdit_ledw->text().toStdString() + "x" +
                                 ui->lineEdit_ledh->text().toStdString() +
                                 " is beyond what the page sets: Apply refused, nothing written");
    if (g_tip)
        g_tip->tip_warning(tr4(kBeyondPage));
}

void ledset::on_Button_apply1_clicked()
{
    // The fields may still show the image's own values; a field not typed holds the size
    // stored now. A typed value goes through the rules; a stored one they would change is
    // refused, so the wall stays as it is.
    refresh_fields();
    const auto size = limited_size(ui->lineEdit_ledw->text(), ui->lineEdit_ledh->text());
    if (would_change_a_stored_side(size))
        return refuse_stored_size();
    ui->lineEdit_ledw->setText(size.first);
    ui->lineEdit_ledh->setText(size.second);
    const u16 w = static_cast<u16>(size.first.toShort(nullptr, 10));
    const u16 h = static_cast<u16>(size.second.toShort(nullptr, 10));
    const u8* applied = TlxRamPara::p_tlxrampara_config->ram_applied;   // the canvas the scaler runs
    bool new_size = false;
    apply(1, [&](u8* image) {
        ram_wr16(image, ram_led_width, w);
        ram_wr16(image, ram_led_height, h);
        for (int r = 0; r < 2; ++r) {
            const u32 rect = ram_output_rect + RAM_OUTPUT_RECT_STRIDE * r;
            ram_wr16(image, rect, 0);
            ram_wr16(image, rect + 2, 0);
            ram_wr16(image, rect + 4, w);
            ram_wr16(image, rect + 6, h);
        }
        ram_wr16(image, ram_splice_mode, 0);
        if (w == ram_rd16(applied, ram_led_width) && h == ram_rd16(applied, ram_led_height))
            return;
        new_size = true;
        ram_wr16(image, ram_window_addr(0, WIN_X), 0);
        ram_wr16(image, ram_window_addr(0, WIN_Y), 0);
        ram_wr16(image, ram_window_addr(0, WIN_WIDTH), w);
        ram_wr16(image, ram_window_addr(0, WIN_HEIGHT), h);
        for (int win : kHiddenWindows)
            ram_wr16(image, ram_window_addr(win, WIN_ENABLE), 0);
        fpga_link::start_led_handshake_locked();
    });
    shown_[0] = ui->lineEdit_ledw->text();  // applied: the fields follow the image again
    shown_[1] = ui->lineEdit_ledh->text();
    // The tip waits for the parameter file: the check mark once the new size is kept, else
    // "not saved". It runs after the lock is released (the scaler and the remote threads
    // need it, and a refresh queued meanwhile runs inside the tip's loop).
    if (new_size && g_mainwindow)
        g_mainwindow->tip_after_store();
}

void ledset::ok_pressed(int row)
{
    if (row == RowWidth || row == RowHeight)
        emit static_cast<My_lineEdit*>(menu_list[row])->send_show(menu_list[row]->objectName());
    else if (row == RowApply)
        on_Button_apply1_clicked();
    else
        slot_Button_back_clicked();
}
