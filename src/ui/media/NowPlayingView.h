#pragma once
// The Now Playing page: what the application last read from the music players, the transport
// keys (sent through the device, so only while it is connected) and a way to read the player
// again now. It holds no state; everything follows the hub.

#include <QWidget>

class DeviceManager;
class ElidedLabel;
class QLabel;
class QPushButton;
class QToolButton;

class NowPlayingView : public QWidget {
public:
    explicit NowPlayingView(DeviceManager& deviceManager, QWidget* parent = nullptr);

    // "1:05 · -2:55": the time played and, after a middle dot, the time left (never below 0).
    static QString positionText(double elapsed, double duration);
    // The font's own digits when they are already of one width, else the fixed-pitch font, so
    // the position does not jitter as it counts.
    static QFont tabularDigitsFont(const QFont& base);

private:
    void showPlayback();
    void showConnection();

    DeviceManager& m_deviceManager;
    ElidedLabel* m_player = nullptr;
    ElidedLabel* m_track = nullptr;
    ElidedLabel* m_artist = nullptr;
    QLabel* m_position = nullptr;
    QWidget* m_transport = nullptr;
    QToolButton* m_previous = nullptr;
    QToolButton* m_playPause = nullptr;
    QToolButton* m_next = nullptr;
    QPushButton* m_refresh = nullptr;
};
