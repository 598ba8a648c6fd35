#include "app/Titlein.h"

TTitleInput1* TitleInput1 = nullptr;

TTitleInput1::TTitleInput1(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TitleInput1"));
    setWindowTitle(QStringLiteral("手書きメモ－題名入力"));
    setFixedSize(299, 134);
}
