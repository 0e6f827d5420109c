#include "app/specialui.h"

#include "ui_specialui.h"

SpecialUI::SpecialUI(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::SpecialUI)
{
    ui->setupUi(this);
}

SpecialUI::~SpecialUI()
{
    delete ui;
}
