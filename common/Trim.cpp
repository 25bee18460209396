#include "common/Trim.h"

namespace melodeck::ModCommon {

QString TrimSpaces(const QString& text) {
    return TrimSpaces(QStringView(text)).toString();
}

QStringView TrimSpaces(QStringView text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

} // namespace melodeck::ModCommon
