#include "ui/source_pages/tlxcontrol.h"

#include <QComboBox>
#include <QLabel>

tlxcontrol::tlxcontrol(QRect box, QRect left, QRect right, QWidget* parent)
    : QWidget(parent),
      label_default_("color: rgb(255, 255, 255);border:1px solid rgb(255,171,84);background-color:rgb(0, 0, 0)"),
      label_modify_("color: rgb(255, 255, 255);border:1px solid rgb(71,119,255);background-color:rgb(0, 0, 0)"),
      box_default_("QComboBox{color:rgb(255,255,255);\nborder:1px solid rgb(255,171,84);\n}\nQComboBox:drop-down{\nborder-style:none\n}"),
      box_modify_("QComboBox{color:rgb(255,255,255);\nborder:1px solid rgb(71,119,255);\n}\nQComboBox:drop-down{\nborder-style:none\n}")
{
    font_.setPointSize(9);
    box_ = new QComboBox(this);
    box_->setObjectName("tlxcontrol");
    box_->setGeometry(box);
    box_->setFont(font_);
    box_->setFocusPolicy(Qt::NoFocus);
    box_->setStyleSheet(box_default_);
    right_ = new QLabel(this);
    right_->setGeometry(right);
    right_->setFont(font_);
    right_->setStyleSheet(label_default_);
    right_->setText(">");
    left_ = new QLabel(this);
    left_->setGeometry(left);
    left_->setFont(font_);
    left_->setStyleSheet(label_default_);
    left_->setText("<");
}

void tlxcontrol::set_look(const QString& box_sheet, const QString& label_sheet)
{
    box_->setStyleSheet(box_sheet);
    right_->setStyleSheet(label_sheet);
    left_->setStyleSheet(label_sheet);
}

void tlxcontrol::set_box_default() { set_look(box_default_, label_default_); }

void tlxcontrol::set_box_modify() { set_look(box_modify_, label_modify_); }

void tlxcontrol::set_boxindexsel(char index) { box_->setCurrentIndex(static_cast<unsigned char>(index)); }
