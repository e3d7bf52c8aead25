#pragma once
// Owner side of a SerialPort in tests: the callbacks hop to the main thread as the
// application's do, and what arrives is collected there (raw bytes and decoded frames).

#include "link/Cobs.h"
#include "link/FrameParser.h"
#include "link/SerialPort.h"

#include <QObject>

#include <atomic>
#include <optional>

struct PortProbe {
    QObject context;
    QByteArray data;
    QList<TarvUSB::Frame> frames;
    QStringList dropped;
    int closes = 0;
    std::optional<QString> reason;
    std::atomic<int> closesOnReader{0};
    std::atomic<int> drains{0};
    TarvUSB::FrameParser parser;

    TarvUSB::SerialPort::DataCallback dataCallback()
    {
        return [this](const QByteArray& chunk, const TarvUSB::SerialPort::ChunkHold& hold) {
            QMetaObject::invokeMethod(&context, [this, chunk, hold] { receive(chunk); }, Qt::QueuedConnection);
        };
    }
    TarvUSB::SerialPort::CloseCallback closeCallback()
    {
        return [this](const std::optional<QString>& why) {
            ++closesOnReader;
            QMetaObject::invokeMethod(&context, [this, why] { ++closes; reason = why; }, Qt::QueuedConnection);
        };
    }
    std::unique_ptr<TarvUSB::SerialPort> makePort(const QString& path)
    {
        return std::make_unique<TarvUSB::SerialPort>(path, dataCallback(), closeCallback(), [this] { ++drains; });
    }

    template <class P> QList<P> payloads() const
    {
        QList<P> out;
        for (const TarvUSB::Frame& f : frames)
            if (const P* p = f.get<P>())
                out.append(*p);
        return out;
    }

private:
    void receive(const QByteArray& chunk)
    {
        data += chunk;
        for (const auto& event : parser.feed(chunk)) {
            if (const auto* frame = std::get_if<TarvUSB::Frame>(&event))
                frames.append(*frame);
            else
                dropped.append(std::get<TarvUSB::FrameParser::Dropped>(event).reason);
        }
    }
};

// The bytes of one frame on the line.
inline QByteArray onTheLine(const TarvUSB::Frame& frame)
{
    return TarvUSB::cobsEncode(TarvUSB::Frame::encode(frame)) + '\0';
}
