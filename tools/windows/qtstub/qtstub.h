// Just enough of Qt's interface for the Windows-only code of platform/ to build for
// 32-bit Windows without Qt: the check exercises the Windows calls, not Qt.
#pragma once
#include <cstdint>
#include <string>

#define Q_OBJECT
#define signals public
#define QStringLiteral(text) QString(text)

class QByteArray {
public:
    std::string s;
    std::string toStdString() const { return s; }
};

class QString {
public:
    std::string s;
    QString() = default;
    QString(const char* text) : s(text) {}
    explicit QString(std::string text) : s(std::move(text)) {}
    bool isEmpty() const { return s.empty(); }
    // Replaces the lowest-numbered %N marker.
    QString arg(long long v) const {
        for (char n = '1'; n <= '9'; ++n) {
            std::string marker = std::string("%") + n;
            auto at = s.find(marker);
            if (at != std::string::npos) return QString(std::string(s).replace(at, 2, std::to_string(v)));
        }
        return *this;
    }
    bool operator==(const QString& o) const { return s == o.s; }
};

class QWidget {
public:
    explicit QWidget(QWidget* = nullptr) {}
    virtual ~QWidget() = default;
    std::uintptr_t winId() const { return 0; }
};

class QApplication {
public:
    static QWidget* activeWindow() { return nullptr; }
};

class QMouseEvent;

class QLineEdit : public QWidget {
protected:
    virtual void mouseDoubleClickEvent(QMouseEvent*) {}

public:
    explicit QLineEdit(QWidget* parent = nullptr) : QWidget(parent) {}
    QString text() const { return text_; }
    void setText(const QString& t) { text_ = t; }

private:
    QString text_;
};

class QDir {
public:
    static QString toNativeSeparators(const QString& p) { return p; }
    static QString homePath() { return QString("C:\\"); }
    bool mkpath(const QString&) const { return true; }
};

class QFile {
public:
    static QByteArray encodeName(const QString& name) { return QByteArray{name.s}; }
};

class QStandardPaths {
public:
    enum StandardLocation {
        GenericDataLocation
    };
    static QString writableLocation(StandardLocation) { return QString(); }
};
