// The about box: the program's version and its disclaimer, closed with "Ok".
#pragma once
#include <QDialog>

class QLabel;
class QPushButton;
class QFrame;

namespace keyfold {
// The six texts of the about box, in the order the box shows them.
enum class AboutText { Ownership, Version, Rights, Disclaimer1, Disclaimer2, Disclaimer3 };
QString aboutString(AboutText which);
}  // namespace keyfold

class TFrmabout : public QDialog {
    Q_OBJECT
public:
    explicit TFrmabout(QWidget* owner = nullptr);

    QFrame* Panel2 = nullptr;
    QLabel* LblCopy1 = nullptr;
    QLabel* LblCopy2 = nullptr;
    QLabel* LblCopy3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* LblInfo1 = nullptr;
    QLabel* LblInfo2 = nullptr;
    QLabel* LblInfo3 = nullptr;
    QPushButton* Button1 = nullptr;

    void FormCreate();
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
