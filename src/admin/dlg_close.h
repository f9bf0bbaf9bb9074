// The shutdown warning shown before the server closes: Yes lets the server
// shut down; No, Escape or the close box keep it running.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace zv::admin {

class TdlgClose : public QDialog {
    Q_OBJECT

public:
    explicit TdlgClose(QWidget* parent = nullptr);

    QPushButton* yesButton() const { return yesButton_; }
    QPushButton* noButton() const { return noButton_; }
    QLabel* warningLabel() const { return warning_; }
    QLabel* questionLabel() const { return question_; }
    // The four lines between "Warning:" and the question, joined by "\n".
    QString explanationText() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* warning_ = nullptr;
    QLabel* lines_ = nullptr;
    QLabel* question_ = nullptr;
    QPushButton* yesButton_ = nullptr;
    QPushButton* noButton_ = nullptr;
};

}  // namespace zv::admin
