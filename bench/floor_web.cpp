// The floor's web window: a bare QWebEngineView on the page, in a modal window of the
// screen's size, its view where Keyfold's browser area is.
#include <QDialog>
#include <QOpenGLContext>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>
#include <QWebEngineView>
#include <unistd.h>

// A web view loaded after the application object needs Qt's shared OpenGL context,
// which Qt makes at start only when asked to; this is the least that makes it work.
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

extern "C" Q_DECL_EXPORT void keyfold_floor_open_web(QWidget* owner, const QString& page) {
    // The engine refuses to run as root with its sandbox (a container, this bench).
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!qt_gl_global_share_context()) {
        auto* context = new QOpenGLContext;
        context->create();
        qt_gl_set_global_share_context(context);
    }
    QDialog window(owner);
    window.setWindowTitle(QStringLiteral("Keyfold Auto Viewer - Password Filler"));
    const QSize screen = QGuiApplication::primaryScreen()->size();
    window.setGeometry(QRect(QPoint(0, 0), screen));
    auto* view = new QWebEngineView(&window);
    view->setGeometry(2, 67, screen.width(), screen.height());
    view->load(QUrl(page));
    window.exec();
}
