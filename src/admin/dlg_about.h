// The About box: the program icon, its name and version, and OK.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace zv::admin {

class TdlgAbout : public QDialog {
    Q_OBJECT

public:
    explicit TdlgAbout(QWidget* parent = nullptr);

    QLabel* titleLabel() const { return title_; }
    QPushButton* okButton() const { return okButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* title_ = nullptr;
    QPushButton* okButton_ = nullptr;
};

}  // namespace zv::admin
