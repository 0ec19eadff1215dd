#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "cli/report.h"
#include "list_files/writer.h"

// subtract, intersect and compare on the files' bytes, without a list store: the same lines and
// figures out as through the list store, in about half the time and memory.
namespace cli {

struct TwoFileRequest {
    bool keepCommon = false;  // intersect; otherwise subtract
    bool ignoreCase = false;
    bool trim = false;  // white space at either end of a line does not count
    QString first;
    QString second;
    list_files::LineEnd lineEnd = list_files::LineEnd::Lf;
    QString output;  // empty: standard output
};

// The exit status, or nothing (with nothing read or written) where the bytes would not give the
// same lines as the list store: a code page other than UTF-8, a UTF-16 file, an input that is not
// a regular file, case ignored in a second file beyond ASCII.
std::optional<int> compareAsBytes(const TwoFileRequest& request);

// compare's figures: each file's lines and repeats, and the three regions' lines and keys.
struct Figures {
    qint64 firstItems = 0;
    qint64 firstRepeats = 0;
    qint64 onlyFirst = 0;
    qint64 onlyFirstKeys = 0;
    qint64 bothFirst = 0;
    qint64 bothSecond = 0;
    qint64 bothKeys = 0;
    qint64 onlySecond = 0;
    qint64 onlySecondKeys = 0;
    qint64 secondItems = 0;
    qint64 secondRepeats = 0;
};

// compare's figures of the two files (keepCommon aside), handed to `write`, whose exit status is
// returned; nothing (with nothing written) where compareAsBytes would give nothing, or where
// case is ignored in a file beyond ASCII.
std::optional<int> figuresAsBytes(const TwoFileRequest& request,
                                  const std::function<int(const Figures&)>& write);

}  // namespace cli
