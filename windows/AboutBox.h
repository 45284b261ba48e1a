// The about box: the program's version and its disclaimer, closed with "Ok".
// Its controls live in AboutBox.ui.
#pragma once
#include <QDialog>
#include <array>
#include <memory>

class QLabel;
class QPushButton;

namespace Ui {
class AboutBox;
}

namespace keyfold {
// The six texts of the about box, in the order the box shows them.
enum class AboutText {
    Ownership,
    Version,
    Rights,
    Disclaimer1,
    Disclaimer2,
    Disclaimer3
};
QString aboutString(AboutText which);
}  // namespace keyfold

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* owner = nullptr);
    ~AboutBox() override;

protected:
    void showEvent(QShowEvent* event) override;

public:
    // The controls, named for what they hold (their object names are the form's); the
    // window tests reach them here.
    QLabel* disclaimerHeading() const;
    QPushButton* okButton() const;
    // The six texts' labels, in the order of AboutText.
    std::array<QLabel*, 6> textLabels() const;

private:
    void showTexts();
    void closeBox();

    std::unique_ptr<Ui::AboutBox> ui;
};
