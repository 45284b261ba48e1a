#include "windows/FormSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDynamicPropertyChangeEvent>
#include <QKeyEvent>
#include <QMetaEnum>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVariant>
#include <qdrawutil.h>

#include <QEventLoop>
#include <thread>

#include "platform/messages.h"
#include "vault/keyphrase.h"
#include "vault/secret.h"

namespace forms {

namespace {

// A widget with a style sheet of its own took its font when the sheet was set, in
// setupUi, and no longer follows its parent's: it is given the form's font as it now
// stands, as every other widget inherits it.
void restyleWithFonts(QWidget* form) {
    for (QWidget* widget : form->findChildren<QWidget*>()) {
        if (widget->styleSheet().isEmpty() || !widget->parentWidget()) continue;
        widget->setFont(widget->parentWidget()->font());
    }
}

// The font a widget's "fontFamilies" and "pixelFontSize" ask for, where it carries
// either.
void applyOwnFont(QWidget* widget) {
    const QStringList families = widget->property("fontFamilies").toStringList();
    bool ok = false;
    const int pixels = widget->property("pixelFontSize").toInt(&ok);
    const bool sized = ok && pixels > 0;
    if (families.isEmpty() && !sized) return;
    // Both at once: each change of font is passed on to every child again.
    QFont font = widget->font();
    if (!families.isEmpty()) font.setFamilies(families);
    if (sized) font.setPixelSize(pixels);
    widget->setFont(font);  // a font equal to the one it has changes nothing
}

// While a form is built: a widget gets its font the moment setupUi gives it one of the
// two properties, before setupUi makes its children.
class FontsAsTheyAreSet : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::DynamicPropertyChange && watched->isWidgetType()) {
            const QByteArray name = static_cast<QDynamicPropertyChangeEvent*>(e)->propertyName();
            if (name == "fontFamilies" || name == "pixelFontSize") applyOwnFont(static_cast<QWidget*>(watched));
        }
        return false;
    }
};

}  // namespace

void buildForm(QWidget* form, const std::function<void()>& setupUi) {
    {
        // (A filter that is destroyed leaves the application's list by itself.)
        FontsAsTheyAreSet fonts;
        QCoreApplication::instance()->installEventFilter(&fonts);
        setupUi();
        QCoreApplication::instance()->removeEventFilter(&fonts);
    }
    applyFormFonts(form);
}

void applyFormFonts(QWidget* form) {
    QList<QWidget*> widgets = form->findChildren<QWidget*>();
    widgets.prepend(form);
    for (QWidget* widget : widgets) applyOwnFont(widget);
    restyleWithFonts(form);
}

void applyStandardIcons(QWidget* form) {
    const QMetaEnum pictures = QMetaEnum::fromType<QStyle::StandardPixmap>();
    for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
        const QByteArray name = button->property("standardIcon").toByteArray();
        if (name.isEmpty()) continue;
        bool ok = false;
        const int picture = pictures.keyToValue(name.constData(), &ok);
        if (ok) button->setIcon(button->style()->standardIcon(QStyle::StandardPixmap(picture)));
    }
}

namespace {

// Watches the key presses that reach the window itself, before the window's own
// handling of them.
class KeyRuleFilter : public QObject {
public:
    KeyRuleFilter(QWidget* window, const KeyRules& rules) : QObject(window), window_(window), rules_(rules) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_ || event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && rules_.escapeDoesNothing) {
            key->accept();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            rules_.enter == KeyRules::Enter::FocusedButton) {
            if (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
                button && window_->isAncestorOf(button))
                button->click();
            else if (rules_.enterElsewhere && (!rules_.enterElsewhereAllowed || rules_.enterElsewhereAllowed()))
                rules_.enterElsewhere->click();
            key->accept();
            return true;
        }
        return false;
    }

private:
    QWidget* window_;
    KeyRules rules_;
};

}  // namespace

void setKeyRules(QWidget* window, const KeyRules& rules) {
    window->installEventFilter(new KeyRuleFilter(window, rules));
}

void runOffWindowThread(const std::function<void()>& work) {
    const WaitCursor wait;
    QEventLoop loop;
    std::thread worker([&] {
        work();
        // Queued: the loop may not have started yet; the call waits for it.
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    // The program's end also ends this loop: the work is then still waited for.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
}

PhraseAgain askPhraseAgain(const QString& question, std::string_view expected) {
    const std::optional<vault::SecretText> typed = platform::askKeyPhrase(question);
    if (!typed) return PhraseAgain::Cancelled;
    const vault::KeyPhraseText again = vault::keyPhraseFromUtf8(*typed);
    return again.problem == vault::PhraseProblem::None && vault::samePhrase(again.text, expected)
               ? PhraseAgain::Same
               : PhraseAgain::Differs;
}

WaitCursor::WaitCursor(bool on) : on_(on) {
    if (on_) QApplication::setOverrideCursor(Qt::WaitCursor);
}
WaitCursor::~WaitCursor() {
    if (on_) QApplication::restoreOverrideCursor();
}

}  // namespace forms

void BevelPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    qDrawShadePanel(&p, r, palette(), true, 2);
    qDrawShadePanel(&p, r.adjusted(2, 2, -2, -2), palette(), true, 2);
}
