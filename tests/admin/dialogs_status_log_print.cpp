// The printed status change log: the line format, and whole printouts made
// through the dialog's Print button into a PDF file, read back with pdftotext.

#include <QComboBox>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

#include "admin/dlg_status_log.h"
#include "admin/status_log_print.h"
#include "dialogs_fixture.h"
#include "stores/date_time.h"

namespace zv::admin::test {
namespace {

TEST(StatusLogPrintLine, WritesTheFirstFiveCellsAlwaysAndTheLastThreeOnlyWhenNotEmpty) {
    EXPECT_EQ(statusLogPrintLine({"Smith,Ann", "Sales", "12/6/26", "9:15:02 AM", "Out", "", "Cell", "Lunch"}),
              "Smith,Ann, Sales, 12/6/26, 9:15:02 AM, Out, Cell, Lunch");
    EXPECT_EQ(statusLogPrintLine({"Smith,Ann", "", "12/6/26", "", "In", "", "", ""}),
              "Smith,Ann, , 12/6/26, , In");
    EXPECT_EQ(statusLogPrintLine({"A,B", "D", "d", "t", "", "Mon", "", ""}), "A,B, D, d, t, , Mon");
    EXPECT_EQ(statusLogPrintLine({"A,B", "D", "d", "t", "s", "", "", "c"}), "A,B, D, d, t, s, c");
}

class StatusLogPrintout : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("pdftotext").isEmpty()) GTEST_SKIP() << "pdftotext is not installed";
        datetime::setClockForTesting([] { return std::time_t{1733475302}; });
        stores.log.setMaxSize(100000);
        stores.addDepartment("Sales");
        stores.addDepartment("Admin");
        stores.addAccount("Smith", "Ann", "Sales");
        stores.addAccount("Brown", "Bob", "Admin");
        stores.addLog({"Smith,Ann", "Sales", "12/6/26", "9:15:02 AM", "Out", "", "Cell", "Lunch"});
        stores.addLog({"Brown,Bob", "", "12/6/26", "", "In", "", "", ""});
        stores.addLog({"Smith,Ann", "Sales", "12/6/26", "1:00:00 PM", "In", "", "", ""});
    }
    void TearDown() override { datetime::setClockForTesting(nullptr); }

    // Prints through the Print button into `pdf`; the chooser stands in for
    // the print dialog.
    void printTo(TdlgStatusLog& dlg, const std::string& pdf) {
        dlg.setPrinterChooser([pdf](QPrinter& printer, QWidget*) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(pdf));
            return true;
        });
        dlg.btnPrint->click();
    }

    // The text lines of the PDF (pages separated by a form feed line), blank
    // lines dropped, trailing blanks trimmed.
    static std::vector<std::string> pdfLines(const std::string& pdf, int* pages = nullptr) {
        QProcess process;
        process.start("pdftotext", {"-layout", QString::fromStdString(pdf), "-"});
        EXPECT_TRUE(process.waitForFinished(30000));
        // Some fonts print "fi" and "ff" as ligatures, which pdftotext reads back as
        // one character each; compatibility normalisation splits them again.
        const QString text = QString::fromUtf8(process.readAllStandardOutput())
                                 .normalized(QString::NormalizationForm_KC);
        if (pages) *pages = static_cast<int>(text.count(QLatin1Char('\f')));
        std::vector<std::string> lines;
        for (QString line : text.split(QLatin1Char('\n'))) {
            line.remove(QLatin1Char('\f'));
            const QString trimmed = line.trimmed();
            if (!trimmed.isEmpty()) lines.push_back(trimmed.toStdString());
        }
        return lines;
    }

    TempFolder folder;
    StoreSet stores{folder};
    PromptRecorder prompts;
};

