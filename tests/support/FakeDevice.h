#pragma once
// A stand-in for the device at the other end of a pseudo-terminal: greets with HELLO,
// acknowledges what the firmware acknowledges, records every frame, keeps a widget tree and
// the uploaded assets, answers snapshot requests and sends touches, buttons and logs.
// Lives on the thread that runs its event loop.

#include "link/Frame.h"
#include "link/FrameParser.h"
#include "support/FakeWidgetTree.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace TarvFake {

struct FakeAsset {
    QString name;
    std::uint32_t size = 0;
    QByteArray data;
    bool complete = false;  // the end arrived with every byte and a matching CRC-32
};

class FakeDevice {
public:
    static constexpr int screenWidth = 480;
    static constexpr int screenHeight = 320;
    static constexpr int snapshotChunkBytes = 2048;

    struct Options {
        QString firmware = QStringLiteral("fake-1.0");
        std::uint16_t protocolVersion = 1;
        std::uint32_t psram = 8u << 20;
    };

    // Acknowledgement switches: while one is off, the frames of its kind are recorded but
    // not acknowledged until releaseHeldAcks().
    bool ackPatches = true;
    bool ackAssets = true;
    bool ackPings = true;

    // Called for every decoded frame, after the device reacted to it.
    std::function<void(const TarvUSB::Frame&)> onFrame;

    FakeDevice();
    explicit FakeDevice(Options options);
    ~FakeDevice();
    FakeDevice(const FakeDevice&) = delete;
    FakeDevice& operator=(const FakeDevice&) = delete;

    // Opens the pseudo-terminal. False, with the reason in lastError(), when it cannot.
    bool start();
    // The path the desktop opens.
    const QString& portPath() const { return slavePath; }
    // Closes the device's end: the desktop's reader sees the line hang up.
    void hangUp();
    bool isRunning() const { return master >= 0; }
    // A device that hangs without leaving USB: it stops reading (what the desktop writes
    // piles up in the line) but can still send; resuming reads everything that waited.
    void setReading(bool reading);

    void setOptions(const Options& options) { opts = options; }

    // Each sends one frame with the device's next sequence number.
    void sendHello();
    void sendTouch(std::uint16_t x, std::uint16_t y, TarvUSB::TouchPhase phase);
    void sendButton(std::uint16_t id, TarvUSB::ButtonPhase phase);
    void sendLog(TarvUSB::LogLevel level, const QString& text);
    void sendFrame(const TarvUSB::Frame& frame);
    // Raw bytes, for tests of damaged streams. What the line cannot take at once waits and
    // goes out in order as the desktop reads, so a frame is never cut; past maxPendingBytes
    // waiting, a frame is dropped whole and a problem says so.
    void sendBytes(const QByteArray& bytes);
    static constexpr qsizetype maxPendingBytes = 8 << 20;
    // down, up at one point; down, moves and up along a line.
    void tap(std::uint16_t x, std::uint16_t y);
    void swipe(std::uint16_t x0, std::uint16_t y0, std::uint16_t x1, std::uint16_t y1);

    void releaseHeldAcks();

    const QList<TarvUSB::Frame>& received() const { return frames; }
    const QStringList& dropped() const { return droppedReasons; }
    const QList<std::uint16_t>& heldAcks() const { return held; }
    const FakeWidgetTree& widgets() const { return tree; }
    const QHash<std::uint32_t, FakeAsset>& assets() const { return assetStore; }
    // Problems the firmware would log: refused operations, broken uploads, failed writes.
    QStringList problems() const { return tree.errors() + deviceProblems; }
    const QString& lastError() const { return error; }

private:
    void readAvailable();
    void writePending();
    void handle(const TarvUSB::Frame& frame);
    void acknowledge(std::uint16_t q, bool now);
    void handleAsset(const TarvUSB::Frame& frame);
    void answerSnapshot(std::uint16_t id);
    std::uint16_t nextSequence();

    Options opts;
    int master = -1;
    int slaveKeeper = -1;  // keeps the line up while the desktop has it closed
    QString slavePath;
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<QSocketNotifier> writable;
    QByteArray outgoing;
    TarvUSB::FrameParser parser;
    std::uint16_t sequence = 1;

    QList<TarvUSB::Frame> frames;
    QStringList droppedReasons;
    QList<std::uint16_t> held;
    FakeWidgetTree tree;
    QHash<std::uint32_t, FakeAsset> assetStore;
    QStringList deviceProblems;
    QString error;
};

// One line describing a frame the device received, for the fake device program.
QString describeReceived(const TarvUSB::Frame& frame);

}  // namespace TarvFake
