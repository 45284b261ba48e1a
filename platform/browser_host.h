// The program's side of one open browser window, on its end of the channel: it hands
// the window what it shows, answers auto-fill with the entry's user ID and password
// only for a page on the entry's site, and puts what the copy buttons copy on the
// clipboard here, so the clipboard's clearing outlives the window's process.
#pragma once
#include <QObject>
#include <QString>

#include "platform/browser_process.h"
#include "platform/channel.h"

namespace platform {

class BrowserHost : public QObject {
    Q_OBJECT
public:
    // Keeps copies of its own of the request's texts, overwritten when it goes.
    BrowserHost(int socket, const BrowseRequest& request, QObject* parent = nullptr);
    ~BrowserHost() override;

    // Sends the window what it opens with; false when the other end is gone.
    bool open();
    void requestClose();
    bool shown() const { return shown_; }
    bool isEnded() const { return !channel_.isOpen(); }
    // Fill requests answered with the values and refused, for the record.
    int fillsAnswered() const { return fillsAnswered_; }
    int fillsRefused() const { return fillsRefused_; }

signals:
    // The window's end of the channel has closed: the window is gone.
    void ended();

private:
    void handle(const Message& message);
    void answerFill(const QByteArray& page);

    Channel channel_;
    QString name_, website_, user_, password_;
    bool masked_;
    bool shown_ = false;
    int fillsAnswered_ = 0;
    int fillsRefused_ = 0;
};

}  // namespace platform
