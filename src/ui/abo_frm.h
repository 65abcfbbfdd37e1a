#pragma once
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace tarvik {

// The about box: the product's name, its version and the project.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* owner = nullptr);

    QFrame* Panel1 = nullptr;
    QLabel *ProductName = nullptr, *Version = nullptr, *Copyright = nullptr, *Comments = nullptr;
    QPushButton* OKButton = nullptr;
};

// miAboutClick: shows the about box modally and destroys it when it closes.
void runAboutBox(QWidget* owner);

} // namespace tarvik
