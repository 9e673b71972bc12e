#include "ui/shell/MenuPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QPixmap>

#include "ui/shell/page_open.h"

namespace {
const Text4 kEmpty{"暂无可用项目", "No items yet", "Пока нет пунктов", "Chưa có mục nào"};
const Text4 kNoteOk{"确认进入", "Enter", "Войти", "Chọn"};
const Text4 kNoteBack{"返回", "Back", "Назад", "Quay lại"};
}  // namespace

void MenuPage::translate_frame(QLabel* title, const Text4& text, QLabel* ok_text, QLabel* back_text)
{
    title->setText(tr4(text));
    if (ok_text)
        ok_text->setText(tr4(kNoteOk));
    if (back_text)
        back_text->setText(tr4(kNoteBack));
}

void MenuPage::setup_frame(QLabel* note_ok, QLabel* note_back)
{
    setStyleSheet(style::page);
    note_ok->setPixmap(QPixmap(":/png/OK_Enter.png"));
    note_back->setPixmap(QPixmap(":/png/back_return.png"));
}

namespace {
bool row_available(const MenuRow& row)
{
    if (row.pages.empty())
        return true;
    for (PageFocusId id : row.pages)
        if (has_opener(id))
            return true;
    return false;
}
}  // namespace

void MenuPage::build_rows(QWidget* area, QLabel* empty, std::vector<MenuRow> rows, int columns)
{
    rows_ = std::move(rows);
    empty_ = empty;
    columns_ = columns;
    grid_ = new QGridLayout(area);
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setSpacing(6);
    for (const MenuRow& row : rows_) {
        auto* b = new QPushButton(area);
        b->setObjectName(row.name);
        b->setFocusPolicy(Qt::NoFocus);
        b->setMinimumHeight(30);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        if (row.icon) {
            b->setIcon(QIcon(row.icon));
            b->setIconSize(QSize(28, 28));
        }
        auto action = row.action;
        connect(b, &QPushButton::clicked, this, [action] {
            if (action)
                action();
        });
        buttons_.push_back(b);
    }
}

std::vector<bool> MenuPage::available_rows() const
{
    std::vector<bool> shown;
    for (const MenuRow& row : rows_)
        shown.push_back(row_available(row));
    return shown;
}

void MenuPage::place_rows()
{
    while (QLayoutItem* item = grid_->takeAt(0))
        delete item;  // the buttons stay, owned by the row area
    std::vector<QWidget*> rows;
    for (size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->setVisible(shown_[i]);
        if (!shown_[i])
            continue;
        const int n = static_cast<int>(rows.size());
        grid_->addWidget(buttons_[i], n / columns_, n % columns_);
        rows.push_back(buttons_[i]);
    }
    if (empty_)
        empty_->setVisible(rows.empty());
    set_menu_list(std::move(rows), style::menu_normal, style::menu_focus);
}

void MenuPage::menulist_init()
{
    shown_ = available_rows();
    place_rows();
}

void MenuPage::refresh_rows()
{
    std::vector<bool> now = available_rows();
    if (now == shown_)
        return;
    shown_ = std::move(now);
    place_rows();
}

void MenuPage::translate_rows()
{
    for (size_t i = 0; i < rows_.size(); ++i)
        buttons_[i]->setText(tr4(rows_[i].text));
    if (empty_)
        empty_->setText(tr4(kEmpty));
}

QPushButton* MenuPage::row_button(const char* name) const
{
    for (QPushButton* b : buttons_)
        if (b->objectName() == QLatin1String(name))
            return b;
    return nullptr;
}
