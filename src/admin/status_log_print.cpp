#include "admin/status_log_print.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QTextLayout>

#include "admin/maintenance_actions.h"
#include "host/status_log_views.h"
#include "stores/date_time.h"

namespace zv::admin {

namespace {

// Writes lines of text down the page, starting a new page when one is full.
class LineWriter {
public:
    LineWriter(QPainter& painter, QPrinter& printer)
        : painter_(painter), printer_(printer), width_(printer.width()), height_(printer.height()) {}

    void line(const QFont& font, const QString& text) {
        QTextLayout layout(text, font, &printer_);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width_);
        }
        layout.endLayout();
        if (layout.lineCount() == 0 || text.isEmpty()) {
            advance(QFontMetricsF(font, &printer_).lineSpacing());
            return;
        }
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine textLine = layout.lineAt(i);
            const qreal lineHeight = textLine.height();
            startPageIfFull(lineHeight);
            textLine.draw(&painter_, QPointF(0, y_ - textLine.y()));
            y_ += lineHeight;
        }
    }

private:
    void advance(qreal lineHeight) {
        startPageIfFull(lineHeight);
        y_ += lineHeight;
    }

    void startPageIfFull(qreal lineHeight) {
        if (y_ > 0 && y_ + lineHeight > height_) {
            printer_.newPage();
            y_ = 0;
        }
    }

    QPainter& painter_;
    QPrinter& printer_;
    qreal width_;
    qreal height_;
    qreal y_ = 0;
};

}  // namespace

QString statusLogPrintLine(const QStringList& cells) {
    std::array<std::string, 8> utf8;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (static_cast<qsizetype>(i) < cells.size()) utf8[i] = cells[static_cast<qsizetype>(i)].toStdString();
    }
    std::array<std::string_view, 8> views;
    for (std::size_t i = 0; i < utf8.size(); ++i) views[i] = utf8[i];
    return QString::fromStdString(zv::statusLogPrintLine(views));
}

bool printStatusLog(QPrinter& printer, const QList<QStringList>& rows, std::time_t printedAt) {
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    painter.setPen(Qt::black);
    LineWriter out(painter, printer);

    QFont title(QStringLiteral("Arial"), 18);
    title.setUnderline(true);
    out.line(title, QString::fromLatin1(kStatusLogTitle.data(), static_cast<qsizetype>(kStatusLogTitle.size())));
    out.line(title, QString());

    QFont stamp(QStringLiteral("Arial"), 14);
    out.line(stamp, toQt(printedOnText(printedAt)));
    out.line(stamp, QString());

    QFont body(QStringLiteral("Arial"), 10);
    for (const QStringList& row : rows) out.line(body, statusLogPrintLine(row));
    return painter.end();
}

}  // namespace zv::admin