TEST_F(StatusLogPrintout, HoldsTheTitleTheDateAndOneLinePerRowWithItsSeparators) {
    TdlgStatusLog dlg(stores.data, prompts.prompt());
    dlg.show();
    const std::string pdf = folder.file("log.pdf");
    printTo(dlg, pdf);
    ASSERT_TRUE(fileExists(pdf));
    const std::time_t at = datetime::now();
    EXPECT_EQ(pdfLines(pdf), (std::vector<std::string>{
                                 "Zelvora Status Change Log",
                                 "Printed on " + datetime::shortDateText(at) + " at " + datetime::longTimeText(at),
                                 "Smith,Ann, Sales, 12/6/26, 9:15:02 AM, Out, Cell, Lunch",
                                 "Brown,Bob, , 12/6/26, , In",
                                 "Smith,Ann, Sales, 12/6/26, 1:00:00 PM, In",
                             }));
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(StatusLogPrintout, OfAFilteredViewHoldsOnlyTheShownRowsAndStopsAtAnEmptyEmployee) {
    stores.addLog({"", "Sales", "d", "t", "Out"});
    stores.addLog({"Smith,Ann", "Sales", "12/7/26", "8:00:00 AM", "In", "", "", "after the gap"});
    TdlgStatusLog dlg(stores.data, prompts.prompt());
    dlg.show();

    const std::string all = folder.file("all.pdf");
    printTo(dlg, all);
    const std::vector<std::string> allLines = pdfLines(all);
    ASSERT_EQ(allLines.size(), 5u);
    EXPECT_EQ(allLines.back(), "Smith,Ann, Sales, 12/6/26, 1:00:00 PM, In");

    dlg.cbFilterKind->setCurrentIndex(2);  // Department
    dlg.cbFilterValue->setCurrentIndex(dlg.cbFilterValue->findText("Sales"));
    const std::string filtered = folder.file("sales.pdf");
    printTo(dlg, filtered);
    const std::vector<std::string> lines = pdfLines(filtered);
    ASSERT_EQ(lines.size(), 4u) << "two Sales rows, then the row with no employee ends the printout";
    EXPECT_EQ(lines[2], "Smith,Ann, Sales, 12/6/26, 9:15:02 AM, Out, Cell, Lunch");
    EXPECT_EQ(lines[3], "Smith,Ann, Sales, 12/6/26, 1:00:00 PM, In");
}

TEST_F(StatusLogPrintout, StartsANewPageWhenAPageIsFullAndKeepsLongLinesWhole) {
    stores.log.clearList();
    std::vector<std::vector<std::string>> entries;
    for (int i = 0; i < 150; ++i) entries.push_back({"Row" + std::to_string(1000 + i) + ",X", "Sales", "d", "t", "In"});
    stores.addLogs(entries);
    const std::string longComment = "This comment is far too long to fit on one printed line of the page, "
                                    "so it goes on in the next line of the printout rather than being cut off "
                                    "at the right edge of the paper where nobody could read it any more";
    stores.addLog({"Last,Row", "Sales", "d", "t", "Out", "", "", longComment});
    TdlgStatusLog dlg(stores.data, prompts.prompt());
    dlg.show();
    const std::string pdf = folder.file("long.pdf");
    printTo(dlg, pdf);
    int pages = 0;
    const std::vector<std::string> lines = pdfLines(pdf, &pages);
    EXPECT_GE(pages, 2);
    std::vector<std::string> rows;
    for (const std::string& line : lines)
        if (line.rfind("Row", 0) == 0) rows.push_back(line);
    ASSERT_EQ(rows.size(), 150u);
    for (int i = 0; i < 150; ++i) EXPECT_EQ(rows[i], "Row" + std::to_string(1000 + i) + ",X, Sales, d, t, In");
    std::string tail;
    bool inLast = false;
    for (const std::string& line : lines) {
        if (line.rfind("Last,Row", 0) == 0) inLast = true;
        if (inLast) tail += (tail.empty() ? "" : " ") + line;
    }
    EXPECT_EQ(tail, "Last,Row, Sales, d, t, Out, " + longComment);
}

TEST_F(StatusLogPrintout, IsNotMadeWhenThePrintDialogIsCancelled) {
    TdlgStatusLog dlg(stores.data, prompts.prompt());
    dlg.show();
    bool asked = false;
    const std::string pdf = folder.file("cancelled.pdf");
    dlg.setPrinterChooser([&](QPrinter& printer, QWidget*) {
        asked = true;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        return false;
    });
    dlg.btnPrint->click();
    EXPECT_TRUE(asked);
    EXPECT_FALSE(fileExists(pdf));
}

TEST_F(StatusLogPrintout, ThatCannotStartIsReported) {
    TdlgStatusLog dlg(stores.data, prompts.prompt());
    dlg.show();
    const std::string pdf = folder.file("no/such/folder/log.pdf");
    printTo(dlg, pdf);
    EXPECT_EQ(prompts.texts(),
              std::vector<std::string>{"The status change log could not be printed on \"" + pdf + "\"."});
}

}  // namespace
}  // namespace zv::admin::test
