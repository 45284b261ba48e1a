// What the windows' Designer forms need beyond the stock widgets.
#pragma once
#include <functional>
#include <string_view>

#include <QFrame>

class QAbstractButton;
class QWidget;

namespace forms {

// Designer forms hold font sizes in points only, and name one font family. A widget
// in a form that carries the dynamic property "pixelFontSize" (an int) gets its font
// at that many pixels; one that carries "fontFamilies" (a string list) gets its font
// from the first of those families that is there, in that order. Its children inherit
// the font as usual. Call once, after setupUi.
void applyFormFonts(QWidget* form);

// Runs the form's setupUi (`[&] { ui->setupUi(this); }`) and gives the form its fonts as
// applyFormFonts does, each widget's as soon as setupUi sets its properties, before its
// children are made: the first text laid out is laid out in its final font, and no
// change of font is passed on to the children afterwards.
void buildForm(QWidget* form, const std::function<void()>& setupUi);

// A button in a form that carries the dynamic property "standardIcon" (the name of a
// QStyle::StandardPixmap, e.g. "SP_ArrowBack") gets that picture of the current style.
// Call once, after setupUi.
void applyStandardIcons(QWidget* form);

// What Enter and Escape do in a window, for the keys that none of its controls took.
struct KeyRules {
    enum class Enter {
        Standard,       // the window's own handling (a dialog presses its default button)
        FocusedButton,  // presses the window's button that has the focus, with any modifiers
    };
    Enter enter = Enter::Standard;
    // With Enter::FocusedButton: pressed when the focus is not on a button (the main
    // window's "Exit"); without one, Enter elsewhere does nothing.
    QAbstractButton* enterElsewhere = nullptr;
    // Asked before enterElsewhere is pressed, when given: false leaves it unpressed.
    std::function<bool()> enterElsewhereAllowed = {};
    // True: Escape does nothing (a window without a cancel button). False: the
    // window's own handling (a dialog rejects).
    bool escapeDoesNothing = false;
};

// Gives the window these rules; they stay in force for the window's lifetime.
void setKeyRules(QWidget* window, const KeyRules& rules);

// Runs work on a thread of its own and returns once it has finished, with the wait
// cursor over the program. Meanwhile the windows keep painting and timers run, but
// clicks and keys wait unhandled, so no control acts twice; a window that must not close
// meanwhile refuses its close event itself. work must not touch a widget.
void runOffWindowThread(const std::function<void()>& work);

// The key phrase typed once more in a masked prompt that asks question, taken as every
// phrase is (trimmed Windows-1252): Same when it is expected (compared in constant time).
enum class PhraseAgain {
    Same,
    Differs,
    Cancelled
};
PhraseAgain askPhraseAgain(const QString& question, std::string_view expected);

// The wait cursor over the whole program for as long as it lives (when on), however the
// work it covers ends.
class WaitCursor {
public:
    explicit WaitCursor(bool on = true);
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool on_;
};

}  // namespace forms

// A panel drawn with two lowered bevels, each two pixels wide (a promoted QFrame in the
// forms).
class BevelPanel : public QFrame {
public:
    explicit BevelPanel(QWidget* parent = nullptr) : QFrame(parent) {}

protected:
    void paintEvent(QPaintEvent* event) override;
};
