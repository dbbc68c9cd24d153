#pragma once
// A text file read line by line in large blocks, each line a view into the
// block (no allocation per line).
#include <QFile>
#include <QString>
#include <string_view>
#include <vector>

namespace kelvaro::logimport {

class LogLines {
public:
    enum class Kind { Whole, Unterminated, TooLong };

    // False and `error` when the file cannot be opened.
    bool open(const QString& nativePath, QString& error);
    // The next line without its line feed; false at the end or on a read
    // error (then error() is set). Unterminated: the file ends inside the
    // line. TooLong: more than the block holds; the rest of it is passed over.
    bool next(std::string_view& line, Kind& kind);

    qint64 bytesRead() const { return consumed_; }
    qint64 size() const { return size_; }
    const QString& error() const { return error_; }

private:
    bool fill();

    QFile file_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool atEnd_ = false;
    bool skipping_ = false;
    qint64 consumed_ = 0;
    qint64 size_ = 0;
    QString error_;
};

} // namespace kelvaro::logimport
