// libFuzzer target for the FTP reply reader: any bytes a server may send
// are split into replies or stopped at the limits, never buffered beyond
// them; fed in pieces they give the same replies as fed at once.
// Input: the first byte sets the piece size, the rest is what the server sent.

#include "setup/FtpClient.h"

#include <cstdint>
#include <cstdlib>

using namespace mv;

namespace {

struct Outcome {
    QStringList replies;
    FtpReplyReader::State end = FtpReplyReader::State::NeedMore;
};

Outcome readAll(const QByteArray &bytes, qsizetype piece)
{
    FtpReplyReader r;
    Outcome o;
    for (qsizetype at = 0;; at += piece) {
        if (at < bytes.size())
            r.Feed(bytes.mid(at, piece));
        for (;;) {
            int code = 0;
            QString text;
            const FtpReplyReader::State st = r.Next(code, text);
            if (st == FtpReplyReader::State::Reply) {
                if (code < 0 || code > 999 || text.size() > kFtpMaxReply)
                    std::abort();
                o.replies << QString::number(code) + QLatin1Char('|') + text;
                continue;
            }
            if (st != FtpReplyReader::State::NeedMore) {
                o.end = st;
                return o;
            }
            break;
        }
        // What waits for its line end is never more than a line may be.
        if (r.Buffered() > kFtpMaxReplyLine + piece)
            std::abort();
        if (at >= bytes.size())
            return o;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype piece = 1 + data[0];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const Outcome whole = readAll(bytes, qMax<qsizetype>(1, bytes.size()));
    const Outcome pieces = readAll(bytes, piece);
    // A limit may be seen earlier in pieces (less is buffered at once is
    // not required), but the replies before the end are the same.
    if (whole.end == FtpReplyReader::State::NeedMore || whole.end == FtpReplyReader::State::Garbled) {
        if (pieces.replies != whole.replies || pieces.end != whole.end)
            std::abort();
    }
    return 0;
}
