#include "platform/printer.h"

#include <stdexcept>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinterInfo>
#include "platform/secret.h"
#include "platform/windows1252lineedit.h"

namespace platform {

std::unique_ptr<PrinterDevice> PrinterDevice::openDefault() {
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) return nullptr;
    auto device = std::make_unique<PrinterDevice>(info);
    if (!device->printer_.isValid() || device->pageWidth() <= 0 || device->pageHeight() <= 0)
        throw std::runtime_error("The printer " + info.printerName().toStdString() + " cannot be used");
    return device;
}

namespace {
// The printer's default text font, MS Sans Serif at 8 points (a metric-compatible sans
// serif where it is missing); measured at the printer's resolution.
QFont printFont() {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    // Plain characters, no ligatures: the paper shows what is stored, letter by letter,
    // and text read back from the printout matches it.
    f.setStyleStrategy(QFont::PreferNoShaping);
    return f;
}
}  // namespace

PrinterDevice::PrinterDevice(const QPrinterInfo& info)
    : printer_(info, QPrinter::HighResolution), font_(printFont(), &printer_), metrics_(font_, &printer_), pages_(1) {
    printer_.setDocName(QString());
    // The whole printable area, with no margins of our own: the origin is its top-left
    // corner and the page's width and height are its size.
    printer_.setFullPage(true);
    printer_.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Point);
}

int PrinterDevice::pageWidth() const { return printer_.width(); }
int PrinterDevice::pageHeight() const { return printer_.height(); }

PrinterDevice::~PrinterDevice() { dropPages(); }

void PrinterDevice::dropPages() {
    for (auto& page : pages_)
        for (Run& r : page) wipe(r.text);
    pages_.clear();
}

int PrinterDevice::textWidth(std::string_view text) const {
    QString shown = fromWindows1252(text);
    const int width = metrics_.horizontalAdvance(shown);
    wipe(shown);
    return width;
}

int PrinterDevice::textHeight(std::string_view) const { return metrics_.height(); }

int PrinterDevice::charHeight() const { return metrics_.height(); }

void PrinterDevice::drawText(int x, int y, std::string_view text) {
    pages_.back().push_back({x, y, fromWindows1252(text)});
}

void PrinterDevice::newPage() { pages_.emplace_back(); }

void PrinterDevice::finish() {
    if (done_) return;
    done_ = true;
    QPainter painter;
    if (!painter.begin(&printer_))
        throw std::runtime_error("The printer " + printer_.printerName().toStdString() +
                                 " could not start the print job");
    painter.setFont(font_);
    const int ascent = metrics_.ascent();
    bool first = true;
    for (const auto& page : pages_) {
        if (!first && !printer_.newPage()) {
            painter.end();
            throw std::runtime_error("The printer " + printer_.printerName().toStdString() +
                                     " could not begin a new page");
        }
        first = false;
        for (const Run& r : page) painter.drawText(r.x, r.y + ascent, r.text);
    }
    dropPages();
    if (!painter.end())
        throw std::runtime_error("The printer " + printer_.printerName().toStdString() +
                                 " could not complete the print job");
}

void PrinterDevice::abandon() {
    done_ = true;
    dropPages();
}

}  // namespace platform
