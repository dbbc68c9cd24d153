#include "logimport/loglines.h"

#include <cstring>

namespace kelvaro::logimport {
namespace {
constexpr std::size_t kBlockBytes = 4 * 1024 * 1024;
}

bool LogLines::open(const QString& nativePath, QString& error)
{
    file_.setFileName(nativePath);
    if (!file_.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(nativePath, file_.errorString());
        return false;
    }
    size_ = file_.size();
    buffer_.resize(kBlockBytes);
    return true;
}

bool LogLines::fill()
{
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    const qint64 n = file_.read(buffer_.data() + end_, static_cast<qint64>(buffer_.size() - end_));
    if (n < 0) {
        error_ = QStringLiteral("%1: %2").arg(file_.fileName(), file_.errorString());
        return false;
    }
    if (n == 0)
        atEnd_ = true;
    end_ += static_cast<std::size_t>(n);
    return true;
}

bool LogLines::next(std::string_view& line, Kind& kind)
{
    for (;;) {
        const char* start = buffer_.data() + begin_;
        const void* lf = std::memchr(start, '\n', end_ - begin_);
        if (lf) {
            const auto length = static_cast<std::size_t>(static_cast<const char*>(lf) - start);
            begin_ += length + 1;
            consumed_ += static_cast<qint64>(length + 1);
            if (skipping_) {
                skipping_ = false;
                continue;
            }
            line = std::string_view(start, length);
            kind = Kind::Whole;
            return true;
        }
        if (atEnd_) {
            if (begin_ == end_ || skipping_)
                return false;
            line = std::string_view(start, end_ - begin_);
            consumed_ += static_cast<qint64>(end_ - begin_);
            begin_ = end_;
            kind = Kind::Unterminated;
            return true;
        }
        if (begin_ == 0 && end_ == buffer_.size()) {
            // A block without a line feed: no line of the master is that long.
            consumed_ += static_cast<qint64>(end_);
            begin_ = end_ = 0;
            if (!skipping_) {
                skipping_ = true;
                line = std::string_view(buffer_.data(), 0);
                kind = Kind::TooLong;
                return true;
            }
            continue;
        }
        if (!fill())
            return false;
    }
}

} // namespace kelvaro::logimport
