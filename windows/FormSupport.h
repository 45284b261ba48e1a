// What the windows' Designer forms need beyond the stock widgets.
#pragma once
#include <QFrame>

class QWidget;

namespace forms {

// Designer forms hold font sizes in points only. A widget in a form that carries the
// dynamic property "pixelFontSize" (an int) gets its font at that many pixels; its
// children inherit it as usual. Call once, after setupUi.
void applyPixelFontSizes(QWidget* form);

}  // namespace forms

// A panel drawn with two lowered bevels, each two pixels wide (a promoted QFrame in the
// forms).
class BevelPanel : public QFrame {
public:
    explicit BevelPanel(QWidget* parent = nullptr) : QFrame(parent) {}

protected:
    void paintEvent(QPaintEvent* event) override;
};
