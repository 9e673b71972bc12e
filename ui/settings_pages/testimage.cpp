#include "testimage.h"

#include <QLabel>
#include <QPixmap>

#include "core/ram_map.h"
#include "ui/shell/lang.h"
#include "ui_testimage.h"

namespace {
const RowSheets kTile{"color: rgb(255, 255, 255);", "border:1px solid rgb(255,171,84);", ""};
const RowSheets kClose{"color: rgb(255, 255, 255);background-color:rgb(0,0,0);border:1px solid rgb(255,255,255);",
                       "color: rgb(255, 255, 255); background-color:rgb(0,0,0);border:1px solid rgb(255,171,84);", ""};
// Captions of the tiles: Chinese and English names; Russian and Vietnamese number them.
const Text4 kCaption[testimage::kPatterns] = {
    {"红色", "Red", "", ""},     {"绿色", "Green", "", ""},     {"蓝色", "Blue", "", ""},
    {"白色", "White", "", ""},   {"黑色", "Black", "", ""},     {"色带", "Colour bar", "", ""},
    {"竖线", "Vertical line", "", ""}, {"横线", "Horizontal line", "", ""}};

void write_pattern(u8 pattern)
{
    PageFrame::apply(1, [pattern](u8* image) { image[ram_test_pattern] = pattern; });
}
}  // namespace

testimage::testimage(QWidget* parent) : SettingsPage("testimage", PAGE_TESTIMAGE), ui(new Ui::testimage)
{
    (void)parent;
    ui->setupUi(this);
    QLabel* tiles[kPatterns] = {ui->label_test1, ui->label_test2, ui->label_test3, ui->label_test4,
                                ui->label_test5, ui->label_test6, ui->label_test7, ui->label_test8};
    for (int i = 0; i < kPatterns; ++i)
        tiles[i]->setPixmap(QPixmap(QString(":/png/img_test%1.png").arg(i + 1)));
    finish_construction();
}

testimage::~testimage() { delete ui; }

void testimage::menulist_init()
{
    std::vector<const RowSheets*> kinds(kPatterns, &kTile);
    kinds.push_back(&kClose);
    set_rows({ui->label_test1, ui->label_test2, ui->label_test3, ui->label_test4, ui->label_test5, ui->label_test6,
              ui->label_test7, ui->label_test8, ui->Button_closetest},
             kinds);
}

void testimage::language_changed()
{
    ui->label_testimage->setText(tr4({"测试图", "Test pattern", "Тестовый образец", "Biểu đồ kiểm tra"}));
    QLabel* captions[kPatterns] = {ui->label_red,   ui->label_green, ui->label_blue,  ui->label_white,
                                   ui->label_black, ui->label_color, ui->label_hline, ui->label_wline};
    for (int i = 0; i < kPatterns; ++i) {
        Text4 t = kCaption[i];
        const QString ru = QString::fromUtf8("Тест %1").arg(i + 1);
        const QString vi = QString::fromUtf8("Kiểm tra %1").arg(i + 1);
        const int lang = g_language.load();
        captions[i]->setText(lang == 2 ? ru : lang == 3 ? vi : tr4(t));
    }
    ui->Button_closetest->setText(tr4({"关闭测试图", "Close", "Закрыть", "Đóng"}));
}

void testimage::slot_Button_on_clicked()
{
    write_pattern(ui_select < kPatterns ? static_cast<u8>(ui_select + 1) : 0);
}

void testimage::slot_Button_back_clicked()
{
    write_pattern(0);
    SettingsPage::slot_Button_back_clicked();
}

void testimage::ok_pressed(int row)
{
    if (row < kPatterns)
        slot_Button_on_clicked();
    else
        slot_Button_back_clicked();
}
