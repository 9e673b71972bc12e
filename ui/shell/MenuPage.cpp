#include "ui/shell/MenuPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QPixmap>

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

void MenuPage::build_rows(QWidget* area, QLabel* empty, std::vector<MenuRow> rows, int columns)
{
    rows_ = std::move(rows);
    empty_ = empty;
    auto* grid = new QGridLayout(area);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(6);
    for (size_t i = 0; i < rows_.size(); ++i) {
        auto* b = new QPushButton(area);
        b->setObjectName(rows_[i].name);
        b->setFocusPolicy(Qt::NoFocus);
        b->setMinimumHeight(30);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        if (rows_[i].icon) {
            b->setIcon(QIcon(rows_[i].icon));
            b->setIconSize(QSize(28, 28));
        }
        auto action = rows_[i].action;
        connect(b, &QPushButton::clicked, this, [action] {
            if (action)
                action();
        });
        grid->addWidget(b, static_cast<int>(i) / columns, static_cast<int>(i) % columns);
        buttons_.push_back(b);
    }
    if (rows_.empty())
        grid->addWidget(new QWidget(area), 0, 0);  // keeps the area's size
    if (empty_)
        empty_->setVisible(rows_.empty());
}

void MenuPage::menulist_init()
{
    set_menu_list(std::vector<QWidget*>(buttons_.begin(), buttons_.end()), style::menu_normal, style::menu_focus);
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
