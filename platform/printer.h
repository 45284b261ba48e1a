// The default printer as a page device for the printed list.
#pragma once
#include <memory>
#include <vector>
#include <QFont>
#include <QFontMetrics>
#include <QPrinter>
#include <QString>
#include "output/pagedevice.h"

namespace platform {

// The text of the error box shown when the system has no default printer.
inline const char* const kNoDefaultPrinterText = "There is no default printer currently selected";

// One print job on the default printer, without a dialog, in the default text font at
// 8 points scaled to the printer's resolution. The origin is the top-left corner of
// the printable area. The pages are kept until finish() sends them as one job, so a
// job that an error cut short is dropped by abandon() and never reaches the printer.
class PrinterDevice : public output::PageDevice {
public:
    // The job on the current default printer, or nullptr when there is none.
    // Throws std::runtime_error when the printer cannot be used.
    static std::unique_ptr<PrinterDevice> openDefault();

    int pageWidth() const override;
    int pageHeight() const override;
    ~PrinterDevice() override;
    int textWidth(std::string_view text) const override;
    int textHeight(std::string_view text) const override;
    int charHeight() const override;
    void drawText(int x, int y, std::string_view text) override;
    void newPage() override;
    void finish() override;
    void abandon() override;

    QString printerName() const { return printer_.printerName(); }

    explicit PrinterDevice(const class QPrinterInfo& info);

private:
    // Overwrites the texts of the pages kept and lets them go.
    void dropPages();
    struct Run {
        int x;
        int y;
        QString text;
    };
    QPrinter printer_;
    QFont font_;
    QFontMetrics metrics_;
    std::vector<std::vector<Run>> pages_;
    bool done_ = false;
};

}  // namespace platform
