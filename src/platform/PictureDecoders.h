#pragma once
// The picture decoder processes of Tarv: a few are kept and reused, one for each picture being
// decoded at a time; one that ran out of memory, crashed or was killed is replaced. A picture
// that takes past its deadline has its process killed. Safe from any thread; each decode waits
// on its caller's thread, never on the GUI thread's.

#include "platform/PictureDecoderMessages.h"

#include <QByteArray>
#include <QImage>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <vector>

class PictureDecoders {
public:
    // Processes kept between pictures.
    static constexpr int kept = 3;

    enum class Failure {
        none,
        tooLarge,      // past its pixels or the memory they allow
        tookTooLong,   // past its deadline, and killed
        decoderFailed, // damaged, refused, or its process ended or could not start
        stopped,       // the caller's stop flag, or stop(), came first
    };
    struct Result {
        std::optional<QImage> image;
        Failure failure = Failure::none;
    };

    // Runs the decoder program at `program`.
    explicit PictureDecoders(QByteArray program);
    // Kills what it runs, as stop() does.
    ~PictureDecoders();
    PictureDecoders(const PictureDecoders&) = delete;
    PictureDecoders& operator=(const PictureDecoders&) = delete;

    // Tarv's decoders, running the program installed beside Tarv. Never destroyed: stop() ends
    // their work.
    static PictureDecoders& shared();
    // Where the decoder program is: beside this program (a build), in ../libexec/tarv from it,
    // or in /usr/libexec/tarv.
    static QByteArray installedProgram();

    // The picture in `bytes` decoded as `request` says (its byteCount is set here), within
    // `deadline`. Once `stop` is set, or stop() is called, the process at work is killed and
    // none comes back, at once.
    Result decode(const QByteArray& bytes, PictureDecoderMessages::Request request,
                  std::chrono::milliseconds deadline, const std::atomic<bool>* stop = nullptr);

    // Kills every process, at work or kept, and starts none from now on; decodes under way
    // end as `stopped`. Waits for none of them.
    void stop();

private:
    struct Process {
        quint64 ticket = 0;
        int socket = -1;
    };
    std::optional<Process> take();
    void keep(Process process);
    void end(Process process);

    const QByteArray m_program;
    // Readable once stop() was called.
    int m_stopped = -1;
    std::mutex m_mutex;
    bool m_stopping = false;
    std::vector<Process> m_idle;
    std::vector<quint64> m_working;
};
