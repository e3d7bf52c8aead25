#pragma once
// One picture decoded as a request asks, in the decoder process: Qt's readers, and libheif
// for HEIF. Whatever a reader does inside is bounded by the process, not here.

#include "platform/PictureDecoderMessages.h"

#include <QByteArray>
#include <QImage>

namespace PictureDecode {

// Loads every reader and what they use, so that nothing is loaded once the process is locked.
void loadReaders();

struct Outcome {
    PictureDecoderMessages::Status status = PictureDecoderMessages::Status::failed;
    QImage image;
};
// The picture in `bytes` as `request` asks; its image never has a colour table.
Outcome decode(const PictureDecoderMessages::Request& request, const QByteArray& bytes);

// Set from the reader's messages: it refused an allocation past its limit, or memory ran out.
void noteMessage(const QString& message);

}  // namespace PictureDecode
