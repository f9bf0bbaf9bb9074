// Common frame of the option dialogs: a caption, one labelled control (and,
// for a dialog of several settings, further labelled rows under it), the
// explanatory lines under them, and OK / Cancel, in that tab order. The
// dialog opens with the control's value selected, Enter confirms, and it is
// centred on the screen and sized to its contents so that no text is clipped.
#pragma once

#include <QDialog>
#include <QStringList>

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zv::admin {

class TdlgOptionFrame : public QDialog {
    Q_OBJECT

public:
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QLabel* controlLabel() const { return controlLabel_; }
    // The dialog's one control (edit, list or spin box).
    QWidget* control() const { return control_; }
    // The explanatory lines joined by "\n", exactly as shown.
    QString explanationText() const;

protected:
    TdlgOptionFrame(const QString& caption, const QString& labelText,
                                    const QStringList& explanationLines, QWidget* parent);

    // Puts the dialog's control beside its label, with an optional widget
    // after it. An edit takes the row's width; a narrow control (a list of
    // numbers, a spin box) keeps its own width, `trailing` right beside it.
    enum class ControlWidth { Stretch, Own };
    void placeControl(QWidget* control, QWidget* trailing = nullptr,
                      ControlWidth width = ControlWidth::Stretch);
    // Places a one-line edit of up to 255 characters (object name "edit")
    // as the control; returns it.
    QLineEdit* placeTextEdit();
    // A further labelled row under the control (after placeControl), next in
    // the tab order before OK; returns its label.
    QLabel* addRow(const QString& labelText, QWidget* widget);

    void showEvent(QShowEvent* event) override;

private:
    QGridLayout* controlRow_ = nullptr;
    QLabel* controlLabel_ = nullptr;
    QWidget* control_ = nullptr;
    QWidget* lastInTabOrder_ = nullptr;
    QLabel* explanation_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace zv::admin
