#pragma once
#include <QByteArray>
#include <QString>

namespace kelvaro {

// The system keeps track of the files it holds open, as the run-time's file
// table once did: every file writer holds a FileSlot while its file is open.
class FileSlot {
public:
    // checkLimit=false obtains a number without the "Freefile > 5" warning;
    // the program log uses it so the warning never re-enters itself.
    explicit FileSlot(bool checkLimit = true);
    ~FileSlot();
    FileSlot(const FileSlot&) = delete;
    FileSlot& operator=(const FileSlot&) = delete;

    int number() const { return number_; }

private:
    int number_;
};

// The next free file number (files open + 1). Above 5 it writes
// "Freefile > 5" to the program log and still returns the number.
int GetFreeFileNumber();
int OpenFileCount();

// The text as one line: every line break in it (a database's error text often
// has several) becomes a blank, so that it cannot split a log line.
QString SingleLine(const QString& text);

// Appends one line (Windows-1252, CR LF; SingleLine) to a text file, opening and closing it
// for this line alone. The file is created if missing; its directory is not.
// The line goes in whole or not at all (AppendWhole: writers take turns, a
// short write on a full disk is taken back), so lines of several processes
// never mix.
bool AppendTextLine(const QString& path, const QString& line, bool checkLimit = true);

} // namespace kelvaro
