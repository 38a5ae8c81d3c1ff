#pragma once

#include <QObject>

class QSocketNotifier;

namespace brindmar {

// Turns SIGTERM, SIGINT and SIGHUP (logout, a terminal's Ctrl+C, a terminal closed) into a Qt signal on the event loop, so
// that they end the program through the window's own close: settings saved, work files wiped.
// The handler only writes a byte to a pipe; everything else runs on the user-interface thread.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the signals could not be caught; they then end the program as they always do.
    bool installed() const { return m_notifier != nullptr; }

signals:
    void requested();

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace brindmar
