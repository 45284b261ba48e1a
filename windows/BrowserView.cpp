#include "windows/BrowserView.h"

#include "platform/secret.h"

#include <memory>
#include <stdexcept>
#include <unistd.h>
#include <QEventLoop>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPointer>
#include <QQuickWindow>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include "platform/samesite.h"

// Qt's global shared OpenGL context, which Qt WebEngine renders through. Qt creates it
// at start when Qt::AA_ShareOpenGLContexts is set; the program does not set it, since
// that loads the OpenGL driver at every start (tens of megabytes and a tenth of a
// second here) for a window most runs never open. The browser library makes the
// context itself, once, before the first web view exists.
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace {

// Chromium refuses to start its sandbox for the root user and ends the whole process.
// The program run as root (a container, a rescue system) gets its browser window
// without the sandbox instead of vanishing with everything on screen.
void allowRootWithoutSandbox() {
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

// Whether the context draws through a software rasteriser (Mesa's llvmpipe or softpipe,
// the classic swrast, SwiftShader), as on a machine without a graphics card or a
// virtual display. A context that cannot be made is no better.
bool drawsInSoftware(QOpenGLContext* context) {
    if (!context->isValid()) return true;
    QOffscreenSurface surface;
    surface.setFormat(context->format());
    surface.create();
    if (!context->makeCurrent(&surface)) return true;
    const auto* renderer = reinterpret_cast<const char*>(context->functions()->glGetString(GL_RENDERER));
    const QByteArray name = QByteArray(renderer ? renderer : "").toLower();
    context->doneCurrent();
    return name.isEmpty() || name.contains("llvmpipe") || name.contains("softpipe") || name.contains("software") ||
           name.contains("swiftshader");
}

// Without a graphics card every repaint of a window that holds a web view goes through
// the OpenGL compositor: the whole window is composed again in software for each change
// of the progress label (15-25 ms each at the screen's size). The Qt Quick scene graph's
// own software renderer then shows the page as a plain picture in the window, and a
// label repaint costs what it costs in any window. A backend chosen by the user
// (QT_QUICK_BACKEND) is left alone.
void chooseSceneGraph(QOpenGLContext* context) {
    if (qEnvironmentVariableIsSet("QT_QUICK_BACKEND") || qEnvironmentVariableIsSet("QMLSCENE_DEVICE")) return;
    if (drawsInSoftware(context)) QQuickWindow::setSceneGraphBackend(QStringLiteral("software"));
}

// A program that links the engine (the browser window's own process) has the context
// from Qt's start already; the scene graph is chosen for it all the same.
void ensureSharedGlContext() {
    static bool chosen = false;
    if (chosen) return;
    chosen = true;
    QOpenGLContext* context = qt_gl_global_share_context();
    if (!context) {
        // As Qt itself does: the context is installed even when it cannot be created (no
        // OpenGL, as offscreen); the engine then draws in software.
        context = new QOpenGLContext;  // kept to the end of the run, as Qt keeps its own
        context->create();
        qt_gl_set_global_share_context(context);
    }
    chooseSceneGraph(context);
}

}  // namespace

void BrowserView::prepareEngine() {
    allowRootWithoutSandbox();
    ensureSharedGlContext();
}

const QString BrowserView::homePage = QStringLiteral("https://start.duckduckgo.com/");
const QString BrowserView::searchPage = QStringLiteral("https://duckduckgo.com/");

// The auto-fill page script is a resource of the browser's static library: a linker
// keeps it only when something names it.
static void registerPageScripts() { Q_INIT_RESOURCE(browser); }

BrowserView::BrowserView(QWidget* parent) : QWebEngineView(parent) {
    static const bool registered = (registerPageScripts(), true);
    (void)registered;
    connect(this, &QWebEngineView::loadStarted, this, [this] { emit progressChanged(0, 100); });
    connect(this, &QWebEngineView::loadProgress, this, [this](int percent) { emit progressChanged(percent, 100); });
    connect(this, &QWebEngineView::loadFinished, this, [this](bool) { emit progressChanged(-1, 100); });
    connect(this, &QWebEngineView::urlChanged, this, [this](const QUrl& url) { emit navigationCompleted(url); });
}

QUrl BrowserView::addressToUrl(const QString& address) { return platform::addressToUrl(address); }

void BrowserView::navigate(const QString& address) {
    const QUrl url = addressToUrl(address);
    // Only web pages: an address that would run a script or show a local file or an
    // inner page of the engine (javascript:, data:, file:, chrome:) is no address here.
    const QString scheme = url.scheme().toLower();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    if (address.isEmpty() || !url.isValid() || !web)
        throw std::runtime_error(tr("The address \"%1\" cannot be opened.").arg(address).toStdString());
    load(url);
}

bool BrowserView::goBack() {
    if (!history()->canGoBack()) return false;
    back();
    return true;
}

bool BrowserView::goForward() {
    if (!history()->canGoForward()) return false;
    forward();
    return true;
}

bool BrowserView::goHome() {
    const QUrl url(homePage);
    if (!url.isValid()) return false;
    load(url);
    return true;
}

bool BrowserView::goSearch() {
    const QUrl url(searchPage);
    if (!url.isValid()) return false;
    load(url);
    return true;
}

bool BrowserView::stopLoading() {
    stop();
    return true;
}

bool BrowserView::refresh() {
    if (url().isEmpty()) return false;
    reload();
    return true;
}

void BrowserView::setBusyCursor(bool busy) {
    setCursor(busy ? Qt::WaitCursor : Qt::ArrowCursor);
    // The page itself is drawn by a child that takes the cursors the page asks for;
    // while loading it shows the hourglass, afterwards the page's own cursor again.
    if (QWidget* surface = focusProxy()) {
        if (busy)
            surface->setCursor(Qt::WaitCursor);
        else
            surface->unsetCursor();
    }
}

BrowserView::~BrowserView() { forgetFillValues(); }

void BrowserView::forgetFillValues() {
    platform::wipe(fillValues_.user);
    platform::wipe(fillValues_.password);
}

QVariant BrowserView::runScript(const QString& source, bool* answered) {
    // The answer may come after the time-out, when this call has returned; the state it
    // writes to is shared, not on this stack.
    struct Waiter {
        QVariant result;
        bool done = false;
        QPointer<QEventLoop> loop;
    };
    auto waiter = std::make_shared<Waiter>();
    QEventLoop loop;
    waiter->loop = &loop;
    page()->runJavaScript(source, QWebEngineScript::ApplicationWorld, [waiter](const QVariant& result) {
        waiter->result = result;
        waiter->done = true;
        if (waiter->loop) waiter->loop->quit();
    });
    if (!waiter->done) {
        QTimer limit;
        limit.setSingleShot(true);
        connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(scriptTimeoutMs_);
        // No clicks or keys meanwhile: the window must not start a second walk.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    waiter->loop = nullptr;
    if (answered) *answered = waiter->done;
    return waiter->result;
}
