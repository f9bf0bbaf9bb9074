#include "admin/message_box.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include "admin/dialog_flags.h"
#include "admin/maintenance_actions.h"

namespace zv::admin {

namespace {

constexpr const char* kCaption = "Zelvora Admin/Server";

// Room a title bar takes beside its caption: the window icon on one side,
// minimise, maximise and close on the other, and the caption centred between.
constexpr int kTitleBarRoom = 140;

QMessageBox::Icon iconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Question: return QMessageBox::Question;
        case MessageKind::Warning: return QMessageBox::Warning;
        case MessageKind::Error: return QMessageBox::Critical;
        case MessageKind::Information: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

int captionWidth(const QWidget& window) {
    // Title bars mostly write the caption in bold.
    QFont font = window.font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(window.windowTitle()) + kTitleBarRoom;
}

MessageAnswer showMessageBox(QWidget* owner, MessageKind kind, const std::string& text) {
    QString body = toQt(text);
    body.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const bool question = kind == MessageKind::Question;
    QMessageBox box(iconOf(kind), QString::fromLatin1(kCaption), body,
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner);
    if (question) box.setDefaultButton(QMessageBox::No);
    box.setWindowFlags(kFixedDialogFlags);
    // QMessageBox sizes itself to the larger of its contents and its own guess
    // at the caption, which is too small for most title bars: a spacer as wide
    // as the caption needs raises the contents' width.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(captionWidth(box), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    const int pressed = box.exec();
    if (!question) return MessageAnswer::Ok;
    return pressed == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

}  // namespace zv::admin
